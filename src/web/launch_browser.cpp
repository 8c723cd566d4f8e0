// Opening the title's promotional web page with the user's browser.
#include "web/launch_browser.h"

#include "lifecycle/zinna_form.h"

namespace zinna {

namespace {

// A host the title owns; the reserved example domain keeps the address from reaching anyone else.
constexpr char kPromotionalHost[] = "lanternhall.example";

}  // namespace

std::string PromotionalPageAddress() { return std::string("http://") + kPromotionalHost + "/?launcher=glint"; }

void ZinnaForm::LaunchBrowser2() {
    // Show command SW_HIDE: the shell hands the address to the browser, which shows itself.
    module_.ShellExecuteA(toolkit_.hWnd(), "open", PromotionalPageAddress(), "", toolkit_.AppPath(), SW_HIDE);
}

}  // namespace zinna
