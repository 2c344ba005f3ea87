// Whole comparison runs over generated photographs, as a user starts them
// (both lists one folder, all sizes, log only, normal accuracy, preview on):
// without a window (the engine behind a quiet view) and through the real
// main window (offscreen unless QT_QPA_PLATFORM names another platform).
// A first run makes the signatures, a second run reuses them; the engine
// also runs without the preview. Each case runs with one worker thread and
// with one per core. After the benchmarks the ratios of the medians are
// printed: windowed/engine, engine/engine without preview, one thread
// against all threads, and a second run against its floor: the walk with
// one lstat per picture, the index, one read of every signature on all
// threads and the kernel over every pair on all threads. Each case also
// counts the cores busy on average (process CPU time over wall time).
//
// Second runs and the floor also report the file-system calls they make per
// picture (stat family, open, read, fcntl, close; "fs/pic"), counted by
// strace attached to this process over one further, untimed run, when
// strace is installed (ORV_BENCH_STRACE=0 leaves it out).
//
// ORV_BENCH_RUN_LARGE=1 adds a set of 50,000 small pictures in one list
// (second runs only; its first run is made once, untimed).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/jpeg_writer.h"
#include "bench/quiet_view.h"
#include "bench/scratch_folders.h"
#include "platform/base/paths.h"
#include "platform/base/sound.h"
#include "platform/base/stream.h"
#include "platform/graphics/picture.h"
#include "platform/ui/application.h"
#include "platform/ui/scripted_dialogs.h"
#include "search/engine/pair_loop.h"
#include "search/engine/run_driver.h"
#include "search/engine/run_engine.h"
#include "search/engine/signature_index.h"
#include "search/engine/work_pool.h"
#include "search/ui/main_form.h"
#include "search/ui/program_globals.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

// ---- the pictures

struct PhotoSet {
    const char* name;
    int count;   // pictures in the folder, near-copies included
    int copies;  // of these, slightly altered copies of others
    int width, height;
    bool large = false;  // only with ORV_BENCH_RUN_LARGE, second runs only, not scaled
};

constexpr PhotoSet kSets[] = {
    {"2MP", 200, 20, 1632, 1224},
    {"0.3MP", 1000, 100, 640, 480},
    {"50k", 50000, 500, 160, 120, true},
};

bool LargeWanted() {
    const char* text = std::getenv("ORV_BENCH_RUN_LARGE");
    return text && std::atoi(text) > 0;
}

// ORV_BENCH_RUN_SCALE multiplies the number of pictures of every set (1 by
// default; 5 gives 1,000 photographs of 2 MP and 5,000 of 0.3 MP).
PhotoSet Scaled(const PhotoSet& set) {
    const char* text = std::getenv("ORV_BENCH_RUN_SCALE");
    const int scale = text && std::atoi(text) > 0 ? std::atoi(text) : 1;
    PhotoSet scaled = set;
    if (set.large) return scaled;
    scaled.count *= scale;
    scaled.copies *= scale;
    return scaled;
}

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
struct Folders : bench::ScratchFolders {
    std::string app;
    // The work folder holds the signatures of a finished run.
    bool signaturesMade = false;
    explicit Folders(const PhotoSet& set) : ScratchFolders("orv-bench-run") {
        app = root + "app/";
        fs::create_directories(app);
        for (const char* entry : {"BMP", "Set", "Sound", "Ver.ini"})
            fs::copy(fs::path(ORV_APPDIR_BUILT) / entry, app + entry, fs::copy_options::recursive);
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
};

Folders& FoldersOf(std::size_t set) {
    static std::map<std::size_t, std::unique_ptr<Folders>> folders;
    auto& f = folders[set];
    if (!f) f = std::make_unique<Folders>(Scaled(kSets[set]));
    return *f;
}

// ---- the two ways to run

// The box the main window shows its previews in at its first size: the
// engine loads its previews for the same box, so both do the same work.
constexpr TPreviewBox kWindowPreviewBox{372, 368};

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

// One run; answers the matches found. A first run starts from an empty work
// folder; every run starts without a progress record and with an empty log.
class Runner {
public:
    virtual ~Runner() = default;
    virtual std::size_t Run() = 0;
};

class EngineRunner : public Runner {
public:
    EngineRunner(const Folders& folders, bool preview, int threads)
        : view_({folders.images}, kWindowPreviewBox), engine_(data_, view_), preview_(preview) {
        data_.WorkDir = folders.work;
        data_.Threads = threads;
        data_.NoTmpDel = 1;  // the second run reuses the signatures
        data_.DoFindSound = data_.DoEndSound = 0;
    }
    std::size_t Run() override {
        TRunLog log;
        data_.JyochyuList.Clear();
        TRunDriver driver(engine_, log, window_);
        TRunChoices choices;
        choices.SizeMode = TSizeMode::AnySize;
        choices.SyoriMode = TSyoriMode::LogOnly;
        choices.SelTgt = TSelTgt::Source;
        choices.DoAction = TPairAction::Recycle;
        choices.NearMode = TNearMode::Source;
        choices.Preview = preview_;
        driver.P4B_StartMouseDown(choices);
        return log.Count();
    }

private:
    TMainData data_;
    bench::QuietView view_;
    QuietWindow window_;
    TRunEngine engine_;
    bool preview_;
};

// The real main window, shown, on its run page, started by its Start button
// as the window's tests do it.
class WindowRunner : public Runner {
public:
    WindowRunner(const Folders& folders, int threads) {
        ::setenv("HOME", folders.root.c_str(), 1);
        SetAppDir(folders.app);
        InitProgramGlobals(folders.app, "");
        SetDialogService(std::make_shared<TScriptedDialogs>());
        SetSoundPlayer(std::make_shared<SoundRecorder>());
        form_ = std::make_unique<TOV_MainForm>();
        form_->SplashMs = 0;
        TOV_MainForm& f = *form_;
        f.Data.WorkDir = folders.work;
        f.Data.Threads = threads;
        f.Data.NoTmpDel = 1;
        f.Data.DoFindSound = f.Data.DoEndSound = 0;
        std::vector<std::string> side{folders.images};
        f.AddFiles2(side, 0);
        side = {folders.images};
        f.AddFiles2(side, 1);
        f.Radio_Mode.SetItemIndex(1);
        f.Radio_Syori.SetItemIndex(1);
        f.Check_prev.SetChecked(true);
        f.Show();
        f.MB_GoMouseDown();
        Application()->ProcessMessages();
        const TPreviewBox box = f.PreviewBox();
        if (box.Width != kWindowPreviewBox.Width || box.Height != kWindowPreviewBox.Height)
            std::fprintf(stderr, "note: the window's previews are %d x %d, the engine's %d x %d\n", box.Width,
                         box.Height, kWindowPreviewBox.Width, kWindowPreviewBox.Height);
    }
    ~WindowRunner() override {
        form_.reset();
        SetDialogService(nullptr);
        SetSoundPlayer(nullptr);
        SetAppDir("");
    }
    std::size_t Run() override {
        TOV_MainForm& f = *form_;
        f.RunLog.Clear();
        f.Data.JyochyuList.Clear();
        f.P4B_StartMouseDown();
        Application()->ProcessMessages();
        return f.RunLog.Count();
    }

private:
    std::unique_ptr<TOV_MainForm> form_;
};

// Process CPU time in seconds, all threads.
double ProcessCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// ---- the benchmarks

enum class Side { Engine, EngineWithoutPreview, Window, Floor };
enum class Pass { First, Second };

// One case of the table.
struct RunCase {
    std::size_t set;
    Pass pass;
    Side side;
    int threads;  // 0: one per core
    std::string Name() const {
        const char* sides[] = {"engine", "engine-nopreview", "window", "floor"};
        return std::string("Run/") + kSets[set].name + (pass == Pass::First ? "/first/" : "/second/") +
               (threads == 1 ? "1-thread/" : "all-threads/") + sides[static_cast<int>(side)];
    }
};

// What a second run cannot do without: walk the folder with one lstat per
// picture, read the index, read every signature once (on all threads), then
// score every pair of the one list (on all threads) with the run's kernel.
double FloorSeconds(const Folders& folders) {
    TMainData data;
    data.WorkDir = folders.work;
    bench::QuietView view;
    TRunEngine engine(data, view);
    const auto start = std::chrono::steady_clock::now();
    std::size_t pictures = 0;
    for (const auto& entry : fs::directory_iterator(folders.images)) {
        struct stat st {};
        pictures += ::lstat(entry.path().c_str(), &st) == 0 && S_ISREG(st.st_mode) ? 1 : 0;
    }
    benchmark::DoNotOptimize(pictures);
    std::vector<TIndexRecord> records;
    {
        TFileStream index(engine.IndexPath(), FileMode::OpenRead);
        records = ReadSignatureIndex(index);
    }
    const unsigned threads = WorkerThreads(0);
    std::vector<TCompactSignature> signatures(records.size());
    std::atomic<std::size_t> next{0};
    std::atomic<std::int64_t> found{0};
    const TNeedTable need(75);
    auto parallel = [threads](const std::function<void()>& work) {
        std::vector<std::thread> pool;
        for (unsigned t = 0; t < threads; ++t) pool.emplace_back(work);
        for (std::thread& t : pool) t.join();
    };
    parallel([&] {
        TSTitems item;
        for (std::size_t k = next++; k < records.size(); k = next++) {
            item.TmpNo = records[k].TmpNo;
            item.SignatureSum = records[k].SignatureSum;
            signatures[k] = engine.LoadCompactSignature("", &item);
        }
    });
    next = 0;
    // Rows of 16 against every later target, as the loop's workers score them.
    constexpr std::size_t kRows = 16;
    parallel([&] {
        std::int64_t matches = 0;
        for (std::size_t first = next.fetch_add(kRows); first < signatures.size(); first = next.fetch_add(kRows))
            for (std::size_t j = first + 1; j < signatures.size(); ++j)
                for (std::size_t i = first; i < std::min(first + kRows, j); ++i)
                    matches += ScoreReaches(signatures[i], signatures[j], need) ? 1 : 0;
        found += matches;
    });
    benchmark::DoNotOptimize(found.load());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// ---- file-system calls

struct FsCalls {
    std::map<std::string, std::int64_t> byKind;  // stat, open, read, fcntl, close
    std::int64_t Total() const {
        std::int64_t total = 0;
        for (const auto& [kind, calls] : byKind) total += calls;
        return total;
    }
};

// The kind a system call counts under, or empty for one that is not counted.
std::string FsKind(const std::string& call) {
    static const std::map<std::string, std::string> kinds{
        {"stat", "stat"},   {"lstat", "stat"},  {"fstat", "stat"},   {"newfstatat", "stat"}, {"statx", "stat"},
        {"open", "open"},   {"openat", "open"}, {"openat2", "open"}, {"read", "read"},        {"pread64", "read"},
        {"readv", "read"},  {"fcntl", "fcntl"}, {"close", "close"}};
    const auto it = kinds.find(call);
    return it == kinds.end() ? std::string() : it->second;
}

bool StraceWanted() {
    const char* text = std::getenv("ORV_BENCH_STRACE");
    if (text && std::string(text) == "0") return false;
    return ::access("/usr/bin/strace", X_OK) == 0;
}

bool Traced() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("TracerPid:", 0) == 0) return std::atoi(line.c_str() + 10) != 0;
    return false;
}

// Runs work once with strace counting the calls of every thread of this
// process; empty when strace could not be attached.
FsCalls CountFsCalls(const std::string& scratch, const std::function<void()>& work) {
    FsCalls calls;
    const std::string out = scratch + "strace.txt";
    const std::string pid = std::to_string(::getpid());
    std::vector<std::string> argv{"/usr/bin/strace", "-f", "-c", "-qq", "-o", out, "-p", pid};
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    pid_t tracer = 0;
    if (::posix_spawn(&tracer, args[0], nullptr, nullptr, args.data(), environ) != 0) return calls;
    for (int i = 0; i < 500 && !Traced(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (Traced()) work();
    ::kill(tracer, SIGINT);
    int status = 0;
    ::waitpid(tracer, &status, 0);
    std::ifstream in(out);
    for (std::string line; std::getline(in, line);) {
        // "% time  seconds  usecs/call  calls  errors  syscall", errors may be blank.
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string w; fields >> w;) words.push_back(w);
        if (words.size() < 5 || words[0].find_first_not_of("0123456789.") != std::string::npos) continue;
        const std::string kind = FsKind(words.back());
        if (!kind.empty()) calls.byKind[kind] += std::atoll(words[3].c_str());
    }
    std::filesystem::remove(out);
    return calls;
}

void ReportFsCalls(benchmark::State& state, const FsCalls& calls, std::size_t pictures) {
    if (calls.byKind.empty() || pictures == 0) return;
    const double n = static_cast<double>(pictures);
    state.counters["fs/pic"] = static_cast<double>(calls.Total()) / n;
    for (const auto& [kind, count] : calls.byKind) state.counters[kind + "/pic"] = static_cast<double>(count) / n;
}

std::size_t PictureCount(const Folders& folders) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folders.images), fs::directory_iterator()));
}

void RunBenchmark(benchmark::State& state, RunCase c) {
    Folders& folders = FoldersOf(c.set);
    std::unique_ptr<Runner> runner;
    if (c.side == Side::Window) runner = std::make_unique<WindowRunner>(folders, c.threads);
    else runner = std::make_unique<EngineRunner>(folders, c.side != Side::EngineWithoutPreview, c.threads);
    // A second run needs the signatures of a finished run; a second run
    // leaves them as they are.
    if (c.pass == Pass::Second && !folders.signaturesMade) {
        folders.ClearWork();
        runner->Run();
        folders.signaturesMade = true;
    }
    std::size_t found = 0;
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        if (c.pass == Pass::First) folders.ClearWork();
        const double cpuStart = ProcessCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        if (c.side == Side::Floor) {
            state.SetIterationTime(FloorSeconds(folders));
        } else {
            found = runner->Run();
            state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        cpu += ProcessCpuSeconds() - cpuStart;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    folders.signaturesMade = true;
    state.counters["cores"] = wall > 0 ? cpu / wall : 0;
    if (c.pass == Pass::Second && c.threads == 0 && StraceWanted()) {
        const FsCalls calls = CountFsCalls(folders.root, [&] {
            if (c.side == Side::Floor) FloorSeconds(folders);
            else runner->Run();
        });
        ReportFsCalls(state, calls, PictureCount(folders));
    }
    if (c.side == Side::Floor) return;
    state.counters["matches"] = static_cast<double>(found);
    if (found < static_cast<std::size_t>(Scaled(kSets[c.set]).copies)) state.SkipWithError("near-copies were missed");
}

void RegisterRuns() {
    auto add = [](const RunCase& c) {
        benchmark::RegisterBenchmark(c.Name().c_str(), RunBenchmark, c)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    };
    for (std::size_t set = 0; set < std::size(kSets); ++set) {
        if (kSets[set].large) {
            if (!LargeWanted()) continue;
            add({set, Pass::Second, Side::EngineWithoutPreview, 0});
            add({set, Pass::Second, Side::Floor, 0});
            continue;
        }
        for (Pass pass : {Pass::First, Pass::Second})
            for (int threads : {1, 0})
                for (Side side : {Side::Engine, Side::EngineWithoutPreview, Side::Window}) add({set, pass, side, threads});
        add({set, Pass::Second, Side::Floor, 0});
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
    void PrintRatios() const {
        PrintRatio("/window", "/engine");
        PrintRatio("/engine", "/engine-nopreview");
        PrintRatio("/engine", "/floor");
        PrintRatio("/engine-nopreview", "/floor");
        for (const char* side : {"/engine", "/window"})
            PrintRatio(std::string("/1-thread") + side, std::string("/all-threads") + side);
    }

private:
    // For each case whose name ends in `of`: its median against the case
    // whose name ends in `to` instead.
    void PrintRatio(const std::string& of, const std::string& to) const {
        for (const auto& [name, time] : medians_) {
            if (name.size() < of.size() || name.compare(name.size() - of.size(), of.size(), of) != 0) continue;
            const std::string base = name.substr(0, name.size() - of.size());
            auto other = medians_.find(base + to);
            if (other == medians_.end() || other->second <= 0) continue;
            std::printf("%-26s %-20s %9.1f ms  %-24s %9.1f ms  ratio %.2f\n", base.c_str(), of.c_str() + 1, time,
                        to.c_str() + 1, other->second, time / other->second);
        }
    }

    std::map<std::string, double> medians_;
};

}  // namespace
}  // namespace orv

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    orv::RegisterStandardPictures();
    orv::TApplication app(argc, argv);
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
