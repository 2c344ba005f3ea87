#include "search/engine/run_driver.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>

#include "engine_test_util.h"
#include "platform/graphics/picture.h"
#include "platform/graphics/picture_loader.h"
#include "search/engine/pair_loop.h"
#include "search/engine/run_engine.h"
#include "search/engine/signature_index.h"
#include "platform/base/file_system.h"
#include "platform/base/single_instance.h"
#include "tests/support/lock_holder.h"
#include "tests/support/scoped_env.h"
#include "search/engine/work_pool.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

// Copies the generated pictures of tests/data/compare into folder `to`.
void CopyComparePictures(const std::string& to) {
    for (const auto& entry : fs::directory_iterator(fs::path(ORV_TEST_DATA) / "compare"))
        if (entry.path().extension() == ".jpg") fs::copy_file(entry.path(), to + entry.path().filename().string());
}

class LogHandOver : public IPairHandOver {
public:
    std::string HandOverPair(std::size_t, std::size_t) override {
        ++pairs;
        if (onPair) onPair();
        return {};
    }
    bool HandOverLog(std::size_t firstRow) override {
        logHandOvers.push_back(firstRow);
        if (onLog) onLog();
        return true;
    }
    int pairs = 0;
    std::vector<std::size_t> logHandOvers;
    std::function<void()> onPair, onLog;
};

class RunDriverTest : public ::testing::Test {
protected:
    RunDriverTest() : engine(data, window), driver(engine, log, window, &handOver) {
        RegisterStandardPictures();
        data.WorkDir = work.path();
        data.Random.seed(3);
        driver.SetBmpDir(files.path());
        choices.SizeMode = TSizeMode::AnySize;
        choices.SyoriMode = TSyoriMode::LogOnly;
    }

    // Copies the generated pictures into the files folder and adds a bitmap
    // copy of one of them; both lists then hold that folder.
    void UsePictures() {
        CopyComparePictures(files.path());
        TBitmap bitmap;
        ASSERT_TRUE(LoadPictureToBitmap(files.path() + "a.jpg", bitmap));
        bitmap.SaveToFile(files.path() + "a_copy.bmp");
        window.entries[0] = {files.path()};
        window.entries[1] = {files.path()};
    }

    std::vector<std::string> LoggedPairs() const {
        std::vector<std::string> pairs;
        for (const auto& row : log.Rows())
            pairs.push_back(fs::path(row[kLogSourcePath]).filename().string() + " " +
                            fs::path(row[kLogTargetPath]).filename().string());
        return pairs;
    }

    int SignatureFiles() const {
        int count = 0;
        for (const auto& entry : fs::directory_iterator(work.path()))
            if (entry.path().filename().string().rfind("~OVTMP", 0) == 0) ++count;
        return count;
    }

    test::TempDir files, work;
    TMainData data;
    test::RecordingWindow window;
    TRunEngine engine;
    TRunLog log;
    LogHandOver handOver;
    TRunDriver driver;
    TRunChoices choices;
};

TEST(RunStatusTexts, LabelsAndEstimate) {
    EXPECT_EQ(CompareLabelText(3, 120, 7, 45), "画像比較中 [3/120]-[ 7/45]");
    EXPECT_EQ(CountLabelText(1234567, 8), "[全1234567比較のうち同一8ファイル]");
    const TDateTime second = 1.0 / 86400;
    EXPECT_EQ(EstimateLabelText(3723 * second), "[予測残り時間 1:02:03]");
    EXPECT_EQ(EstimateLabelText(0), "[予測残り時間 0:00:00]");
    // From a whole day on, days are shown instead of wrapping around.
    EXPECT_EQ(EstimateLabelText(86400 * second), "[予測残り時間 1日 0:00:00]");
    EXPECT_EQ(EstimateLabelText(2 + 11045 * second), "[予測残り時間 2日 3:04:05]");
    // 46,000 x 46,000 pairs do not overflow: 10 s for a tenth of them leaves 90 s.
    const std::int64_t side = 46000;
    EXPECT_NEAR(ProjectRemaining(10 * second, side, side, side * side / 10) / second, 90.0, 1e-6);
    EXPECT_EQ(ProjectRemaining(10 * second, side, side, 0), 0);
}

TEST(RunStatusTexts, EstimateTakenAtEachHundredthPair) {
    TMainData data;
    test::RecordingView view;
    for (int n = 0; n < 50; ++n) data.SourceFiles.Add("s" + std::to_string(n));
    for (int n = 0; n < 50; ++n) data.TargetFiles.Add("t" + std::to_string(n));
    TRunStatus status(data, view);
    status.Start();
    auto visit = [&](std::int64_t to) {
        while (data.LoopCount < to) {
            const std::int64_t before = data.LoopCount++;
            status.Advanced(before);
        }
        status.SetLabel(0, 0);
        return view.showing[3];
    };
    EXPECT_EQ(visit(1), kEstimateMeasuring);
    EXPECT_EQ(visit(99), kEstimateMeasuring);
    const std::string at100 = visit(100);
    EXPECT_NE(at100, kEstimateMeasuring);
    EXPECT_EQ(at100.rfind("[予測残り時間 ", 0), 0u);
    // Kept between multiples of 100, even when time goes on.
    const TDateTime kept = status.Calctime();
    EXPECT_EQ(visit(199), at100);
    EXPECT_EQ(status.Calctime(), kept);
    visit(200);
    EXPECT_NE(status.Calctime(), kept);
    // A new loop measures again.
    status.Start();
    data.LoopCount = 0;
    EXPECT_EQ(visit(5), kEstimateMeasuring);
}

TEST_F(RunDriverTest, StartChecksTheFolders) {
    choices.DoAction = TPairAction::Move;
    choices.TgtDir = files.path() + "missing/";
    // Checked for the move action even when matches are only logged.
    EXPECT_FALSE(driver.P4B_StartMouseDown(choices));
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0], kMoveFolderInvalid);

    choices.DoAction = TPairAction::Recycle;
    data.WorkDir = files.path() + "no-work/";
    EXPECT_FALSE(driver.P4B_StartMouseDown(choices));
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[1], kWorkFolderMissing);
    EXPECT_TRUE(window.mbStates.empty());
    EXPECT_TRUE(window.log.empty());
    EXPECT_EQ(data.Running, 0);
}

// A second program's run on the same work folder would delete the first
// one's signatures at its end: it does not start.
TEST_F(RunDriverTest, AWorkFolderInUseByAnotherRunIsRefused) {
    UsePictures();
    test::TempDir runtime;
    test::LockHolder other("TOV_MainForm_work" + std::to_string(::getpid()), work.path(), runtime.path());
    ASSERT_TRUE(other.Took());
    EXPECT_FALSE(driver.P4B_StartMouseDown(choices));
    EXPECT_EQ(window.messages, std::vector<std::string>{"作業フォルダ " + work.path() + " は他の Orvalis が使用中です"});
    EXPECT_TRUE(window.mbStates.empty());
    EXPECT_EQ(data.Running, 0);
    // Nor does closing this program delete the other run's signatures.
    test::WriteAll(work / "~OVTMP1.BMP", "");
    engine.DeleteChashFile();
    EXPECT_EQ(SignatureFiles(), 1);
}

// Others could place signatures there that decide what a run erases. The
// program's default folder is repaired when it is the user's own.
TEST_F(RunDriverTest, AWorkFolderOthersMayWriteIsRefusedAndTheDefaultOneRepaired) {
    UsePictures();
    ASSERT_EQ(::chmod(work.path().c_str(), 0770), 0);
    EXPECT_FALSE(driver.P4B_StartMouseDown(choices));
    EXPECT_EQ(window.messages, std::vector<std::string>{WorkFolderNotPrivateMessage(work.path())});
    EXPECT_EQ(data.Running, 0);
    test::WriteAll(work / "~OVTMP1.BMP", "");
    EXPECT_EQ(engine.DeleteChashFile(), TWorkFolder::TState::NotPrivate);
    EXPECT_EQ(SignatureFiles(), 1);

    test::ScopedEnv tmp("TMPDIR", work.path());
    data.WorkDir = PrivateTempStem();
    ASSERT_EQ(::mkdir(data.WorkDir.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(data.WorkDir.c_str(), 0777), 0);
    EXPECT_TRUE(driver.P4B_StartMouseDown(choices));
    struct stat st {};
    ASSERT_EQ(::stat(data.WorkDir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_GT(log.Count(), 0u);
}

// A file system without locks: the run goes on and says so once.
TEST_F(RunDriverTest, AWorkFolderThatCannotBeLockedIsNamedOnce) {
    UsePictures();
    SetSimulateUnlockableFolders(true);
    const bool started = driver.P4B_StartMouseDown(choices);
    SetSimulateUnlockableFolders(false);
    EXPECT_TRUE(started);
    const std::string text = "：作業フォルダ " + work.path() + " をロックできません。他の Orvalis と同時に使用しないでください";
    const auto events = window.Events();
    EXPECT_EQ(std::count(events.begin(), events.end(), text), 1);
    EXPECT_GT(log.Count(), 0u);
}

TEST_F(RunDriverTest, StopDuringCollection) {
    UsePictures();
    window.onEntries = [this](int) { data.StopFlag = 1; };
    EXPECT_TRUE(driver.P4B_StartMouseDown(choices));
    EXPECT_EQ(window.Events(), (std::vector<std::string>{"：ファイル情報収集開始", "：途中中断", "：終了処理", "：終了"}));
    EXPECT_EQ(data.Running, 0);
    EXPECT_EQ(data.StopFlag, 0);
    EXPECT_EQ(window.mbStates, (std::vector<int>{3, 4}));
}

TEST_F(RunDriverTest, StopDuringThePairLoop) {
    UsePictures();
    choices.SyoriMode = TSyoriMode::EachPair;
    data.Par = 90;
    handOver.onPair = [this] { data.StopFlag = 1; };
    driver.P4B_StartMouseDown(choices);
    EXPECT_EQ(window.Events(), (std::vector<std::string>{"：ファイル情報収集開始", "：比較開始", "：終了処理", "：終了"}));
    EXPECT_EQ(handOver.pairs, 1);
    EXPECT_EQ(log.Count(), 1u);
    EXPECT_EQ(data.JyochyuList.Count(), 1u);
    EXPECT_EQ(window.showing[1], "終了");
    EXPECT_EQ(window.animations.back(), "ani01.avi");
    EXPECT_TRUE(window.windowEnabled);
    EXPECT_FALSE(window.waitCursor);
}

TEST_F(RunDriverTest, AFailureStillEndsTheRun) {
    UsePictures();
    window.onEntries = [](int side) {
        if (side == 1) throw std::runtime_error("list unreadable");
    };
    driver.P4B_StartMouseDown(choices);
    const auto events = window.Events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[1], "：list unreadable");
    EXPECT_EQ(events[2], "：終了処理");
    EXPECT_EQ(data.Running, 0);
    EXPECT_EQ(window.mbStates.back(), 4);
    EXPECT_TRUE(window.windowEnabled);
}

TEST_F(RunDriverTest, SignatureFilesDeletedUnlessKept) {
    UsePictures();
    data.NoTmpDel = 1;
    driver.P4B_StartMouseDown(choices);
    EXPECT_EQ(SignatureFiles(), 25 + 1);  // one per picture, and the index
    EXPECT_TRUE(data.ChachItems.empty());

    data.NoTmpDel = 0;
    driver.P4B_StartMouseDown(choices);
    EXPECT_EQ(SignatureFiles(), 0);
}

TEST_F(RunDriverTest, AWorkFolderThatTakesNoIndexIsReportedOnce) {
    UsePictures();
    data.NoTmpDel = 1;
    // A folder under the index's name: no record can be written, as root too.
    fs::create_directory(work.path() + "~OVTMP.Lst");
    driver.P4B_StartMouseDown(choices);
    EXPECT_EQ(window.Events(), (std::vector<std::string>{"：ファイル情報収集開始", "：作業フォルダに書き込めません" + work.path(),
                                                         "：途中中断", "：終了処理", "：終了"}));
    EXPECT_EQ(window.log.size(), 5u);
    EXPECT_EQ(data.CompCount, 0);
    EXPECT_EQ(SignatureFiles(), 1);  // the folder only: no signature without its record
    EXPECT_EQ(data.Running, 0);
    EXPECT_EQ(window.mbStates.back(), 4);
}

TEST_F(RunDriverTest, WholeLogHandedOverAfterTheRun) {
    UsePictures();
    choices.SyoriMode = TSyoriMode::AfterRun;
    handOver.onLog = [this] {
        // The buttons are back in their finished state by then.
        EXPECT_EQ(data.Running, 0);
        EXPECT_EQ(window.mbStates.back(), 4);
    };
    driver.P4B_StartMouseDown(choices);
    EXPECT_EQ(handOver.logHandOvers, (std::vector<std::size_t>{0}));
    EXPECT_EQ(handOver.pairs, 0);
}

// Generated pictures: copies scaled, re-encoded, touched up, brightened and
// partly painted over, next to unrelated pictures (unrelated pairs score 41
// at most). Each accuracy finds exactly the pairs it should.
TEST_F(RunDriverTest, RunOverGeneratedPictures) {
    UsePictures();
    // Later runs reuse the signatures of the first.
    data.NoTmpDel = 1;
    // Near-identical copies of a (scores 93 to 100) and a wider copy of b (97).
    std::vector<std::string> strict;
    const std::vector<std::string> a = {"a.jpg", "a_copy.bmp", "a_q35.jpg", "a_scaled.jpg", "a_touched.jpg"};
    for (std::size_t i = 0; i < a.size(); ++i)
        for (std::size_t j = i + 1; j < a.size(); ++j) strict.push_back(a[i] + " " + a[j]);
    strict.push_back("b.jpg b_wide.jpg");
    // 18 % painted over scores 81; 32 % painted over scores 66 and 67, a
    // brighter copy 66. The copy reduced below 80 x 80 keeps its own small
    // signature and matches nothing.
    std::vector<std::string> normal = strict;
    normal.push_back("c.jpg c_part18.jpg");
    std::vector<std::string> loose = normal;
    for (const char* pair : {"c.jpg c_part32.jpg", "c_part18.jpg c_part32.jpg", "d.jpg d_bright.jpg"})
        loose.push_back(pair);

    for (auto [par, expected] : {std::pair{90, strict}, std::pair{75, normal}, std::pair{60, loose}}) {
        data.Par = par;
        log.Clear();
        data.JyochyuList.Clear();
        driver.P4B_StartMouseDown(choices);
        EXPECT_EQ(data.SingleList, 1);
        EXPECT_EQ(data.LoopCount, 25 * 24 / 2);
        EXPECT_EQ(data.CompCount, 25 * 24 / 2);
        auto pairs = LoggedPairs();
        std::sort(pairs.begin(), pairs.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(pairs, expected) << "accuracy " << par;
        EXPECT_EQ(data.FindCount, static_cast<std::int64_t>(expected.size()));
    }
}

// ---- the same run with one worker thread and with several

// What a run leaves that anyone can see or read back: its log lines (without
// date and time), log rows, index records and work lists (signature numbers
// left out: they are random), progress record, hand-overs and counters.
struct RunOutcome {
    std::vector<std::string> events, index, lists, progress, handOvers;
    std::vector<TLogRow> rows;
    std::int64_t loops = 0, compared = 0, found = 0;
    bool operator==(const RunOutcome&) const = default;
};

struct Scenario {
    const char* name;
    int syoriMode;        // 1 log only, 0 automatic through the hand-over
    bool twoFolders;      // the targets add a folder of their own
    int stopAtFile;       // stop while the collection handles this file (0: never)
    int stopAtHandOver;   // the hand-over's answer stops the run at this pair (0: never)
    bool secondRun;       // measured after a first run left its signatures
    std::uint64_t memory = 0;  // budget of the loads at once (0: the default)
    bool erase = false;        // the hand-over erases each pair's target, as automatic handling does
    bool signaturesGone = false;  // the signature files vanish when the comparison starts
};

class ScriptedHandOver : public IPairHandOver {
public:
    ScriptedHandOver(TMainData& data, int stopAt) : data_(data), stopAt_(stopAt) {}
    std::string HandOverPair(std::size_t source, std::size_t target) override {
        pairs.push_back(fs::path(data_.SourceFiles.Strings(source)).filename().string() + " " +
                        fs::path(data_.TargetFiles.Strings(target)).filename().string());
        if (static_cast<int>(pairs.size()) == stopAt_) data_.StopFlag = 1;
        if (erase) fs::remove(data_.TargetFiles.Strings(target));
        return "result " + std::to_string(pairs.size());
    }
    bool HandOverLog(std::size_t) override { return true; }
    std::vector<std::string> pairs;
    bool erase = false;

private:
    TMainData& data_;
    int stopAt_;
};

RunOutcome RunWithThreads(int threads, const Scenario& sc, const std::string& pictures, const std::string& extra) {
    // The run may erase pictures: it works on a copy.
    test::TempDir copy, work;
    const std::string files = copy.path();
    for (const auto& entry : fs::directory_iterator(pictures)) {
        const fs::path to = files / entry.path().filename();
        fs::copy_file(entry.path(), to);
        fs::last_write_time(to, fs::last_write_time(entry.path()));
    }
    // Paths as the same in every run.
    auto rel = [&files](std::string text) {
        for (auto at = text.find(files); at != std::string::npos; at = text.find(files))
            text.replace(at, files.size(), "<files>/");
        return text;
    };
    TMainData data;
    data.Threads = threads;
    data.WorkDir = work.path();
    data.NoTmpDel = 1;
    data.Par = 60;
    struct StoppingWindow : test::RecordingWindow {
        void SetLabelInfo(int index, const std::string& caption, const std::string& hint) override {
            RecordingWindow::SetLabelInfo(index, caption, hint);
            if (!stopCaption.empty() && caption.rfind(stopCaption, 0) == 0) *stop = 1;
        }
        void AppendLog(const std::string& line) override {
            RecordingWindow::AppendLog(line);
            if (!signaturesGone.empty() && line.find("：比較開始") != std::string::npos)
                for (const auto& entry : fs::directory_iterator(signaturesGone))
                    if (entry.path().extension() == ".BMP") fs::remove(entry.path());
        }
        std::string stopCaption;
        std::uint8_t* stop = nullptr;
        std::string signaturesGone;
    } window;
    window.entries[0] = {files};
    window.entries[1] = {files};
    if (sc.twoFolders) window.entries[1].push_back(extra);
    TRunEngine engine(data, window);
    engine.SetMemoryBudget(sc.memory);
    TRunLog log;
    ScriptedHandOver handOver(data, sc.stopAtHandOver);
    handOver.erase = sc.erase;
    TRunDriver driver(engine, log, window, &handOver);
    driver.SetBmpDir(files);
    TRunChoices choices;
    choices.SizeMode = TSizeMode::AnySize;
    choices.SyoriMode = ChoiceOf<TSyoriMode>(sc.syoriMode);
    if (sc.secondRun) {
        driver.P4B_StartMouseDown(choices);
        log.Clear();
        data.JyochyuList.Clear();
        handOver.pairs.clear();
    }
    window.stop = &data.StopFlag;
    if (sc.signaturesGone) {
        window.signaturesGone = work.path();
        data.Chach = 0;  // no memory for signatures: each is read when compared
    }
    if (sc.stopAtFile > 0) window.stopCaption = "情報収集と一時ファイル作成中 [" + std::to_string(sc.stopAtFile) + "]";
    driver.P4B_StartMouseDown(choices);

    RunOutcome out;
    for (const std::string& line : window.log) {
        const auto colon = line.find("：");
        out.events.push_back(rel(colon == std::string::npos ? line : line.substr(colon)));
    }
    for (const TLogRowView view : log.Rows()) {
        TLogRow row = view.Texts();
        for (std::string& text : row) text = rel(text);
        out.rows.push_back(row);
    }
    TFileStream index(work.path() + kSignatureIndexName, FileMode::OpenRead);
    for (const TIndexRecord& r : ReadSignatureIndex(index))
        out.index.push_back(rel(r.Path) + " " + std::to_string(r.FileSize) + " " + std::to_string(r.FileDate) + " " +
                            std::to_string(r.Width) + "x" + std::to_string(r.Height));
    for (int side = 0; side < 2; ++side)
        for (const auto& e : data.WorkList(side))
            out.lists.push_back(std::to_string(side) + " " + rel(e.Path) + " " + std::to_string(e.Item->FileSize) + " " +
                                std::to_string(e.Item->Width) + "x" + std::to_string(e.Item->Height));
    for (const auto& e : data.JyochyuList) out.progress.push_back(rel(e.Path));
    out.handOvers = handOver.pairs;
    out.loops = data.LoopCount;
    out.compared = data.CompCount;
    out.found = data.FindCount;
    return out;
}

TEST(RunThreads, OnePerCoreTheProcessMayUse) {
    cpu_set_t before;
    ASSERT_EQ(::sched_getaffinity(0, sizeof before, &before), 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &before)) {
            CPU_SET(cpu, &one);
            break;
        }
    ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
    const unsigned threads = WorkerThreads(0);
    ::sched_setaffinity(0, sizeof before, &before);
    EXPECT_EQ(threads, 1u);
    EXPECT_EQ(WorkerThreads(0), static_cast<unsigned>(CPU_COUNT(&before)));
    EXPECT_EQ(WorkerThreads(3), 3u);
}

TEST(RunThreads, SameOutcomeWithOneAndSeveralThreads) {
    RegisterStandardPictures();
    test::TempDir files, extra;
    CopyComparePictures(files.path());
    // An unreadable picture, and targets of their own: copies under other names.
    std::ofstream(files.path() + "broken.jpg") << "not a picture";
    for (const char* name : {"a.jpg", "c_part18.jpg", "u03.jpg"})
        fs::copy_file(files.path() + name, extra.path() + std::string("x_") + name);

    const Scenario scenarios[] = {
        {"log only", 1, false, 0, 0, false},
        {"log only, second run", 1, true, 0, 0, true},
        {"automatic", 0, true, 0, 0, false},
        {"automatic, stopped by the hand-over", 0, true, 0, 5, false},
        {"stopped during the collection", 1, false, 9, 0, false},
        // Every picture is larger than the budget, so each loads alone.
        {"one load at a time", 1, false, 0, 0, false, 1},
        {"automatic, targets erased", 0, false, 0, 0, false, 0, true},
        {"second run, signature files gone", 1, false, 0, 0, true, 0, false, true},
    };
    for (const Scenario& sc : scenarios) {
        const RunOutcome one = RunWithThreads(1, sc, files.path(), extra.path());
        const RunOutcome many = RunWithThreads(5, sc, files.path(), extra.path());
        EXPECT_TRUE(one == many) << sc.name;
        EXPECT_EQ(one.events, many.events) << sc.name;
        EXPECT_EQ(one.index, many.index) << sc.name;
        EXPECT_EQ(one.handOvers, many.handOvers) << sc.name;
        if (sc.signaturesGone) {
            // Each picture is named once, and nothing matches.
            std::set<std::string> named;
            for (const std::string& line : one.events)
                if (line.ends_with(kSignatureUnreadableSuffix)) {
                    EXPECT_TRUE(named.insert(line).second) << line;
                }
            EXPECT_EQ(named.size(), one.lists.size() / 2) << sc.name;
            EXPECT_EQ(one.found, 0) << sc.name;
        } else if (sc.stopAtFile == 0) {
            EXPECT_GT(one.found, 3) << sc.name;
        }
    }
}

}  // namespace
}  // namespace orv
