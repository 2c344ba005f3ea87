#include "platform/ui/animate.h"

#include <QTimer>

#include "platform/ui/application.h"

namespace orv {

TAnimate::TAnimate(TComponent* owner, std::string name, TWinControl* parent)
    : TGraphicControl(owner, std::move(name), parent), timer_(std::make_unique<QTimer>()) {
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] {
        Guard(this, [this] {
            if (FrameCount() > 0) SeekTo((current_ + 1) % FrameCount());
        });
    });
}

TAnimate::~TAnimate() { timer_->stop(); }

void TAnimate::SetFileName(const std::string& path) {
    SetActive(false);
    fileName_ = path;
    current_ = -1;
    frame_.Clear();
    try {
        reader_.LoadFromFile(path);
    } catch (...) {
        reader_ = TAviReader();
        Invalidate();
        throw;
    }
    SeekTo(0);
}

void TAnimate::SetActive(bool active) {
    active_ = active && Opened();
    if (active_)
        timer_->start(static_cast<int>(std::max<std::uint32_t>(reader_.FrameInterval() / 1000, 10)));
    else
        timer_->stop();
}

void TAnimate::SeekTo(int index) {
    if (index < 0 || index >= FrameCount()) return;
    reader_.Frame(index, frame_);
    current_ = index;
    Invalidate();
}

void TAnimate::Paint(TCanvas& canvas) {
    if (frame_.Empty()) return;
    // Centred at its own size, as the player shows a clip.
    BitBlt(canvas.Bitmap(), (ClientWidth() - frame_.Width()) / 2, (ClientHeight() - frame_.Height()) / 2,
           frame_.Width(), frame_.Height(), frame_, 0, 0, TRasterOp::SrcCopy);
}

}  // namespace orv
