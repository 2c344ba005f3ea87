// Controls that paint themselves in software: each paint renders the whole
// face into a TBitmap (the control's Face()), which is then shown. Tests read
// the face's pixels.
#pragma once

#include "platform/graphics/bitmap.h"
#include "platform/ui/canvas.h"
#include "platform/ui/control.h"

namespace orv {

// Shared by windowed and window-less painted controls.
class TPaintedFace {
public:
    TBitmap& Face() { return face_; }
    const TBitmap& Face() const { return face_; }

protected:
    TBitmap face_;
};

class TCustomControl : public TWinControl, public TPaintedFace {
public:
    TCustomControl(TComponent* owner, std::string name, TWinControl* parent);
    std::string ClassName() const override { return "TCustomControl"; }

    // Renders the face now at the control's size (without showing it).
    void PaintFace();
    // Renders the face only if it is out of date: window-less children copy
    // it, and a panel they cover completely gets no paint event to renew it.
    void UpdateFace();

protected:
    // Paints the whole face; the canvas covers the control.
    virtual void Paint(TCanvas& canvas) = 0;
    // Marks the face out of date and has the window-less children repaint:
    // Qt does not repaint children for a parent they cover completely.
    void LookChanged() override;

private:
    friend class TPaintWidget;
    bool faceOutdated_ = true;
};

// A control painted as part of its parent: its face starts from its parent's
// face under it (or the parent's colour), so see-through areas show what
// lies behind.
class TGraphicControl : public TControl, public TPaintedFace {
public:
    TGraphicControl(TComponent* owner, std::string name, TWinControl* parent);
    std::string ClassName() const override { return "TGraphicControl"; }

    // Renders the face now (background, then Paint).
    void PaintFace();
    // Copies the parent's face (or colour) under the control into the face.
    void PaintBackground();

protected:
    virtual void Paint(TCanvas& canvas) = 0;
    // Draws into the current face without clearing it and shows it at once,
    // also while the message loop does not run (a press look during a
    // synchronous sound).
    void ShowFaceNow();

private:
    friend class TPaintWidget;
    bool faceReady_ = false;
};

class TPanel : public TCustomControl {
public:
    TPanel(TComponent* owner, std::string name, TWinControl* parent);
    std::string ClassName() const override { return "TPanel"; }

    enum class TBevel { bvNone, bvLowered, bvRaised };
    TBevel BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevel b) { bevelOuter_ = b; Invalidate(); }
    TBevel BevelInner() const { return bevelInner_; }
    void SetBevelInner(TBevel b) { bevelInner_ = b; Invalidate(); }
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment a) { alignment_ = a; Invalidate(); }

    void AdjustClientRect(TRect& rect) const override;

protected:
    // Background in Color, the bevels, the caption placed by Alignment.
    void Paint(TCanvas& canvas) override;

private:
    TBevel bevelOuter_ = TBevel::bvRaised;
    TBevel bevelInner_ = TBevel::bvNone;
    TAlignment alignment_ = TAlignment::taCenter;
};

// A plain container (group box).
class TGroupBox : public TWinControl {
public:
    TGroupBox(TComponent* owner, std::string name, TWinControl* parent);
    std::string ClassName() const override { return "TGroupBox"; }
    void SetCaption(const std::string& caption) override;
    void AdjustClientRect(TRect& rect) const override;
};

}  // namespace orv
