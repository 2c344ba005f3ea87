#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "filer/core/pair_data.h"
#include "filer/core/result_file.h"
#include "platform/base/codec.h"
#include "platform/base/ini_file.h"
#include "tests/support/stored_text.h"
#include "tests/support/temp_dir.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

class AnswerTest : public ::testing::Test {
protected:
    std::string Read(const std::string& name) const { return test::ReadAll(dir_ + name); }

    const test::TempDir tmp_;
    const std::string dir_ = tmp_.path();
};

TEST_F(AnswerTest, ResultFileReplacesAnOldOneKeyByKey) {
    test::WriteAll(dir_ + kResultName, "[Other]\r\nx=1\r\n[Result]\r\nText9=old\r\n");
    WriteResultFile(dir_ + kResultName, "", true, {"", "比較元のファイルを移動", " edge "}, {});
    EXPECT_EQ(Read(kResultName), Utf8ToCp932("[Result]\r\nStop=1\r\nText0=\r\nText1=比較元のファイルを移動\r\n"
                                             "Text2=\" edge \"\r\n"));
    EXPECT_EQ(TIniFile(dir_ + kResultName).ReadString("Result", "Text2", ""), " edge ");

    // A text outside code page 932 is UTF-8 behind the mark; one that is not
    // UTF-8 leaves no gap in the numbering.
    std::vector<std::string> texts(11, "t");
    texts[1] = "bad\xFF";
    WriteResultFile(dir_ + kResultName, "", false, texts, {"/鷗/bの移動に失敗しました"});
    const std::string bytes = Read(kResultName);
    EXPECT_TRUE(bytes.starts_with("[Result]\r\nStop=0\r\nText0=t\r\nText1=\r\nText2=t\r\n"));
    EXPECT_NE(bytes.find("Text10=t\r\nLog0=" + test::Utf8Form("/鷗/bの移動に失敗しました") + "\r\n"), std::string::npos);
}

TEST_F(AnswerTest, EveryActionIsAnsweredAtOnce) {
    TPairData data;
    data.DoingNo = THandOverMode::WholeLog;
    data.PairL.resize(2);
    data.PairR.resize(2);
    data.ResText = {"", "earlier"};
    data.AnswerPath = dir_ + kResultName;
    data.Request = "5eed";
    test::WriteAll(dir_ + "a.jpg", "x");
    DoPairAction(data, TPairAction::Erase, dir_ + "a.jpg", {}, 0, TPairSide::Source);
    EXPECT_TRUE(data.Answered);
    EXPECT_EQ(Read(kResultName),
              Utf8ToCp932("[Result]\r\nStop=0\r\nRequest=5eed\r\nText0=比較元のファイルを完全削除\r\nText1=earlier\r\n"));

    // An answer that cannot be written: the action is done all the same.
    test::WriteAll(dir_ + "b.jpg", "x");
    data.AnswerPath = dir_ + "missing/" + kResultName;
    DoPairAction(data, TPairAction::Erase, dir_ + "b.jpg", {}, 1, TPairSide::Target);
    EXPECT_FALSE(fs::exists(dir_ + "b.jpg"));
    EXPECT_FALSE(data.Answered);
}

TEST_F(AnswerTest, WindowSettingsKeepTheNormalPlacementWhenMaximised) {
    const std::string ini = dir_ + kSettingsFileName;
    test::WriteAll(ini, "[MainWindow]\r\nLeft=3\r\n");
    TResWindowSettings s = ReadResWindow(ini, "/docs/OV_TMP/");
    EXPECT_EQ(s.Width, 900);
    EXPECT_EQ(s.Height, 675);
    EXPECT_EQ(s.Dir, "/docs/OV_TMP/");
    s.Left = 10;
    s.Top = 20;
    s.Width = 800;
    s.Height = 600;
    s.Dir = "/move/";
    SaveResWindow(ini, s);
    s.Max = true;
    s.Left = 99;
    s.Dir = "/other/";
    SaveResWindow(ini, s);
    EXPECT_EQ(Read(kSettingsFileName), "[MainWindow]\r\nLeft=3\r\n\r\n[ResWindow]\r\nMax=1\r\nLeft=10\r\nTop=20\r\n"
                                   "Width=800\r\nHeight=600\r\nDir=/other/\r\n");
    const TResWindowSettings back = ReadResWindow(ini, "/docs/OV_TMP/");
    EXPECT_TRUE(back.Max);
    EXPECT_EQ(back.Left, 10);
    EXPECT_EQ(back.Dir, "/other/");
}

}  // namespace
}  // namespace orv
