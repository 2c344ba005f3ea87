// Whole comparison runs over generated photographs, as a user starts them
// (both lists one folder, all sizes, log only, normal accuracy), run by the
// engine behind a quiet view and window, with one worker thread and with one
// per core. A first run makes the signatures, a second run reuses them.
// After the benchmarks the ratios of the medians are printed: one thread
// against all threads. The preview stays off: it loads whole pictures on the
// window's thread and would time the preview rather than the run.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/jpeg_writer.h"
#include "platform/graphics/picture.h"
#include "bench/quiet_view.h"
#include "search/engine/pair_loop.h"
#include "search/engine/run_driver.h"
#include "search/engine/run_engine.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

// ---- the pictures

struct PhotoSet {
    const char* name;
    int count;   // pictures in the folder, near-copies included
    int copies;  // of these, slightly altered copies of others
    int width, height;
};

constexpr PhotoSet kSets[] = {
    {"2MP", 200, 20, 1632, 1224},
    {"0.3MP", 1000, 100, 640, 480},
};

// A photograph-like picture: large soft shapes (a coarse grid of random
// colours, interpolated) under a fine grain, so that unrelated pictures do
// not match and JPEG has texture to code.
std::vector<std::uint8_t> MakePhoto(int width, int height, std::uint32_t seed) {
    constexpr int kGrid = 6;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> value(0.0f, 255.0f);
    float grid[kGrid + 1][kGrid + 1][3];
    for (auto& row : grid)
        for (auto& node : row)
            for (float& c : node) c = value(rng);
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    std::uint32_t grain = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        const float gy = static_cast<float>(y) * kGrid / static_cast<float>(height);
        const int y0 = std::min(static_cast<int>(gy), kGrid - 1);
        const float fy = gy - static_cast<float>(y0);
        std::uint8_t* p = &rgb[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 3];
        for (int x = 0; x < width; ++x, p += 3) {
            const float gx = static_cast<float>(x) * kGrid / static_cast<float>(width);
            const int x0 = std::min(static_cast<int>(gx), kGrid - 1);
            const float fx = gx - static_cast<float>(x0);
            grain = grain * 1664525u + 1013904223u;
            const float noise = static_cast<float>(grain >> 28) - 7.5f;
            for (int c = 0; c < 3; ++c) {
                const float top = grid[y0][x0][c] + (grid[y0][x0 + 1][c] - grid[y0][x0][c]) * fx;
                const float bottom = grid[y0 + 1][x0][c] + (grid[y0 + 1][x0 + 1][c] - grid[y0 + 1][x0][c]) * fx;
                const float v = top + (bottom - top) * fy + noise;
                p[c] = static_cast<std::uint8_t>(std::clamp(v, 0.0f, 255.0f));
            }
        }
    }
    return rgb;
}

// The folder of one set, its work folder and a program folder for the
// window, made once for the whole program and removed at its end.
struct Folders {
    std::string root, images, work;
    explicit Folders(const PhotoSet& set) {
        std::string tmpl = (fs::temp_directory_path() / "orv-bench-run-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) std::abort();
        root = tmpl + "/";
        images = root + "images/";
        work = root + "work/";
        fs::create_directories(images);
        fs::create_directories(work);
        const int originals = set.count - set.copies;
        for (int i = 0; i < originals; ++i) {
            const std::vector<std::uint8_t> rgb = MakePhoto(set.width, set.height, static_cast<std::uint32_t>(i) + 1);
            bench::WriteRgbJpeg(images + "p" + std::to_string(10000 + i) + ".jpg", set.width, set.height, rgb, 90);
            if (i % (originals / set.copies) != 0 || i / (originals / set.copies) >= set.copies) continue;
            // A near-copy: a little brighter and coded once more, less finely.
            std::vector<std::uint8_t> copy = rgb;
            for (std::uint8_t& v : copy) v = static_cast<std::uint8_t>(std::min(255, v + 3));
            bench::WriteRgbJpeg(images + "q" + std::to_string(10000 + i) + ".jpg", set.width, set.height, copy, 80);
        }
    }
    ~Folders() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    // A fresh work folder. The old one is only moved aside (and removed at
    // the end): on a file system without a journal, creating files right
    // after thousands were deleted costs a millisecond each, which would
    // time the file system's inode search rather than the run.
    void ClearWork() const {
        std::error_code ec;
        fs::rename(work, root + "old" + std::to_string(++retired_), ec);
        fs::create_directories(work);
    }
    mutable int retired_ = 0;
};

Folders& FoldersOf(std::size_t set) {
    static std::map<std::size_t, std::unique_ptr<Folders>> folders;
    auto& f = folders[set];
    if (!f) f = std::make_unique<Folders>(kSets[set]);
    return *f;
}

// ---- the run

using bench::QuietView;

class QuietWindow : public IRunWindow {
public:
    void ShowMessage(const std::string&) override {}
    void SetMbEnabled(int) override {}
    void SetWindowEnabled(bool) override {}
    void ClearErrorLog() override {}
    void SetDoListCaption(const std::string&) override {}
    void SetLabelColumns(bool) override {}
    void SetLogButtonsEnabled(bool) override {}
    void SetStopPauseEnabled(bool) override {}
};

// One run by the engine; answers the matches found. Every run starts
// without a progress record and with an empty log.
class EngineRunner {
public:
    EngineRunner(const Folders& folders, int threads) : view_({folders.images}), engine_(data_, view_) {
        data_.WorkDir = folders.work;
        data_.Threads = threads;
        data_.NoTmpDel = 1;  // the second run reuses the signatures
        data_.DoFindSound = data_.DoEndSound = 0;
    }
    std::size_t Run() {
        TRunLog log;
        data_.JyochyuList.Clear();
        TRunDriver driver(engine_, log, window_);
        TRunChoices choices;
        choices.SizeMode = 1;   // all sizes
        choices.SyoriMode = 1;  // log only
        choices.SelTgt = choices.DoAction = choices.NearMode = 0;
        driver.P4B_StartMouseDown(choices);
        return log.Count();
    }

private:
    TMainData data_;
    QuietView view_;
    QuietWindow window_;
    TRunEngine engine_;
};

enum class Pass { First, Second };

struct RunCase {
    std::size_t set;
    Pass pass;
    int threads;  // 0: one per core
    std::string Name() const {
        return std::string("Run/") + kSets[set].name + (pass == Pass::First ? "/first/" : "/second/") +
               (threads == 1 ? "1-thread" : "all-threads");
    }
};

void RunBenchmark(benchmark::State& state, RunCase c) {
    const Folders& folders = FoldersOf(c.set);
    EngineRunner runner(folders, c.threads);
    if (c.pass == Pass::Second) {
        folders.ClearWork();
        runner.Run();  // makes the signatures
    }
    std::size_t found = 0;
    for (auto _ : state) {
        if (c.pass == Pass::First) folders.ClearWork();
        const auto start = std::chrono::steady_clock::now();
        found = runner.Run();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["matches"] = static_cast<double>(found);
    if (found < static_cast<std::size_t>(kSets[c.set].copies)) state.SkipWithError("near-copies were missed");
}

void RegisterRuns() {
    for (std::size_t set = 0; set < std::size(kSets); ++set)
        for (Pass pass : {Pass::First, Pass::Second})
            for (int threads : {1, 0}) {
                const RunCase c{set, pass, threads};
                benchmark::RegisterBenchmark(c.Name().c_str(), RunBenchmark, c)
                    ->UseManualTime()
                    ->Unit(benchmark::kMillisecond)
                    ->Iterations(1);
            }
}

// The console report, keeping each case's median for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred && (run.run_type == Run::RT_Iteration || run.aggregate_name == "median"))
                medians_[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    // Each case with one thread against the same case with all threads.
    void PrintRatios() const {
        const std::string one = "/1-thread";
        for (const auto& [name, time] : medians_) {
            if (name.size() < one.size() || name.compare(name.size() - one.size(), one.size(), one) != 0) continue;
            const std::string base = name.substr(0, name.size() - one.size());
            auto all = medians_.find(base + "/all-threads");
            if (all == medians_.end() || all->second <= 0) continue;
            std::printf("%-18s 1 thread %9.1f ms  all threads %9.1f ms  speed-up %.2f\n", base.c_str(), time,
                        all->second, time / all->second);
        }
    }

private:
    std::map<std::string, double> medians_;
};

}  // namespace
}  // namespace orv

int main(int argc, char** argv) {
    orv::RegisterStandardPictures();
    orv::RegisterRuns();
    // Five runs of each case and their statistics unless the command line
    // says otherwise (a later flag wins).
    std::vector<char*> args{argv[0]};
    char repetitions[] = "--benchmark_repetitions=5";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    args.push_back(repetitions);
    args.push_back(aggregates);
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    orv::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
