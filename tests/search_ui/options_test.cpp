// The options dialog maps the main window's fields both ways.
#include <gtest/gtest.h>

#include "search/ui/option_form.h"
#include "search/ui/small_forms.h"
#include "search_ui/main_form_fixture.h"

namespace orv::test {
namespace {

TEST_F(MainFormTest, OptionsMapBothWays) {
    TMainData data;
    data.Chach = 2000;  // not one of the three choices
    data.Par = 60;
    data.WorkDir = "/w";
    data.FindSound = "/s/find.wav";
    data.EndSound = "/s/end.wav";
    data.DoFindSound = 1;
    data.DoEndSound = 0;
    data.NoTmpDel = 1;
    {
        TOVOptForm dialog(data);
        EXPECT_EQ(dialog.Radio_Chach.ItemIndex(), -1);
        EXPECT_EQ(dialog.Radio_Par.ItemIndex(), 2);
        EXPECT_EQ(dialog.LabeledEdit1.Text(), "/w");
        EXPECT_TRUE(dialog.Check_doitu.Checked());
        EXPECT_FALSE(dialog.Check_End.Checked());
        dialog.Button_OKClick();
    }
    EXPECT_EQ(data.Chach, 2000);  // no choice keeps the value
    EXPECT_EQ(data.Par, 60);

    {
        TOVOptForm dialog(data);
        dialog.Radio_Chach.SetItemIndex(0);
        dialog.Radio_Par.SetItemIndex(0);
        dialog.LabeledEdit1.SetText("/typed");
        dialog.Check_End.SetChecked(true);
        dialog.Check_noDel.SetChecked(false);
        dialog.Button_CancelClick();
    }
    EXPECT_EQ(data.Chach, 2000);
    EXPECT_EQ(data.Par, 60);
    EXPECT_EQ(data.WorkDir, "/w");
    EXPECT_EQ(data.DoEndSound, 0);
    EXPECT_EQ(data.NoTmpDel, 1);

    {
        TOVOptForm dialog(data);
        dialog.Radio_Chach.SetItemIndex(2);
        dialog.Radio_Par.SetItemIndex(1);
        dialog.LabeledEdit1.SetText("/typed");  // stored as typed
        dialog.Check_End.SetChecked(true);
        dialogs_->AnswerFolder({true, ""});  // a place without a path changes nothing
        dialog.Button_SunClick();
        EXPECT_EQ(dialog.LabeledEdit1.Text(), "/typed");
        dialog.Button_OKClick();
    }
    EXPECT_EQ(data.Chach, 1000);
    EXPECT_EQ(data.Par, 75);
    EXPECT_EQ(data.WorkDir, "/typed");
    EXPECT_EQ(data.DoEndSound, 1);

    {
        TOVOptForm dialog(data);
        dialogs_->AnswerFolder({true, "/browsed"});
        dialog.Button_SunClick();
        EXPECT_EQ(dialog.LabeledEdit1.Text(), "/browsed/");
    }
}

// A path the settings file cannot hold would be dropped silently at close.
TEST_F(MainFormTest, OptionsRefusePathsTheSettingsFileCannotHold) {
    TMainData data;
    data.WorkDir = "/w/";
    data.FindSound = "/s/find.wav";
    const std::string unusable = "/w/\xFF/";  // not UTF-8
    TOVOptForm dialog(data);
    dialog.LabeledEdit2.SetText("/s/\x01.wav");
    dialog.Button_OKClick();
    EXPECT_EQ(data.FindSound, "/s/find.wav");
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0], "/s/\\x01.wavは使用できない文字を含むため処理できません");

    dialogs_->AnswerFolder({true, unusable});
    dialog.Button_SunClick();
    EXPECT_EQ(dialog.LabeledEdit1.Text(), "/w/");
    EXPECT_EQ(Messages().size(), 2u);
    dialogs_->AnswerFolder({true, "/w/森鷗外_😀"});
    dialog.Button_SunClick();
    EXPECT_EQ(dialog.LabeledEdit1.Text(), "/w/森鷗外_😀/");

    dialog.LabeledEdit2.SetText("/s/other.wav");
    dialog.Button_OKClick();
    EXPECT_EQ(data.FindSound, "/s/other.wav");
}

TEST_F(MainFormTest, NameDialogOkFollowsTheText) {
    TForm_settings dialog;
    EXPECT_FALSE(dialog.BitBtn1.Enabled());
    dialog.LabeledEdit1.SetText("a");
    EXPECT_TRUE(dialog.BitBtn1.Enabled());
    dialog.LabeledEdit1.SetText("");
    EXPECT_FALSE(dialog.BitBtn1.Enabled());
}

TEST_F(MainFormTest, VersionDialogShowsTheVersionText) {
    Globals().VerText = "2.05";
    TForm_about about;
    EXPECT_EQ(about.Label1.Caption(), "バージョン 2.05");
    EXPECT_EQ(about.ClientWidth(), 320);
    EXPECT_EQ(about.ClientHeight(), 330);
}

}  // namespace
}  // namespace orv::test
