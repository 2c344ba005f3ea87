// The run log in the main window: opening a project with many log rows (read,
// decoded, shown on the log page), the log growing during a run, and saving
// it as text. Heap bytes per row are reported beside the times.
//
// Run: build/bench/bench_log_page (QT_QPA_PLATFORM=offscreen is set here).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "platform/base/paths.h"
#include "platform/graphics/picture.h"
#include "platform/ui/application.h"
#include "platform/ui/scripted_dialogs.h"
#include "search/engine/project_file.h"
#include "search/engine/saved_log.h"
#include "search/ui/main_form.h"
#include "search/ui/program_globals.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

std::size_t HeapInUse() {
    const struct mallinfo2 info = ::mallinfo2();
    return info.uordblks + info.hblkhd;
}

std::string Picture(std::size_t n) {
    char name[160];
    std::snprintf(name, sizeof name, "/home/user/ピクチャ/%04zu年の写真/%02zu月 旅行と家族/IMG_%06zu.jpg", 2000 + n % 20,
                  1 + n % 12, n);
    return name;
}

// Rows like a run's: pairs among `pictures` files, the sources in order (a
// run goes source by source), the targets anywhere; with 0 every row names
// files of its own. Each with sizes, dates, dimensions and a result.
TLogTable MakeLog(std::size_t rows, std::size_t pictures) {
    std::mt19937_64 rng(7);
    TLogTable log;
    log.reserve(rows);
    for (std::size_t r = 0; r < rows; ++r) {
        const std::size_t a = pictures ? r * pictures / rows : 2 * r;
        const std::size_t b = pictures ? rng() % pictures : 2 * r + 1;
        TLogRow row;
        const auto side = [&](std::size_t first, std::size_t n) {
            row[first] = Picture(n);
            row[first + 1] = " " + std::to_string(100000 + n * 37 % 9000000);
            row[first + 2] = "20" + std::to_string(10 + n % 14) + "/0" + std::to_string(1 + n % 9) + "/1" +
                             std::to_string(n % 10) + " 1" + std::to_string(n % 10) + ":" + std::to_string(10 + n % 50) +
                             ":" + std::to_string(10 + n % 49);
            row[first + 3] = std::to_string(640 + n % 4000);
            row[first + 4] = std::to_string(480 + n % 3000);
        };
        side(kLogSourcePath, a);
        side(kLogTargetPath, b);
        row[kLogResult] = r % 3 == 0 ? "" : "比較元のファイルをごみ箱に捨てました";
        log.push_back(row);
    }
    return log;
}

std::size_t TextBytes(const TLogTable& log) {
    std::size_t bytes = 0;
    for (std::size_t r = 0; r < log.size(); ++r)
        for (std::size_t c = 0; c < kLogColumns; ++c) bytes += log.Cell(r, c).size();
    return bytes;
}

// A main window as the program makes it, with its log page showing. Made
// and destroyed inside main, with the application.
struct Window {
    Window() {
        RegisterStandardPictures();
        SetAppDir(ORV_APPDIR_BUILT);
        InitProgramGlobals(ORV_APPDIR_BUILT, "");
        SetDialogService(std::make_shared<TScriptedDialogs>());
        form = std::make_unique<TOV_MainForm>();
        form->SplashMs = 0;
        form->Show();
        form->pageControl1.SetActivePageIndex(4);
        form->PageControl2.SetActivePageIndex(1);
        Application()->ProcessMessages();
    }
    std::unique_ptr<TOV_MainForm> form;
};

std::unique_ptr<Window> gWindow;

Window& TheWindow() {
    if (!gWindow) gWindow = std::make_unique<Window>();
    return *gWindow;
}

struct ProjectFile {
    ProjectFile(std::size_t rows, std::size_t pictures) {
        path = (fs::temp_directory_path() / ("orv-bench-log-" + std::to_string(rows) + "-" +
                                             std::to_string(pictures) + ".ovp"))
                   .string();
        TProjectData project;
        project.LogRows = MakeLog(rows, pictures);
        textBytes = TextBytes(project.LogRows);
        SaveProjectFiles(path, project, {});
    }
    ~ProjectFile() { fs::remove(path); }
    std::string path;
    std::size_t textBytes = 0;
};

// Opening a project: the file read and decoded, the log rows in RunLog, the
// log page laid out and painted.
void BM_OpenProjectLog(benchmark::State& state) {
    const auto rows = static_cast<std::size_t>(state.range(0));
    const auto pictures = static_cast<std::size_t>(state.range(1));
    Window& window = TheWindow();
    TOV_MainForm& form = *window.form;
    const ProjectFile file(rows, pictures);
    std::size_t heap = 0;
    for (auto _ : state) {
        state.PauseTiming();
        form.RunLog.Clear();
        Application()->ProcessMessages();
        const std::size_t before = HeapInUse();
        state.ResumeTiming();

        form.LoadProject(file.path);
        form.pageControl1.SetActivePageIndex(4);
        form.PageControl2.SetActivePageIndex(1);
        Application()->ProcessMessages();

        state.PauseTiming();
        heap = HeapInUse() - before;
        if (form.ListView_log.Count() != static_cast<int>(rows)) state.SkipWithError("rows missing");
        state.ResumeTiming();
    }
    state.counters["heap_per_row"] = static_cast<double>(heap) / static_cast<double>(rows);
    state.counters["text_per_row"] = static_cast<double>(file.textBytes) / static_cast<double>(rows);
    state.counters["table_per_row"] =
        static_cast<double>(form.RunLog.Rows().MemoryBytes()) / static_cast<double>(rows);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rows));
}
BENCHMARK(BM_OpenProjectLog)
    ->Args({100000, 20000})
    ->Args({100000, 0})
    ->Args({1000000, 20000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// A run adding matches to a long log: each row added, the window pumped on
// the run's time slice of 20 ms.
void BM_LogGrows(benchmark::State& state) {
    const auto rows = static_cast<std::size_t>(state.range(0));
    Window& window = TheWindow();
    TOV_MainForm& form = *window.form;
    form.RunLog.Assign(MakeLog(rows, 20000));
    Application()->ProcessMessages();
    const TLogTable more = MakeLog(1000, 20000);
    std::size_t n = 0;
    auto slice = std::chrono::steady_clock::now();
    for (auto _ : state) {
        form.RunLog.Add(more[n++ % more.size()].Texts());
        if (std::chrono::steady_clock::now() - slice >= std::chrono::milliseconds(20)) {
            Application()->ProcessMessages();
            slice = std::chrono::steady_clock::now();
        }
    }
    Application()->ProcessMessages();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogGrows)->Arg(1000000)->MinTime(5);

void BM_FormatSavedLog(benchmark::State& state) {
    const TLogTable log = MakeLog(static_cast<std::size_t>(state.range(0)), 20000);
    for (auto _ : state) benchmark::DoNotOptimize(FormatSavedLog(log));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FormatSavedLog)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orv

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qtArgc = 1;
    char name[] = "bench_log_page";
    char* qtArgv[] = {name, nullptr};
    orv::TApplication app(qtArgc, qtArgv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    orv::gWindow.reset();
    return 0;
}
