// Projects, the log page and the setting sets through the window.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <tuple>

#include <QAbstractItemView>
#include <QItemSelectionModel>

#include "platform/base/codec.h"
#include "search/engine/project_file.h"
#include "search/engine/setting_sets.h"
#include "search_ui/main_form_fixture.h"
#include "tests/support/stored_text.h"

namespace orv::test {
namespace {

TLogRow Row(const std::string& source, const std::string& target, const std::string& result = "") {
    return {source, " 1,000", "2026/12/08 10:00:00", "64", "48", target, " 1,000", "2026/12/08 10:00:00", "64", "48", result};
}

class ProjectTest : public MainFormTest {
protected:
    // A window holding a small project: two entries, settings and a log row.
    TOV_MainForm& Filled() {
        TOV_MainForm& f = Make();
        a_ = WriteFile(root_ / "pics" / "a.jpg");
        dir_ = Folder("pics/sub") + "/";
        std::vector<std::string> sources{a_, dir_};
        f.AddFiles2(sources, 0);
        std::vector<std::string> targets{a_};
        f.AddFiles2(targets, 1);
        f.Radio_Mode.SetItemIndex(1);
        f.Radio_Syori.SetItemIndex(0);
        f.Radio_Seltgt.SetItemIndex(4);
        f.Radio_Near.SetItemIndex(1);
        f.Radio_Do.SetItemIndex(2);
        f.Check_OneEnd.SetChecked(true);
        f.LabeledEdit1.SetText(dir_);
        f.RunLog.Add(Row(a_, a_, "比較元のファイルをごみ箱に捨てました"));
        f.Data.JyochyuList.Add(a_);
        return f;
    }
    std::string a_, dir_;
};

TEST_F(ProjectTest, SaveAndOpenRestoreTheProject) {
    TOV_MainForm& f = Filled();
    const std::string path = (root_ / "一つ目.ovp").string();
    dialogs_->AnswerSave(path);
    f.PP_SaveAsPrjClick();  // a new project asks for a name
    EXPECT_EQ(f.Data.PrjFileName, path);
    EXPECT_EQ(f.Data.ProjectChanged, 0);
    EXPECT_EQ(f.Caption(), "Orvalis - 一つ目.ovp 1ファイル進行記録済");
    ASSERT_TRUE(fs::exists(ProgressListPath(path)));
    const TProjectData stored = ReadProjectFile(path);
    const THandling& h = stored.Handling;
    EXPECT_EQ(std::tie(h.SizeMode, h.SyoriMode, h.SelTgt, h.NearMode, h.DoAction),
              std::make_tuple(TSizeMode::AnySize, TSyoriMode::Automatic, TSelTgt::OlderDate, TNearMode::Target,
                              TPairAction::Move));

    TOV_MainForm& g = Make();
    dialogs_->AnswerOpen(std::vector<std::string>{path});
    g.P1B_OpenMouseDown();
    EXPECT_EQ(g.FListView_L.Count(), 2);
    EXPECT_EQ(g.FListView_R.Count(), 1);
    EXPECT_EQ(g.Radio_Seltgt.ItemIndex(), 4);
    EXPECT_EQ(g.Radio_Do.ItemIndex(), 2);
    EXPECT_TRUE(g.Group_Auto.Visible());
    EXPECT_TRUE(g.Radio_Near.Visible());
    EXPECT_TRUE(g.Check_OneEnd.Checked());
    EXPECT_EQ(g.LabeledEdit1.Text(), dir_);
    EXPECT_EQ(g.ListView_log.Count(), 1);
    EXPECT_EQ(g.ListView_log.Item(0)->SubItems().at(9), "比較元のファイルをごみ箱に捨てました");
    EXPECT_EQ(g.Data.JyochyuList.Count(), 1u);
    EXPECT_EQ(g.Data.ProjectChanged, 0);  // although the radio handler ran
    EXPECT_EQ(g.Data.PrjDir, (root_ / "").string());
    EXPECT_EQ(g.Caption(), "Orvalis - 一つ目.ovp 1ファイル進行記録済");
    EXPECT_EQ(g.pageControl1.ActivePageIndex(), 1);
    EXPECT_TRUE(g.MB_Go.Enable());
    EXPECT_TRUE(Messages().empty());

    // Saving again over the opened project asks nothing; a cleared progress
    // record removes the progress list.
    dialogs_->AnswerYesNo(true);
    g.P4B_JyochyuMouseDown();
    EXPECT_EQ(g.Caption(), "Orvalis - 一つ目.ovp");
    dialogs_->ClearCalls();
    g.PP_SaveAsPrjClick();
    EXPECT_TRUE(dialogs_->Calls().empty());
    EXPECT_FALSE(fs::exists(ProgressListPath(path)));
}

TEST_F(ProjectTest, OverwriteQuestionAndFailedSaveKeepTheProjectChanged) {
    TOV_MainForm& f = Filled();
    const std::string path = WriteFile(root_ / "old.ovp", "old");
    dialogs_->AnswerSave(path);
    dialogs_->AnswerYesNo(false);
    f.PP_SaveNewPrjClick();
    ASSERT_EQ(dialogs_->Calls().size(), 2u);
    EXPECT_EQ(dialogs_->Calls()[1].title, "上書き警告");
    EXPECT_EQ(dialogs_->Calls()[1].text, "そのファイルは既に存在します。上書きしますか？");
    EXPECT_EQ(ReadAll(path), "old");
    EXPECT_EQ(f.Data.PrjFileName, "新規プロジェクト.ovp");

    // A folder that does not exist: the error is shown, nothing is marked saved.
    const std::string unwritable = (root_ / "no-such-folder" / "p.ovp").string();
    dialogs_->AnswerSave(unwritable);
    f.PP_SaveNewPrjClick();
    EXPECT_EQ(Errors().size(), 1u);
    EXPECT_EQ(f.Data.ProjectChanged, 1);
    EXPECT_EQ(f.Data.PrjFileName, "新規プロジェクト.ovp");
}

// Random bytes, an empty file, a count far beyond the file, a cut file and a
// progress list that lies: each is named in one message, and the project in
// use stays.
TEST_F(ProjectTest, HostileProjectLeavesTheWindowUntouched) {
    TOV_MainForm& f = Filled();
    f.Data.ProjectChanged = 1;
    std::string noise(300, '\0');
    std::mt19937 random(7);
    for (char& c : noise) c = static_cast<char>(random());
    const std::string noisy = WriteFile(root_ / "noise.ovp", noise);
    const std::string empty = WriteFile(root_ / "空.ovp", "");
    const std::string huge = WriteFile(root_ / "huge.ovp", std::string("\xff\xff\xff\x7f", 4));
    TProjectData ok;
    ok.Sources = {a_};
    const std::string full = EncodeProjectFile(ok);
    const std::string cut = WriteFile(root_ / "cut.ovp", full.substr(0, full.size() - 3));
    const std::string lying = WriteFile(root_ / "lying.ovp", full);
    const std::string lyingList =
        WriteFile(root_ / "lying.ovl", std::string{'\x10', '\0', '\0', '\0', '\x05', '\0', 'a', 'b'});
    const auto unreadable = [](const std::string& path, const char* kind) {
        return std::vector<std::string>{"ファイル \"" + path + "\" は Orvalis の" + kind + "として読み込めません"};
    };
    for (const std::string& path : {noisy, empty, huge, cut, lying}) {
        SCOPED_TRACE(path);
        dialogs_->ClearCalls();
        dialogs_->AnswerOpen(std::vector<std::string>{path});
        f.P1B_OpenMouseDown();
        EXPECT_EQ(Errors(), path == lying ? unreadable(lyingList, "比較進行記録ファイル")
                                          : unreadable(path, "プロジェクトファイル"));
        EXPECT_EQ(f.FListView_L.Count(), 2);
        EXPECT_EQ(f.ListView_log.Count(), 1);
        EXPECT_EQ(f.Radio_Seltgt.ItemIndex(), 4);
        EXPECT_EQ(f.Data.JyochyuList.Count(), 1u);
        EXPECT_EQ(f.Data.PrjFileName, "新規プロジェクト.ovp");
        EXPECT_EQ(f.Data.ProjectChanged, 1);
    }
    // A file that cannot be opened is named once, with the system's reason.
    dialogs_->ClearCalls();
    const std::string none = (root_ / "なし.ovp").string();
    EXPECT_FALSE(f.LoadProject(none));
    EXPECT_EQ(Errors(), std::vector<std::string>{"ファイル \"" + none + "\". " + std::strerror(ENOENT) + " は開けません"});
}

TEST_F(ProjectTest, MissingEntriesAreDroppedWithTheirMessages) {
    TOV_MainForm& f = Make();
    const std::string kept = WriteFile(root_ / "kept.png");
    const std::string folder = Folder("pics");  // stored without its delimiter
    TProjectData p;
    p.Sources = {(root_ / "gone.png").string(), kept, folder, kept + "/"};
    p.Targets = {(root_ / "gone/").string()};
    // Out of range: limited to the groups.
    p.Handling.SizeMode = ChoiceOf<TSizeMode>(7);
    p.Handling.SyoriMode = ChoiceOf<TSyoriMode>(-5);
    p.Handling.SelTgt = ChoiceOf<TSelTgt>(99);
    p.Handling.NearMode = TNearMode::Source;
    p.Handling.DoAction = TPairAction::Erase;
    const std::string path = WriteFile(root_ / "p.ovp", EncodeProjectFile(p));
    ASSERT_TRUE(f.LoadProject(path));
    EXPECT_EQ(Messages(), (std::vector<std::string>{
                              "比較元リストのファイルまたはフォルダのいくつかが存在しませんでした。存在しないファイルやフォ"
                              "ルダはリストには追加されません。",
                              "比較対象リストのファイルまたはフォルダがひとつも存在しませんでした。存在しないファイルやフォ"
                              "ルダはリストには追加されません。新しいリストを設定し直してください"}));
    EXPECT_EQ(f.ListEntries(0), (std::vector<std::string>{kept, folder + "/"}));
    EXPECT_EQ(f.Radio_Mode.ItemIndex(), 1);
    EXPECT_EQ(f.Radio_Syori.ItemIndex(), -1);
    EXPECT_EQ(f.Radio_Seltgt.ItemIndex(), 7);
}

// A damaged project may hold any number of paths the program refuses; they
// are named together in one box, not one box each.
TEST_F(ProjectTest, RefusedEntriesShareOneMessage) {
    TOV_MainForm& f = Make();
    auto i32 = [](std::int32_t v) { return Le32(static_cast<std::uint32_t>(v)); };
    auto stored = StoredString;
    std::string bytes = i32(1) + stored("/a\x01.png") + stored("/b\x02.png") + i32(-1);
    for (int k = 0; k < 5; ++k) bytes += i32(-1);
    bytes += i32(0) + i32(0) + stored("") + i32(-1);
    const std::string path = WriteFile(root_ / "refused.ovp", bytes);
    ASSERT_TRUE(f.LoadProject(path));
    const std::vector<std::string> messages = Messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], "/a\\x01.pngは使用できない文字を含むため処理できません\n"
                           "/b\\x02.pngは使用できない文字を含むため処理できません");
    EXPECT_EQ(f.FListView_L.Count(), 0);
}

// The log page shows the run log's rows through a model: a long log opens
// at once, the view reads the rows it shows, and selection, double-click and
// saving name the right rows.
TEST_F(ProjectTest, ALongLogOpensShowsSelectsAndSaves) {
    struct Recorder : IPairHandOver {
        std::vector<std::size_t> firstRows;
        std::string HandOverPair(std::size_t, std::size_t) override { return {}; }
        bool HandOverLog(std::size_t firstRow) override {
            firstRows.push_back(firstRow);
            return true;
        }
    };
    TOV_MainForm& f = Make();
    auto recorder = std::make_unique<Recorder>();
    Recorder& handed = *recorder;
    f.SetPairHandOver(std::move(recorder));
    const std::string pic = WriteFile(root_ / "pics" / "a.jpg");
    TProjectData project;
    project.Sources = project.Targets = {pic};
    constexpr int kRows = 100000;
    for (int i = 0; i < kRows; ++i)
        project.LogRows.push_back(Row(pic, "/t/" + std::to_string(i) + ".jpg", i % 2 ? "済" : ""));
    const std::string path = (root_ / "long.ovp").string();
    SaveProjectFiles(path, project, {});
    f.ListView_log.SetColumnWidth(3, 77);
    ASSERT_TRUE(f.LoadProject(path));
    EXPECT_EQ(f.ListView_log.Count(), kRows);
    EXPECT_EQ(f.Pan_DoList.Caption(), "全 100000 結果");
    EXPECT_EQ(f.Data.ProjectChanged, 0);
    EXPECT_EQ(f.ListView_log.ColumnWidth(3), 77);

    auto* view = qobject_cast<QAbstractItemView*>(f.ListView_log.HandleWidget()->parentWidget());
    ASSERT_NE(view, nullptr);
    const QAbstractItemModel& model = *view->model();
    EXPECT_EQ(model.rowCount(), kRows);
    EXPECT_EQ(model.columnCount(), 11);
    EXPECT_EQ(model.index(99999, 5).data().toString().toStdString(), "/t/99999.jpg");
    EXPECT_EQ(model.index(99999, 10).data().toString().toStdString(), "済");
    EXPECT_EQ(model.headerData(10, Qt::Horizontal).toString().toStdString(), "処理");
    EXPECT_EQ(f.ListView_log.Item(12)->SubItems().at(4), "/t/12.jpg");

    // Selected from code and by the view (as a click selects): the
    // double-click hands the log over from that row.
    f.ListView_log.Item(99998)->SetSelected(true);
    EXPECT_TRUE(view->selectionModel()->isRowSelected(99998, QModelIndex()));
    f.ListView_logDblClick();
    view->selectionModel()->select(model.index(12345, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(f.ListView_log.ItemIndex(), 12345);
    EXPECT_EQ(f.ListView_log.SelCount(), 1);
    f.ListView_logDblClick();
    EXPECT_EQ(handed.firstRows, (std::vector<std::size_t>{99998, 12345}));
    EXPECT_EQ(f.Data.ProjectChanged, 0);  // selecting changes nothing

    // A match of a run is counted at once and reaches the view with the
    // next rows (or as soon as anything needs it there).
    f.RunLog.Add(Row(pic, "/t/new.jpg"));
    EXPECT_EQ(f.ListView_log.Count(), kRows + 1);
    EXPECT_EQ(f.Pan_DoList.Caption(), "全 100001 結果");
    EXPECT_EQ(f.Data.ProjectChanged, 1);
    f.ListView_log.Item(kRows)->SetSelected(true);
    EXPECT_EQ(model.rowCount(), kRows + 1);
    EXPECT_EQ(f.ListView_log.ItemIndex(), kRows);

    const std::string text = (root_ / "long.txt").string();
    dialogs_->AnswerSave(text);
    f.P4B_LogMouseDown();
    const std::string bytes = ReadAll(text);
    const std::string rule = std::string(56, '-') + "\r\n";
    const std::string last = Utf8ToCp932("比較元    ：" + pic +
                                         "\r\n    サイズ： 1,000\r\n    日時  ：2026/12/08 10:00:00\r\n"
                                         "    大きさ：64x48\r\n比較対象  ：/t/new.jpg\r\n    サイズ： 1,000\r\n"
                                         "    日時  ：2026/12/08 10:00:00\r\n    大きさ：64x48\r\n処理  ：【】\r\n") +
                             rule;
    ASSERT_GT(bytes.size(), last.size());
    EXPECT_EQ(bytes.substr(bytes.size() - last.size()), last);
    std::size_t rules = 0;
    for (std::size_t at = bytes.find(rule); at != std::string::npos; at = bytes.find(rule, at + 1)) ++rules;
    EXPECT_EQ(rules, static_cast<std::size_t>(kRows + 1));
}

TEST_F(ProjectTest, LogPageCountsClearsAndSaves) {
    TOV_MainForm& f = Filled();
    f.SetMbEnabled(2);
    EXPECT_EQ(f.Pan_DoList.Caption(), "全 1 結果");
    EXPECT_TRUE(f.P4B_Log.Enable());
    EXPECT_TRUE(f.p4b_LogClear.Enable());

    // Selecting a row is a state change: no count, no mark.
    f.Data.ProjectChanged = 0;
    f.ListView_log.Item(0)->SetSelected(true);
    EXPECT_EQ(f.Data.ProjectChanged, 0);

    const std::string text = (root_ / "log.txt").string();
    dialogs_->AnswerSave(text);
    f.P4B_LogMouseDown();
    const std::string bytes = ReadAll(text);
    EXPECT_EQ(bytes.substr(0, 6), "\x94\xe4\x8a\x72\x8c\xb3");  // "比較元" in code page 932
    EXPECT_NE(bytes.find(std::string(56, '-') + "\r\n"), std::string::npos);

    f.p4b_LogClearMouseDown();
    EXPECT_EQ(f.ListView_log.Count(), 0);
    EXPECT_EQ(f.Pan_DoList.Caption(), "全 0 結果");
    EXPECT_FALSE(f.P4B_Log.Enable());
    EXPECT_EQ(f.Data.ProjectChanged, 1);

    // No hand-over while running; none installed gives false.
    f.RunLog.Add(Row(a_, a_));
    f.ListView_log.Item(0)->SetSelected(true);
    f.Data.Running = 1;
    f.ListView_logDblClick();
    f.Data.Running = 0;
}

TEST_F(ProjectTest, SettingSetsStoreApplyAndDelete) {
    TOV_MainForm& f = Filled();
    f.SettingNamePrompt = [] { return std::optional<std::string>("Test"); };
    f.P3B_SaveMouseDown();
    f.SettingNamePrompt = [] { return std::optional<std::string>("二つ目"); };
    f.Radio_Seltgt.SetItemIndex(0);
    f.P3B_SaveMouseDown();
    ASSERT_EQ(f.List_Setting2.Count(), 2);
    EXPECT_EQ(f.List_Setting2.Item(1)->Caption(), "二つ目");

    // Same name in another case: Yes overwrites set 0.
    f.SettingNamePrompt = [] { return std::optional<std::string>("test"); };
    dialogs_->AnswerYesNo(true);
    f.P3B_SaveMouseDown();
    EXPECT_EQ(f.List_Setting2.Count(), 2);
    EXPECT_EQ(f.List_Setting2.Item(0)->Caption(), "test");

    f.Init();
    f.Data.ProjectChanged = 0;
    f.List_Setting2.Item(1)->SetSelected(true);
    f.List_Setting2DblClick();
    EXPECT_EQ(f.Radio_Seltgt.ItemIndex(), 0);
    EXPECT_EQ(f.Radio_Do.ItemIndex(), 2);
    EXPECT_TRUE(f.Group_Auto.Visible());
    EXPECT_EQ(f.LabeledEdit1.Text(), dir_);
    EXPECT_EQ(f.Data.ProjectChanged, 1);

    f.List_Setting2.Item(0)->SetSelected(true);
    f.List_Setting2.Item(1)->SetSelected(false);
    f.P3B_DelMouseDown();
    ASSERT_EQ(f.List_Setting2.Count(), 1);
    EXPECT_EQ(f.List_Setting2.Item(0)->Caption(), "二つ目");
    EXPECT_FALSE(fs::exists(SettingSetPath(app_.string() + "/", 1)));

    // A set that is not one is named, and the page stays as it is.
    const std::string damaged = WriteFile(SettingSetPath(app_.string() + "/", 0), "garbage\r\n");
    f.LoadSettingNames();
    f.List_Setting2.Item(0)->SetSelected(true);
    f.List_Setting2DblClick();
    EXPECT_EQ(Errors(), std::vector<std::string>{"ファイル \"" + damaged + "\" は Orvalis の保存設定ファイルとして読み込めません"});
    EXPECT_EQ(f.Radio_Seltgt.ItemIndex(), 0);
    EXPECT_EQ(f.LabeledEdit1.Text(), dir_);

    // Cancel stores nothing; a missing Set folder is an error, not a crash.
    f.SettingNamePrompt = [] { return std::optional<std::string>(); };
    f.P3B_SaveMouseDown();
    EXPECT_EQ(f.List_Setting2.Count(), 1);
}

}  // namespace
}  // namespace orv::test
