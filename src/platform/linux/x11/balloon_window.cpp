#include "platform/linux/x11/balloon_window.h"

#include "platform/linux/x11/xft_text.h"

#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <algorithm>

namespace zinna::x11 {

namespace {

constexpr int kCornerRadius = 12;
constexpr int kPointerHalfWidth = 7;
constexpr unsigned long kInk = 0x000000;
constexpr unsigned long kPaper = 0xFFFFE1;  // the pale yellow of tooltips

struct Outline {
    XRectangle body;
    XPoint pointer[3];
};

// The rounded body and the pointer, filled with the GC's colour.
void FillOutline(Display* display, Drawable drawable, GC gc, const Outline& outline) {
    const int d = kCornerRadius, left = outline.body.x, top = outline.body.y;
    const int w = outline.body.width, h = outline.body.height;
    XFillRectangle(display, drawable, gc, left + d / 2, top, static_cast<unsigned>(w - d), static_cast<unsigned>(h));
    XFillRectangle(display, drawable, gc, left, top + d / 2, static_cast<unsigned>(w), static_cast<unsigned>(h - d));
    XArc corners[4] = {
        {static_cast<short>(left), static_cast<short>(top), d, d, 90 * 64, 90 * 64},
        {static_cast<short>(left + w - d - 1), static_cast<short>(top), d, d, 0, 90 * 64},
        {static_cast<short>(left), static_cast<short>(top + h - d - 1), d, d, 180 * 64, 90 * 64},
        {static_cast<short>(left + w - d - 1), static_cast<short>(top + h - d - 1), d, d, 270 * 64, 90 * 64}};
    XFillArcs(display, drawable, gc, corners, 4);
    XPoint pointer[3] = {outline.pointer[0], outline.pointer[1], outline.pointer[2]};
    XFillPolygon(display, drawable, gc, pointer, 3, Convex, CoordModeOrigin);
}

// The body's edge and the pointer's two sides, in the GC's colour.
void DrawEdge(Display* display, Drawable drawable, GC gc, const Outline& outline) {
    const int d = kCornerRadius, left = outline.body.x, top = outline.body.y;
    const int right = left + outline.body.width - 1, bottom = top + outline.body.height - 1;
    XSegment sides[4] = {{static_cast<short>(left + d / 2), static_cast<short>(top), static_cast<short>(right - d / 2),
                          static_cast<short>(top)},
                         {static_cast<short>(left + d / 2), static_cast<short>(bottom),
                          static_cast<short>(right - d / 2), static_cast<short>(bottom)},
                         {static_cast<short>(left), static_cast<short>(top + d / 2), static_cast<short>(left),
                          static_cast<short>(bottom - d / 2)},
                         {static_cast<short>(right), static_cast<short>(top + d / 2), static_cast<short>(right),
                          static_cast<short>(bottom - d / 2)}};
    XDrawSegments(display, drawable, gc, sides, 4);
    XArc corners[4] = {{static_cast<short>(left), static_cast<short>(top), d, d, 90 * 64, 90 * 64},
                       {static_cast<short>(right - d), static_cast<short>(top), d, d, 0, 90 * 64},
                       {static_cast<short>(left), static_cast<short>(bottom - d), d, d, 180 * 64, 90 * 64},
                       {static_cast<short>(right - d), static_cast<short>(bottom - d), d, d, 270 * 64, 90 * 64}};
    XDrawArcs(display, drawable, gc, corners, 4);
    // The pointer's sides; the body's edge between them is painted over so the two make one shape.
    const XPoint* p = outline.pointer;
    XSetForeground(display, gc, kPaper);
    XDrawLine(display, drawable, gc, p[0].x + 1, p[0].y, p[1].x - 1, p[1].y);
    XSetForeground(display, gc, kInk);
    XDrawLine(display, drawable, gc, p[0].x, p[0].y, p[2].x, p[2].y);
    XDrawLine(display, drawable, gc, p[1].x, p[1].y, p[2].x, p[2].y);
}

}  // namespace

BalloonWindow::BalloonWindow(XConnection& x) : x_(x) {
    window_ = CreateCompanionWindow(x_, ChooseVisual(x_, false), 0);
    MarkAsCompanionWindow(x_, window_, "Zinna balloon");
}

BalloonWindow::~BalloonWindow() { XDestroyWindow(x_.Get(), window_); }

void BalloonWindow::Show(const stage::BalloonLayout& layout, const std::vector<std::string>& lines) {
    Display* display = x_.Get();
    const XftText font(display, x_.Screen(), layout.fontPixels);

    // The host sizes the body from average glyph widths; a real font's line may be wider, and then
    // the body grows around its centre, inside the screen, so no word is cut.
    stage::ScreenRect body = layout.rect;
    int widest = 0;
    for (const std::string& line : layout.lines) widest = std::max(widest, font.Width(line));
    const int needed = widest + 2 * stage::kBalloonPadding;
    if (needed > body.Width()) {
        const int screenWidth = x_.ScreenWidth();
        const int width = std::min(needed, std::max(body.Width(), screenWidth));
        body.left = std::clamp(body.left - (width - body.Width()) / 2, 0, std::max(0, screenWidth - width));
        body.right = body.left + width;
    }
    const int lineHeight = std::max(font.LineHeight(), layout.fontPixels * 5 / 4);
    const int width = body.Width();
    const int bodyHeight =
        std::max(body.Height(), static_cast<int>(layout.lines.size()) * lineHeight + 2 * stage::kBalloonPadding);
    const int height = bodyHeight + stage::kBalloonPointerHeight;
    const int top = layout.pointsDown ? body.top : body.top - stage::kBalloonPointerHeight;
    const int bodyTop = layout.pointsDown ? 0 : stage::kBalloonPointerHeight;
    const int pointerX = std::clamp(layout.pointerX - body.left, kCornerRadius / 2 + kPointerHalfWidth,
                                    std::max(0, width - kCornerRadius / 2 - kPointerHalfWidth - 1));
    const int edgeY = layout.pointsDown ? bodyTop + bodyHeight - 1 : bodyTop;
    const int tipY = layout.pointsDown ? height - 1 : 0;
    const Outline outline{
        {0, static_cast<short>(bodyTop), static_cast<unsigned short>(width), static_cast<unsigned short>(bodyHeight)},
        {{static_cast<short>(pointerX - kPointerHalfWidth), static_cast<short>(edgeY)},
         {static_cast<short>(pointerX + kPointerHalfWidth), static_cast<short>(edgeY)},
         {static_cast<short>(pointerX - (layout.pointsDown ? 2 : -2)), static_cast<short>(tipY)}}};

    // The shape: the outline's pixels in a one-bit mask.
    const Pixmap mask = XCreatePixmap(display, window_, static_cast<unsigned>(width), static_cast<unsigned>(height), 1);
    GC maskGc = XCreateGC(display, mask, 0, nullptr);
    XSetForeground(display, maskGc, 0);
    XFillRectangle(display, mask, maskGc, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSetForeground(display, maskGc, 1);
    FillOutline(display, mask, maskGc, outline);
    DrawEdge(display, mask, maskGc, outline);  // the edge's pixels belong to the shape too
    XSetForeground(display, maskGc, 1);
    XDrawLine(display, mask, maskGc, outline.pointer[0].x, outline.pointer[0].y, outline.pointer[2].x,
              outline.pointer[2].y);
    XDrawLine(display, mask, maskGc, outline.pointer[1].x, outline.pointer[1].y, outline.pointer[2].x,
              outline.pointer[2].y);
    XFreeGC(display, maskGc);

    // The picture: paper, edge, and the words.
    const Pixmap picture = XCreatePixmap(display, window_, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                         static_cast<unsigned>(DefaultDepth(display, x_.Screen())));
    GC gc = XCreateGC(display, picture, 0, nullptr);
    XSetForeground(display, gc, kPaper);
    XFillRectangle(display, picture, gc, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSetForeground(display, gc, kInk);
    DrawEdge(display, picture, gc, outline);
    XFreeGC(display, gc);
    int y = bodyTop + stage::kBalloonPadding + font.Ascent();
    for (const std::string& line : lines) {
        font.Draw(picture, kInk, stage::kBalloonPadding, y, line);
        y += lineHeight;
    }

    XMoveResizeWindow(display, window_, body.left, top, static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (x_.HasShape()) XShapeCombineMask(display, window_, ShapeBounding, 0, 0, mask, ShapeSet);
    XSetWindowBackgroundPixmap(display, window_, picture);
    XClearWindow(display, window_);
    // The window keeps what it needs of the background; the pixmaps go.
    XFreePixmap(display, picture);
    XFreePixmap(display, mask);
    if (!shown_) {
        XMapRaised(display, window_);
        shown_ = true;
    }
}

void BalloonWindow::Hide() {
    if (!shown_) return;
    XUnmapWindow(x_.Get(), window_);
    shown_ = false;
}

}  // namespace zinna::x11
