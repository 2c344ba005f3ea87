// What a run shows while it works. The main window implements this; tests use
// a recorder. The engine calls nothing of the window except through here.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace orv {

class TBitmap;

// The box a preview picture is shown fitted into (0 x 0: not known).
struct TPreviewBox {
    int Width = 0;
    int Height = 0;
};

class IRunView {
public:
    virtual ~IRunView() = default;

    // Caption and hint of LabelInfo1, LabelInfo2 or LabelInfo3 (index 1 to 3).
    virtual void SetLabelInfo(int index, const std::string& caption, const std::string& hint) = 0;
    virtual void SetGaugeMax(std::int64_t max) = 0;
    virtual void SetGaugePosition(std::int64_t position) = 0;
    // Appends one line to the run log box ErrorLog.
    virtual void AppendLog(const std::string& line) = 0;
    // Handles pending window messages; Pause, Stop and the preview switch act
    // from inside this call.
    virtual void ProcessMessages() = 0;
    virtual void SetWaitCursor(bool on) = 0;
    // The run animation: open a file (first frame shown), play, stop.
    virtual void OpenAnimation(const std::string& file, bool play) = 0;
    virtual void StopAnimation() = 0;

    // The captions of the source (0) or target (1) list, folders ending in '/'.
    virtual std::vector<std::string> ListEntries(int side) = 0;

    // Previews of a pair (side 0 left, 1 right): picture and path caption.
    virtual void ShowPreview(int side, const TBitmap* picture, const std::string& caption) {
        (void)side, (void)picture, (void)caption;
    }
    virtual void ClearPreviews() {}
    // Where the previews show: a picture need not be decoded larger.
    virtual TPreviewBox PreviewBox() { return {}; }
    virtual void SetCaption(const std::string& caption) { (void)caption; }

    // Blocks for the pause wait's step; a test double may return at once.
    virtual void Sleep(int milliseconds);
};

// Shows the wait cursor for as long as it lives.
class TViewWaitCursor {
public:
    explicit TViewWaitCursor(IRunView& view) : view_(view) { view_.SetWaitCursor(true); }
    ~TViewWaitCursor() {
        try {
            view_.SetWaitCursor(false);
        } catch (...) {
        }
    }
    TViewWaitCursor(const TViewWaitCursor&) = delete;
    TViewWaitCursor& operator=(const TViewWaitCursor&) = delete;

private:
    IRunView& view_;
};

// Processes window messages on a time slice rather than at every call, so a
// walk over many small files is not dominated by the window's event loop.
class TMessagePump {
public:
    explicit TMessagePump(IRunView& view, std::chrono::milliseconds slice = std::chrono::milliseconds(20))
        : view_(view), slice_(slice), last_(std::chrono::steady_clock::now()) {}

    // Processes messages when the slice has passed since the last time.
    void Tick() {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ >= slice_) Process();
    }
    // Processes messages now.
    void Now() { Process(); }
    void SetSlice(std::chrono::milliseconds slice) { slice_ = slice; }

private:
    void Process() {
        view_.ProcessMessages();
        last_ = std::chrono::steady_clock::now();
    }

    IRunView& view_;
    std::chrono::milliseconds slice_;
    std::chrono::steady_clock::time_point last_;
};

}  // namespace orv
