#include "search/engine/pair_loop.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <set>
#include <thread>
#include <utility>

#include "engine_test_util.h"
#include "search/engine/run_driver.h"
#include "search/engine/run_engine.h"

namespace orv {
namespace {

// Records each pair handed over; the reaction can change the run's state.
class RecordingHandOver : public IPairHandOver {
public:
    std::string HandOverPair(std::size_t source, std::size_t target) override {
        pairs.emplace_back(source, target);
        if (onPair) onPair(source, target);
        return "比較元のファイル";
    }
    bool HandOverLog(std::size_t firstRow) override {
        logs.push_back(firstRow);
        return true;
    }
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    std::vector<std::size_t> logs;
    std::function<void(std::size_t, std::size_t)> onPair;
};

// A signature of 8 x 8 pixels: `look` picks its pattern; images of one look
// score 100 against each other and 0 against other looks.
TCompactSignature Look(int look) {
    std::vector<std::uint8_t> pixels(8 * 8 * 3);
    for (int p = 0; p < 64; ++p) {
        const auto gray = static_cast<std::uint8_t>(((p + look) % 8) * 32 + 5);
        pixels[static_cast<std::size_t>(p) * 3] = gray;
    }
    return TCompactSignature(TGrayView{pixels.data(), 8, 8, 24, 3});
}

class PairLoopTest : public ::testing::Test {
protected:
    PairLoopTest() : engine(data, view), status(data, view), loop(engine, log, status, &handOver) {
        data.Par = 75;
        data.SizeMode = TSizeMode::AnySize;
        data.SyoriMode = TSyoriMode::LogOnly;
        TPairLoopHooks hooks;
        hooks.Identify = [this](const std::string& path) {
            ++identifyCalls;
            auto vanish = vanishAfter.find(path);
            if (vanish != vanishAfter.end() && vanish->second-- <= 0) missing.insert(path);
            if (missing.count(path)) return TFileIdentity{};
            auto alias = aliases.find(path);
            const std::string& name = alias != aliases.end() ? alias->second : path;
            return TFileIdentity{true, 1, std::hash<std::string>()(name)};
        };
        hooks.LoadSignature = [this](int side, std::size_t index) {
            ++loads;
            const std::string& path = data.WorkList(side).Strings(index);
            return unreadable.count(path) ? TCompactSignature() : Look(looks.at(path));
        };
        hooks.LoadPreview = [](const std::string&) { return std::unique_ptr<TBitmap>(); };
        loop.SetHooks(hooks);
    }

    // Adds an image to a side: its look decides which images it matches.
    void Add(int side, const std::string& path, int look, int width = 80, int height = 80) {
        looks[path] = look;
        auto item = std::make_shared<TSTitems>();
        item->Width = width;
        item->Height = height;
        item->FileSize = 1000;
        data.WorkList(side).Add(path, item);
    }
    // The same paths with the same records on both sides.
    void AddBoth(const std::string& path, int look) {
        Add(0, path, look);
        data.TargetFiles.Add(path, data.SourceFiles.Objects(data.SourceFiles.Count() - 1));
        data.SingleList = 1;
    }
    std::vector<std::pair<std::string, std::string>> LoggedPairs() const {
        std::vector<std::pair<std::string, std::string>> pairs;
        for (const auto& row : log.Rows()) pairs.emplace_back(row[kLogSourcePath], row[kLogTargetPath]);
        return pairs;
    }

    TMainData data;
    test::RecordingView view;
    TRunEngine engine;
    TRunLog log;
    TRunStatus status;
    RecordingHandOver handOver;
    TPairLoop loop;
    std::map<std::string, int> looks;
    std::set<std::string> missing;
    std::set<std::string> unreadable;  // signatures that cannot be read
    std::map<std::string, std::string> aliases;
    std::map<std::string, int> vanishAfter;  // path -> lookups it still survives
    int loads = 0;
    int identifyCalls = 0;
};

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST_F(PairLoopTest, SingleListVisitsEachUnorderedPairOnce) {
    AddBoth("/p/a.jpg", 1);
    AddBoth("/p/b.jpg", 1);
    AddBoth("/p/c.jpg", 1);
    loop.HikakuMain();
    EXPECT_EQ(data.LoopCount, 3);
    EXPECT_EQ(data.CompCount, 3);
    EXPECT_EQ(data.FindCount, 3);
    EXPECT_EQ(LoggedPairs(), (Pairs{{"/p/a.jpg", "/p/b.jpg"}, {"/p/a.jpg", "/p/c.jpg"}, {"/p/b.jpg", "/p/c.jpg"}}));
    // The last row visits nothing and is recorded all the same.
    EXPECT_EQ(data.JyochyuList.Count(), 3u);
    EXPECT_EQ(view.caption, "Orvalis - 新規プロジェクト.ovp 3ファイル進行記録済");
    EXPECT_EQ(data.ProjectChanged, 1);
    // Log only: nothing handed over; the row's texts come from the records.
    EXPECT_TRUE(handOver.pairs.empty());
    EXPECT_EQ(log.Row(0)[kLogSourceSize], " 1,000");
    EXPECT_EQ(log.Row(0)[kLogTargetWidth], "80");
    EXPECT_EQ(log.Row(0)[kLogResult], "");
}

TEST_F(PairLoopTest, SkipRulesCountOnlyTheVisit) {
    Add(0, "/s/one.jpg", 1);
    Add(0, "/s/done.jpg", 1);
    Add(0, "/s/two.jpg", 2);
    Add(1, "/s/one.jpg", 1);       // the same path
    Add(1, "/t/hardlink.jpg", 1);  // the same file under another name
    Add(1, "/t/gone.jpg", 1);      // no longer there
    Add(1, "/t/logged.jpg", 1);    // already in the log for one.jpg
    Add(1, "/t/copy.jpg", 1);
    Add(1, "/t/other.jpg", 2);
    aliases["/t/hardlink.jpg"] = "/s/one.jpg";
    missing.insert("/t/gone.jpg");
    data.JyochyuList.Add("/s/done.jpg");
    TLogRow old;
    old[kLogSourcePath] = "/s/one.jpg";
    old[kLogTargetPath] = "/t/logged.jpg";
    log.Add(old);
    TLogRow swapped;  // the other direction does not keep a pair out
    swapped[kLogSourcePath] = "/t/copy.jpg";
    swapped[kLogTargetPath] = "/s/one.jpg";
    log.Add(swapped);

    loop.HikakuMain();
    // Rows one and two visit six targets each; done.jpg is not visited.
    EXPECT_EQ(data.LoopCount, 12);
    // one.jpg: copy.jpg and other.jpg compared; two.jpg: everything but gone.jpg.
    EXPECT_EQ(data.CompCount, 2 + 5);
    EXPECT_EQ(LoggedPairs(), (Pairs{{"/s/one.jpg", "/t/logged.jpg"},
                                    {"/t/copy.jpg", "/s/one.jpg"},
                                    {"/s/one.jpg", "/t/copy.jpg"},
                                    {"/s/two.jpg", "/t/other.jpg"}}));
    EXPECT_EQ(data.JyochyuList.Count(), 3u);  // done.jpg stays recorded once
    // Existence is looked up per file, not per pair: 8 distinct paths, plus
    // both files of each match before it is logged (log only: no hand-over
    // to look after).
    EXPECT_EQ(identifyCalls, 8 + 2 * 2);
}

TEST_F(PairLoopTest, EqualSizeModeComparesOnlyEqualDimensions) {
    data.SizeMode = TSizeMode::SameSize;
    Add(0, "/s/wide.jpg", 1, 640, 480);
    Add(1, "/t/tall.jpg", 1, 480, 640);
    for (int n = 0; n < 250; ++n) Add(1, "/t/x" + std::to_string(n) + ".jpg", 3, 100 + n % 7, 90);
    Add(1, "/t/same.jpg", 1, 640, 480);
    Add(1, "/t/same2.jpg", 2, 640, 480);
    loop.HikakuMain();
    EXPECT_EQ(data.LoopCount, 253);
    EXPECT_EQ(data.CompCount, 2);
    EXPECT_EQ(LoggedPairs(), (Pairs{{"/s/wide.jpg", "/t/same.jpg"}}));
    // The estimate was taken on the way although the pairs were not visited
    // one by one; the label shows the last pair with the final counts.
    EXPECT_NE(status.EstimateText(), kEstimateMeasuring);
    EXPECT_EQ(view.showing[1], "画像比較中 [1/1]-[ 253/253]");
    EXPECT_EQ(view.showing[2], "[全2比較のうち同一1ファイル]");
}

TEST_F(PairLoopTest, OneEndLeavesTheRowAtItsFirstMatch) {
    data.OneEnd = 1;
    Add(0, "/s/a.jpg", 1);
    Add(0, "/s/b.jpg", 2);
    Add(1, "/t/x.jpg", 2);
    Add(1, "/t/a1.jpg", 1);
    Add(1, "/t/a2.jpg", 1);
    Add(1, "/t/b1.jpg", 2);
    loop.HikakuMain();
    EXPECT_EQ(LoggedPairs(), (Pairs{{"/s/a.jpg", "/t/a1.jpg"}, {"/s/b.jpg", "/t/x.jpg"}}));
    EXPECT_EQ(data.LoopCount, 2 + 1);
    EXPECT_EQ(data.JyochyuList.Count(), 2u);
}

TEST_F(PairLoopTest, LoggedPairsAfterAMissingOneAreNotComparedAgain) {
    data.Threads = 3;  // the workers' answers are counted in runs
    Add(0, "/s.jpg", 0);
    for (int n = 0; n < 4; ++n) Add(1, "/t" + std::to_string(n) + ".jpg", n + 1);
    missing.insert("/t1.jpg");
    for (const char* target : {"/t1.jpg", "/t2.jpg"}) {
        TLogRow row;
        row[kLogSourcePath] = "/s.jpg";
        row[kLogTargetPath] = target;
        log.Add(row);
    }
    loop.HikakuMain();
    EXPECT_EQ(data.LoopCount, 4);
    EXPECT_EQ(data.CompCount, 2);  // t0 and t3
}

TEST_F(PairLoopTest, UnreadableSignatureIsNamedOnceAndMatchesNothing) {
    for (const char* path : {"/p/a.jpg", "/p/b.jpg", "/p/c.jpg"}) AddBoth(path, 0);
    unreadable.insert("/p/b.jpg");
    loop.HikakuMain();
    EXPECT_EQ(LoggedPairs(), (Pairs{{"/p/a.jpg", "/p/c.jpg"}}));
    EXPECT_EQ(view.log, std::vector<std::string>{std::string("/p/b.jpg") + kSignatureUnreadableSuffix});
}

TEST_F(PairLoopTest, StopEndsTheLoopAfterThePairAndRecordsTheRow) {
    data.SyoriMode = TSyoriMode::EachPair;
    Add(0, "/s/a.jpg", 1);
    Add(0, "/s/b.jpg", 1);
    for (int n = 0; n < 5; ++n) Add(1, "/t/" + std::to_string(n) + ".jpg", n == 1 ? 1 : 5);
    // The pair handler answers Stop for the first pair.
    handOver.onPair = [this](std::size_t, std::size_t) { data.StopFlag = 1; };
    loop.HikakuMain();
    EXPECT_EQ(data.LoopCount, 2);
    EXPECT_EQ(handOver.pairs.size(), 1u);
    EXPECT_EQ(log.Row(0)[kLogResult], "比較元のファイル");
    ASSERT_EQ(data.JyochyuList.Count(), 1u);
    EXPECT_EQ(data.JyochyuList.Strings(0), "/s/a.jpg");
}

TEST_F(PairLoopTest, StopPressedBeforeAHandOverIsKept) {
    data.SyoriMode = TSyoriMode::EachPair;
    Add(0, "/s/a.jpg", 1);
    Add(1, "/t/a1.jpg", 1);
    Add(1, "/t/a2.jpg", 1);
    // Stop arrives while the window processes messages before the hand-over,
    // and the handler's answer (no stop) would clear it.
    view.onMessages = [this] {
        if (data.FindCount == 1) data.StopFlag = 1;
    };
    handOver.onPair = [this](std::size_t, std::size_t) { data.StopFlag = 0; };
    loop.HikakuMain();
    EXPECT_EQ(handOver.pairs.size(), 1u);
    EXPECT_EQ(data.StopFlag, 1);
    EXPECT_EQ(data.LoopCount, 1);
}

// A log changed while the handler had the pair (cleared, or another run's
// rows) holds another pair under the row: the answer is not written there.
TEST_F(PairLoopTest, AnAnswerIsNotWrittenIntoALogChangedMeanwhile) {
    data.SyoriMode = TSyoriMode::EachPair;
    Add(0, "/s/a.jpg", 1);
    Add(1, "/t/a1.jpg", 1);
    TLogRow other;
    other[kLogSourcePath] = "/x/other.jpg";
    handOver.onPair = [&](std::size_t, std::size_t) {
        log.Clear();
        log.Add(other);
    };
    loop.HikakuMain();
    ASSERT_EQ(log.Count(), 1u);
    EXPECT_EQ(log.Rows()[0][kLogSourcePath], "/x/other.jpg");
    EXPECT_EQ(log.Rows()[0][kLogResult], "");
}

TEST_F(PairLoopTest, FilesThatGoAwayAreNotLoggedOrCompared) {
    data.SyoriMode = TSyoriMode::Automatic;
    Add(0, "/s/a.jpg", 1);
    Add(0, "/s/b.jpg", 1);
    Add(1, "/t/vanishing.jpg", 1);
    Add(1, "/t/c.jpg", 1);
    Add(1, "/t/d.jpg", 1);
    // Present when the loop starts, gone when its first match is checked.
    vanishAfter["/t/vanishing.jpg"] = 1;
    // Automatic handling removes the source of every pair it gets.
    handOver.onPair = [this](std::size_t source, std::size_t) { missing.insert(data.SourceFiles.Strings(source)); };
    loop.HikakuMain();
    EXPECT_EQ(LoggedPairs(), (Pairs{{"/s/a.jpg", "/t/c.jpg"}, {"/s/b.jpg", "/t/c.jpg"}}));
    // Once a source is gone, the rest of its row is skipped.
    EXPECT_EQ(data.CompCount, 2);
    EXPECT_EQ(data.FindCount, 2);
    EXPECT_EQ(data.LoopCount, 6);
}

TEST_F(PairLoopTest, PauseWaitsUntilResumedOrStopped) {
    Add(0, "/s/a.jpg", 1);
    Add(0, "/s/b.jpg", 1);
    for (int n = 0; n < 5; ++n) Add(1, "/t/" + std::to_string(n) + ".jpg", 5);
    data.PauseFlag = 1;
    view.onMessages = [this] {
        if (view.sleeps == 3) data.PauseFlag = 0;
    };
    loop.HikakuMain();
    // The wait sleeps once more after the message that resumed it.
    EXPECT_EQ(view.sleeps, 4);
    EXPECT_EQ(data.LoopCount, 10);
    EXPECT_EQ(data.StopFlag, 0);

    // Stop inside the pause ends the pause; the loop ends after the next
    // pair, as after any pair.
    data.JyochyuList.Clear();
    data.LoopCount = 0;
    view.sleeps = 0;
    data.PauseFlag = 1;
    view.onMessages = [this] {
        if (view.sleeps == 2) data.StopFlag = 1;
    };
    loop.HikakuMain();
    EXPECT_EQ(view.sleeps, 3);
    EXPECT_EQ(data.PauseFlag, 0);
    EXPECT_EQ(data.LoopCount, 2);
    EXPECT_EQ(data.JyochyuList.Count(), 1u);
}

TEST_F(PairLoopTest, MatchedPairIsPreviewedWhenPreviewIsOn) {
    data.Preview = 1;
    Add(0, "/s/a.jpg", 1);
    Add(1, "/t/b.jpg", 2);
    Add(1, "/t/a.jpg", 1);
    loop.HikakuMain();
    EXPECT_EQ(view.previews, (std::vector<std::pair<int, std::string>>{{0, "/s/a.jpg"}, {1, "/t/a.jpg"}}));
    EXPECT_EQ(data.PrevSrcName, "/s/a.jpg");
    EXPECT_EQ(data.PrevShown, 1);

    // Switched off: nothing is shown, and the next switch-on shows again.
    view.previews.clear();
    data.Preview = 0;
    log.Clear();
    data.JyochyuList.Clear();
    loop.HikakuMain();
    EXPECT_TRUE(view.previews.empty());
    EXPECT_EQ(data.PrevShown, 0);
}

// Pictures that take long to load are shown on a share of the run's time
// only: after the first pair, the next matches keep the previews shown.
TEST_F(PairLoopTest, SlowPreviewsAreLoadedOnAShareOfTheTime) {
    TPairLoopHooks hooks;
    hooks.Identify = [](const std::string& path) { return TFileIdentity{true, 1, std::hash<std::string>()(path)}; };
    hooks.LoadSignature = [](int, std::size_t) { return Look(1); };
    hooks.LoadPreview = [](const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        return std::unique_ptr<TBitmap>();
    };
    loop.SetHooks(hooks);
    data.Preview = 1;
    Add(0, "/s/a.jpg", 1);
    for (const char* target : {"/t/1.jpg", "/t/2.jpg", "/t/3.jpg"}) Add(1, target, 1);
    loop.HikakuMain();
    EXPECT_EQ(data.FindCount, 3);
    EXPECT_EQ(view.previews, (std::vector<std::pair<int, std::string>>{{0, "/s/a.jpg"}, {1, "/t/1.jpg"}}));
}

// The loop against a plain model of the rules on random lists, with and
// without worker threads: rows in groups, counted-only pairs of other sizes
// and the hashed lookups must give the same counters, log and progress
// record as visiting pair by pair.
TEST(PairLoopModel, SameResultsAsVisitingEveryPair) {
    std::mt19937 rng(17);
    for (int round = 0; round < 60; ++round) {
        TMainData data;
        test::RecordingView view;
        TRunEngine engine(data, view);
        TRunLog log;
        TRunStatus status(data, view);
        TPairLoop loop(engine, log, status);
        data.SyoriMode = TSyoriMode::LogOnly;
        data.SizeMode = ChoiceOf<TSizeMode>(static_cast<int>(rng() % 2));
        data.OneEnd = static_cast<std::uint8_t>(rng() % 3 == 0);
        data.Chach = static_cast<int>(rng() % 2);  // no memory at all, or room for some
        data.Threads = round % 2 == 0 ? 3 : 0;     // workers, or none for loops this small
        const bool single = rng() % 3 == 0;
        const int sources = 1 + static_cast<int>(rng() % 40);
        const int targets = single ? sources : 1 + static_cast<int>(rng() % 40);

        std::map<std::string, int> looks;
        std::set<std::string> missing;
        auto addRandom = [&](TFileList& list, const std::string& path) {
            auto item = std::make_shared<TSTitems>();
            item->Width = rng() % 3 == 0 ? 64 : 80;
            item->Height = 80;
            looks[path] = static_cast<int>(rng() % 3);
            if (rng() % 15 == 0) missing.insert(path);
            list.Add(path, item);
        };
        for (int n = 0; n < sources; ++n) {
            // Some sources repeat a path, some also stand in the target list.
            const std::string path = "/p/" + std::to_string(rng() % 8 == 0 && n > 0 ? n - 1 : n) + ".jpg";
            addRandom(data.SourceFiles, path);
        }
        if (single) {
            for (const auto& entry : data.SourceFiles) data.TargetFiles.Add(entry.Path, entry.Item);
        } else {
            for (int n = 0; n < targets; ++n)
                addRandom(data.TargetFiles, rng() % 6 == 0 ? "/p/" + std::to_string(n) + ".jpg"
                                                            : "/q/" + std::to_string(n) + ".jpg");
        }
        data.SingleList = single ? 1 : 0;
        for (int n = 0; n < sources; ++n)
            if (rng() % 7 == 0) data.JyochyuList.Add(data.SourceFiles.Strings(static_cast<std::size_t>(n)));
        for (int n = 0; n < 5; ++n) {
            TLogRow row;
            row[kLogSourcePath] = data.SourceFiles.Strings(rng() % data.SourceFiles.Count());
            row[kLogTargetPath] = data.TargetFiles.Strings(rng() % data.TargetFiles.Count());
            log.Add(row);
        }

        // The model, pair by pair.
        std::int64_t visits = 0, compares = 0;
        std::vector<std::pair<std::string, std::string>> logged;
        std::set<std::pair<std::string, std::string>> inLog;
        for (const auto& row : log.Rows()) inLog.emplace(row[kLogSourcePath], row[kLogTargetPath]);
        std::set<std::string> done;
        for (const auto& entry : data.JyochyuList) done.insert(entry.Path);
        std::vector<std::string> recorded;
        for (std::size_t i = 0; i < data.SourceFiles.Count(); ++i) {
            const auto& s = data.SourceFiles[i];
            if (done.count(s.Path)) continue;
            bool matched = false;
            for (std::size_t j = single ? i + 1 : 0; j < data.TargetFiles.Count(); ++j) {
                const auto& t = data.TargetFiles[j];
                ++visits;
                if (s.Path == t.Path || missing.count(s.Path) || missing.count(t.Path)) continue;
                if (!inLog.count({s.Path, t.Path}) &&
                    (data.SizeMode != TSizeMode::SameSize ||
                     (s.Item->Width == t.Item->Width && s.Item->Height == t.Item->Height))) {
                    ++compares;
                    const int score = s.Item->Width == t.Item->Width && looks[s.Path] == looks[t.Path] ? 100 : 0;
                    if (score >= data.Par) {
                        matched = true;
                        logged.emplace_back(s.Path, t.Path);
                        inLog.emplace(s.Path, t.Path);
                    }
                }
                if (matched && data.OneEnd == 1) break;
            }
            recorded.push_back(s.Path);
            done.insert(s.Path);
        }

        TPairLoopHooks hooks;
        hooks.Identify = [&missing](const std::string& path) {
            if (missing.count(path)) return TFileIdentity{};
            return TFileIdentity{true, 1, std::hash<std::string>()(path)};
        };
        hooks.LoadSignature = [&](int side, std::size_t index) {
            const auto& entry = data.WorkList(side)[index];
            // Other looks and other widths never share a band anywhere.
            const int w = entry.Item->Width;
            std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * 80 * 3);
            for (int y = 0; y < 80; ++y)
                for (int x = 0; x < w; ++x)
                    pixels[static_cast<std::size_t>((y * w + x) * 3)] =
                        static_cast<std::uint8_t>(((x * 5 + y * 3 + looks.at(entry.Path) + 3 * (w / 16)) % 8) * 32);
            return TCompactSignature(TGrayView{pixels.data(), entry.Item->Width, 80, entry.Item->Width * 3, 3});
        };
        loop.SetHooks(hooks);
        const std::size_t before = log.Count();
        loop.HikakuMain();

        ASSERT_EQ(data.LoopCount, visits) << "round " << round;
        ASSERT_EQ(data.CompCount, compares) << "round " << round;
        ASSERT_EQ(data.FindCount, static_cast<std::int64_t>(logged.size())) << "round " << round;
        std::vector<std::pair<std::string, std::string>> got;
        for (std::size_t n = before; n < log.Count(); ++n)
            got.emplace_back(log.Row(n)[kLogSourcePath], log.Row(n)[kLogTargetPath]);
        ASSERT_EQ(got, logged) << "round " << round;
        std::vector<std::string> progress;
        for (std::size_t n = data.JyochyuList.Count() - recorded.size(); n < data.JyochyuList.Count(); ++n)
            progress.push_back(data.JyochyuList.Strings(n));
        ASSERT_EQ(progress, recorded) << "round " << round;
    }
}

TEST_F(PairLoopTest, MemoryBudgetChangesNoResult) {
    for (int n = 0; n < 30; ++n) AddBoth("/p/" + std::to_string(n) + ".jpg", n % 4);
    data.Chach = 1000;
    loop.HikakuMain();
    const auto withMemory = LoggedPairs();
    const int loadsWithMemory = loads;
    EXPECT_GT(loop.SignatureBytes(), 0u);
    EXPECT_LE(loop.SignatureBytes(), loop.SignatureBudget());

    log.Clear();
    data.JyochyuList.Clear();
    data.LoopCount = data.CompCount = data.FindCount = 0;
    loads = 0;
    data.Chach = 0;
    loop.HikakuMain();
    EXPECT_EQ(LoggedPairs(), withMemory);
    EXPECT_EQ(loop.SignatureBytes(), 0u);
    EXPECT_GT(loads, loadsWithMemory);
    // Looks 0 and 1 have eight images each, 2 and 3 seven.
    EXPECT_EQ(withMemory.size(), 2u * 28u + 2u * 21u);
}

}  // namespace
}  // namespace orv
