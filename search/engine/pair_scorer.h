// Answers for the pair loop whether a pair's score reaches the threshold,
// scoring rows in groups: a target, once read, is scored against every row
// of the group that will meet it, so a large target list streams through
// the processor's cache once per group rather than once per row. The answers
// are kept per target (one bit per row) until the rows ask.
//
// With worker threads the groups ahead are scored in chunks of targets while
// the loop walks the current one. Workers read only signatures already held
// in memory and the lists' dimensions; everything else happens on the
// loop's thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "search/engine/pair_lists.h"
#include "search/engine/signature.h"
#include "search/engine/signature_cache.h"
#include "search/engine/work_pool.h"

namespace orv {

// What the scorer asks of the loop it serves.
class IScoringHost {
public:
    virtual ~IScoringHost() = default;
    // Row i is finished already (in the progress record): never scored.
    virtual bool RowDone(std::size_t i) = 0;
    // Keeps the window alive while targets are read for the workers; false
    // when Stop or Pause came.
    virtual bool Tick() = 0;
    // While waiting for the workers: when the window is next due its time,
    // and that time itself; false when Stop or Pause came.
    virtual std::chrono::steady_clock::time_point NextSlice() const = 0;
    virtual bool Slice() = 0;
};

class TPairScorer {
public:
    static constexpr std::size_t kGroupRows = 16;  // bits of the per-target answers

    // singleList and sameSize are the loop's modes, fixed for the loop.
    TPairScorer(const TPairLists& lists, TSignatureCache& signatures, IScoringHost& host, int par, bool singleList,
                bool sameSize);
    // Stops the workers.
    ~TPairScorer();
    TPairScorer(const TPairScorer&) = delete;
    TPairScorer& operator=(const TPairScorer&) = delete;

    // Starts `threads` workers, unless the loop is too small to gain from
    // them (always when forced). Every target that some row may meet is read
    // into memory first, in list order.
    void StartWorkers(unsigned threads, bool forced);
    void StopWorkers();
    bool HasWorkers() const { return workers_ != nullptr; }

    // Whether pair (i, j) reaches the threshold. With workers, waits for
    // their answer while keeping the window alive; when Stop or Pause comes
    // meanwhile, the pair is scored here as the single-threaded loop would.
    bool Reaches(std::size_t i, std::size_t j);

    // The workers' answers for row i from target j on, up to `end`; an end
    // of 0 when none are in yet. Target k was scored for the row when
    // scored[k] has `bit`, and reached the threshold when match[k] has it.
    struct TAnswers {
        const std::uint16_t* scored = nullptr;
        const std::uint16_t* match = nullptr;
        std::uint16_t bit = 0;
        std::size_t end = 0;
    };
    TAnswers Ready(std::size_t i, std::size_t j);

private:
    // One group of rows; a slot holds one group.
    struct Group {
        std::size_t first = 0;
        bool used = false;
        std::array<const TCompactSignature*, kGroupRows> source{};
        std::array<TCompactSignature, kGroupRows> owned;
        std::array<bool, kGroupRows> done{};
        std::vector<std::uint16_t> scored, match;  // by target index

        // Worker scoring: rows given to the workers, their chunks of targets
        // from chunkStart on, which are done, and the tasks still running.
        std::uint16_t rows = 0;
        std::size_t chunkStart = 0, chunks = 0;
        std::unique_ptr<std::atomic<std::uint8_t>[]> chunkDone;
        std::atomic<std::size_t> nextChunk{0};
        std::atomic<bool> cancel{false};
        // Under Workers::mutex: the tasks inside the group, and which giving
        // out the slot holds; a task posted for an earlier one ends unrun,
        // so the loop need not wait for tasks still queued behind others.
        int active = 0;
        std::uint64_t generation = 0;
    };
    // The loop needs every chunk of a group for the group's first row, then
    // none for the other fifteen: with only a couple of groups ahead the
    // workers ran dry while it walked them, and it then waited for theirs.
    static constexpr std::size_t kGroupsAhead = 8;

    // The workers and what they read: fixed before the first group is given out.
    struct Workers {
        std::unique_ptr<TWorkPool> pool;
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<const TCompactSignature*> targets;  // held signatures, null when not
        std::size_t chunkTargets = 0;
    };

    void ResetGroup(std::size_t slot, std::size_t first);
    std::size_t GroupSlot(std::size_t first);
    void ScoreGroup(std::size_t slot, std::size_t row, std::size_t j);
    void GiveOut(std::size_t slot, std::size_t first);
    void ScoreChunks(std::size_t slot, std::uint64_t generation);
    bool AwaitChunk(std::size_t slot, std::size_t j);

    const TPairLists& lists_;
    TSignatureCache& signatures_;
    IScoringHost& host_;
    TNeedTable need_;
    bool singleList_;
    bool sameSize_;
    std::array<Group, kGroupsAhead> groups_;
    std::size_t current_ = 0;  // slot of the group the loop is in
    TCompactSignature scratch_;
    std::unique_ptr<Workers> workers_;
};

}  // namespace orv
