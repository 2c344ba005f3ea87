// Window-less button drawn from one bitmap strip of three looks (normal,
// pressed, disabled, top to bottom), optionally with a mask in the strip's
// right half, an optional caption, and a click sound played on each press.
#pragma once

#include "platform/ui/custom_control.h"

namespace orv {

class TVisButton : public TGraphicControl {
public:
    TVisButton(TComponent* owner, std::string name, TWinControl* parent);
    std::string ClassName() const override { return "TVisButton"; }

    const TBitmap& BitMap() const { return strip_; }
    // Takes a copy of the strip.
    void SetBitMap(const TBitmap& strip);
    void SetCaption(const std::string& caption) override;
    const std::string& SoundName() const { return soundName_; }
    void SetSoundName(const std::string& path) { soundName_ = path; }
    bool Enable() const { return enable_; }
    // Stores the flag and paints the button at once (unless it shows that
    // state already). It is the button's own switch: the widget stays
    // enabled, so releases still arrive.
    void SetEnable(bool enable);
    bool TransParent() const { return transParent_; }
    void SetTransParent(bool v) {
        transParent_ = v;
        LookChanged();
    }

    // Press and release as the mouse gives them.
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    // Takes the size of one look of the strip, then runs OnResize.
    void Resize() override;

    // Draws look row (0 normal, 1 pressed, 2 disabled) and the caption onto
    // the face as it is.
    void DrawRow(TCanvas& canvas, int row);

protected:
    void Paint(TCanvas& canvas) override;
    bool LookFollowsEnabled() const override { return true; }

private:
    void PaintNow();
    TBitmap strip_;
    std::string soundName_;
    bool enable_ = true;
    bool transParent_ = false;
    bool constructed_ = false;
};

}  // namespace orv
