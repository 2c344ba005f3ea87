#include "platform/graphics/memory_budget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>
#include <utility>

#include "platform/graphics/bitmap.h"

namespace orv {
namespace {

using namespace std::chrono_literals;

// Waits up to a second for `done`.
bool Eventually(const std::atomic<bool>& done) {
    for (int n = 0; n < 1000 && !done; ++n) std::this_thread::sleep_for(1ms);
    return done;
}

// A load on another thread that charges `bytes`, then sets `in`.
std::thread LoadElsewhere(TMemoryBudget& budget, std::uint64_t bytes, std::atomic<bool>& in) {
    return std::thread([&budget, bytes, &in] {
        TMemoryBudgetScope scope(budget);
        scope.Charge(bytes);
        in = true;
    });
}

// A load that holds nothing waits until its request fits: 300 beside 800 of
// 1000, and one larger than the whole budget until no other load holds any.
// A load that holds some takes more without waiting (over the budget), so
// two loads never wait for each other.
TEST(MemoryBudget, LoadsWaitForRoomAndNeverForEachOther) {
    for (const auto& [held, wanted] : {std::pair<std::uint64_t, std::uint64_t>{800, 300}, {10, 5000}}) {
        SCOPED_TRACE(wanted);
        TMemoryBudget budget(1000);
        std::atomic<bool> otherIn{false};
        std::thread other;
        {
            TMemoryBudgetScope first(budget);
            first.Charge(held);
            other = LoadElsewhere(budget, wanted, otherIn);
            std::this_thread::sleep_for(20ms);
            EXPECT_FALSE(otherIn);
            first.Charge(500);
            EXPECT_EQ(budget.InUse(), held + 500);
        }
        EXPECT_TRUE(Eventually(otherIn));
        other.join();
        EXPECT_EQ(budget.InUse(), 0u);
    }
}

TEST(MemoryBudget, BitmapsChargeTheScopeAndACancelEndsTheWait) {
    TMemoryBudget budget(100000);
    {
        TMemoryBudgetScope scope(budget);
        TBitmap bitmap;
        bitmap.SetPixelFormat(TPixelFormat::pf24bit);
        bitmap.SetSize(100, 100);  // 300 bytes a row
        EXPECT_EQ(scope.Held(), 30000u);
        bitmap.Clear();
        EXPECT_EQ(budget.InUse(), 30000u);  // given back with the scope
    }
    EXPECT_EQ(budget.InUse(), 0u);
    // Outside a scope nothing is charged.
    TBitmap free;
    free.SetSize(10, 10);
    EXPECT_EQ(budget.InUse(), 0u);

    TMemoryBudgetScope holder(budget);
    holder.Charge(90000);
    std::atomic<bool> refused{false};
    std::thread waiting([&] {
        TMemoryBudgetScope scope(budget);
        try {
            TBitmap bitmap;
            bitmap.SetPixelFormat(TPixelFormat::pf24bit);
            bitmap.SetSize(100, 100);
        } catch (const std::bad_alloc&) {
            refused = true;
        }
    });
    std::this_thread::sleep_for(20ms);
    budget.Cancel();
    waiting.join();
    EXPECT_TRUE(refused);
}

}  // namespace
}  // namespace orv
