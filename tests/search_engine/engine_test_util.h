// Test doubles for the engine: a view that records what a run shows, and a
// temporary folder removed at the end of a test.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/base/stream.h"
#include "platform/graphics/bitmap.h"
#include "search/engine/run_view.h"

namespace orv::test {

class TempFolder {
public:
    TempFolder() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "orv-engine-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data()) ? tmpl : std::string();
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // The folder with its trailing '/'.
    std::string Dir() const { return path_ + "/"; }

private:
    std::string path_;
};

class RecordingView : public IRunView {
public:
    struct Label {
        int index;
        std::string caption;
    };

    void SetLabelInfo(int index, const std::string& caption, const std::string& hint) override {
        labels.push_back({index, caption});
        lastHint = hint;
    }
    void SetGaugeMax(std::int64_t max) override { gaugeMax = max; }
    void SetGaugePosition(std::int64_t position) override { gaugePosition = position; }
    void AppendLog(const std::string& line) override { log.push_back(line); }
    void ProcessMessages() override {
        ++messageCalls;
        if (onMessages) onMessages();
    }
    void SetWaitCursor(bool on) override { cursor.push_back(on); }
    void OpenAnimation(const std::string& file, bool play) override { animations.push_back(file + (play ? "+" : "")); }
    void StopAnimation() override { ++animationStops; }
    std::vector<std::string> ListEntries(int side) override { return entries[side == 0 ? 0 : 1]; }
    void Sleep(int milliseconds) override { slept += milliseconds; }

    std::vector<std::string> entries[2];
    std::vector<Label> labels;
    std::string lastHint;
    std::int64_t gaugeMax = -1, gaugePosition = -1;
    std::vector<std::string> log;
    int messageCalls = 0;
    std::function<void()> onMessages;
    std::vector<bool> cursor;
    std::vector<std::string> animations;
    int animationStops = 0;
    int slept = 0;
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
