// One budget of picture memory shared by the threads that load pictures at
// the same time. A header can ask for far more than its file holds (a few
// hundred bytes may declare a bitmap of gigabytes), so several loads at once
// must not each take what one alone may.
//
// A thread charges the budget only inside a TMemoryBudgetScope; the bitmaps
// and work buffers it allocates there are counted until the scope ends. A
// thread that holds nothing waits until its request fits (or, when it is
// larger than the whole budget, until nothing else is held, so it loads
// alone). A thread that already holds some is never made to wait: waiting
// threads hold nothing, so no two wait for each other.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace orv {

class TMemoryBudget {
public:
    explicit TMemoryBudget(std::uint64_t limit) : limit_(limit) {}
    TMemoryBudget(const TMemoryBudget&) = delete;
    TMemoryBudget& operator=(const TMemoryBudget&) = delete;

    std::uint64_t InUse() const;
    // Ends every wait, now and later: the waiting allocation raises
    // std::bad_alloc (a stopped run drops the loads in hand this way).
    void Cancel();

private:
    friend class TMemoryBudgetScope;
    void Charge(std::uint64_t bytes, std::uint64_t& held);
    void Release(std::uint64_t bytes);

    const std::uint64_t limit_;
    mutable std::mutex mutex_;
    std::condition_variable freed_;
    std::uint64_t used_ = 0;
    bool cancelled_ = false;
};

// Charges the calling thread's picture allocations to `budget` while it
// lives; everything charged is given back when it ends. An inner scope
// charges its own budget until it ends.
class TMemoryBudgetScope {
public:
    explicit TMemoryBudgetScope(TMemoryBudget& budget);
    ~TMemoryBudgetScope();
    TMemoryBudgetScope(const TMemoryBudgetScope&) = delete;
    TMemoryBudgetScope& operator=(const TMemoryBudgetScope&) = delete;

    std::uint64_t Held() const { return held_; }
    void Charge(std::uint64_t bytes) { budget_.Charge(bytes, held_); }

private:
    TMemoryBudget& budget_;
    TMemoryBudgetScope* outer_;
    std::uint64_t held_ = 0;
};

// Picture allocations call this first: it charges the calling thread's scope
// (and may wait there); without a scope it does nothing.
void ChargePictureMemory(std::uint64_t bytes);

// Physical memory of the machine in bytes (0 when unknown).
std::uint64_t PhysicalMemoryBytes();

}  // namespace orv
