#include "filer/ui/result_form.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "platform/base/codec.h"
#include "platform/base/ini_file.h"
#include "platform/base/stream.h"
#include "platform/graphics/picture.h"
#include "platform/ui/scripted_dialogs.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "ui/qt_app.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

class ResultFormTest : public ::testing::Test, public test::WithApp {
protected:
    void SetUp() override {
        RegisterStandardPictures();
        dialogs_ = std::make_shared<TScriptedDialogs>();
        previous_ = SetDialogService(dialogs_);
    }
    void TearDown() override { SetDialogService(previous_); }
    std::string Picture(const std::string& name, int width, int height) {
        TBitmap bmp;
        bmp.SetPixelFormat(TPixelFormat::pf24bit);
        bmp.SetSize(width, height);
        bmp.FillRect(TRect{0, 0, width, height}, RGBColor(40, 120, 200));
        TMemoryStream stream;
        bmp.SaveToStream(stream);
        const std::string path = dir_ + "photos/" + name;
        fs::create_directories(dir_ + "photos");
        stream.SaveToFile(path);
        return path;
    }
    static PairFile Side(const std::string& path) { return PairFile{path, "2024/01/02 3:04:05", " 1,234", "8", "6"}; }
    TPairData Pairs(int mode, int count) {
        TPairData d;
        d.DoingNo = static_cast<THandOverMode>(mode);
        for (int i = 0; i < count; ++i) {
            d.PairL.push_back(Side(Picture("l" + std::to_string(i) + ".bmp", 8, 6)));
            d.PairR.push_back(Side(Picture("r" + std::to_string(i) + ".bmp", 8, 6)));
            d.ResText.emplace_back();
        }
        return d;
    }
    // The answer's section as key=value lines.
    std::string Answer() {
        return Cp932ToUtf8(test::ReadAll(dir_ + kResultName));
    }
    // Creation and the first timer tick, as the message loop would run them.
    void Start(TForm_Result& form) {
        form.Show();
        form.Timer1Timer();
    }

    test::TempDir tmp_;
    std::string dir_ = tmp_.path();
    // The default move folder lives under the documents folder.
    test::ScopedEnv home_{"HOME", dir_};
    test::ScopedEnv configHome_{"XDG_CONFIG_HOME", dir_ + "config"};
    test::ScopedEnv dataHome_{"XDG_DATA_HOME", dir_ + "xdg"};
    std::shared_ptr<TScriptedDialogs> dialogs_;
    std::shared_ptr<IDialogService> previous_;
};

TEST_F(ResultFormTest, BrowsingWrapsAndAnActionMovesOn) {
    TPairData d = Pairs(2, 3);
    d.ResText[1] = "比較元のファイルを移動";
    d.LoadNo = 0;
    TForm_Result form(d, dir_);
    Start(form);
    EXPECT_FALSE(form.but_stop.Visible());
    EXPECT_TRUE(form.TBL_NEX.Visible());
    EXPECT_EQ(form.Caption(), "処理選択 [1/3] 全3結果中1ファイル処理済み");
    // The path line keeps at least the file name (long paths: below).
    const std::string& label = form.Label_L.Caption();
    EXPECT_TRUE(label.substr(0, label.find('\n')).ends_with("/l0.bmp")) << label;
    EXPECT_TRUE(label.ends_with("/l0.bmp\n 縦横サイズ：8x6\n ファイルサイズ： 1,234\n ファイル日付：2024/01/02 3:04:05"));
    form.TBL_NEX.Click();  // previous from the first: the third
    EXPECT_EQ(d.LoadNo, 2u);
    EXPECT_EQ(form.Caption(), "処理選択 [3/3] 全3結果中1ファイル処理済み");

    // Erasing the third pair's target shows the first next.
    form.TBR_DEL.Click();
    EXPECT_FALSE(fs::exists(d.PairR[2].File));
    EXPECT_EQ(d.ResText[2], "比較対象のファイルを完全削除");
    EXPECT_EQ(d.LoadNo, 0u);
    EXPECT_EQ(form.Caption(), "処理選択 [1/3] 全3結果中2ファイル処理済み");

    // Back on the third pair: its target is gone, so no action is offered.
    form.TBL_NEX.Click();
    EXPECT_EQ(form.VisualPanel3D3.Caption(), kHandledOrDeleted);
    EXPECT_TRUE(form.Image_R.Picture().Empty());
    EXPECT_FALSE(form.TBL_RES.Enabled());
    EXPECT_FALSE(form.TBR_MOVE.Enabled());
    form.TBR_NEX.Click();  // next from the third: the first
    EXPECT_EQ(d.LoadNo, 0u);
    EXPECT_TRUE(form.TBL_DEL.Enabled());

    form.But_Close.Click();
    EXPECT_EQ(Answer(), "[Result]\r\nStop=0\r\nText0=\r\nText1=比較元のファイルを移動\r\n"
                        "Text2=比較対象のファイルを完全削除\r\n");
    EXPECT_TRUE(dialogs_->Calls().empty());
}

TEST_F(ResultFormTest, OnePairClosesAfterItsActionAndCanStopTheRun) {
    TPairData d = Pairs(1, 1);
    {
        TForm_Result form(d, dir_);
        Start(form);
        EXPECT_FALSE(form.TBL_NEX.Visible());
        EXPECT_FALSE(form.TBR_NEX.Visible());
        EXPECT_TRUE(form.but_stop.Visible());
        // A move folder that does not exist: the message, nothing moved.
        form.LabeledEdit1.SetText(dir_ + "nowhere/");
        form.TBL_MOVE.Click();
        EXPECT_EQ(dialogs_->Texts(TScriptedDialogs::Kind::Message), std::vector<std::string>{kBadMoveFolder});
        EXPECT_TRUE(fs::exists(d.PairL[0].File));
        EXPECT_FALSE(form.Visible());
    }
    EXPECT_EQ(Answer(), "[Result]\r\nStop=0\r\nText0=\r\n");

    {
        fs::create_directories(dir_ + "moved");
        TForm_Result form(d, dir_);
        Start(form);
        form.LabeledEdit1.SetText(dir_ + "moved/");
        form.TBR_MOVE.Click();
        EXPECT_FALSE(form.Visible());
    }
    EXPECT_TRUE(fs::exists(dir_ + "moved/r0.bmp"));
    EXPECT_EQ(Answer(), "[Result]\r\nStop=0\r\nText0=比較対象のファイルを移動\r\n");

    {
        TForm_Result form(d, dir_);
        Start(form);
        form.but_stop.Click();
    }
    EXPECT_EQ(Answer(), "[Result]\r\nStop=1\r\nText0=比較対象のファイルを移動\r\n");
}

TEST_F(ResultFormTest, OneFileOnBothSidesIsRefusedThroughTheWindow) {
    TPairData d = Pairs(1, 1);
    fs::remove(d.PairR[0].File);
    fs::create_hard_link(d.PairL[0].File, d.PairR[0].File);
    {
        TForm_Result form(d, dir_);
        Start(form);
        form.TBL_DEL.Click();
    }
    EXPECT_TRUE(fs::exists(d.PairL[0].File));
    const std::string answer = Answer();
    EXPECT_NE(answer.find("Text0=比較元のファイルの完全削除に失敗\r\nLog0=" + d.PairL[0].File), std::string::npos);
}

// Trashing a file that went meanwhile: filer says so, and the pair does not
// count as handled.
TEST_F(ResultFormTest, AFailedActionIsToldAndNotCounted) {
    TPairData d = Pairs(2, 2);
    TForm_Result form(d, dir_);
    Start(form);
    fs::remove(d.PairL[0].File);
    form.TBL_RES.Click();
    EXPECT_EQ(d.ResText[0], "比較元のファイルのごみ箱移動に失敗");
    EXPECT_EQ(dialogs_->Texts(TScriptedDialogs::Kind::Message),
              std::vector<std::string>{d.PairL[0].File + "のごみ箱への移動に失敗しました"});
    EXPECT_EQ(form.Caption(), "処理選択 [2/2] 全2結果中0ファイル処理済み");
}

// The window acts only on the file as it was compared and as it shows it:
// a target replaced since the run (first pair) and one replaced after it
// was shown (second pair) both stay.
TEST_F(ResultFormTest, OnlyTheFileAsComparedAndShownIsActedOn) {
    TPairData d = Pairs(2, 2);
    const auto replace = [&](const std::string& path) { fs::rename(Picture("new.bmp", 8, 6), path); };
    d.PairR[0].Stamp = ReadFileStamp(d.PairR[0].File);
    replace(d.PairR[0].File);
    TForm_Result form(d, dir_);
    Start(form);
    form.TBR_DEL.Click();
    replace(d.PairR[1].File);
    form.TBR_DEL.Click();
    for (const PairFile& target : d.PairR) EXPECT_TRUE(fs::exists(target.File));
    EXPECT_EQ(d.ResText, std::vector<std::string>(2, "比較対象のファイルの完全削除に失敗"));
    EXPECT_EQ(dialogs_->Texts(TScriptedDialogs::Kind::Message),
              (std::vector<std::string>{d.PairR[0].File + kChangedSinceCompared,
                                        d.PairR[1].File + kChangedSinceCompared}));
}

// A path too long for its label is cut in the middle and keeps its file
// name, so the user sees which file the side's buttons take; the whole path
// is the tool tip.
TEST_F(ResultFormTest, ALongPathKeepsItsFileNameAndIsWholeInTheTip) {
    TPairData d = Pairs(1, 1);
    std::string folder = dir_ + "photos/";
    for (int i = 0; i < 12; ++i) folder += "比較対象のとても長いフォルダ名/";
    fs::create_directories(folder);
    const std::string path = folder + "とても長い名前の花.bmp";
    fs::rename(d.PairR[0].File, path);
    d.PairR[0].File = path;
    TForm_Result form(d, dir_);
    Start(form);
    const std::string& caption = form.Label_R.Caption();
    const std::string line = caption.substr(0, caption.find('\n'));
    EXPECT_NE(line.find("…"), std::string::npos) << line;
    EXPECT_TRUE(line.ends_with("/とても長い名前の花.bmp")) << line;
    EXPECT_EQ(form.Label_R.Hint(), path);
    // A path that fits is shown whole, without a tip.
    d.PairL[0].File = "/p/a.bmp";
    form.LoadPicture();
    EXPECT_EQ(form.Label_L.Hint(), "");
    EXPECT_TRUE(form.Label_L.Caption().starts_with(" " + d.PairL[0].File + "\n"));
}

TEST_F(ResultFormTest, MoveButtonsFollowTheFolderAndSettingsRoundTrip) {
    TPairData d = Pairs(2, 1);
    {
        TForm_Result form(d, dir_);
        // The default folder was made for the user.
        EXPECT_EQ(form.LabeledEdit1.Text(), DefaultMoveFolder());
        EXPECT_TRUE(DefaultMoveFolder().starts_with(dir_));
        EXPECT_TRUE(fs::is_directory(DefaultMoveFolder()));
        Start(form);
        form.LabeledEdit1.SetText("");
        EXPECT_FALSE(form.TBL_MOVE.Visible());
        EXPECT_FALSE(form.TBR_MOVE.Visible());
        form.LabeledEdit1.SetText("/");
        EXPECT_TRUE(form.TBR_MOVE.Visible());
        dialogs_->AnswerFolder({true, dir_ + "picked"});
        form.But_san.Click();
        EXPECT_EQ(form.LabeledEdit1.Text(), dir_ + "picked/");
        form.SetBounds(30, 40, 700, 500);
        form.Close();
    }
    TIniFile ini(dir_ + kSettingsFileName);
    EXPECT_EQ(ini.ReadString("ResWindow", "Dir", ""), dir_ + "picked/");
    EXPECT_EQ(ini.ReadInteger("ResWindow", "Width", 0), 700);
    EXPECT_FALSE(ini.ReadBool("ResWindow", "Max", true));
    {
        TForm_Result form(d, dir_);
        EXPECT_EQ(form.LabeledEdit1.Text(), dir_ + "picked/");
        EXPECT_FALSE(fs::exists(dir_ + "picked"));  // a chosen folder is never made
        EXPECT_EQ(form.Width(), 700);
    }
    ini.WriteInteger("ResWindow", "Width", 99999);  // a hand-made size: no larger than the screen
    TForm_Result wide(d, dir_);
    EXPECT_EQ(wide.Width(), QGuiApplication::primaryScreen()->availableGeometry().width());
}

TEST_F(ResultFormTest, TheAnswerIsWrittenWhenTheSettingsCannotBe) {
    TPairData d = Pairs(2, 1);
    fs::create_directory(dir_ + kSettingsFileName);  // a folder where the file should be
    {
        TForm_Result form(d, dir_);
        Start(form);
        form.TBL_RES.Click();
        form.Close();
    }
    EXPECT_EQ(Answer(), "[Result]\r\nStop=0\r\nText0=比較元のファイルをごみ箱へ\r\n");
}

TEST_F(ResultFormTest, StretchOnlyForPicturesThatDoNotFit) {
    TForm form(nullptr, "Form");
    TImage image(&form, "Image", &form);
    image.SetBounds(0, 0, 400, 300);
    auto stretchFor = [&](int w, int h) {
        TBitmap bmp;
        bmp.SetSize(w, h);
        image.SetPicture(bmp);
        TForm_Result::ApplyStretch(image);
        return image.Stretch();
    };
    EXPECT_FALSE(stretchFor(100, 80));
    EXPECT_TRUE(stretchFor(500, 200));
    EXPECT_TRUE(stretchFor(400, 100));
}

}  // namespace
}  // namespace orv
