// The pair loop: every source image against every target image through
// their signatures, with the skip rules, the progress record, Pause and Stop,
// and what happens to a match (log row, find sound, hand-over).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "search/engine/log_table.h"
#include "search/engine/main_data.h"
#include "search/engine/signature.h"

namespace orv {

class TRunEngine;
class TRunStatus;

// ---- the run log

// The run log's rows (the window shows them) with a lookup of the
// source/target pairs they hold, kept in step with every change.
class TRunLog {
public:
    std::size_t Count() const { return rows_.size(); }
    bool Empty() const { return rows_.empty(); }
    // A copy of one row's texts; raises std::out_of_range past the last row.
    // Rows()[index] reads a row without copying it.
    TLogRow Row(std::size_t index) const { return rows_.at(index).Texts(); }
    const TLogTable& Rows() const { return rows_; }

    void Add(const TLogRow& row);
    void SetResult(std::size_t index, std::string_view text);
    void Delete(std::size_t index);
    void Assign(TLogTable rows);
    void Clear();

    // A row holds this source path as its caption and this target path as
    // its target (exact comparison, this direction only).
    bool Contains(const std::string& source, const std::string& target) const;
    // Counts every change; the pair loop notices changes made behind it.
    std::uint64_t Revision() const { return revision_; }

    // The window's list view follows the log through these.
    std::function<void(std::size_t index)> OnRowAdded;
    std::function<void(std::size_t index)> OnRowChanged;
    std::function<void()> OnReset;

private:
    static std::uint64_t Key(std::uint32_t source, std::uint32_t target) {
        return (static_cast<std::uint64_t>(source) << 32) | target;
    }
    void Reindex();

    TLogTable rows_;
    // (source path, target path) text numbers -> number of rows holding them
    std::unordered_map<std::uint64_t, std::uint32_t> pairs_;
    std::uint64_t revision_ = 0;
};

// Builds the log row of a match from the two work-list entries.
TLogRow MakeLogRow(const TFileList::Entry& source, const TFileList::Entry& target);

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

// A file as the loop sees it: whether it exists and which file it is.
struct TFileIdentity {
    bool Exists = false;
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
};

// Replaceable pieces of the loop (tests and benchmarks give their own).
struct TPairLoopHooks {
    // Default: stat, links followed; a folder is not a file.
    std::function<TFileIdentity(const std::string& path)> Identify;
    // The signature of a work-list entry (side 0 source, 1 target). Default:
    // the memory cache, else the entry's signature file; an unreadable one
    // gives an empty signature, which scores 0.
    std::function<TCompactSignature(int side, std::size_t index)> LoadSignature;
    // A picture for the preview, or null. Default: the image loader.
    std::function<std::unique_ptr<TBitmap>(const std::string& path)> LoadPreview;
};

inline constexpr const char* kProgressRecordedSuffix = "ファイル進行記録済";

class TPairLoop {
public:
    // handOver may be null: matches are then only logged.
    TPairLoop(TRunEngine& engine, TRunLog& log, TRunStatus& status, IPairHandOver* handOver = nullptr);
    ~TPairLoop();
    TPairLoop(const TPairLoop&) = delete;
    TPairLoop& operator=(const TPairLoop&) = delete;

    void SetHooks(TPairLoopHooks hooks);
    // Pairs between two looks at the clock for the time slice.
    void SetClockStride(int pairs) { clockStride_ = pairs > 0 ? pairs : 1; }

    // The whole loop over SourceFiles x TargetFiles.
    void HikakuMain();

    bool CheckEndList(const std::string& path) const;
    bool CheckLogList(std::size_t source, std::size_t target) const;
    // The score of one pair, loaded as the loop loads it.
    int FazzyComp(std::size_t source, std::size_t target);
    // Adds the log row of a match and hands it over by the handling mode.
    void DoSyori(std::size_t source, std::size_t target);

    // Memory the signatures of the last loop held, and its budget.
    std::size_t SignatureBytes() const;
    std::size_t SignatureBudget() const;

private:
    struct State;

    void Prepare();
    void AdoptCache();
    void RunRow(std::size_t i);
    bool PairPasses(std::size_t i, std::size_t j) const;
    bool RefreshIdentity(std::size_t pathId);
    bool CheckLogFast(std::size_t i, std::size_t j);
    bool Reaches(std::size_t i, std::size_t j);
    void ResetGroup(std::size_t slot, std::size_t first);
    std::size_t GroupSlot(std::size_t first);
    void StartWorkers();
    void StopWorkers();
    void GiveOut(std::size_t slot, std::size_t first);
    void ScoreChunks(std::size_t slot);
    bool AwaitChunk(std::size_t slot, std::size_t j);
    std::size_t QuietPairs(std::size_t i, std::size_t j, std::size_t& lastCompared);
    // Compares one pair that passed the skip tests and handles a match;
    // false when a file of the match is gone by now (the pair then counts as
    // neither compared nor found).
    bool DoHikaku(std::size_t i, std::size_t j, bool& rowMatched);
    void ScoreGroup(std::size_t slot, std::size_t row, std::size_t j);
    const TCompactSignature& Signature(int side, std::size_t index, TCompactSignature& scratch);
    void Found(std::size_t i, std::size_t j);
    void Slice(std::size_t i, std::size_t j, bool force);
    void ShowPreviews(std::size_t i, std::size_t j);
    void RecordRow(std::size_t i);

    TRunEngine& engine_;
    TMainData& data_;
    TRunLog& log_;
    TRunStatus& status_;
    IPairHandOver* handOver_;
    TPairLoopHooks hooks_;
    int clockStride_ = 64;
    std::unique_ptr<State> state_;
};

}  // namespace orv
