#include "lifecycle/screen_metrics.h"

namespace zinna {

basic::Long ScreenWidthPixels(WindowToolkit& toolkit) {
    return basic::IntDiv(basic::CLng(toolkit.ScreenWidth()), basic::CLng(toolkit.TwipsPerPixelX()));
}

basic::Long ScreenHeightPixels(WindowToolkit& toolkit) {
    return basic::IntDiv(basic::CLng(toolkit.ScreenHeight()), basic::CLng(toolkit.TwipsPerPixelY()));
}

}  // namespace zinna
