#include "search/engine/run_status.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace orv {

std::string CompareLabelText(std::int64_t source, std::int64_t sources, std::int64_t target, std::int64_t targets) {
    return "画像比較中 [" + std::to_string(source) + "/" + std::to_string(sources) + "]-[ " + std::to_string(target) +
           "/" + std::to_string(targets) + "]";
}

std::string CountLabelText(std::int64_t compared, std::int64_t found) {
    return "[全" + std::to_string(compared) + "比較のうち同一" + std::to_string(found) + "ファイル]";
}

std::string EstimateLabelText(TDateTime remaining) {
    constexpr double kMsPerDay = 86400000.0;
    std::int64_t ms = 0;
    // Anything not a sensible duration shows as zero rather than overflowing.
    if (std::isfinite(remaining) && remaining > 0) ms = std::llround(std::min(remaining, 1e9) * kMsPerDay);
    const std::int64_t seconds = ms / 1000;
    const std::int64_t days = seconds / 86400;
    const std::int64_t ofDay = seconds % 86400;
    char time[32];
    std::snprintf(time, sizeof time, "%d:%02d:%02d", static_cast<int>(ofDay / 3600),
                  static_cast<int>(ofDay / 60 % 60), static_cast<int>(ofDay % 60));
    std::string text = "[予測残り時間 ";
    if (days > 0) text += std::to_string(days) + "日 ";
    return text + time + "]";
}

TDateTime ProjectRemaining(TDateTime elapsed, std::int64_t sources, std::int64_t targets, std::int64_t visited) {
    if (visited <= 0) return 0;
    // The product of two list lengths exceeds 32 bits from about 46,341 each.
    const double pairs = static_cast<double>(sources) * static_cast<double>(targets);
    return elapsed * pairs / static_cast<double>(visited) - elapsed;
}

void TRunStatus::Start() {
    start_ = std::chrono::steady_clock::now();
    remaining_ = 0;
    estimate_ = kEstimateMeasuring;
    estimated_ = false;
}

void TRunStatus::TakeEstimate(std::int64_t visited) {
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    remaining_ = ProjectRemaining(elapsed.count() / 86400.0, static_cast<std::int64_t>(data_.SourceFiles.Count()),
                                  static_cast<std::int64_t>(data_.TargetFiles.Count()), visited);
    estimated_ = true;  // the text follows when it is shown
}

const std::string& TRunStatus::EstimateText() const {
    if (estimated_) {
        estimate_ = EstimateLabelText(remaining_);
        estimated_ = false;
    }
    return estimate_;
}

void TRunStatus::SetLabel(std::size_t i, std::size_t j) {
    const std::string first =
        CompareLabelText(static_cast<std::int64_t>(i) + 1, static_cast<std::int64_t>(data_.SourceFiles.Count()),
                         static_cast<std::int64_t>(j) + 1, static_cast<std::int64_t>(data_.TargetFiles.Count()));
    view_.SetLabelInfo(1, first, first);
    view_.SetLabelInfo(2, CountLabelText(data_.CompCount, data_.FindCount), {});
    view_.SetLabelInfo(3, EstimateText(), {});
}

}  // namespace orv
