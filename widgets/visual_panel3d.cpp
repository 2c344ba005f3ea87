#include "widgets/visual_panel3d.h"

#include <algorithm>
#include <cstdint>

namespace orv {

namespace {

// Adds d (which may be negative) to each channel, kept within 0..255.
TColor Shift(TColor c, std::int64_t d) {
    auto ch = [d](int v) { return static_cast<std::uint8_t>(std::clamp<std::int64_t>(v + d, 0, 255)); };
    return RGBColor(ch(ColorRed(c)), ch(ColorGreen(c)), ch(ColorBlue(c)));
}

}  // namespace

TVisualPanel3D::TVisualPanel3D(TComponent* owner, std::string name, TWinControl* parent)
    : TPanel(owner, std::move(name), parent) {
    SetBevelOuter(TBevel::bvNone);
    SetBevelInner(TBevel::bvNone);
}

void TVisualPanel3D::AdjustClientRect(TRect& rect) const {
    rect.Top += kClientMargin.Top;
    rect.Left += kClientMargin.Left;
    rect.Bottom -= kClientMargin.Bottom;
    rect.Right -= kClientMargin.Right;
    TPanel::AdjustClientRect(rect);
}

int TVisualPanel3D::BandHeight(int height) {
    const int q = height / 60, r = height % 60;
    if (2 * r > 60 || (2 * r == 60 && (q & 1))) return q + 1;
    return q;
}

void TVisualPanel3D::Paint(TCanvas& canvas) {
    const int W = ClientWidth(), H = ClientHeight();
    const std::int64_t G = GradeWidth;
    const TColor S = ColorToRGB(Color());
    painted_ = CurrentLook();

    if (GradePanel) {
        // The bands cover the whole face, so the plain panel under them
        // would never show. Each band i fills from its top down to the next
        // band's top (the last one to the bottom edge): what stays visible
        // when every band is filled down to the bottom, each pixel written
        // once.
        const int band = BandHeight(H);
        canvas.BrushStyle = TBrushStyle::bsSolid;
        for (int i = 0; i < 60; ++i) {
            const std::int64_t top = std::int64_t{i} * band;
            const std::int64_t bottom = i == 59 ? H : std::min<std::int64_t>(top + band, H);
            if (top >= bottom) continue;
            canvas.BrushColor = Shift(S, 30 - i);
            canvas.FillRect(TRect{0, static_cast<int>(top), W, static_cast<int>(bottom)});
        }
        canvas.Font = Font();
        const int tw = canvas.TextWidth(Caption()), th = canvas.TextHeight(Caption());
        canvas.BrushStyle = TBrushStyle::bsClear;
        canvas.TextOut((W - tw) / 2, (H - th) / 2, Caption());
    } else {
        TPanel::Paint(canvas);
    }
    canvas.BrushStyle = TBrushStyle::bsSolid;

    // Rings b = 0..G. Only rings that can reach the face are drawn, so a huge
    // GradeWidth costs nothing: the top, left and bottom strips leave the
    // face once b passes its size; the right strips lie within W of G.
    const std::int64_t reach = std::max(W, H) + 1;
    auto ring = [&](std::int64_t b64) {
        if (GradeTopOnly) {
            if (b64 > reach) return;
            const int b = static_cast<int>(b64);
            canvas.BrushColor = Shift(S, 20 * (G - b64));
            canvas.FillRect(TRect{0, b, W, b + 1});
            return;
        }
        const bool near = b64 <= reach;
        const int b = static_cast<int>(std::min(b64, reach));
        if (near) {
            canvas.BrushColor = Shift(S, 20 * (G - b64));
            canvas.FillRect(TRect{b, b, W - b + 1, b + 1});
            canvas.BrushColor = Shift(S, 12 * (G - b64));
            canvas.FillRect(TRect{b, b, b + 1, H - b});
        }
        if (G - b64 <= W + 1) {
            const int d = static_cast<int>(G - b64);
            canvas.BrushColor = Shift(S, -12 * b64);
            canvas.FillRect(TRect{W - d, d, W - d + 1, H - d});
        }
        if (near) {
            canvas.BrushColor = Shift(S, -20 * (G - b64));
            canvas.FillRect(TRect{b, H - b, W - b + 1, H - b + 1});
        }
    };
    if (G >= 0) {
        const std::int64_t nearEnd = std::min<std::int64_t>(G, reach);
        for (std::int64_t b = 0; b <= nearEnd; ++b) ring(b);
        for (std::int64_t b = std::max<std::int64_t>(nearEnd + 1, G - W - 1); b <= G; ++b) ring(b);
    }

    if (Border) {
        canvas.BrushColor = clBlack;
        canvas.FrameRect(TRect{0, 0, W, H});
    }
    // Far outside these bounds the lines lie wholly off the face.
    if (DrawLine && G >= -(1 << 20) && G <= (1 << 20)) {
        const int g = static_cast<int>(G);
        canvas.BrushColor = LineHILiteColor;
        canvas.FrameRect(TRect{g + 1, g + 1, W - g, H - g});
        canvas.BrushColor = LineShadowColor;
        canvas.FrameRect(TRect{g, g, W - g - 1, H - g - 1});
    }
}

}  // namespace orv
