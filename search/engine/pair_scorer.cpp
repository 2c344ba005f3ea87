#include "search/engine/pair_scorer.h"

#include <algorithm>

namespace orv {

TPairScorer::TPairScorer(const TPairLists& lists, TSignatureCache& signatures, IScoringHost& host, int par,
                         bool singleList, bool sameSize)
    : lists_(lists), signatures_(signatures), host_(host), need_(par), singleList_(singleList), sameSize_(sameSize) {}

TPairScorer::~TPairScorer() { StopWorkers(); }

// Resets slot `slot` for the group of rows from `first`: which rows are
// done, and no answers yet.
void TPairScorer::ResetGroup(std::size_t slot, std::size_t first) {
    Group& g = groups_[slot];
    g.used = true;
    g.first = first;
    g.source.fill(nullptr);
    for (std::size_t r = 0; r < kGroupRows; ++r) g.done[r] = first + r >= lists_.Sources() || host_.RowDone(first + r);
    g.scored.assign(lists_.Targets(), 0);
    g.match.assign(lists_.Targets(), 0);
    g.rows = 0;
    g.chunks = 0;
}

std::size_t TPairScorer::GroupSlot(std::size_t first) {
    Group& cur = groups_[current_];
    if (!cur.used || cur.first != first) {
        if (!workers_) {
            ResetGroup(current_, first);
        } else {
            // Groups are given out ahead in order; the loop only moves on.
            std::size_t found = groups_.size();
            for (std::size_t n = 0; n < groups_.size(); ++n)
                if (groups_[n].used && groups_[n].first == first) found = n;
            if (found == groups_.size()) {
                found = (current_ + 1) % groups_.size();
                GiveOut(found, first);
            }
            current_ = found;
            // Keep the workers busy with the groups after this one.
            for (std::size_t ahead = 1; ahead < groups_.size(); ++ahead) {
                const std::size_t next = first + ahead * kGroupRows;
                if (next >= lists_.Sources()) break;
                const std::size_t slot = (found + ahead) % groups_.size();
                if (!(groups_[slot].used && groups_[slot].first == next)) GiveOut(slot, next);
            }
        }
    }
    return current_;
}

bool TPairScorer::Reaches(std::size_t i, std::size_t j) {
    const std::size_t first = i / kGroupRows * kGroupRows;
    const std::size_t slot = GroupSlot(first);
    Group& g = groups_[slot];
    const std::size_t row = i - first;
    const auto bit = static_cast<std::uint16_t>(1u << row);
    if (workers_ && (g.rows & bit) != 0 && j >= g.chunkStart && !AwaitChunk(slot, j)) {
        TCompactSignature scratch;
        const TCompactSignature& target = signatures_.Get(1, j, scratch);
        return ScoreReaches(*g.source[row], target, need_);
    }
    if ((g.scored[j] & bit) == 0) ScoreGroup(slot, row, j);
    return (g.match[j] & bit) != 0;
}

// Scores target j against row `row` of the group and every later row of it
// that will meet this target (by the same tests the loop makes first).
void TPairScorer::ScoreGroup(std::size_t slot, std::size_t row, std::size_t j) {
    Group& g = groups_[slot];
    const TCompactSignature& target = signatures_.Get(1, j, scratch_);
    for (std::size_t r = row; r < kGroupRows; ++r) {
        const std::size_t i = g.first + r;
        if (i >= lists_.Sources()) break;
        if (r != row) {
            if (g.done[r] || !lists_.PairPasses(i, j)) continue;
            if (!lists_.MayMeet(singleList_, sameSize_, i, j)) continue;
        }
        if (!g.source[r]) g.source[r] = &signatures_.Get(0, i, g.owned[r]);
        const auto bit = static_cast<std::uint16_t>(1u << r);
        g.scored[j] |= bit;
        if (ScoreReaches(*g.source[r], target, need_)) g.match[j] |= bit;
    }
}

TPairScorer::TAnswers TPairScorer::Ready(std::size_t i, std::size_t j) {
    const std::size_t first = i / kGroupRows * kGroupRows;
    const std::size_t slot = GroupSlot(first);
    const Group& g = groups_[slot];
    const auto bit = static_cast<std::uint16_t>(1u << (i - first));
    if ((g.rows & bit) == 0 || j < g.chunkStart) return {};
    const std::size_t chunkTargets = workers_->chunkTargets;
    const std::size_t c = (j - g.chunkStart) / chunkTargets;
    if (c >= g.chunks || g.chunkDone[c].load(std::memory_order_acquire) == 0) return {};
    // Up to the end of this chunk, which is scored.
    const std::size_t end = std::min(lists_.Targets(), g.chunkStart + (c + 1) * chunkTargets);
    return TAnswers{g.scored.data(), g.match.data(), bit, end};
}

// ---- workers

void TPairScorer::StartWorkers(unsigned threads, bool forced) {
    const std::size_t sources = lists_.Sources(), targets = lists_.Targets();
    if (threads <= 1 || sources == 0 || targets == 0) return;
    // A loop of a few hundred thousand pairs ends in milliseconds on its own
    // thread; starting workers for it would cost more than they save.
    constexpr double kWorthWorkers = 1 << 20;
    const double pairs = static_cast<double>(sources) * static_cast<double>(targets);
    if (!forced && pairs < kWorthWorkers) return;
    auto w = std::make_unique<Workers>();
    w->pool = std::make_unique<TWorkPool>(threads);
    // Every target that some row may meet, then the sources of the rows to
    // run, are read now on the workers and held in list order, so the
    // workers find them in memory; one that does not fit the budget is
    // scored by the loop itself, read when met as before.
    std::vector<std::uint8_t> wanted(targets, sameSize_ ? 0 : 1);
    if (sameSize_)
        for (std::size_t i = 0; i < sources; ++i)
            if (const std::vector<std::size_t>* same = lists_.TargetsOfSize(i))
                for (const std::size_t j : *same) wanted[j] = 1;
    std::vector<std::size_t> targetOrder, sourceOrder;
    for (std::size_t j = 0; j < targets; ++j)
        if (wanted[j]) targetOrder.push_back(j);
    for (std::size_t i = 0; i < sources; ++i)
        if (!host_.RowDone(i)) sourceOrder.push_back(i);
    // On Stop or Pause the rest is read when met, so they act after the
    // first pair as before.
    signatures_.Preload(targetOrder, sourceOrder, *w->pool, [this] { return host_.Tick(); });
    for (const std::size_t j : targetOrder)
        if (signatures_.Held(1, j)) signatures_.Get(1, j, scratch_);
    w->targets = signatures_.HeldTargets();
    w->chunkTargets = std::clamp<std::size_t>(targets / (std::size_t{threads} * 8), 64, 2048);
    workers_ = std::move(w);
}

void TPairScorer::StopWorkers() {
    if (!workers_) return;
    Workers& w = *workers_;
    for (Group& g : groups_) g.cancel.store(true);
    {
        std::unique_lock<std::mutex> lock(w.mutex);
        w.changed.wait(lock, [this] {
            return std::all_of(groups_.begin(), groups_.end(), [](const Group& g) { return g.active == 0; });
        });
        for (Group& g : groups_) ++g.generation;
    }
    w.pool.reset();
    workers_.reset();
}

// Gives the group of rows from `first` to the workers in slot `slot`, once
// the tasks of the group that held it have ended.
void TPairScorer::GiveOut(std::size_t slot, std::size_t first) {
    Workers& w = *workers_;
    Group& g = groups_[slot];
    g.cancel.store(true);
    std::uint64_t generation = 0;
    {
        std::unique_lock<std::mutex> lock(w.mutex);
        w.changed.wait(lock, [&g] { return g.active == 0; });
        generation = ++g.generation;
    }
    ResetGroup(slot, first);
    g.cancel.store(false);
    // The rows' signatures are read here, on the loop's thread.
    for (std::size_t r = 0; r < kGroupRows; ++r) {
        if (g.done[r]) continue;
        g.source[r] = &signatures_.Get(0, first + r, g.owned[r]);
        g.rows = static_cast<std::uint16_t>(g.rows | (1u << r));
    }
    if (g.rows == 0) return;
    const std::size_t targets = lists_.Targets();
    g.chunkStart = singleList_ ? std::min(first + 1, targets) : 0;
    g.chunks = (targets - g.chunkStart + w.chunkTargets - 1) / w.chunkTargets;
    if (g.chunks == 0) return;
    g.chunkDone = std::make_unique<std::atomic<std::uint8_t>[]>(g.chunks);
    for (std::size_t c = 0; c < g.chunks; ++c) g.chunkDone[c].store(0, std::memory_order_relaxed);
    g.nextChunk.store(0);
    const unsigned tasks = static_cast<unsigned>(std::min<std::size_t>(w.pool->Size(), g.chunks));
    w.pool->PostCopies(tasks, [this, slot, generation] { ScoreChunks(slot, generation); });
}

// A worker's share of a group: chunks in order until none is left.
void TPairScorer::ScoreChunks(std::size_t slot, std::uint64_t generation) {
    Workers& w = *workers_;
    Group& g = groups_[slot];
    {
        std::lock_guard<std::mutex> lock(w.mutex);
        if (g.generation != generation) return;  // the slot went to another group
        ++g.active;
    }
    for (;;) {
        const std::size_t c = g.nextChunk.fetch_add(1);
        if (c >= g.chunks || g.cancel.load(std::memory_order_relaxed)) break;
        const std::size_t from = g.chunkStart + c * w.chunkTargets;
        const std::size_t to = std::min(lists_.Targets(), from + w.chunkTargets);
        try {
            for (std::size_t j = from; j < to; ++j) {
                const TCompactSignature* target = w.targets[j];
                if (!target) continue;  // scored by the loop when met
                std::uint16_t scored = 0, match = 0;
                for (std::size_t r = 0; r < kGroupRows; ++r) {
                    const auto bit = static_cast<std::uint16_t>(1u << r);
                    if ((g.rows & bit) == 0) continue;
                    if (!lists_.MayMeet(singleList_, sameSize_, g.first + r, j)) continue;
                    scored = static_cast<std::uint16_t>(scored | bit);
                    if (ScoreReaches(*g.source[r], *target, need_)) match = static_cast<std::uint16_t>(match | bit);
                }
                g.scored[j] = scored;
                g.match[j] = match;
            }
        } catch (...) {
            // Unreachable in practice; the loop then scores the chunk itself.
        }
        g.chunkDone[c].store(1, std::memory_order_release);
        std::lock_guard<std::mutex> lock(w.mutex);
        w.changed.notify_all();
    }
    std::lock_guard<std::mutex> lock(w.mutex);
    --g.active;
    w.changed.notify_all();
}

// Waits until the chunk holding target j is scored, keeping the window
// alive on the time slice. False when Stop or Pause came meanwhile.
bool TPairScorer::AwaitChunk(std::size_t slot, std::size_t j) {
    Workers& w = *workers_;
    Group& g = groups_[slot];
    const std::size_t c = (j - g.chunkStart) / w.chunkTargets;
    if (c >= g.chunks) return true;
    if (g.chunkDone[c].load(std::memory_order_acquire) != 0) return true;
    std::unique_lock<std::mutex> lock(w.mutex);
    while (g.chunkDone[c].load(std::memory_order_acquire) == 0) {
        if (w.changed.wait_until(lock, host_.NextSlice()) == std::cv_status::timeout) {
            lock.unlock();
            if (!host_.Slice()) return false;
            lock.lock();
        }
    }
    return true;
}

}  // namespace orv
