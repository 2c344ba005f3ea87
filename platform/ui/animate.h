// Animation player for our own AVI files: opening shows the first frame,
// Play runs the frames in a loop, Stop holds the frame shown.
#pragma once

#include <memory>

#include "platform/graphics/avi.h"
#include "platform/ui/custom_control.h"

class QTimer;

namespace orv {

class TAnimate : public TGraphicControl {
public:
    TAnimate(TComponent* owner, std::string name, TWinControl* parent);
    ~TAnimate() override;
    std::string ClassName() const override { return "TAnimate"; }

    const std::string& FileName() const { return fileName_; }
    // Opens the file and shows its first frame; a file that does not load
    // leaves the player closed (no frame) and raises.
    void SetFileName(const std::string& path);
    bool Opened() const { return reader_.FrameCount() > 0; }
    bool Active() const { return active_; }
    void SetActive(bool active);
    void Play() { SetActive(true); }
    void Stop() { SetActive(false); }
    int CurrentFrame() const { return current_; }
    int FrameCount() const { return reader_.FrameCount(); }
    // Shows frame index (what the timer does each tick).
    void SeekTo(int index);

protected:
    void Paint(TCanvas& canvas) override;

private:
    TAviReader reader_;
    TBitmap frame_;
    std::unique_ptr<QTimer> timer_;
    std::string fileName_;
    bool active_ = false;
    int current_ = -1;
};

}  // namespace orv
