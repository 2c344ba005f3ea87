// The pair loop: every source image against every target image, with the
// skip rules, the progress record, Pause and Stop, the status labels and
// previews on the window's time slice, and what happens to a match (find
// sound, log row, hand-over). Whether a pair matches is the scorer's answer
// (pair_scorer.h) over the signatures the loop holds (signature_cache.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "search/engine/main_data.h"
#include "search/engine/pair_lists.h"
#include "search/engine/run_log.h"
#include "search/engine/signature.h"

namespace orv {

class TRunEngine;
class TRunStatus;

// ---- hand-over of matches

// Where a match goes after its log row was added. The pair handler's
// hand-over plugs in here.
class IPairHandOver {
public:
    virtual ~IPairHandOver() = default;
    // Handling modes 0 (automatic) and 2 (each pair by the user): hands the
    // pair over and answers the text for the row's result column.
    virtual std::string HandOverPair(std::size_t source, std::size_t target) = 0;
    // Handling mode 3, after the run: the whole log from firstRow; false
    // when the log is empty.
    virtual bool HandOverLog(std::size_t firstRow) = 0;
};

// ---- the loop

// Replaceable pieces of the loop (tests and benchmarks give their own).
struct TPairLoopHooks {
    // Default: stat, links followed; a folder is not a file.
    std::function<TFileIdentity(const std::string& path)> Identify;
    // The signature of a work-list entry (side 0 source, 1 target). Default:
    // the memory cache, else the entry's signature file; an unreadable one
    // gives an empty signature, which scores 0.
    std::function<TCompactSignature(int side, std::size_t index)> LoadSignature;
    // A picture for the preview, or null. Default: the image loader, no
    // larger than the view's preview box needs.
    std::function<std::unique_ptr<TBitmap>(const std::string& path)> LoadPreview;
};

inline constexpr const char* kProgressRecordedSuffix = "ファイル進行記録済";
// The run-log line after a picture's path when its signature could not be
// read for a comparison (the pair then scores 0); once per picture and run.
inline constexpr const char* kSignatureUnreadableSuffix = "の比較用データを読み込めません";

class TPairLoop {
public:
    // handOver may be null: matches are then only logged.
    TPairLoop(TRunEngine& engine, TRunLog& log, TRunStatus& status, IPairHandOver* handOver = nullptr);
    ~TPairLoop();
    TPairLoop(const TPairLoop&) = delete;
    TPairLoop& operator=(const TPairLoop&) = delete;

    void SetHooks(TPairLoopHooks hooks);
    // The whole loop over SourceFiles x TargetFiles.
    void HikakuMain();

    bool CheckEndList(const std::string& path) const;
    // Adds the log row of a match and hands it over by the handling mode;
    // whether it was handed over.
    bool DoSyori(std::size_t source, std::size_t target);

    // Memory the signatures of the last loop held, and its budget.
    std::size_t SignatureBytes() const;
    std::size_t SignatureBudget() const;

private:
    struct State;
    class Host;

    void Prepare();
    void RunRow(std::size_t i);
    void Visit(std::size_t i, std::size_t j, std::size_t pairs);
    bool RefreshIdentity(std::uint32_t pathId);
    void IndexLog();
    // Whether a log row pairs source i with target j, by path number.
    bool CheckLogList(std::size_t i, std::size_t j);
    // Whether the score of pair (i, j) reaches Par; the scorer stops
    // counting once the answer is certain.
    bool FazzyComp(std::size_t i, std::size_t j);
    const std::vector<std::size_t>& RowLogged(std::size_t i);
    // A picture of pair (i, j) whose signature could not be read and that
    // the run log has not named yet.
    bool UnreadableUnnamed(std::size_t i, std::size_t j) const;
    void NameUnreadable(std::size_t i, std::size_t j);
    std::size_t QuietPairs(std::size_t i, std::size_t j, std::size_t& lastCompared);
    // Compares one pair that passed the skip tests and handles a match;
    // false when a file of the match is gone by now (the pair then counts as
    // neither compared nor found).
    bool DoHikaku(std::size_t i, std::size_t j, bool& rowMatched);
    void Found(std::size_t i, std::size_t j);
    // Both files of a match are as their signatures were made from; a
    // changed or vanished one is logged once and the pair not handed over.
    bool StillAsCompared(std::size_t source, std::size_t target);
    void Slice(std::size_t i, std::size_t j, bool force);
    void ShowPreviews(std::size_t i, std::size_t j);
    void RecordRow(std::size_t i);

    TRunEngine& engine_;
    TMainData& data_;
    TRunLog& log_;
    TRunStatus& status_;
    IPairHandOver* handOver_;
    TPairLoopHooks hooks_;
    static constexpr int kClockStride = 64;
    std::unique_ptr<State> state_;
    std::size_t signatureBytes_ = 0;  // of the last loop
    std::unordered_set<std::string> changedLogged_;
};

}  // namespace orv
