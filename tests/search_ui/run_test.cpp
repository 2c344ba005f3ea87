// A whole run through the window's Start button.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTimer>
#include <QWindow>

#include "search_ui/main_form_fixture.h"

namespace orv::test {
namespace {

bool HasLine(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& line : lines)
        if (line.size() > text.size() && line.compare(line.size() - text.size(), text.size(), text) == 0) return true;
    return false;
}

// A window on its run page, ready to compare the lists (all sizes, log
// only, no sounds).
TOV_MainForm& ReadyToRun(TOV_MainForm& f, const std::string& work, std::vector<std::string> sources,
                         std::vector<std::string> targets) {
    f.Data.WorkDir = work + "/";
    f.Data.DoEndSound = 0;
    f.Data.DoFindSound = 0;
    f.AddFiles2(sources, 0);
    f.AddFiles2(targets, 1);
    f.Radio_Mode.SetItemIndex(1);
    f.Radio_Syori.SetItemIndex(1);
    f.MB_GoMouseDown();
    return f;
}

TEST_F(MainFormTest, StartRunsAComparisonAndShowsItsEnd) {
    const std::string a = (root_ / "a.bmp").string(), b = (root_ / "b.bmp").string();
    fs::copy_file(app_ / "BMP" / "folder.bmp", a);
    fs::copy_file(app_ / "BMP" / "folder.bmp", b);
    TOV_MainForm& f = ReadyToRun(Make(), Folder("work"), {a}, {b});
    ASSERT_TRUE(f.MB_Go.Enable());

    f.P4B_StartMouseDown();
    EXPECT_EQ(f.Data.Running, 0);
    ASSERT_EQ(f.RunLog.Count(), 1u);
    EXPECT_EQ(f.ListView_log.Count(), 1);
    EXPECT_EQ(f.ListView_log.Item(0)->Caption(), a);
    EXPECT_EQ(f.ListView_log.Item(0)->SubItems().at(4), b);
    EXPECT_EQ(f.Pan_DoList.Caption(), "全 1 結果");
    const std::vector<std::string> lines = f.ErrorLog.Lines();
    for (const char* text : {"：ファイル情報収集開始", "：比較開始", "：終了処理", "：終了"})
        EXPECT_TRUE(HasLine(lines, text)) << text;
    EXPECT_EQ(f.LabelInfo1.Caption(), "終了");
    // Finished state: the steps and Start back on, Stop and Pause off.
    EXPECT_TRUE(f.P4B_Start.Enable() && f.MB_Start.Enable() && f.MB_Opt.Enable());
    EXPECT_FALSE(f.P4B_Stop.Enable() || f.P4B_Pause.Enable());
    EXPECT_TRUE(f.P4B_Log.Enable());
    EXPECT_TRUE(f.P4B_Jyochyu.Enable());
    EXPECT_EQ(f.Data.JyochyuList.Count(), 1u);
    EXPECT_EQ(f.Data.ProjectChanged, 1);
    EXPECT_TRUE(f.Enabled());
}

// However many matches a run finds, the window repaints (and retitles) at
// most once per slice of the run's work: with the run's clock standing still, a run of
// many matches repaints no more often than a run of a few (what remains are
// the button states at the start and the end).
TEST_F(MainFormTest, RunRepaintsAtMostOncePerSlice) {
    const std::string images = Folder("images");
    TOV_MainForm& f = ReadyToRun(Make(), Folder("work"), {images}, {images});
    f.Check_prev.SetChecked(true);
    f.Show();
    test::App().ProcessMessages();
    const auto stopped = std::chrono::steady_clock::now();
    f.RunClock = [stopped] { return stopped; };

    test::RepaintCounter repaints(f.Widget()->window());
    auto run = [&](int count) {
        for (int i = 0; i < count; ++i) {
            const fs::path copy = fs::path(images) / ("i" + std::to_string(i) + ".bmp");
            if (!fs::exists(copy)) fs::copy_file(app_ / "BMP" / "folder.bmp", copy);
        }
        f.RunLog.Clear();
        f.Data.JyochyuList.Clear();
        repaints.count = repaints.titles = 0;
        repaints.painted.clear();
        f.P4B_StartMouseDown();
        test::App().ProcessMessages();
        return std::pair(repaints.count, repaints.titles);
    };
    run(2);  // the buttons' states from here on are those of a run before
    const auto few = run(4);
    EXPECT_EQ(f.RunLog.Count(), 6u);
    EXPECT_GT(few.first, 0);
    const auto many = run(16);
    EXPECT_EQ(f.RunLog.Count(), 120u);
    EXPECT_LE(many.first, few.first);
    // No slice ended: the run shows once, at its end, and only what changed.
    EXPECT_EQ(repaints.painted.count(f.P4B_Stop.Widget()), 1u);
    EXPECT_EQ(repaints.painted.count(f.Check_prev.Widget()), 0u);
    EXPECT_EQ(repaints.painted.count(f.PVI_L.Widget()), 0u);  // empty before and after
    // The title too, which still ends as the caption of the last row.
    EXPECT_LE(many.second, few.second);
    EXPECT_EQ(f.Widget()->windowTitle().toStdString(), "Orvalis - 新規プロジェクト.ovp 16ファイル進行記録済");
    f.Close();
}

// While the pair handler waits for the user, the window is disabled: a
// click on its painted Start button does nothing, not even the click sound,
// and handlers reached all the same start nothing that changes the run, the
// lists, the project or the log.
TEST_F(MainFormTest, NothingStartsWhileThePairHandlerWaits) {
    const std::string a = (root_ / "a.bmp").string();
    fs::copy_file(app_ / "BMP" / "folder.bmp", a);
    TOV_MainForm& f = ReadyToRun(Make(), Folder("work"), {a}, {a});
    fs::copy_file(std::string(ORV_TEST_HELPERS) + "/helper_sleeper", app_ / "filer");
    f.RunLog.Add(TLogRow{});
    f.Show();
    test::App().ProcessMessages();
    bool disabled = false;
    QTimer::singleShot(50, [&] {
        disabled = !f.Widget()->isEnabled();
        // Through the window, as the window system hands a click over.
        const QPointF at = f.P4B_Start.Widget()->mapTo(f.Widget(), QPoint(5, 5));
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent click(type, at, at, Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(f.Widget()->windowHandle(), &click);
        }
        f.P4B_StartMouseDown();
        f.P1B_NewMouseDown();
        f.ClearAllList(0);
        f.p4b_LogClearMouseDown();
        f.P4B_LogMouseDown();
        f.MB_SourceMouseDown();
    });
    EXPECT_TRUE(f.HandOverWholeLog(0));
    EXPECT_TRUE(disabled);
    EXPECT_TRUE(sound_->calls.empty());
    EXPECT_FALSE(HasLine(f.ErrorLog.Lines(), "：ファイル情報収集開始"));
    EXPECT_EQ(f.RunLog.Count(), 1u);
    EXPECT_EQ(f.FListView_L.Count(), 1);
    EXPECT_EQ(f.pageControl1.ActivePageIndex(), 4);
    EXPECT_TRUE(dialogs_->Calls().empty());
    EXPECT_TRUE(f.Enabled());
    f.Close();
}

TEST_F(MainFormTest, StartRefusesMissingFolders) {
    TOV_MainForm& f = Make();
    f.Data.WorkDir = (root_ / "no-work").string();
    f.Radio_Mode.SetItemIndex(1);
    f.Radio_Syori.SetItemIndex(1);
    f.P4B_StartMouseDown();
    EXPECT_EQ(Messages(), std::vector<std::string>{"一時作業用フォルダが見つかりません。正しいフォルダを指定してください"});

    dialogs_->ClearCalls();
    f.Radio_Do.SetItemIndex(2);  // move, whatever the handling mode
    f.LabeledEdit1.SetText((root_ / "no-move/").string());
    f.P4B_StartMouseDown();
    EXPECT_EQ(Messages(), std::vector<std::string>{"自動処理のファイルの移動/コピー先が無効です。指定したフォルダが存在するか"
                                                   "どうか確認してください"});
    EXPECT_EQ(f.ErrorLog.LineCount() <= 1, true);
}

}  // namespace
}  // namespace orv::test
