// One comparison run from the Start button to its end processing, the Pause
// and Stop buttons, and the status labels with the remaining-time estimate.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/base/datetime.h"
#include "search/engine/main_data.h"
#include "search/engine/run_view.h"

namespace orv {

class TRunEngine;
class TRunLog;
class IPairHandOver;

// ---- status texts

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
    const std::string& EstimateText() const { return estimate_; }

private:
    TMainData& data_;
    IRunView& view_;
    std::chrono::steady_clock::time_point start_{};
    TDateTime remaining_ = 0;
    std::string estimate_ = kEstimateMeasuring;
};

// ---- the run

// What the window does for a run beyond showing its progress (IRunView).
class IRunWindow {
public:
    virtual ~IRunWindow() = default;
    // A plain message box.
    virtual void ShowMessage(const std::string& text) = 0;
    // Step and run-page button states 0 to 4.
    virtual void SetMbEnabled(int state) = 0;
    // The whole window (off during the end processing).
    virtual void SetWindowEnabled(bool enabled) = 0;
    virtual void ClearErrorLog() = 0;
    // Caption of Pan_DoList.
    virtual void SetDoListCaption(const std::string& caption) = 0;
    // false: LabelInfo1 fills the status panel, LabelInfo2 and 3 hidden;
    // true: three labels side by side, a third of the panel each.
    virtual void SetLabelColumns(bool three) = 0;
    // P4B_Log and p4b_LogClear.
    virtual void SetLogButtonsEnabled(bool enabled) = 0;
    // P4B_Stop and P4B_Pause.
    virtual void SetStopPauseEnabled(bool enabled) = 0;
};

// The settings-page choices that Start copies into the run.
struct TRunChoices {
    std::int32_t SizeMode = -1;   // Radio_Mode
    std::int32_t SyoriMode = -1;  // Radio_Syori
    std::int32_t SelTgt = -1;     // Radio_Seltgt
    std::int32_t DoAction = -1;   // Radio_Do
    std::int32_t NearMode = -1;   // Radio_Near
    bool SubFolder = false;       // Check_subFolder
    bool Preview = false;         // Check_prev
    bool OneEnd = false;          // Check_OneEnd
    std::string TgtDir;           // LabeledEdit1
};

inline constexpr const char* kMoveFolderInvalid =
    "自動処理のファイルの移動/コピー先が無効です。指定したフォルダが存在するかどうか確認してください";
inline constexpr const char* kWorkFolderMissing = "一時作業用フォルダが見つかりません。正しいフォルダを指定してください";

class TRunDriver {
public:
    TRunDriver(TRunEngine& engine, TRunLog& log, IRunWindow& window, IPairHandOver* handOver = nullptr);

    // Start: copies the choices, checks the folders and runs. False when a
    // check refused the start (its message was shown).
    bool P4B_StartMouseDown(const TRunChoices& choices);
    void P4B_PauseMouseDown();
    void P4B_StopMouseDown();
    void Check_prevClick(bool checked);

    // One whole run; always reaches the end processing.
    void StartComp();

    // The folder of the run animations (BmpDir); AppDir + "BMP/" by default.
    void SetBmpDir(std::string dir) { bmpDir_ = std::move(dir); }

private:
    void EndProcessing();

    TRunEngine& engine_;
    TRunLog& log_;
    IRunWindow& window_;
    IPairHandOver* handOver_;
    std::string bmpDir_;
};

}  // namespace orv
