// Hand-over of matches to the pair handler `filer`: the exchange files the
// main program writes (DoFiles.Dat, DoFiles2.Dat), starting filer and waiting
// for it while the window keeps working, and reading its answer (Result.dat).
// The two programs meet only through these files in the program folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/handover_files.h"
#include "search/engine/main_data.h"
#include "search/engine/pair_loop.h"
#include "search/engine/run_driver.h"
#include "search/engine/run_view.h"

namespace orv {

inline constexpr const char* kFilerProgramName = "filer";
// Run-log event texts (after the date and time).
inline constexpr const char* kFilerStartFailed = "：filer を起動できません";
inline constexpr const char* kHandOverWriteFailed = "：filer へ渡すファイルを書き込めません";
inline constexpr const char* kNoAnswer = "：filer から結果を受け取れません";
// The same for a hand-over of named files: "：<files> の処理結果を filer
// から受け取れません".
std::string NoAnswerLine(const std::string& files);
// The result text of automatic handling whose answer was lost, told by the
// file system: the file gone (trashed, erased or moved) gives the action's
// result, the file still there (or none handed over) its failure; empty for
// no action.
std::string OutcomeWithoutAnswer(TPairAction action, const std::string& file, TPairSide side);

// ---- file choice of automatic handling

enum class TAutoSide { None, Source, Target };

// Which file of the pair automatic handling hands over (any choice outside
// TSelTgt's chooses none). Ties go to the source when nearMode is Source,
// else to the target.
TAutoSide ChooseAutoSide(const TSTitems& source, const TSTitems& target, TSelTgt selTgt, TNearMode nearMode);

// ---- the exchange files (each replaces an existing file; the files
// themselves: handover_files.h). request is the hand-over's identity, which
// filer's answer must give back; the stamps of the files' records go along
// where known.

void WriteDoFilesAuto(const std::string& path, TPairAction action, const std::string& moveFolder,
                      const std::string& file, TPairSide side, const TFileStamp& stamp, const std::string& request);
void WriteDoFilesPair(const std::string& path, const TFileList::Entry& source, const TFileList::Entry& target,
                      const std::string& request);
void WriteDoFilesList(const std::string& path, std::int64_t loadNo, const std::string& request);
// The bytes of DoFiles2.Dat for a non-empty log, with the stamps of the
// rows' files from the work lists of data when given and any is known.
// Raises EConvertError for a text the stored-string format cannot hold.
std::string EncodeDoFiles2(const TLogTable& rows, const TMainData* data = nullptr);

// ---- the hand-over

// True while a hand-over of this process waits for filer. A second one is
// refused meanwhile, and the main window should not close.
bool HandOverActive();

class TPairHandOver : public IPairHandOver {
public:
    TPairHandOver(TMainData& data, TRunLog& log, IRunView& view, IRunWindow& window);

    // IPairHandOver: SyoriMode Automatic runs DoAutoSyori, EachPair DoOneSyori.
    std::string HandOverPair(std::size_t source, std::size_t target) override;
    bool HandOverLog(std::size_t firstRow) override;

    std::string DoAutoSyori(std::size_t source, std::size_t target);
    std::string DoOneSyori(std::size_t source, std::size_t target);
    // False when the log is empty or another hand-over is in progress.
    bool DoEndSyori(std::size_t firstRow);

    bool Busy() const { return busy_; }

    // The program started (default AppDir() + "filer") and the folder of the
    // exchange files (default AppDir()); tests point them elsewhere.
    void SetProgram(std::string program) { program_ = std::move(program); }
    void SetFolder(std::string folder);
    std::string Folder() const;

private:
    // Writes the exchange files through `write` (given this hand-over's
    // identity), starts filer, waits until it has ended, reads the answer
    // into ResText, appends its lines and cleans up. filer ending without an
    // answer to this hand-over (none, or one that gives back another
    // identity) is logged (naming `files` when given), and answers true:
    // nothing is taken as done. The window is disabled meanwhile when filer
    // shows one.
    bool LoadFileUtil(bool showsWindow, const std::function<void(const std::string& request)>& write,
                      const std::string& files = {});
    void DeleteExchangeFiles() const;
    std::string TakeFirstResult();

    TMainData& data_;
    TRunLog& log_;
    IRunView& view_;
    IRunWindow& window_;
    std::string program_;
    std::string folder_;
    bool busy_ = false;
};

// The hand-over the main window installs (SetPairHandOver).
std::unique_ptr<IPairHandOver> MakePairHandOver(TMainData& data, TRunLog& log, IRunView& view,
                                                IRunWindow& window);

}  // namespace orv
