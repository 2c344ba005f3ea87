// Button states, the project reset, the radio handler and the layout.
#include <gtest/gtest.h>

#include "search_ui/main_form_fixture.h"

namespace orv::test {
namespace {

struct GoCase {
    int sources, targets;
    int mode, syori, seltgt, action, near;
    bool folderExists;
    bool tgt, set, go;
};

// The rule chain of state 2 over the list counts, the five groups and the
// move folder.
const GoCase kGoCases[] = {
    {0, 0, 0, 1, -1, -1, -1, false, false, false, false},
    {1, 0, 0, 1, -1, -1, -1, false, true, false, false},
    {0, 1, 0, 1, -1, -1, -1, false, false, false, false},  // a target alone opens nothing
    {1, 1, 0, 1, -1, -1, -1, false, true, true, true},     // log only needs no automatic settings
    {1, 1, -1, 1, -1, -1, -1, false, true, true, false},   // no size mode
    {1, 1, 0, -1, -1, -1, -1, false, true, true, false},   // no handling mode
    {1, 1, 1, 3, -1, -1, -1, false, true, true, true},
    {1, 1, 0, 0, -1, 0, -1, false, true, true, false},     // automatic without a file choice
    {1, 1, 0, 0, 0, -1, -1, false, true, true, false},     // automatic without an action
    {1, 1, 0, 0, 1, 0, -1, false, true, true, true},       // source/target need no tie rule
    {1, 1, 0, 0, 2, 1, -1, false, true, true, false},      // size choice without a tie rule
    {1, 1, 0, 0, 7, 1, 0, false, true, true, true},
    {1, 1, 0, 0, 0, 2, -1, false, true, true, false},      // move without a folder
    {1, 1, 0, 0, 0, 2, -1, true, true, true, true},
    {0, 1, 0, 0, 0, 2, -1, true, false, false, false},
};

TEST_F(MainFormTest, StateTwoFollowsListsAndSettings) {
    TOV_MainForm& f = Make();
    const std::string folder = Folder("move") + "/";
    for (const GoCase& c : kGoCases) {
        SCOPED_TRACE(std::to_string(&c - kGoCases));
        f.FListView_L.Clear();
        f.FListView_R.Clear();
        for (int i = 0; i < c.sources; ++i) f.FListView_L.Add("/s" + std::to_string(i) + ".jpg");
        for (int i = 0; i < c.targets; ++i) f.FListView_R.Add("/t" + std::to_string(i) + ".jpg");
        f.Radio_Mode.SetItemIndex(c.mode);
        f.Radio_Syori.SetItemIndex(c.syori);
        f.Radio_Seltgt.SetItemIndex(c.seltgt);
        f.Radio_Do.SetItemIndex(c.action);
        f.Radio_Near.SetItemIndex(c.near);
        f.LabeledEdit1.SetText(c.folderExists ? folder : (root_ / "missing/").string());
        f.SetMbEnabled(2);
        EXPECT_TRUE(f.MB_Start.Enable());
        EXPECT_TRUE(f.MB_Source.Enable());
        EXPECT_EQ(f.MB_Tgt.Enable(), c.tgt);
        EXPECT_EQ(f.MB_SET.Enable(), c.set);
        EXPECT_EQ(f.MB_Go.Enable(), c.go);
    }
}

TEST_F(MainFormTest, StatesLeaveAloneWhatTheyDoNotName) {
    TOV_MainForm& f = Make();
    TVisButton* run[] = {&f.P4B_Start, &f.P4B_Pause, &f.P4B_Stop, &f.P4B_Log, &f.p4b_LogClear, &f.P4B_Jyochyu};
    for (int state : {0, 1}) {
        for (TVisButton* b : run) b->SetEnable(state == 0);
        f.MB_Opt.SetEnable(state == 0);
        f.SetMbEnabled(state);
        for (TVisButton* b : run) EXPECT_EQ(b->Enable(), state == 0) << b->Name();
        EXPECT_EQ(f.MB_Opt.Enable(), state == 0);
        EXPECT_TRUE(f.MB_Start.Enable());
        EXPECT_EQ(f.MB_Source.Enable(), state == 1);
        EXPECT_FALSE(f.MB_Tgt.Enable() || f.MB_SET.Enable() || f.MB_Go.Enable());
    }
    f.SetMbEnabled(3);
    EXPECT_FALSE(f.MB_Opt.Enable() || f.P4B_Start.Enable() || f.P4B_Log.Enable() || f.P4B_Jyochyu.Enable());
    EXPECT_TRUE(f.P4B_Stop.Enable() && f.P4B_Pause.Enable());
    EXPECT_TRUE(f.MB_Help.Enable());

    // Finished: the log and progress buttons follow what there is.
    f.Data.JyochyuList.Add("/a.jpg");
    f.SetMbEnabled(4);
    EXPECT_TRUE(f.MB_Opt.Enable() && f.P4B_Start.Enable() && f.MB_Go.Enable());
    EXPECT_FALSE(f.P4B_Stop.Enable() || f.P4B_Pause.Enable() || f.P4B_Log.Enable() || f.p4b_LogClear.Enable());
    EXPECT_TRUE(f.P4B_Jyochyu.Enable());

    f.MB_Go.SetEnable(true);
    f.SetMbEnabled(7);  // no such state: nothing changes
    EXPECT_TRUE(f.MB_Go.Enable());
}

TEST_F(MainFormTest, InitResetsTheProject) {
    TOV_MainForm& f = Make();
    f.FListView_L.Add("/a.jpg");
    f.Radio_Syori.SetItemIndex(0);
    f.Radio_Seltgt.SetItemIndex(3);
    f.Check_OneEnd.SetChecked(true);
    f.LabeledEdit1.SetText("/x/");
    f.Data.SizeMode = TSizeMode::AnySize;
    f.Data.SyoriMode = TSyoriMode::EachPair;
    f.Data.SelTgt = TSelTgt::LargerFile;
    f.Data.NearMode = TNearMode::Target;
    f.Data.DoAction = TPairAction::Move;
    f.Data.TaiouExts = {".a", ".b", ".c", ".d", ".e"};
    f.Data.JyochyuList.Add("/a.jpg");
    f.Data.PrjFileName = "/p/x.ovp";
    ASSERT_TRUE(f.Group_Auto.Visible());
    f.Init();
    for (TRadioGroup* g : {&f.Radio_Mode, &f.Radio_Syori, &f.Radio_Seltgt, &f.Radio_Do, &f.Radio_Near})
        EXPECT_EQ(g->ItemIndex(), -1) << g->Name();
    for (int v : {ItemOf(f.Data.SizeMode), ItemOf(f.Data.SyoriMode), ItemOf(f.Data.SelTgt), ItemOf(f.Data.NearMode),
                  ItemOf(f.Data.DoAction)})
        EXPECT_EQ(v, -1);
    EXPECT_EQ(f.Data.TaiouExts, (std::array<std::string, 5>{".jpg", ".bmp", ".tga", ".png", ".tif"}));
    EXPECT_EQ(f.Caption(), "Orvalis - 新規プロジェクト.ovp");
    EXPECT_EQ(f.FListView_L.Count(), 0);
    EXPECT_TRUE(f.Data.JyochyuList.Empty());
    EXPECT_FALSE(f.Group_Auto.Visible());
    EXPECT_FALSE(f.Check_OneEnd.Checked());
    EXPECT_EQ(f.LabeledEdit1.Text(), "");
    EXPECT_EQ(f.Data.ProjectChanged, 0);
    for (int p = 0; p < f.pageControl1.PageCount(); ++p) EXPECT_FALSE(f.pageControl1.Pages(p)->TabVisible());
}

TEST_F(MainFormTest, RadioHandlerShowsTheAutomaticGroupsAndMarksTheProject) {
    TOV_MainForm& f = Make();
    f.Radio_Syori.SetItemIndex(0);
    EXPECT_TRUE(f.Group_Auto.Visible());
    EXPECT_EQ(f.Data.ProjectChanged, 1);
    f.Radio_Seltgt.SetItemIndex(1);
    EXPECT_FALSE(f.Radio_Near.Visible());
    f.Radio_Seltgt.SetItemIndex(6);
    EXPECT_TRUE(f.Radio_Near.Visible());
    f.Radio_Syori.SetItemIndex(1);
    EXPECT_FALSE(f.Group_Auto.Visible());

    // A click on the item already chosen runs nothing; check boxes and the
    // move-folder edit never mark the project.
    f.Data.ProjectChanged = 0;
    f.Radio_Syori.UserClicked(1);
    f.Check_subFolder.SetChecked(true);
    f.LabeledEdit1.SetText("/somewhere/");
    EXPECT_EQ(f.Data.ProjectChanged, 0);
    f.Radio_Syori.SetItemIndex(-1);
    EXPECT_EQ(f.Data.ProjectChanged, 0);
}

TEST_F(MainFormTest, StartButtonAsksOnlyForAChangedProject) {
    TOV_MainForm& f = Make();
    f.MB_SourceMouseDown();
    f.MB_StartMouseDown();
    EXPECT_TRUE(dialogs_->Calls().empty());
    EXPECT_EQ(f.pageControl1.ActivePageIndex(), 0);

    // Yes on a new project opens the save dialog; cancelling it still goes
    // back, and the project stays changed.
    f.Data.ProjectChanged = 1;
    dialogs_->AnswerYesNo(true);
    f.MB_StartMouseDown();
    ASSERT_EQ(dialogs_->Calls().size(), 2u);
    EXPECT_EQ(dialogs_->Calls()[1].kind, TScriptedDialogs::Kind::SaveFile);
    EXPECT_EQ(f.Data.ProjectChanged, 1);
    EXPECT_EQ(f.pageControl1.ActivePageIndex(), 0);
}

TEST_F(MainFormTest, ResizeKeepsTheFixedLayout) {
    TOV_MainForm& f = Make();
    f.Show();
    f.SetBounds(0, 0, 1100, 820);
    App().ProcessMessages();
    f.FormResize();
    EXPECT_EQ(f.MB_Opt.Left(), f.Panel_TopButton.ClientWidth() - 50);
    EXPECT_EQ(f.MB_Help.Left(), f.Panel_TopButton.ClientWidth() - 100);
    EXPECT_EQ(f.Pan_P4Bot1.Height(), 190);
    const int w = f.Pan_P4Bot1.ClientWidth();
    EXPECT_EQ(f.Pan_info.Width(), w - 80);
    EXPECT_EQ(f.Animate3.Left(), w - 60);
    EXPECT_EQ(f.ErrorLog.Top(), 80);
    EXPECT_EQ(f.ErrorLog.Width(), w - 20);
    EXPECT_EQ(f.ErrorLog.Height(), f.Pan_P4Bot1.ClientHeight() - 90);
    EXPECT_EQ(f.List_Setting2.Height(), f.Pan_P3B.ClientHeight() - 120);
    EXPECT_EQ(f.VP_PVL.Width(), f.TabSheet6.ClientWidth() / 2);
    EXPECT_EQ(f.LabelInfo1.Width(), f.Pan_info.ClientWidth() / 3);
    f.Hide();
}

}  // namespace
}  // namespace orv::test
