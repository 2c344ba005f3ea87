// The comparison's hot path: the counting kernel of compact signatures
// against the plain byte loop over 24-bit signature bitmaps, and the whole
// pair loop over generated signatures without matches against the kernel
// alone. Rates are pairs per second.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "search/engine/similarity.h"
#include "search/engine/similarity_kernel.h"

namespace orv {
namespace {

constexpr int kSide = 80;
constexpr int kPool = 256;  // signatures cycled through so the data are not all in L1

struct Signatures {
    std::vector<std::vector<std::uint8_t>> bitmaps;  // 24-bit, rows padded to 4 bytes
    std::vector<TCompactSignature> compact;
    std::ptrdiff_t stride = (kSide * 3 + 3) / 4 * 4;

    Signatures() {
        std::mt19937 rng(1);
        std::uniform_int_distribution<int> gray(0, 255);
        for (int n = 0; n < kPool; ++n) {
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stride * kSide));
            for (int y = 0; y < kSide; ++y)
                for (int x = 0; x < kSide; ++x) {
                    std::uint8_t* p = &bytes[static_cast<std::size_t>(y * stride + x * 3)];
                    p[0] = p[1] = p[2] = static_cast<std::uint8_t>(gray(rng));
                }
            bitmaps.push_back(std::move(bytes));
            compact.emplace_back(View(n));
        }
    }
    TGrayView View(int n) const { return TGrayView{bitmaps[static_cast<std::size_t>(n)].data(), kSide, kSide, stride, 3}; }
};

const Signatures& Pool() {
    static const Signatures pool;
    return pool;
}

// The score as a plain loop over the first byte of each 24-bit pixel.
void BM_PlainByteLoop(benchmark::State& state) {
    const auto& pool = Pool();
    int n = 0;
    for (auto _ : state) {
        const int a = n % kPool, b = (n * 7 + 3) % kPool;
        benchmark::DoNotOptimize(CompareBitmaps(pool.View(a), pool.View(b)));
        ++n;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PlainByteLoop);

// Full count (no early stop) at each kernel level.
void BM_KernelCount(benchmark::State& state) {
    const auto level = static_cast<TKernelLevel>(state.range(0));
    if (!SetKernelLevel(level)) {
        state.SkipWithError("level not supported here");
        return;
    }
    state.SetLabel(std::string(KernelLevelName(level)));
    const auto& pool = Pool();
    int n = 0;
    for (auto _ : state) {
        const int a = n % kPool, b = (n * 7 + 3) % kPool;
        benchmark::DoNotOptimize(CountAgree(pool.compact[static_cast<std::size_t>(a)],
                                            pool.compact[static_cast<std::size_t>(b)]));
        ++n;
    }
    state.SetItemsProcessed(state.iterations());
    SetKernelLevel(SupportedKernelLevels().back());
}
BENCHMARK(BM_KernelCount)->DenseRange(0, 3);

// The run's question "does the pair reach 75", which may stop early.
void BM_KernelThreshold(benchmark::State& state) {
    const auto level = static_cast<TKernelLevel>(state.range(0));
    if (!SetKernelLevel(level)) {
        state.SkipWithError("level not supported here");
        return;
    }
    state.SetLabel(std::string(KernelLevelName(level)));
    const auto& pool = Pool();
    const TNeedTable need(75);
    int n = 0;
    for (auto _ : state) {
        const int a = n % kPool, b = (n * 7 + 3) % kPool;
        benchmark::DoNotOptimize(ScoreReaches(pool.compact[static_cast<std::size_t>(a)],
                                              pool.compact[static_cast<std::size_t>(b)], need));
        ++n;
    }
    state.SetItemsProcessed(state.iterations());
    SetKernelLevel(SupportedKernelLevels().back());
}
BENCHMARK(BM_KernelThreshold)->DenseRange(0, 3);

}  // namespace
}  // namespace orv

BENCHMARK_MAIN();
