#include "search/engine/signature_cache.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <unordered_set>

#include "platform/graphics/memory_budget.h"

namespace orv {

std::size_t SignatureBudget(std::int32_t chach) {
    if (chach <= 0) return 0;
    // The cache setting counts full signature bitmaps; held compactly, the
    // same memory keeps about eight times as many. A sixteenth of the
    // machine's memory is always granted, so a list of tens of thousands of
    // pictures stays in memory, where every core can score it, whatever the
    // setting.
    const std::size_t bySetting = static_cast<std::size_t>(chach) * kSignatureBitmapBytes;
    return std::max<std::size_t>(bySetting, PhysicalMemoryBytes() / 16);
}

TSignatureCache::TSignatureCache(const TFileList& sources, const TFileList& targets, std::size_t budget,
                                 TLoader load, std::function<void()> onRead)
    : sources_(sources),
      targets_(targets),
      budget_(budget),
      load_(std::move(load)),
      onRead_(std::move(onRead)),
      targetSlot_(targets.Count(), kUnknownSlot),
      targetHeld_(targets.Count(), nullptr),
      failed_{std::vector<std::uint8_t>(sources.Count(), 0), std::vector<std::uint8_t>(targets.Count(), 0)} {}

std::int32_t TSignatureCache::Hold(TCompactSignature& signature) {
    if (bytes_ + signature.MemoryBytes() > budget_) return kNotHeld;
    bytes_ += signature.MemoryBytes();
    held_.push_back(std::move(signature));
    return static_cast<std::int32_t>(held_.size() - 1);
}

void TSignatureCache::Adopt(const TBitmapLookup& cached, const TKeptLookup& kept) {
    auto adopt = [&](const TFileList& list, std::size_t index) {
        const TSTitems* record = list.Objects(index).get();
        if (!record || slotOfRecord_.count(record) != 0) return;
        try {
            TCompactSignature signature;
            if (!kept || !kept(record, signature)) {
                TBitmap bitmap;
                if (!cached(bitmap, list.Strings(index))) return;
                signature = CompactFromBitmap(bitmap);
            }
            const std::int32_t slot = Hold(signature);
            if (slot >= 0) slotOfRecord_[record] = slot;
        } catch (const std::exception&) {
            // Read from its file when needed.
        }
    };
    for (std::size_t j = 0; j < targets_.Count(); ++j) adopt(targets_, j);
    for (std::size_t i = 0; i < sources_.Count(); ++i) adopt(sources_, i);
}

bool TSignatureCache::Held(int side, std::size_t index) const {
    if (side == 1 && targetHeld_[index]) return true;
    auto it = slotOfRecord_.find(List(side).Objects(index).get());
    return it != slotOfRecord_.end() && it->second >= 0;
}

const TCompactSignature& TSignatureCache::Get(int side, std::size_t index, TCompactSignature& scratch) {
    const TCompactSignature& signature = Find(side, index, scratch);
    if (signature.Empty()) {
        failed_[side != 0][index] = 1;
        anyFailed_ = true;
    }
    return signature;
}

const TCompactSignature& TSignatureCache::Find(int side, std::size_t index, TCompactSignature& scratch) {
    if (side == 1 && targetHeld_[index]) return *targetHeld_[index];
    const TSTitems* record = List(side).Objects(index).get();
    std::int32_t slot = side == 1 ? targetSlot_[index] : kUnknownSlot;
    if (slot == kUnknownSlot) {
        auto it = slotOfRecord_.find(record);
        slot = it != slotOfRecord_.end() ? it->second : kUnknownSlot;
    }
    if (slot >= 0) {
        const TCompactSignature& held = held_[static_cast<std::size_t>(slot)];
        if (side == 1) {
            targetSlot_[index] = slot;
            targetHeld_[index] = &held;
        }
        return held;
    }
    scratch = load_(side, index);
    if (onRead_) onRead_();
    if (side == 1 && slot == kUnknownSlot) {
        slot = record ? Hold(scratch) : kNotHeld;
        if (record) slotOfRecord_[record] = slot;
        targetSlot_[index] = slot;
        if (slot >= 0) {
            targetHeld_[index] = &held_.back();
            return held_.back();
        }
    }
    return scratch;
}

namespace {

// The reads of one Preload, shared with the tasks that make them.
struct TPreloadJob {
    static constexpr std::size_t kChunk = 16;  // signatures a task reads

    std::vector<std::pair<int, std::size_t>> order;  // side, index
    std::vector<TCompactSignature> results;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::uint8_t> ready;  // per chunk, under mutex
    std::size_t running = 0;          // tasks posted and not ended, under mutex
    std::atomic<bool> cancel{false};
};

}  // namespace

void TSignatureCache::Preload(const std::vector<std::size_t>& targets, const std::vector<std::size_t>& sources,
                              TWorkPool& pool, const std::function<bool()>& tick) {
    if (budget_ == 0) return;
    auto job = std::make_shared<TPreloadJob>();
    // Each record once, and none that is held already.
    std::unordered_set<const TSTitems*> queued;
    auto want = [&](int side, std::size_t index) {
        const TSTitems* record = List(side).Objects(index).get();
        if (!record || slotOfRecord_.count(record) != 0 || !queued.insert(record).second) return;
        job->order.emplace_back(side, index);
    };
    for (const std::size_t j : targets) want(1, j);
    for (const std::size_t i : sources) want(0, i);
    const std::size_t count = job->order.size();
    if (count == 0) return;
    job->results.resize(count);
    const std::size_t chunks = (count + TPreloadJob::kChunk - 1) / TPreloadJob::kChunk;
    job->ready.assign(chunks, 0);

    // A bounded stretch is read ahead of what is taken, so memory stays
    // near the budget when the budget ends the preload early.
    const std::size_t ahead = std::size_t{pool.Size()} * 4;
    std::size_t posted = 0;
    auto post = [&](std::size_t upTo) {
        for (; posted < std::min(chunks, upTo); ++posted) {
            {
                std::lock_guard<std::mutex> lock(job->mutex);
                ++job->running;
            }
            pool.Post([job, load = load_, chunk = posted, count] {
                const std::size_t from = chunk * TPreloadJob::kChunk;
                const std::size_t to = std::min(count, from + TPreloadJob::kChunk);
                for (std::size_t k = from; k < to && !job->cancel.load(std::memory_order_relaxed); ++k) {
                    try {
                        job->results[k] = load(job->order[k].first, job->order[k].second);
                    } catch (...) {
                        job->results[k] = {};  // taken as unreadable
                    }
                }
                std::lock_guard<std::mutex> lock(job->mutex);
                job->ready[chunk] = 1;
                --job->running;
                job->changed.notify_all();
            });
        }
    };

    bool going = true;
    for (std::size_t c = 0; c < chunks && going; ++c) {
        post(c + ahead);
        {
            std::unique_lock<std::mutex> lock(job->mutex);
            while (!job->ready[c] && going) {
                if (job->changed.wait_for(lock, std::chrono::milliseconds(10)) == std::cv_status::timeout) {
                    lock.unlock();
                    going = tick();
                    lock.lock();
                }
            }
        }
        if (!going) break;
        const std::size_t to = std::min(count, (c + 1) * TPreloadJob::kChunk);
        for (std::size_t k = c * TPreloadJob::kChunk; k < to && going; ++k) {
            const auto [side, index] = job->order[k];
            const std::int32_t slot = Hold(job->results[k]);
            if (slot < 0) {
                going = false;  // the budget is full: the rest is read when met
                break;
            }
            slotOfRecord_[List(side).Objects(index).get()] = slot;
        }
        if (going) going = tick();
    }
    // The tasks still posted end before the job's reader goes.
    job->cancel.store(true);
    std::unique_lock<std::mutex> lock(job->mutex);
    job->changed.wait(lock, [&job] { return job->running == 0; });
}

}  // namespace orv
