// The collecting pass over 2,000 small JPEG files: a first run decodes each
// image and makes its signature; a second run takes everything from the
// signature index. Rates are images per second; the argument is the number
// of worker threads (0: one per core). The first run is also timed over
// 1,000 photographs of 640 x 480 (ORV_BENCH_COLLECT_PHOTOS sets their
// number). "cores" is the process's CPU time over the wall time of the
// collections: the cores busy on average, less than the threads on a
// machine others use.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>
#include <algorithm>

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

// Photograph-like pictures: soft gradients under a fine grain, so JPEG has
// texture to code and decoding costs what a photograph costs.
struct PhotoFixture : bench::ScratchFolders {
    int count;
    PhotoFixture() : ScratchFolders("orv-bench-collect-photos") {
        RegisterStandardPictures();
        const char* text = std::getenv("ORV_BENCH_COLLECT_PHOTOS");
        count = text && std::atoi(text) > 0 ? std::atoi(text) : 1000;
        constexpr int w = 640, h = 480;
        std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
        for (int i = 0; i < count; ++i) {
            std::uint32_t grain = static_cast<std::uint32_t>(i) * 2654435761u + 1;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    grain = grain * 1664525u + 1013904223u;
                    const int noise = static_cast<int>(grain >> 28) - 8;
                    std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * w + x) * 3];
                    p[0] = static_cast<std::uint8_t>(std::clamp((x + i * 37) % 256 + noise, 0, 255));
                    p[1] = static_cast<std::uint8_t>(std::clamp((y + i * 59) % 256 + noise, 0, 255));
                    p[2] = static_cast<std::uint8_t>(std::clamp(((x + y) / 2 + i * 11) % 256 + noise, 0, 255));
                }
            bench::WriteRgbJpeg(images + "p" + std::to_string(10000 + i) + ".jpg", w, h, rgb, 90);
        }
    }
};

PhotoFixture& Photos() {
    static PhotoFixture fixture;
    return fixture;
}

double ProcessCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// One collecting run over the folder on both sides, as a run starts it.
std::size_t Collect(const bench::ScratchFolders& fx, int threads) {
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

// First runs over fx's pictures, with the cores busy on average.
void FirstRuns(benchmark::State& state, const bench::ScratchFolders& fx, int images) {
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fx.ClearWork();
        state.ResumeTiming();
        const double cpu0 = ProcessCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        const std::size_t collected = Collect(fx, static_cast<int>(state.range(0)));
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu += ProcessCpuSeconds() - cpu0;
        if (collected != static_cast<std::size_t>(images)) state.SkipWithError("not every image was collected");
    }
    state.SetItemsProcessed(state.iterations() * images);
    state.counters["cores"] = wall > 0 ? cpu / wall : 0;
}

void BM_FirstRun(benchmark::State& state) { FirstRuns(state, Shared(), kImages); }
BENCHMARK(BM_FirstRun)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_FirstRunPhotos(benchmark::State& state) { FirstRuns(state, Photos(), Photos().count); }
BENCHMARK(BM_FirstRunPhotos)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

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
