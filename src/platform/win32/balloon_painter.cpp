#include "platform/win32/windows_api.h"

#include "platform/win32/balloon_painter.h"

#include "platform/win32/wide_text.h"
#include "platform/win32/win32_handle.h"

#include <algorithm>

namespace zinna::win32 {

namespace {

constexpr int kBalloonCornerRadius = 12;
constexpr int kBalloonPointerHalfWidth = 7;
constexpr COLORREF kBalloonInk = RGB(0, 0, 0);
constexpr COLORREF kBalloonPaper = RGB(255, 255, 225);  // the pale yellow of tooltips

// A length of the balloon's drawing at the display's scale.
int Scaled(int length, double scale) { return std::max(1, static_cast<int>(length * scale + 0.5)); }

// The balloon's outline: a rounded body and a pointer from it towards the character.
void DrawBalloonShape(HDC dc, RECT body, const POINT (&pointer)[3], COLORREF ink, COLORREF paper, double scale) {
    const int corner = Scaled(kBalloonCornerRadius, scale);
    const GdiPen pen(CreatePen(PS_SOLID, Scaled(1, scale), ink));
    const GdiBrush brush(CreateSolidBrush(paper));
    {
        const Selected selectedPen(dc, pen.Get());
        const Selected selectedBrush(dc, brush.Get());
        RoundRect(dc, body.left, body.top, body.right, body.bottom, corner, corner);
        Polygon(dc, pointer, 3);
    }
    // The body's edge where the pointer leaves it is painted over, so the two make one shape.
    const GdiPen paperPen(CreatePen(PS_SOLID, Scaled(1, scale), paper));
    const Selected selectedPen(dc, paperPen.Get());
    MoveToEx(dc, pointer[0].x + 1, pointer[0].y, nullptr);
    LineTo(dc, pointer[1].x, pointer[1].y);
}

// The width in pixels of the widest line in the font.
int WidestLine(HFONT font, const std::vector<std::string>& lines) {
    const MemoryDc dc(CreateCompatibleDC(nullptr));
    const Selected selectedFont(dc.Get(), font);
    int widest = 0;
    for (const std::string& line : lines) {
        const std::wstring text = WideFromUtf8(line);
        SIZE size{};
        GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &size);
        widest = std::max<int>(widest, size.cx);
    }
    return widest;
}

}  // namespace

PaintedBalloon PaintBalloon(const stage::BalloonLayout& layout, const std::vector<std::string>& shownLines) {
    const GdiFont font(CreateFontW(-layout.fontPixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                   DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
    // The host sizes the body from average glyph widths; a real font's line may be wider, and then
    // the body grows around its centre, inside the screen, so no word is cut.
    stage::ScreenRect body = layout.rect;
    const int padding = layout.padding, pointerHeight = layout.pointerHeight;
    const int pointerHalfWidth = Scaled(kBalloonPointerHalfWidth, layout.scale);
    const int corner = Scaled(kBalloonCornerRadius, layout.scale);
    const int needed = WidestLine(font.Get(), layout.lines) + 2 * padding;
    if (needed > body.Width()) {
        const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
        const int width = std::min(needed, std::max(body.Width(), screenWidth));
        body.left = std::clamp(body.left - (width - body.Width()) / 2, 0, std::max(0, screenWidth - width));
        body.right = body.left + width;
    }
    // The window holds the body and the pointer, on the side of the body towards the character.
    const int width = body.Width(), height = body.Height() + pointerHeight;
    const int top = layout.pointsDown ? body.top : body.top - pointerHeight;
    const int bodyTop = layout.pointsDown ? 0 : pointerHeight;
    const RECT bodyRect{0, bodyTop, width, bodyTop + body.Height()};
    const int pointerX = std::clamp(layout.pointerX - body.left, corner / 2 + pointerHalfWidth,
                                    std::max(0, width - corner / 2 - pointerHalfWidth - 1));
    const int edgeY = layout.pointsDown ? bodyRect.bottom - 1 : bodyRect.top;
    const int tipY = layout.pointsDown ? height - 1 : 0;
    const int tipShift = Scaled(2, layout.scale);
    const POINT pointer[3] = {{pointerX - pointerHalfWidth, edgeY},
                              {pointerX + pointerHalfWidth, edgeY},
                              {pointerX - (layout.pointsDown ? tipShift : -tipShift), tipY}};

    PaintedBalloon painted{std::make_unique<PremultipliedBitmap>(width, height), POINT{body.left, top}};
    PremultipliedBitmap& bitmap = *painted.bitmap;
    // GDI leaves alpha alone, so the shape is drawn once in white on transparent to find its pixels.
    DrawBalloonShape(bitmap.Dc(), bodyRect, pointer, RGB(255, 255, 255), RGB(255, 255, 255), layout.scale);
    GdiFlush();
    std::vector<bool> inside(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < inside.size(); ++i) inside[i] = bitmap.Pixels()[i] != 0;

    DrawBalloonShape(bitmap.Dc(), bodyRect, pointer, kBalloonInk, kBalloonPaper, layout.scale);
    {
        const Selected selectedFont(bitmap.Dc(), font.Get());
        SetBkMode(bitmap.Dc(), TRANSPARENT);
        SetTextColor(bitmap.Dc(), kBalloonInk);
        TEXTMETRICW metrics{};
        GetTextMetricsW(bitmap.Dc(), &metrics);
        const int lineHeight = std::max<int>(metrics.tmHeight, layout.fontPixels * 5 / 4);
        int y = bodyTop + padding;
        for (const std::string& line : shownLines) {
            const std::wstring text = WideFromUtf8(line);
            RECT lineRect{padding, y, width - padding / 2, y + lineHeight};
            DrawTextW(bitmap.Dc(), text.c_str(), static_cast<int>(text.size()), &lineRect,
                      DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
            y += lineHeight;
        }
    }
    GdiFlush();
    // The balloon is opaque inside its shape and transparent outside it.
    for (std::size_t i = 0; i < inside.size(); ++i)
        bitmap.Pixels()[i] = inside[i] ? (bitmap.Pixels()[i] | 0xFF000000u) : 0u;
    return painted;
}

}  // namespace zinna::win32
