// Panel with a painted face: an optional 60-band vertical gradient with a
// centred caption, bevel rings in shades of its colour, an optional black
// border, and a highlight and a shadow line inside the rings.
#pragma once

#include <optional>

#include "platform/ui/custom_control.h"

namespace orv {

class TVisualPanel3D : public TPanel {
public:
    TVisualPanel3D(TComponent* owner, std::string name, TWinControl* parent);
    std::string ClassName() const override { return "TVisualPanel3D"; }

    // Every setter only stores; the face changes at the next paint.
    bool DrawLine = true;
    TColor LineShadowColor = clBlack;
    TColor LineHILiteColor = 0xFFFFFF;
    bool GradePanel = false;
    bool Border = false;
    bool GradeTopOnly = false;
    int GradeWidth = 5;
    // Stored with the window; they do not move the client area.
    int TopMgn = 5, BottomMgn = 5, LeftMgn = 5, RightMgn = 5;

    // Aligned children keep 5 pixels from each edge.
    void AdjustClientRect(TRect& rect) const override;

    // Height of each of the 60 gradient bands: height / 60 rounded to the
    // nearest integer, ties to even.
    static int BandHeight(int height);

protected:
    void Paint(TCanvas& canvas) override;
    bool FaceStale() const override { return !painted_ || !(*painted_ == CurrentLook()); }

private:
    static constexpr TRect kClientMargin{5, 5, 5, 5};
    // The fields the face is painted from (colour, font, caption and size
    // tell the control themselves).
    struct TLook {
        bool DrawLine, GradePanel, Border, GradeTopOnly;
        TColor LineShadowColor, LineHILiteColor;
        int GradeWidth;
        bool operator==(const TLook&) const = default;
    };
    TLook CurrentLook() const {
        return {DrawLine, GradePanel, Border, GradeTopOnly, LineShadowColor, LineHILiteColor, GradeWidth};
    }
    std::optional<TLook> painted_;
};

}  // namespace orv
