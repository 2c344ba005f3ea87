#include "platform/base/handover_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/base/binary_io.h"
#include "platform/base/errors.h"
#include "tests/support/temp_dir.h"

namespace orv {
namespace {

bool operator==(const PairFile& a, const PairFile& b) {
    return a.File == b.File && a.Data == b.Data && a.Size == b.Size && a.Width == b.Width && a.Height == b.Height &&
           a.Stamp.Known == b.Stamp.Known && (!a.Stamp.Known || SameStamp(a.Stamp, b.Stamp));
}

const TFileStamp kStamp{true, 2049, 1311, 52311, -1, 1718000000123456789};

// What one program writes, the other reads back unchanged, in every mode.
TEST(HandOverFiles, EachFileReadsBackWhatItsWriterWrote) {
    const test::TempDir dir;
    const std::string doFiles = dir / kDoFilesName;
    TDoFiles automatic;
    automatic.Syori = TPairAction::Move;
    automatic.TgtDir = "/写真/移動先/";
    automatic.File = " /a b/edge.jpg";
    automatic.Target = TPairSide::Target;
    automatic.Stamp = kStamp;
    automatic.Request = "0123abcd";
    WriteDoFiles(doFiles, automatic);
    const TDoFiles a = ReadDoFiles(doFiles);
    EXPECT_TRUE(a.Stamp.Known && SameStamp(a.Stamp, kStamp));
    EXPECT_EQ(a.Request, "0123abcd");
    EXPECT_EQ(a.No, THandOverMode::Automatic);
    EXPECT_EQ(a.Syori, TPairAction::Move);
    EXPECT_EQ(a.TgtDir, automatic.TgtDir);
    EXPECT_EQ(a.File, automatic.File);
    EXPECT_EQ(a.Target, TPairSide::Target);

    TDoFiles pair;
    pair.No = THandOverMode::OnePair;
    pair.L = {"/p/s.jpg", "2024/05/06 7:08:09", " 1,234,567", "640", "480"};
    pair.R = {"/p/鷗.jpg", "2023/01/02", " 0", "1", "2", kStamp};
    WriteDoFiles(doFiles, pair);
    const TDoFiles p = ReadDoFiles(doFiles);
    EXPECT_EQ(p.No, THandOverMode::OnePair);
    EXPECT_TRUE(p.L == pair.L && p.R == pair.R);

    TDoFiles list;
    list.No = THandOverMode::WholeLog;
    list.LoadNo = 7;
    WriteDoFiles(doFiles, list);
    EXPECT_EQ(ReadDoFiles(doFiles).LoadNo, 7);

    const std::vector<std::string> row{"/s/あ.jpg", " 1", "2024/01/02", "3", "4", "/t/b.jpg", " 5", "d", "6", "7", "済"};
    const std::string bytes = EncodeDoFiles2(
        2,
        [&](BinaryWriter& w) {
            for (int r = 0; r < 2; ++r)
                for (const std::string& text : row) w.WriteStoredString(text);
        },
        {TPairStamps{}, TPairStamps{{}, kStamp}});
    TMemoryStream stream(bytes.data(), bytes.size());
    const TDoFiles2 log = ReadDoFiles2(stream);
    ASSERT_EQ(log.PairL.size(), 2u);
    EXPECT_TRUE(log.PairL[1] == (PairFile{row[0], row[2], row[1], row[3], row[4]}));
    EXPECT_TRUE(log.PairR[1] == (PairFile{row[5], row[7], row[6], row[8], row[9], kStamp}));
    EXPECT_FALSE(log.PairR[0].Stamp.Known);
    EXPECT_EQ(log.ResText, (std::vector<std::string>{"済", "済"}));

    WriteResultFile(dir / kResultName, "0123abcd", true, {"", "比較元のファイルを移動"}, {"/a の移動に失敗しました"});
    const THandlerAnswer answer = ReadResultFile(dir / kResultName);
    EXPECT_TRUE(answer.Received && answer.Stop);
    EXPECT_EQ(answer.Request, "0123abcd");
    EXPECT_EQ(answer.Texts, (std::vector<std::string>{"", "比較元のファイルを移動"}));
    EXPECT_EQ(answer.Logs, std::vector<std::string>{"/a の移動に失敗しました"});
}

// A hand-over is taken away before it is read, as the name itself: a link
// or a pipe under the name is removed, never followed or read. The main
// program clears what an earlier start left, links included.
TEST(HandOverFiles, TakenOnceAndNeverThroughALink) {
    const test::TempDir dir;
    const std::string doFiles = dir / kDoFilesName;
    TDoFiles files;
    files.File = "/p/a.jpg";
    WriteDoFiles(doFiles, files);
    const std::string taken = TakeHandOverFile(doFiles);
    EXPECT_EQ(ReadDoFiles(taken).File, "/p/a.jpg");
    EXPECT_FALSE(PathExists(doFiles));
    EXPECT_EQ(TakeHandOverFile(doFiles), "");

    test::WriteAll(dir / "kept", "[Doing]\r\nNo=0\r\nFile=/p/b.jpg\r\n");
    ASSERT_EQ(::symlink((dir / "kept").c_str(), doFiles.c_str()), 0);
    EXPECT_THROW(ReadDoFiles(doFiles), EReadError);
    EXPECT_THROW(TakeHandOverFile(doFiles), EReadError);
    ASSERT_EQ(::mkfifo(doFiles.c_str(), 0600), 0);
    EXPECT_THROW(TakeHandOverFile(doFiles), EReadError);
    EXPECT_FALSE(PathExists(doFiles) || PathExists(taken));

    WriteResultFile(dir / "answer", "", false, {"x"}, {});
    ASSERT_EQ(::symlink((dir / "answer").c_str(), (dir / kResultName).c_str()), 0);
    EXPECT_FALSE(ReadResultFile(dir / kResultName).Received);

    for (const char* name : {kDoFilesName, kDoFiles2Name}) test::WriteAll(dir / name + kTakenSuffix, "left");
    ASSERT_EQ(::symlink((dir / "kept").c_str(), doFiles.c_str()), 0);
    RemoveHandOverFiles(dir.path());
    for (const char* name : {kDoFilesName, kDoFiles2Name, kResultName})
        EXPECT_FALSE(PathExists(dir / name) || PathExists(dir / name + kTakenSuffix)) << name;
    EXPECT_TRUE(FileExists(dir / "kept") && FileExists(dir / "answer"));
}

}  // namespace
}  // namespace orv
