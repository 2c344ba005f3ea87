// Test doubles for the engine: a view that records what a run shows and the
// window around it; pattern pictures.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/stream.h"
#include "platform/graphics/bitmap.h"
#include "search/engine/run_driver.h"
#include "search/engine/run_view.h"
#include "tests/support/temp_dir.h"

namespace orv::test {

class RecordingView : public IRunView {
public:
    struct Label {
        int index;
        std::string caption;
    };

    void SetLabelInfo(int index, const std::string& caption, const std::string& hint) override {
        labels.push_back({index, caption});
        showing[index] = caption;
        lastHint = hint;
    }
    void SetGaugeMax(std::int64_t max) override { gaugeMax = max; }
    void SetGaugePosition(std::int64_t position) override { gaugePosition = position; }
    void AppendLog(const std::string& line) override { log.push_back(line); }
    void ProcessMessages() override {
        ++messageCalls;
        if (onMessages) onMessages();
    }
    void SetWaitCursor(bool on) override {
        cursor.push_back(on);
        waitCursor = on;
    }
    // The animation's file name, and " playing" when it plays.
    void OpenAnimation(const std::string& file, bool play) override {
        animations.push_back(std::filesystem::path(file).filename().string() + (play ? " playing" : ""));
    }
    void StopAnimation() override { ++animationStops; }
    std::vector<std::string> ListEntries(int side) override {
        if (onEntries) onEntries(side);
        return entries[side == 0 ? 0 : 1];
    }
    void ShowPreview(int side, const TBitmap*, const std::string& text) override { previews.emplace_back(side, text); }
    void ClearPreviews() override { ++previewClears; }
    void SetCaption(const std::string& text) override { caption = text; }
    void Sleep(int milliseconds) override {
        ++sleeps;
        slept += milliseconds;
    }

    // The run-log event lines without their date and time.
    std::vector<std::string> Events() const {
        std::vector<std::string> events;
        for (const auto& line : log) {
            const auto colon = line.find("：");
            if (colon != std::string::npos) events.push_back(line.substr(colon));
        }
        return events;
    }

    std::vector<std::string> entries[2];
    std::function<void(int side)> onEntries;
    std::vector<Label> labels;           // every write, in order
    std::map<int, std::string> showing;  // the caption each label shows now
    std::string lastHint;
    std::int64_t gaugeMax = -1, gaugePosition = -1;
    std::vector<std::string> log;
    int messageCalls = 0;
    std::function<void()> onMessages;
    std::vector<bool> cursor;  // every change
    bool waitCursor = false;
    std::vector<std::string> animations;
    int animationStops = 0;
    std::vector<std::pair<int, std::string>> previews;
    int previewClears = 0;
    std::string caption;
    int sleeps = 0, slept = 0;  // calls, milliseconds
};

// The main window as a run and a hand-over see it.
class RecordingWindow : public RecordingView, public IRunWindow {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void SetMbEnabled(int state) override { mbStates.push_back(state); }
    void SetWindowEnabled(bool enabled) override {
        enabledStates.push_back(enabled);
        windowEnabled = enabled;
    }
    void ClearErrorLog() override { log.clear(); }
    void SetDoListCaption(const std::string&) override {}
    void SetLabelColumns(bool three) override { threeLabels = three; }
    void SetLogButtonsEnabled(bool) override {}
    void SetStopPauseEnabled(bool) override {}

    std::vector<std::string> messages;
    std::vector<int> mbStates;
    std::vector<bool> enabledStates;  // every change
    bool windowEnabled = true;
    bool threeLabels = false;
};

// A 24-bit bitmap of width x height with a pattern that depends on seed.
inline void FillPattern(TBitmap& bmp, int width, int height, int seed) {
    bmp.SetPixelFormat(TPixelFormat::pf24bit);
    bmp.SetSize(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bmp.ScanLine(y);
        for (int x = 0; x < width * 3; ++x) row[x] = static_cast<std::uint8_t>((x * 7 + y * 13 + seed * 29) & 0xFF);
    }
}

// Writes a 24-bit bitmap file.
inline void WriteBmpFile(const std::string& path, int width, int height, int seed) {
    TBitmap bmp;
    FillPattern(bmp, width, height, seed);
    TMemoryStream stream;
    bmp.SaveToStream(stream);
    stream.SaveToFile(path);
}

}  // namespace orv::test
