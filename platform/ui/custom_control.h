// Controls that paint themselves in software: the whole face is rendered
// into a TBitmap (the control's Face()) when its look or size changed, and a
// paint event copies the part it asks for to the screen. Tests read the
// face's pixels.
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
    // Counts the renderings of the face: a control that copies part of it
    // knows whether what it copied is still current.
    std::uint64_t FaceRevision() const { return faceRevision_; }

protected:
    virtual ~TPaintedFace() = default;
    // Whether the face shows if the control's window is enabled (most
    // faces look the same either way and need no new rendering then).
    virtual bool LookFollowsEnabled() const { return false; }
    // The look changed: the next paint renders the face again.
    void MarkFaceOutdated() { faceOutdated_ = true; }
    // A rendering of the face starts.
    void FaceRendered() {
        faceOutdated_ = false;
        ++faceRevision_;
    }
    // The face holds the control's look at that size.
    bool FaceCurrentAt(int width, int height) const {
        return !faceOutdated_ && face_.Width() == width && face_.Height() == height;
    }

    TBitmap face_;

private:
    friend class TPaintWidget;
    std::uint64_t faceRevision_ = 0;
    bool faceOutdated_ = true;
};

class TCustomControl : public TWinControl, public TPaintedFace {
public:
    TCustomControl(TComponent* owner, std::string name, TWinControl* parent);
    std::string ClassName() const override { return "TCustomControl"; }

    // Renders the face now at the control's size (without showing it).
    void PaintFace();
    // Renders the face only if it is out of date (its look or size changed).
    void UpdateFace();

protected:
    // Paints the whole face; the canvas covers the control.
    virtual void Paint(TCanvas& canvas) = 0;
    // A look kept outside the control's properties (plain fields that
    // change without Invalidate) differs from the one last painted.
    virtual bool FaceStale() const { return false; }
    // Marks the face out of date and has the window-less children repaint:
    // Qt does not repaint children for a parent they cover completely.
    void LookChanged() override;
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
    // Renders the face only if it is out of date: its look, size or place
    // changed, or the parent's face or colour under it did.
    void UpdateFace();
    // Copies the parent's face (or colour) under the control into the face.
    void PaintBackground();

protected:
    virtual void Paint(TCanvas& canvas) = 0;
    void LookChanged() override { MarkFaceOutdated(); }
    // Draws into the current face without clearing it and shows it at once,
    // also while the message loop does not run (a press look during a
    // synchronous sound). A look drawn over the rendered one calls
    // LookChanged, so the next paint renders the face again.
    void ShowFaceNow();
    // The face holds the control's look at its size.
    bool FaceCurrent() const { return FaceCurrentAt(ClientWidth(), ClientHeight()); }

private:
    friend class TPaintWidget;
    // What the face was rendered from, besides the control's own look.
    struct TBackdrop {
        const TPaintedFace* parentFace = nullptr;
        std::uint64_t parentRevision = 0;
        TColor color = 0;
        int left = 0, top = 0;
        bool operator==(const TBackdrop&) const = default;
    };
    TBackdrop CurrentBackdrop() const;
    TBackdrop backdrop_;
    bool faceReady_ = false;
};

// While one lives, window-less controls that would show their face at once
// (ShowFaceNow with a current face) wait, and are shown together in one
// repaint of their window when the last one ends: a routine that switches
// many buttons repaints the window once instead of once per button.
class TShowFacesTogether {
public:
    TShowFacesTogether();
    ~TShowFacesTogether();
    TShowFacesTogether(const TShowFacesTogether&) = delete;
    TShowFacesTogether& operator=(const TShowFacesTogether&) = delete;
};

// While one lives, window-less controls that would show their face at once
// wait for the next paint of their window instead: for a caller that has the
// window handle its messages soon (a run, once per slice of its work), which
// shows them together with everything else that changed meanwhile.
class TShowFacesAtNextPaint {
public:
    TShowFacesAtNextPaint();
    ~TShowFacesAtNextPaint();
    TShowFacesAtNextPaint(const TShowFacesAtNextPaint&) = delete;
    TShowFacesAtNextPaint& operator=(const TShowFacesAtNextPaint&) = delete;
    static bool Active();
};

class TPanel : public TCustomControl {
public:
    TPanel(TComponent* owner, std::string name, TWinControl* parent);
    std::string ClassName() const override { return "TPanel"; }

    enum class TBevel { bvNone, bvLowered, bvRaised };
    void SetBevelOuter(TBevel b) { bevelOuter_ = b; Invalidate(); }
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
