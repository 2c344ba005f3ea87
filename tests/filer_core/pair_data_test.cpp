#include "filer/core/pair_data.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/base/codec.h"
#include "tests/support/le_bytes.h"
#include "tests/support/stored_text.h"
#include "tests/support/temp_dir.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

class PairDataTest : public ::testing::Test {
protected:
    void Write(const std::string& name, const std::string& bytes) {
        fs::create_directories(fs::path(dir_ + name).parent_path());
        test::WriteAll(dir_ + name, bytes);
    }
    static std::string Stored(const std::string& utf8) { return test::StoredString(ToStoredText(utf8)); }
    static std::string Int32(std::int32_t v) { return test::Le32(static_cast<std::uint32_t>(v)); }
    static std::string Row(const std::string& tag, const std::string& result) {
        std::string r;
        for (const char* f : {"/s/", " 1", "2024/01/02", "3", "4", "/t/", " 5", "2024/02/03", "6", "7"})
            r += Stored(std::string(f) + (f[0] == '/' ? tag : ""));
        return r + Stored(result);
    }

    const test::TempDir tmp_;
    const std::string dir_ = tmp_.path();
};

TEST_F(PairDataTest, AFileNameCutShortByAZeroByteActsOnNoFile) {
    Write("a.jpg", "keep");
    Write("DoFiles.Dat", "[Doing]\r\nNo=0\r\nSyori=1\r\nFile=" + dir_ + "a.jpg" + std::string("\0zzz", 4) + "\r\n");
    TPairData d = ReadPairData(dir_);
    ASSERT_EQ(d.PairL.size(), 1u);
    EXPECT_EQ(d.PairL[0].File, "");
    RunAutomatic(d);
    EXPECT_TRUE(fs::exists(dir_ + "a.jpg"));
}

TEST_F(PairDataTest, AnUnreadableOrUndecodableHandOverIsNone) {
    Write("a.jpg", "keep");
    fs::create_directories(dir_ + "DoFiles.Dat");
    EXPECT_FALSE(ReadPairData(dir_).Usable);
    fs::remove(dir_ + "DoFiles.Dat");
    ASSERT_EQ(::mkfifo((dir_ + "pipe").c_str(), 0600), 0);
    fs::create_symlink(dir_ + "pipe", dir_ + "DoFiles.Dat");
    EXPECT_FALSE(ReadPairData(dir_).Usable);
    fs::remove(dir_ + "DoFiles.Dat");
    // The first File line does not decode: the second is not taken instead.
    Write("DoFiles.Dat", "[Doing]\r\nNo=0\r\nSyori=1\r\nFile=\x81\x20\r\nFile=" + dir_ + "a.jpg\r\n");
    TPairData d = ReadPairData(dir_);
    EXPECT_FALSE(d.Usable);
    RunAutomatic(d);
    EXPECT_TRUE(fs::exists(dir_ + "a.jpg"));
}

TEST_F(PairDataTest, OnePairTakesItsDefaults) {
    Write("DoFiles.Dat", Utf8ToCp932("[Doing]\r\nNo=1\r\nFile L=\" /写真/a.jpg\"\r\nSize L= 1,024\r\nFile R=") +
                             test::Utf8Form("/森鷗外/😀.jpg") + "\r\nWidth R=20\r\nHeight R=10\r\nLoad No=5\r\n");
    const TPairData d = ReadPairData(dir_);
    ASSERT_TRUE(d.Usable);
    EXPECT_EQ(d.DoingNo, THandOverMode::OnePair);
    ASSERT_EQ(d.PairL.size(), 1u);
    ASSERT_EQ(d.PairR.size(), 1u);
    EXPECT_EQ(d.PairL[0].File, " /写真/a.jpg");
    EXPECT_EQ(d.PairL[0].Size, "1,024");  // unquoted edge blanks are trimmed
    EXPECT_EQ(d.PairL[0].Width, "0");
    EXPECT_EQ(d.PairL[0].Height, "0");
    EXPECT_EQ(d.PairR[0].File, "/森鷗外/😀.jpg");
    EXPECT_EQ(d.PairR[0].Width, "20");
    EXPECT_EQ(d.ResText, std::vector<std::string>{""});
    EXPECT_EQ(d.LoadNo, 0u);  // outside the one pair
}

TEST_F(PairDataTest, MissingHandOverIsAnEraseOfNothing) {
    const TPairData d = ReadPairData(dir_);
    EXPECT_TRUE(d.Usable);
    EXPECT_EQ(d.DoingNo, THandOverMode::Automatic);
    EXPECT_EQ(d.Syori, TPairAction::Erase);
    ASSERT_EQ(d.PairL.size(), 1u);
    EXPECT_EQ(d.PairL[0].File, "");
    EXPECT_TRUE(d.PairR.empty());
}

TEST_F(PairDataTest, WholeLogRowsAndTheirCheckedCount) {
    Write("DoFiles.Dat", "[Doing]\r\nNo=2\r\nLoad No=1\r\n");
    Write("DoFiles2.Dat", Int32(1) + Row("a", "") + Row("josé", "比較元のファイルを移動") + Int32(-1));
    TPairData d = ReadPairData(dir_);
    ASSERT_TRUE(d.Usable);
    ASSERT_EQ(d.PairL.size(), 2u);
    EXPECT_EQ(d.LoadNo, 1u);
    EXPECT_EQ(d.PairL[1].File, "/s/josé");
    EXPECT_EQ(d.PairL[1].Size, " 1");
    EXPECT_EQ(d.PairL[1].Data, "2024/01/02");
    EXPECT_EQ(d.PairR[1].File, "/t/josé");
    EXPECT_EQ(d.PairR[1].Height, "7");
    EXPECT_EQ(d.ResText, (std::vector<std::string>{"", "比較元のファイルを移動"}));

    // One row, first pair outside: the first.
    Write("DoFiles.Dat", "[Doing]\r\nNo=2\r\nLoad No=-3\r\n");
    Write("DoFiles2.Dat", Int32(0) + Row("a", ""));
    d = ReadPairData(dir_);
    ASSERT_TRUE(d.Usable);
    EXPECT_EQ(d.PairL.size(), 1u);
    EXPECT_EQ(d.LoadNo, 0u);

    // A count the file cannot hold, a cut row, a missing file, a negative
    // count: nothing usable.
    for (const std::string& bytes : {Int32(0x7FFFFFFF) + Row("a", ""), Int32(1) + Row("a", "") + Stored("/x"),
                                     Int32(-1), std::string("\x01", 1)}) {
        Write("DoFiles.Dat", "[Doing]\r\nNo=2\r\n");
        Write("DoFiles2.Dat", bytes);
        d = ReadPairData(dir_);
        EXPECT_FALSE(d.Usable);
        EXPECT_TRUE(d.PairL.empty() && d.PairR.empty() && d.ResText.empty());
    }
    Write("DoFiles.Dat", "[Doing]\r\nNo=2\r\n");
    EXPECT_FALSE(ReadPairData(dir_).Usable);

    Write("DoFiles.Dat", "[Doing]\r\nNo=7\r\n");
    EXPECT_FALSE(ReadPairData(dir_).Usable);
}

class PairActionTest : public PairDataTest {
protected:
    TPairData Pair(int mode, const std::string& left, const std::string& right) {
        TPairData d;
        d.DoingNo = static_cast<THandOverMode>(mode);
        d.PairL.resize(1);
        d.PairR.resize(1);
        d.PairL[0].File = left;
        d.PairR[0].File = right;
        d.ResText.resize(1);
        return d;
    }
};

TEST_F(PairActionTest, TextsOfEachActionAndNoModeChange) {
    Write("a.jpg", "a");
    Write("b.jpg", "b");
    ::chmod((dir_ + "a.jpg").c_str(), 0444);
    TPairData d = Pair(1, dir_ + "a.jpg", dir_ + "b.jpg");
    DoPairAction(d, TPairAction::Move, dir_ + "a.jpg", dir_ + "dest", 0, TPairSide::Source);
    EXPECT_EQ(d.ResText[0], "比較元のファイルを移動");
    struct stat st {};
    ASSERT_EQ(::stat((dir_ + "dest/a.jpg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);

    DoPairAction(d, TPairAction::Erase, dir_ + "b.jpg", "", 0, TPairSide::Target);
    EXPECT_EQ(d.ResText[0], "比較対象のファイルを完全削除");
    EXPECT_FALSE(fs::exists(dir_ + "b.jpg"));
    EXPECT_TRUE(d.ResLog.empty());

    DoPairAction(d, TPairAction::Erase, dir_ + "b.jpg", "", 0, TPairSide::Target);
    EXPECT_EQ(d.ResText[0], "比較対象のファイルの完全削除に失敗");
    DoPairAction(d, TPairAction::Recycle, dir_ + "b.jpg", "", 0, TPairSide::Source);
    EXPECT_EQ(d.ResText[0], "比較元のファイルのごみ箱移動に失敗");
    DoPairAction(d, TPairAction::Move, dir_ + "b.jpg", dir_ + "dest", 0, TPairSide::Source);
    EXPECT_EQ(d.ResText[0], "比較元のファイルの移動に失敗");
    EXPECT_EQ(d.ResLog, (std::vector<std::string>{dir_ + "b.jpgの完全削除に失敗しました",
                                                  dir_ + "b.jpgのごみ箱への移動に失敗しました",
                                                  dir_ + "b.jpgの移動に失敗しました"}));
    // An index outside the pairs changes nothing.
    DoPairAction(d, TPairAction::Erase, dir_ + "dest/a.jpg", "", 3, TPairSide::Source);
    EXPECT_TRUE(fs::exists(dir_ + "dest/a.jpg"));
}

TEST_F(PairActionTest, RelativeAndEmptyPathsAreRefused) {
    Write("rel.jpg", "x");
    const fs::path old = fs::current_path();
    fs::current_path(dir_);
    TPairData d = Pair(0, "rel.jpg", "");
    d.Syori = TPairAction::Erase;
    RunAutomatic(d);
    fs::current_path(old);
    EXPECT_TRUE(fs::exists(dir_ + "rel.jpg"));
    EXPECT_EQ(d.ResText[0], "比較元のファイルの完全削除に失敗");
    EXPECT_EQ(d.ResLog, std::vector<std::string>{"rel.jpgの完全削除に失敗しました"});

    d = Pair(0, "", "");
    d.Target = TPairSide::Target;
    d.Syori = TPairAction::Recycle;
    RunAutomatic(d);
    EXPECT_EQ(d.ResText[0], "比較対象のファイルのごみ箱移動に失敗");
    EXPECT_EQ(d.ResLog, std::vector<std::string>{"のごみ箱への移動に失敗しました"});

    // No action chosen: nothing happens.
    d = Pair(0, dir_ + "rel.jpg", "");
    d.Syori = TPairAction::None;
    RunAutomatic(d);
    EXPECT_EQ(d.ResText[0], "");
    EXPECT_TRUE(fs::exists(dir_ + "rel.jpg"));
}

TEST_F(PairActionTest, NamesTheMainProgramRefusesAreLeftAlone) {
    Write("a\nb.jpg", "x");
    Write("c.jpg", "x");
    TPairData d = Pair(1, dir_ + "a\nb.jpg", dir_ + "c.jpg");
    DoPairAction(d, TPairAction::Erase, dir_ + "a\nb.jpg", "", 0, TPairSide::Source);
    EXPECT_EQ(d.ResText[0], "比較元のファイルの完全削除に失敗");
    DoPairAction(d, TPairAction::Move, dir_ + "c.jpg", dir_ + "m\x7f", 0, TPairSide::Target);
    EXPECT_EQ(d.ResText[0], "比較対象のファイルの移動に失敗");
    EXPECT_TRUE(fs::exists(dir_ + "a\nb.jpg"));
    EXPECT_TRUE(fs::exists(dir_ + "c.jpg"));
    EXPECT_EQ(d.ResLog, (std::vector<std::string>{dir_ + "a\\x0Ab.jpgは使用できない文字を含むため処理できません",
                                                  dir_ + "m\\x7Fは使用できない文字を含むため処理できません"}));
}

TEST_F(PairActionTest, OneFileOnBothSidesIsLeftAlone) {
    Write("one.jpg", "x");
    ASSERT_EQ(::link((dir_ + "one.jpg").c_str(), (dir_ + "two.jpg").c_str()), 0);
    fs::create_directory_symlink(dir_, dir_ + "alias");
    for (const std::string& other : {dir_ + "two.jpg", dir_ + "alias/one.jpg"}) {
        TPairData d = Pair(2, dir_ + "one.jpg", other);
        DoPairAction(d, TPairAction::Erase, dir_ + "one.jpg", "", 0, TPairSide::Source);
        EXPECT_EQ(d.ResText[0], "比較元のファイルの完全削除に失敗");
        ASSERT_EQ(d.ResLog.size(), 1u);
        EXPECT_TRUE(d.ResLog[0].starts_with(dir_ + "one.jpg"));
        EXPECT_TRUE(fs::exists(dir_ + "one.jpg"));
        DoPairAction(d, TPairAction::Move, other, dir_ + "m", 0, TPairSide::Target);
        EXPECT_TRUE(fs::exists(other));
    }
}

}  // namespace
}  // namespace orv
