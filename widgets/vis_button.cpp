#include "widgets/vis_button.h"

#include <algorithm>

#include "platform/base/sound.h"

namespace orv {

TVisButton::TVisButton(TComponent* owner, std::string name, TWinControl* parent)
    : TGraphicControl(owner, std::move(name), parent) {
    strip_.SetPixelFormat(TPixelFormat::pfDevice);
    strip_.SetSize(20, 60);
    // The constructor's size, before any strip is given.
    TGraphicControl::SetBounds(Left(), Top(), 20, 60);
    constructed_ = true;
}

void TVisButton::SetBitMap(const TBitmap& strip) {
    strip_.Assign(strip);
    Invalidate();
}

void TVisButton::SetCaption(const std::string& caption) {
    // Stored only; it shows at the next painting or press.
    TControl::SetCaption(caption);
}

void TVisButton::SetEnable(bool enable) {
    // The same state again changes nothing the button shows.
    if (enable == enable_ && FaceCurrent()) return;
    enable_ = enable;
    // On a disabled window the button shows the disabled look either way:
    // there is nothing new to show until the window is enabled again.
    if (!EnabledInWindow()) {
        LookChanged();
        return;
    }
    // The next paint renders the face: none sooner shows it.
    if (TShowFacesAtNextPaint::Active()) {
        Invalidate();
        return;
    }
    PaintNow();
}

void TVisButton::PaintNow() {
    PaintFace();
    ShowFaceNow();
}

void TVisButton::Resize() {
    if (!constructed_) return;
    const int w = transParent_ ? strip_.Width() / 2 : strip_.Width();
    const int h = strip_.Height() / 3;
    if (w != ClientWidth() || h != ClientHeight()) {
        // Resizes again through the widget, which lands here with the size
        // already right.
        SetBounds(Left(), Top(), w, h);
        if (w == ClientWidth() && h == ClientHeight()) return;
    }
    TGraphicControl::Resize();
}

void TVisButton::DrawRow(TCanvas& canvas, int row) {
    TBitmap& face = canvas.Bitmap();
    const int W = ClientWidth(), H = ClientHeight();
    const int y = strip_.Height() / 3 * row;
    // The source block is clipped to the strip: a control larger than the
    // strip never reads past it; what lies outside keeps the face.
    auto block = [&](int sx, TRasterOp op) {
        const int w = std::min(W, strip_.Width() - sx);
        const int h = std::min(H, strip_.Height() - y);
        if (w > 0 && h > 0) BitBlt(face, 0, 0, w, h, strip_, sx, y, op);
    };
    if (!transParent_) {
        block(0, TRasterOp::SrcCopy);
    } else {
        block(strip_.Width() / 2, TRasterOp::SrcErase);  // target := mask and not target
        block(0, TRasterOp::SrcInvert);                  // target := target xor image
    }
    if (!Caption().empty()) {
        canvas.Font = Font();
        canvas.BrushStyle = TBrushStyle::bsClear;
        canvas.TextOut((W - canvas.TextWidth(Caption())) / 2, (H - canvas.TextHeight(Caption())) / 2, Caption());
    }
}

void TVisButton::Paint(TCanvas& canvas) {
    if (!Visible()) return;
    // A button on a disabled window looks disabled too.
    DrawRow(canvas, enable_ && EnabledInWindow() ? 0 : 2);
}

void TVisButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    // A button on a disabled window looks disabled, and is.
    if (!enable_ || !EnabledInWindow()) return;
    // The pressed look goes over what the button shows now.
    if (Face().Width() != ClientWidth() || Face().Height() != ClientHeight()) PaintFace();
    if (!Face().Empty()) {
        TCanvas canvas(Face());
        DrawRow(canvas, 1);
        LookChanged();  // the pressed look is not the face's own
        ShowFaceNow();
    }
    // Synchronous: the pressed look stays while the sound plays.
    if (!soundName_.empty()) PlayWave(soundName_, true);
    try {
        TGraphicControl::MouseDown(button, shift, x, y);
    } catch (...) {
        // The handler failed: the button must not stay pressed.
        PaintNow();
        throw;
    }
    PaintNow();
}

void TVisButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    PaintNow();
    TGraphicControl::MouseUp(button, shift, x, y);
}

}  // namespace orv
