// A run view that shows nothing, for benchmarks that run the engine without
// a window: the lists hold the folders or files it is given.
#pragma once

#include <string>
#include <vector>

#include "search/engine/run_view.h"

namespace orv::bench {

class QuietView : public IRunView {
public:
    explicit QuietView(std::vector<std::string> entries = {}) : entries_(std::move(entries)) {}
    void SetLabelInfo(int, const std::string&, const std::string&) override {}
    void SetGaugeMax(std::int64_t) override {}
    void SetGaugePosition(std::int64_t) override {}
    void AppendLog(const std::string&) override { ++logLines; }
    void ProcessMessages() override {}
    void SetWaitCursor(bool) override {}
    void OpenAnimation(const std::string&, bool) override {}
    void StopAnimation() override {}
    std::vector<std::string> ListEntries(int) override { return entries_; }
    int logLines = 0;

private:
    std::vector<std::string> entries_;
};

}  // namespace orv::bench
