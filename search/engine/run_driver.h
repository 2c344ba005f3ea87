// One comparison run from the Start button to its end processing, and the
// Pause and Stop buttons.
#pragma once

#include <cstdint>
#include <string>

#include "search/engine/main_data.h"
#include "search/engine/run_status.h"
#include "search/engine/run_view.h"

namespace orv {

class TRunEngine;
class TRunLog;
class IPairHandOver;

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

// TRunChoices, what Start copies into the run: run_choices.h.

inline constexpr const char* kMoveFolderInvalid =
    "自動処理のファイルの移動/コピー先が無効です。指定したフォルダが存在するかどうか確認してください";
inline constexpr const char* kWorkFolderMissing = "一時作業用フォルダが見つかりません。正しいフォルダを指定してください";
// A run of another program holds the work folder.
std::string WorkFolderInUseMessage(const std::string& folder);
// The work folder is not the user's own, or others may write into it.
std::string WorkFolderNotPrivateMessage(const std::string& folder);

class TRunDriver {
public:
    TRunDriver(TRunEngine& engine, TRunLog& log, IRunWindow& window, IPairHandOver* handOver = nullptr);

    // Start: copies the choices, checks the folders, opens and locks the
    // work folder and runs. False when a check refused the start (its
    // message was shown): also when another program's run holds the work
    // folder, whose signatures and index the end of either run would
    // delete, and when others may write into it (they could then choose
    // what a run compares, and so what it erases).
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
