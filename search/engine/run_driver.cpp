#include "search/engine/run_driver.h"

#include <exception>

#include "platform/base/file_system.h"
#include "platform/base/paths.h"
#include "platform/base/sound.h"
#include "search/engine/pair_loop.h"
#include "search/engine/run_engine.h"

namespace orv {

namespace {

constexpr const char* kCollectStart = "：ファイル情報収集開始";
constexpr const char* kCompareStart = "：比較開始";
constexpr const char* kStoppedEarly = "：途中中断";
constexpr const char* kEndProcessing = "：終了処理";
constexpr const char* kEnded = "：終了";
constexpr const char* kEndLabel = "終了";

std::string WorkFolderUnlockedText(const std::string& folder) {
    return "：作業フォルダ " + folder + " をロックできません。他の Orvalis と同時に使用しないでください";
}

std::string FailureText(const std::exception* e) {
    return std::string("：") + (e ? e->what() : "unknown error");
}

}  // namespace

std::string WorkFolderInUseMessage(const std::string& folder) {
    return "作業フォルダ " + folder + " は他の Orvalis が使用中です";
}

std::string WorkFolderNotPrivateMessage(const std::string& folder) {
    return "作業フォルダ " + folder + " は自分以外のユーザーも変更できるため使用できません。" +
           "自分だけが書き込めるフォルダを指定してください";
}

TRunDriver::TRunDriver(TRunEngine& engine, TRunLog& log, IRunWindow& window, IPairHandOver* handOver)
    : engine_(engine), log_(log), window_(window), handOver_(handOver) {}

bool TRunDriver::P4B_StartMouseDown(const TRunChoices& choices) {
    TMainData& d = engine_.Data();
    if (d.Running == 1) return false;
    d.SizeMode = choices.SizeMode;
    d.SyoriMode = choices.SyoriMode;
    d.SelTgt = choices.SelTgt;
    d.DoAction = choices.DoAction;
    d.NearMode = choices.NearMode;
    d.SubFolder = choices.SubFolder ? 1 : 0;
    d.Preview = choices.Preview ? 1 : 0;
    d.OneEnd = choices.OneEnd ? 1 : 0;
    d.TgtDir = choices.TgtDir;

    // The move folder is checked for the move action whatever the handling mode.
    if (NeedsFolder(d.DoAction) && !DirectoryExists(d.TgtDir)) {
        window_.ShowMessage(kMoveFolderInvalid);
        return false;
    }
    // Held from the collection to the end processing's clean-up.
    const std::string work = engine_.SignatureFolder();
    switch (engine_.OpenWorkFolder()) {
        case TWorkFolder::TState::Ready:
            break;
        case TWorkFolder::TState::Missing:
            window_.ShowMessage(kWorkFolderMissing);
            return false;
        case TWorkFolder::TState::NotPrivate:
            window_.ShowMessage(WorkFolderNotPrivateMessage(work));
            return false;
        case TWorkFolder::TState::InUse:
            window_.ShowMessage(WorkFolderInUseMessage(work));
            return false;
    }
    StartComp();
    return true;
}

void TRunDriver::P4B_PauseMouseDown() {
    TMainData& d = engine_.Data();
    d.PauseFlag = d.PauseFlag == 1 ? 0 : 1;
}

void TRunDriver::P4B_StopMouseDown() { engine_.Data().StopFlag = 1; }

void TRunDriver::Check_prevClick(bool checked) { engine_.Data().Preview = checked ? 1 : 0; }

void TRunDriver::StartComp() {
    TMainData& d = engine_.Data();
    IRunView& view = engine_.View();
    const std::string bmpDir = bmpDir_.empty() ? AppDir() + "BMP/" : IncludeTrailingPathDelimiter(bmpDir_);

    d.Running = 1;
    d.CompCount = d.FindCount = d.LoopCount = 0;
    // From here on the run always reaches its end processing, so Running
    // returns to 0 and the window can close again.
    try {
        window_.SetMbEnabled(3);
        d.PauseFlag = 0;
        d.StopFlag = 0;
        d.FileNo = 0;
        window_.ClearErrorLog();
        d.SourceFiles.Clear();
        d.TargetFiles.Clear();
        d.PrevSrcName.clear();
        d.PrevTgtName.clear();
        engine_.InitChach();
        window_.SetDoListCaption({});
        window_.SetLabelColumns(false);
        window_.SetLogButtonsEnabled(false);
        view.OpenAnimation(bmpDir + "ani02.avi", true);
        engine_.LogEvent(kCollectStart);
        if (engine_.OpenWorkFolder() == TWorkFolder::TState::Ready && engine_.WorkFolderUnlocked())
            engine_.LogEvent(WorkFolderUnlockedText(engine_.SignatureFolder()));

        engine_.GetFileListMain();
        d.SingleList = engine_.CheckSingleHikaku() ? 1 : 0;
        window_.SetLabelColumns(true);
        view.StopAnimation();

        if (d.StopFlag == 0 && d.FileCount[0] > 0 && d.FileCount[1] > 0) {
            view.OpenAnimation(bmpDir + "ani03.avi", true);
            engine_.LogEvent(kCompareStart);
            TRunStatus status(d, view);
            TPairLoop loop(engine_, log_, status, handOver_);
            loop.HikakuMain();
        } else if (d.StopFlag == 1) {
            engine_.LogEvent(kStoppedEarly);
        }
    } catch (const std::exception& e) {
        engine_.LogEvent(FailureText(&e));
    } catch (...) {
        engine_.LogEvent(FailureText(nullptr));
    }
    EndProcessing();
}

void TRunDriver::EndProcessing() {
    TMainData& d = engine_.Data();
    IRunView& view = engine_.View();
    const std::string bmpDir = bmpDir_.empty() ? AppDir() + "BMP/" : IncludeTrailingPathDelimiter(bmpDir_);
    // Each step runs even when an earlier one failed; a failure is logged.
    auto step = [this](auto&& action) {
        try {
            action();
        } catch (const std::exception& e) {
            try {
                engine_.LogEvent(FailureText(&e));
            } catch (...) {
            }
        } catch (...) {
        }
    };

    step([&] {
        window_.SetLabelColumns(false);
        view.StopAnimation();
        view.SetWaitCursor(true);
        window_.SetWindowEnabled(false);
        window_.SetStopPauseEnabled(false);
        engine_.LogEvent(kEndProcessing);
    });
    step([&] {
        if (d.NoTmpDel == 0) engine_.DeleteChashFile();
    });
    step([&] { engine_.FreeChach(); });
    engine_.CloseWorkFolder();
    step([&] {
        view.SetLabelInfo(1, kEndLabel, kEndLabel);
        engine_.LogEvent(kEnded);
    });
    step([&] {
        if (d.DoEndSound == 1 && FileExists(d.EndSound)) PlayWave(d.EndSound, false);
    });
    step([&] {
        view.OpenAnimation(bmpDir + "ani01.avi", false);
        view.ClearPreviews();
        view.SetGaugePosition(0);
    });
    d.Running = 0;
    step([&] {
        window_.SetMbEnabled(4);
        window_.SetWindowEnabled(true);
        view.SetWaitCursor(false);
    });
    step([&] {
        if (d.SyoriMode == TSyoriMode::AfterRun && handOver_) handOver_->HandOverLog(0);
    });
    d.PauseFlag = 0;
    d.StopFlag = 0;
}

}  // namespace orv
