// The collecting pass over 2,000 small JPEG files: a first run decodes each
// image and makes its signature; a second run takes everything from the
// signature index. Rates are images per second; the argument is the number
// of worker threads (0: one per core).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/jpeg_writer.h"
#include "bench/quiet_view.h"
#include "bench/scratch_folders.h"
#include "platform/graphics/picture.h"
#include "search/engine/run_engine.h"

namespace orv {
namespace {

constexpr int kImages = 2000;
constexpr int kWidth = 160;
constexpr int kHeight = 120;

void WriteJpeg(const std::string& path, int seed) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * kWidth + x) * 3];
            p[0] = static_cast<std::uint8_t>((x * 3 + seed * 7) & 0xFF);
            p[1] = static_cast<std::uint8_t>((y * 2 + seed * 13) & 0xFF);
            p[2] = static_cast<std::uint8_t>(((x ^ y) + seed) & 0xFF);
        }
    bench::WriteRgbJpeg(path, kWidth, kHeight, rgb, 85);
}

// The generated images and a work folder, made once for the whole program.
struct Fixture : bench::ScratchFolders {
    Fixture() : ScratchFolders("orv-bench-collect") {
        RegisterStandardPictures();
        for (int i = 0; i < kImages; ++i) WriteJpeg(images + "img" + std::to_string(10000 + i) + ".jpg", i);
    }
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

// One collecting run over the folder on both sides, as a run starts it.
std::size_t Collect(const Fixture& fx, int threads) {
    TMainData data;
    data.Threads = threads;
    data.WorkDir = fx.work;
    data.Chach = 3000;
    bench::QuietView view({fx.images});
    TRunEngine engine(data, view);
    engine.InitChach();
    engine.GetFileListMain();
    engine.FreeChach();
    return data.SourceFiles.Count();
}

void BM_FirstRun(benchmark::State& state) {
    const Fixture& fx = Shared();
    for (auto _ : state) {
        state.PauseTiming();
        fx.ClearWork();
        state.ResumeTiming();
        if (Collect(fx, static_cast<int>(state.range(0))) != kImages)
            state.SkipWithError("not every image was collected");
    }
    state.SetItemsProcessed(state.iterations() * kImages);
}
BENCHMARK(BM_FirstRun)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_SecondRun(benchmark::State& state) {
    const Fixture& fx = Shared();
    fx.ClearWork();
    Collect(fx, 0);  // makes the signatures and the index
    for (auto _ : state)
        if (Collect(fx, static_cast<int>(state.range(0))) != kImages)
            state.SkipWithError("not every image was collected");
    state.SetItemsProcessed(state.iterations() * kImages);
}
BENCHMARK(BM_SecondRun)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The index lookup of every collected path: a scan of the index in file
// order (as a plain list would do it) next to the path table the engine uses.
struct IndexLookup {
    TMainData data;
    std::vector<std::string> paths;
    IndexLookup() {
        const Fixture& fx = Shared();
        fx.ClearWork();
        Collect(fx, 0);
        data.WorkDir = fx.work;
        bench::QuietView view;
        TRunEngine engine(data, view);
        engine.GetTempList();
        for (const TTmpList& e : data.TempList) paths.push_back(e.Path);
    }
};

void BM_IndexLookupScan(benchmark::State& state) {
    static IndexLookup lookup;
    for (auto _ : state)
        for (const std::string& path : lookup.paths) {
            const TTmpList* found = nullptr;
            for (const TTmpList& e : lookup.data.TempList)
                if (e.Path == path) {
                    found = &e;
                    break;
                }
            benchmark::DoNotOptimize(found);
        }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lookup.paths.size()));
}
BENCHMARK(BM_IndexLookupScan)->Unit(benchmark::kMillisecond);

void BM_IndexLookupTable(benchmark::State& state) {
    static IndexLookup lookup;
    for (auto _ : state)
        for (const std::string& path : lookup.paths) {
            const auto it = lookup.data.TempIndex.find(path);
            benchmark::DoNotOptimize(it == lookup.data.TempIndex.end() ? nullptr : &lookup.data.TempList[it->second.front()]);
        }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lookup.paths.size()));
}
BENCHMARK(BM_IndexLookupTable)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orv

BENCHMARK_MAIN();
