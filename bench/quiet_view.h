// A run view that shows nothing, for benchmarks of the engine: it answers
// the list entries and the preview box it is given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "search/engine/run_view.h"

namespace orv::bench {

class QuietView : public IRunView {
public:
    explicit QuietView(std::vector<std::string> entries = {}, TPreviewBox previewBox = {})
        : entries_(std::move(entries)), previewBox_(previewBox) {}
    void SetLabelInfo(int, const std::string&, const std::string&) override {}
    void SetGaugeMax(std::int64_t) override {}
    void SetGaugePosition(std::int64_t) override {}
    void AppendLog(const std::string&) override {}
    void ProcessMessages() override {}
    void SetWaitCursor(bool) override {}
    void OpenAnimation(const std::string&, bool) override {}
    void StopAnimation() override {}
    std::vector<std::string> ListEntries(int) override { return entries_; }
    TPreviewBox PreviewBox() override { return previewBox_; }

private:
    std::vector<std::string> entries_;
    TPreviewBox previewBox_;
};

}  // namespace orv::bench
