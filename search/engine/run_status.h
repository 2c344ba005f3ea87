// The status labels of the pair loop, with the remaining-time estimate.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/base/datetime.h"
#include "search/engine/main_data.h"
#include "search/engine/run_view.h"

namespace orv {

// "画像比較中 [i/n]-[ j/m]" of LabelInfo1 and the counts of LabelInfo2.
std::string CompareLabelText(std::int64_t source, std::int64_t sources, std::int64_t target, std::int64_t targets);
std::string CountLabelText(std::int64_t compared, std::int64_t found);
inline constexpr const char* kEstimateMeasuring = "[予測残り時間 計測中]";
// "[予測残り時間 h:nn:ss]"; from 24 hours on the whole days come first
// ("[予測残り時間 2日 3:04:05]") instead of wrapping to a time of day.
std::string EstimateLabelText(TDateTime remaining);

// Remaining time of the pair loop projected from the pairs visited so far:
// elapsed x sources x targets / visited - elapsed (days). 64-bit products.
TDateTime ProjectRemaining(TDateTime elapsed, std::int64_t sources, std::int64_t targets, std::int64_t visited);

// The three labels of the pair loop. The estimate is taken whenever the
// visited count reaches a multiple of 100; the labels themselves are written
// when the loop asks (on its time slice), with exact counters.
class TRunStatus {
public:
    TRunStatus(TMainData& data, IRunView& view) : data_(data), view_(view) {}

    // A new pair loop: the clock starts and the estimate is being measured.
    void Start();
    // Takes the estimate as at `visited` pairs (a multiple of 100).
    void TakeEstimate(std::int64_t visited);
    // Called after LoopCount grew from `before`: takes the estimate when a
    // multiple of 100 was reached on the way.
    void Advanced(std::int64_t before) {
        if (data_.LoopCount / 100 != before / 100) TakeEstimate(data_.LoopCount / 100 * 100);
    }
    // Writes LabelInfo1..3 for source index i and target index j.
    void SetLabel(std::size_t i, std::size_t j);
    // The estimate of the last multiple of 100 (days).
    TDateTime Calctime() const { return remaining_; }
    const std::string& EstimateText() const;

private:
    TMainData& data_;
    IRunView& view_;
    std::chrono::steady_clock::time_point start_{};
    TDateTime remaining_ = 0;
    // The text of remaining_, made when shown: the loop takes estimates far
    // more often than it shows them.
    mutable std::string estimate_ = kEstimateMeasuring;
    mutable bool estimated_ = false;
};

}  // namespace orv
