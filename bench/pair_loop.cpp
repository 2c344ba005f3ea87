// The comparison's hot path: the counting kernel of compact signatures
// against the plain byte loop over 24-bit signature bitmaps and against a
// plain loop over one-byte gray planes (which the compiler vectorises: the
// best plain code), and the whole pair loop over generated signatures
// without matches, with one worker thread and with one per core, against
// the kernel alone over the same pairs in the same order. Rates are pairs
// per second (of wall time for the whole loop).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench/quiet_view.h"
#include "search/engine/main_data.h"
#include "search/engine/pair_loop.h"
#include "search/engine/run_driver.h"
#include "search/engine/run_engine.h"
#include "search/engine/signature.h"
#include "search/engine/signature_kernel.h"

namespace orv {
namespace {

constexpr int kSide = kSignatureSide;
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

// The score as a plain loop over one byte of gray per pixel, written so the
// compiler vectorises it with the project's flags.
int PlainGrayScore(const std::uint8_t* a, const std::uint8_t* b, int pixels) {
    int agree = 0;
    for (int k = 0; k < pixels; ++k) agree += GrayBand(a[k]) == GrayBand(b[k]) ? 1 : 0;
    return ScoreFromCounts(agree, pixels);
}

void BM_PlainGrayPlane(benchmark::State& state) {
    const auto& pool = Pool();
    std::vector<std::vector<std::uint8_t>> planes;
    for (int n = 0; n < kPool; ++n) {
        std::vector<std::uint8_t> plane(kSide * kSide);
        const TGrayView view = pool.View(n);
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) plane[static_cast<std::size_t>(y * kSide + x)] = view.Gray(x, y);
        planes.push_back(std::move(plane));
    }
    int n = 0;
    for (auto _ : state) {
        const int a = n % kPool, b = (n * 7 + 3) % kPool;
        benchmark::DoNotOptimize(PlainGrayScore(planes[static_cast<std::size_t>(a)].data(),
                                                planes[static_cast<std::size_t>(b)].data(), kSide * kSide));
        ++n;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PlainGrayPlane);

// Runs a benchmark at the kernel level of its argument and gives the best
// level back afterwards; a level this machine lacks skips the benchmark.
class TLevelScope {
public:
    explicit TLevelScope(benchmark::State& state) : active_(SetKernelLevel(static_cast<TKernelLevel>(state.range(0)))) {
        if (active_)
            state.SetLabel(std::string(KernelLevelName(static_cast<TKernelLevel>(state.range(0)))));
        else
            state.SkipWithError("level not supported here");
    }
    ~TLevelScope() {
        if (active_) SetKernelLevel(SupportedKernelLevels().back());
    }
    TLevelScope(const TLevelScope&) = delete;
    TLevelScope& operator=(const TLevelScope&) = delete;
    bool Active() const { return active_; }

private:
    bool active_;
};

// Full count (no early stop) at each kernel level.
void BM_KernelCount(benchmark::State& state) {
    const TLevelScope level(state);
    if (!level.Active()) return;
    const auto& pool = Pool();
    int n = 0;
    for (auto _ : state) {
        const int a = n % kPool, b = (n * 7 + 3) % kPool;
        benchmark::DoNotOptimize(CountAgree(pool.compact[static_cast<std::size_t>(a)],
                                            pool.compact[static_cast<std::size_t>(b)]));
        ++n;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KernelCount)->DenseRange(0, 3);

// The run's question "does the pair reach 75", which may stop early.
void BM_KernelThreshold(benchmark::State& state) {
    const TLevelScope level(state);
    if (!level.Active()) return;
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
}
BENCHMARK(BM_KernelThreshold)->DenseRange(0, 3);

// Signatures of different sizes (all sizes compared): 64 x 48 against
// 80 x 80, compact rows against the plain byte loop.
// Argument 2: the run's question "does the pair reach 75", which may stop early.
void BM_MixedSizes(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    state.SetLabel(mode == 0 ? "plain bytes" : mode == 1 ? "compact rows" : "compact rows, threshold");
    const auto& pool = Pool();
    const TGrayView small{pool.View(0).pixels, 64, 48, pool.stride, 3};
    const TCompactSignature smallCompact(small);
    const TNeedTable need(75);
    int n = 0;
    for (auto _ : state) {
        const int b = n % kPool;
        if (mode == 2)
            benchmark::DoNotOptimize(ScoreReaches(smallCompact, pool.compact[static_cast<std::size_t>(b)], need));
        else if (mode == 1)
            benchmark::DoNotOptimize(CompareBitmaps(smallCompact, pool.compact[static_cast<std::size_t>(b)]));
        else
            benchmark::DoNotOptimize(CompareBitmaps(small, pool.View(b)));
        ++n;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MixedSizes)->Arg(0)->Arg(1)->Arg(2);

// ---- the whole loop

// 10,000 x 10,000 pairs; ORV_BENCH_PAIRS_SIDE sets another side length.
int BenchSize() {
    const char* text = std::getenv("ORV_BENCH_PAIRS_SIDE");
    const int n = text ? std::atoi(text) : 0;
    return n > 0 ? n : 10000;
}

using bench::QuietView;

// n sources and n targets of random 80 x 80 signatures (no pair matches);
// mixed: the sources are 64 x 48 (pictures of 80 pixels or less).
struct LoopData {
    std::vector<TCompactSignature> sources, targets;
    int sourceWidth = kSide, sourceHeight = kSide;

    LoopData(int n, bool mixed) {
        std::mt19937_64 rng(static_cast<std::uint64_t>(n));
        auto make = [&rng](int w, int h) {
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(w * h * 3));
            for (std::size_t p = 0; p < bytes.size(); p += 3) bytes[p] = static_cast<std::uint8_t>(rng());
            return TCompactSignature(TGrayView{bytes.data(), w, h, w * 3, 3});
        };
        if (mixed) {
            sourceWidth = 64;
            sourceHeight = 48;
        }
        for (int i = 0; i < n; ++i) sources.push_back(make(sourceWidth, sourceHeight));
        for (int i = 0; i < n; ++i) targets.push_back(make(kSide, kSide));
    }
};

const LoopData& LoopPool(int n, bool mixed = false) {
    static std::map<std::pair<int, bool>, std::unique_ptr<LoopData>> pools;
    auto& pool = pools[{n, mixed}];
    if (!pool) pool = std::make_unique<LoopData>(n, mixed);
    return *pool;
}

// HikakuMain over n x n pairs (or, with one list, its n (n - 1) / 2 pairs):
// skip tests, log and progress lookups, counters, the estimate and the time
// slice included. The cache has the options dialog's default size: the
// signature budget still holds every signature of these lists, so the pair
// rate is measured, not reads.
std::int64_t RunLoop(const LoopData& pool, int n, int threads, bool oneList) {
    TMainData data;
    QuietView view;
    TRunEngine engine(data, view);
    TRunLog log;
    TRunStatus status(data, view);
    data.Threads = threads;
    data.SizeMode = TSizeMode::AnySize;
    data.SyoriMode = TSyoriMode::LogOnly;
    data.Par = 75;
    data.Chach = 3000;
    for (int i = 0; i < n; ++i) {
        auto item = std::make_shared<TSTitems>();
        item->Width = pool.sourceWidth;
        item->Height = pool.sourceHeight;
        data.SourceFiles.Add("/pictures/source/" + std::to_string(i) + ".jpg", item);
        if (oneList) data.TargetFiles.Add(data.SourceFiles.Strings(static_cast<std::size_t>(i)), item);
    }
    for (int i = 0; i < n && !oneList; ++i) {
        auto item = std::make_shared<TSTitems>();
        item->Width = item->Height = kSide;
        data.TargetFiles.Add("/pictures/target/" + std::to_string(i) + ".jpg", item);
    }
    data.SingleList = oneList ? 1 : 0;
    TPairLoop loop(engine, log, status);
    TPairLoopHooks hooks;
    hooks.Identify = [](const std::string& path) { return TFileIdentity{true, 1, std::hash<std::string>()(path)}; };
    hooks.LoadSignature = [&pool, oneList](int side, std::size_t index) {
        return side == 0 || oneList ? pool.sources[index] : pool.targets[index];
    };
    loop.SetHooks(hooks);
    loop.HikakuMain();
    const std::int64_t pairs = oneList ? std::int64_t{n} * (n - 1) / 2 : std::int64_t{n} * n;
    return data.FindCount == 0 && data.CompCount == pairs ? pairs : -1;
}

// Arguments: n, threads (0: one per core), mixed sizes.
void BM_PairLoop(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    const bool mixed = state.range(2) != 0;
    state.SetLabel(std::string(threads == 1 ? "1 thread" : "all threads") + (mixed ? ", 64 x 48 against 80 x 80" : ""));
    const LoopData& pool = LoopPool(n, mixed);
    std::int64_t pairs = 0;
    for (auto _ : state) {
        pairs = RunLoop(pool, n, threads, false);
        if (pairs < 0) state.SkipWithError("unexpected counts");
    }
    state.SetItemsProcessed(state.iterations() * pairs);
}
BENCHMARK(BM_PairLoop)
    ->Args({BenchSize(), 1, 0})
    ->Args({BenchSize(), 0, 0})
    ->Args({BenchSize(), 0, 1})
    ->UseRealTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// One list of n pictures, all pairs (50,000 pictures: 1.25 billion pairs);
// ORV_BENCH_ALL_PAIRS sets n (10,000 by default).
void BM_AllPairs(benchmark::State& state) {
    const char* text = std::getenv("ORV_BENCH_ALL_PAIRS");
    const int n = text && std::atoi(text) > 0 ? std::atoi(text) : 10000;
    state.SetLabel(std::to_string(n) + " pictures, all threads");
    const LoopData& pool = LoopPool(n);
    std::int64_t pairs = 0;
    for (auto _ : state) {
        pairs = RunLoop(pool, n, 0, true);
        if (pairs < 0) state.SkipWithError("unexpected counts");
    }
    state.SetItemsProcessed(state.iterations() * pairs);
}
BENCHMARK(BM_AllPairs)->UseRealTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// The kernel alone over the same pairs in the order the loop scores them:
// groups of 16 rows, each target against every row of the group.
void BM_KernelOverPairs(benchmark::State& state) {
    constexpr std::size_t kRows = 16;
    const int n = static_cast<int>(state.range(0));
    const LoopData& pool = LoopPool(n);
    const TNeedTable need(75);
    for (auto _ : state) {
        std::int64_t found = 0;
        for (std::size_t first = 0; first < pool.sources.size(); first += kRows) {
            const std::size_t last = std::min(pool.sources.size(), first + kRows);
            for (const auto& target : pool.targets)
                for (std::size_t i = first; i < last; ++i)
                    found += ScoreReaches(pool.sources[i], target, need) ? 1 : 0;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * n * n);
}
BENCHMARK(BM_KernelOverPairs)->Arg(BenchSize())->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orv

BENCHMARK_MAIN();
