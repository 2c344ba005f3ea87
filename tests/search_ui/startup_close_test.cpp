// Start-up pieces of the program and closing the main window.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "platform/base/file_system.h"
#include "platform/base/single_instance.h"
#include "search/engine/signature_index.h"
#include "search/ui/program.h"
#include "search_ui/main_form_fixture.h"

namespace orv::test {
namespace {

constexpr const char* kRunning = "実行中です。先に比較中止してから終了してください";
constexpr const char* kKeepTemp = "一時ファイルが残っています。次回比較のためにこのまま残しますか？";

TEST_F(MainFormTest, SecondInstanceIsRefusedWithItsMessage) {
    SingleInstance first(std::string(kMainFormClass) + "-test-" + std::to_string(::getpid()));
    ASSERT_FALSE(first.AlreadyRunning());
    EXPECT_FALSE(RefuseSecondInstance(first));
    SingleInstance second(std::string(kMainFormClass) + "-test-" + std::to_string(::getpid()));
    EXPECT_TRUE(RefuseSecondInstance(second));
    EXPECT_EQ(Messages(), std::vector<std::string>{"既に起動中です。複数起動はできません"});
}

TEST_F(MainFormTest, AProgramFolderOthersMayWriteIsRefusedWithItsMessage) {
    EXPECT_FALSE(RefuseSharedProgramFolder(app_.string()));
    fs::permissions(app_, fs::perms::group_write, fs::perm_options::add);
    EXPECT_TRUE(RefuseSharedProgramFolder(app_.string()));
    EXPECT_EQ(Messages(), std::vector<std::string>{"プログラムフォルダ " + app_.string() +
                                                   " は自分以外のユーザーも変更できるため使用できません"});
}

TEST_F(MainFormTest, VersionTextAndCommandLine) {
    WriteFile(app_ / "Ver.ini", "[Ver]\r\nNo=1.23\r\n");
    EXPECT_EQ(ReadVerText(app_.string()), "1.23");
    fs::remove(app_ / "Ver.ini");
    EXPECT_EQ(ReadVerText(app_.string()), "0.00");

    char prog[] = "Orvalis", empty[] = "", file[] = "/p/a.ovp";
    char* none[] = {prog, nullptr};
    char* blank[] = {prog, empty, nullptr};
    char* named[] = {prog, file, nullptr};
    EXPECT_EQ(CommandLineFile(1, none), "");
    EXPECT_EQ(CommandLineFile(2, blank), "");
    EXPECT_EQ(CommandLineFile(2, named), "/p/a.ovp");

    InitProgramGlobals(app_.string(), "");
    EXPECT_EQ(Globals().AppDir, app_.string() + "/");
    EXPECT_EQ(Globals().BmpDir, app_.string() + "/BMP/");
}

TEST_F(MainFormTest, TimerOnlyForANamedProjectAndReportsAMissingOne) {
    EXPECT_FALSE(Make("").Timer1.Enabled());
    const std::string missing = (root_ / "なし.ovp").string();
    TOV_MainForm& f = Make(missing);
    EXPECT_TRUE(f.Timer1.Enabled());
    // While the splash is up the project waits; it opens once the splash closed.
    f.Timer1Timer();
    EXPECT_TRUE(Messages().empty());
    f.Show();
    App().ProcessMessages();
    EXPECT_FALSE(f.Timer1.Enabled());
    EXPECT_EQ(Messages(), std::vector<std::string>{missing + "が見つかりません"});
    EXPECT_EQ(f.pageControl1.ActivePageIndex(), 0);
    f.Hide();
}

TEST_F(MainFormTest, HelpThatCannotBeOpenedIsNamed) {
    TOV_MainForm& f = Make();  // the program folder holds no help file
    f.PP_HelpClick();
    EXPECT_EQ(Messages(), std::vector<std::string>{"ヘルプファイル \"" + app_.string() + "/Orvalis.Chm\" を開けません"});
}

TEST_F(MainFormTest, CloseRefusedWhileThePairHandlerWorks) {
    TOV_MainForm& f = Make();
    // A pair handler that takes its time and answers nothing.
    fs::copy_file(std::string(ORV_TEST_HELPERS) + "/helper_sleeper", app_ / "filer");
    f.RunLog.Add(TLogRow{});
    bool canClose = true;
    QTimer::singleShot(50, [&] { f.FormCloseQuery(canClose); });
    EXPECT_TRUE(f.HandOverWholeLog(0));
    EXPECT_FALSE(canClose);
    EXPECT_EQ(Messages(), std::vector<std::string>{"ペアの処理中は閉じられません"});
}

TEST_F(MainFormTest, CloseRefusedWhileRunning) {
    TOV_MainForm& f = Make();
    f.Data.Running = 1;
    bool canClose = true;
    f.FormCloseQuery(canClose);
    EXPECT_FALSE(canClose);
    EXPECT_EQ(Messages(), std::vector<std::string>{kRunning});
    EXPECT_FALSE(fs::exists(app_ / "Orvals.ini"));
    f.Data.Running = 0;
}

TEST_F(MainFormTest, CloseSavesOnYesAndStillClosesOnNo) {
    TOV_MainForm& f = Make();
    f.Data.WorkDir = Folder("work");  // empty of signatures: nothing asked about them
    const std::string project = (root_ / "p.ovp").string();

    f.Data.ProjectChanged = 1;
    dialogs_->AnswerYesNo(false);
    bool canClose = false;
    f.FormCloseQuery(canClose);
    EXPECT_TRUE(canClose);
    EXPECT_EQ(dialogs_->Texts(TScriptedDialogs::Kind::YesNo),
              std::vector<std::string>{"プロジェクトが変更されています、保存しますか？"});
    EXPECT_FALSE(fs::exists(project));
    EXPECT_TRUE(fs::exists(app_ / "Orvals.ini"));

    dialogs_->ClearCalls();
    dialogs_->AnswerYesNo(true);
    dialogs_->AnswerSave(project);
    canClose = false;
    f.FormCloseQuery(canClose);
    EXPECT_TRUE(canClose);
    EXPECT_TRUE(fs::exists(project));
    EXPECT_EQ(f.Data.ProjectChanged, 0);
    EXPECT_EQ(dialogs_->Texts(TScriptedDialogs::Kind::YesNo).size(), 1u);
}

TEST_F(MainFormTest, LeftoverSignaturesAskedAboutInAWorkFolderWithoutDelimiter) {
    TOV_MainForm& f = Make();
    const std::string work = Folder("work");
    f.Data.WorkDir = work;  // as typed in the options: no trailing delimiter
    const std::string signature = WriteFile(fs::path(work) / SignatureFileName(123456));
    const std::string lookalike = WriteFile(fs::path(work) / "~OVTMP12x.BMP");

    dialogs_->AnswerYesNo(true);  // keep them
    bool canClose = false;
    f.FormCloseQuery(canClose);
    EXPECT_EQ(dialogs_->Texts(TScriptedDialogs::Kind::YesNo), std::vector<std::string>{kKeepTemp});
    EXPECT_TRUE(fs::exists(signature));

    dialogs_->ClearCalls();
    dialogs_->AnswerYesNo(false);  // delete them
    f.FormCloseQuery(canClose);
    EXPECT_TRUE(canClose);
    EXPECT_FALSE(fs::exists(signature));
    EXPECT_TRUE(fs::exists(lookalike));

    // With only the look-alike left nothing is asked.
    dialogs_->ClearCalls();
    f.FormCloseQuery(canClose);
    EXPECT_TRUE(dialogs_->Texts(TScriptedDialogs::Kind::YesNo).empty());
}

TEST_F(MainFormTest, SettingsSurviveAClose) {
    TOV_MainForm& f = Make();
    f.Data.Chach = 2000;
    f.Data.WorkDir = "/tmp/w";
    f.Data.FolderDlgDir[1] = "/pictures/";
    f.ListView_log.SetColumnWidth(3, 77);
    f.SetListViewStyle(false);
    bool canClose = false;
    f.FormCloseQuery(canClose);

    TOV_MainForm& g = Make();
    EXPECT_EQ(g.Data.Chach, 2000);
    EXPECT_EQ(g.Data.WorkDir, "/tmp/w");
    EXPECT_EQ(g.Data.FolderDlgDir[1], "/pictures/");
    EXPECT_EQ(g.ListView_log.ColumnWidth(3), 77);
    EXPECT_EQ(g.FListView_R.ViewStyle(), TViewStyle::vsReport);
    EXPECT_TRUE(g.PMR_List.Checked());
}

TEST_F(MainFormTest, PlacementOffEveryScreenOrLargerComesBack) {
    WriteFile(app_ / "Orvals.ini",
              "[MainWindow]\r\nLeft=-20000\r\nTop=-20000\r\nWidth=2147483647\r\nHeight=2147483647\r\n");
    TOV_MainForm& f = Make();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(std::vector<int>({f.Left(), f.Top(), f.Width(), f.Height()}),
              std::vector<int>({area.left(), area.top(), area.width(), area.height()}));
}

}  // namespace
}  // namespace orv::test
