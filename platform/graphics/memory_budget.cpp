#include "platform/graphics/memory_budget.h"

#include <unistd.h>

#include <new>

namespace orv {

namespace {
thread_local TMemoryBudgetScope* tCurrentScope = nullptr;
}

std::uint64_t TMemoryBudget::InUse() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return used_;
}

void TMemoryBudget::Cancel() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
    }
    freed_.notify_all();
}

void TMemoryBudget::Charge(std::uint64_t bytes, std::uint64_t& held) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (held == 0) {
        freed_.wait(lock, [&] { return cancelled_ || used_ == 0 || used_ + bytes <= limit_; });
        if (cancelled_) throw std::bad_alloc();
    }
    used_ += bytes;
    held += bytes;
}

void TMemoryBudget::Release(std::uint64_t bytes) {
    if (bytes == 0) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        used_ -= bytes;
    }
    freed_.notify_all();
}

TMemoryBudgetScope::TMemoryBudgetScope(TMemoryBudget& budget) : budget_(budget), outer_(tCurrentScope) {
    tCurrentScope = this;
}

TMemoryBudgetScope::~TMemoryBudgetScope() {
    tCurrentScope = outer_;
    budget_.Release(held_);
}

void ChargePictureMemory(std::uint64_t bytes) {
    if (tCurrentScope != nullptr && bytes > 0) tCurrentScope->Charge(bytes);
}

std::uint64_t PhysicalMemoryBytes() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long size = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || size <= 0) return 0;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size);
}

}  // namespace orv
