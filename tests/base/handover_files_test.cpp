#include "platform/base/handover_files.h"

#include <gtest/gtest.h>

#include "platform/base/binary_io.h"
#include "tests/support/temp_dir.h"

namespace orv {
namespace {

bool operator==(const PairFile& a, const PairFile& b) {
    return a.File == b.File && a.Data == b.Data && a.Size == b.Size && a.Width == b.Width && a.Height == b.Height;
}

// What one program writes, the other reads back unchanged, in every mode.
TEST(HandOverFiles, EachFileReadsBackWhatItsWriterWrote) {
    const test::TempDir dir;
    const std::string doFiles = dir / kDoFilesName;
    TDoFiles automatic;
    automatic.Syori = TPairAction::Move;
    automatic.TgtDir = "/写真/移動先/";
    automatic.File = " /a b/edge.jpg";
    automatic.Target = TPairSide::Target;
    WriteDoFiles(doFiles, automatic);
    const TDoFiles a = ReadDoFiles(doFiles);
    EXPECT_EQ(a.No, THandOverMode::Automatic);
    EXPECT_EQ(a.Syori, TPairAction::Move);
    EXPECT_EQ(a.TgtDir, automatic.TgtDir);
    EXPECT_EQ(a.File, automatic.File);
    EXPECT_EQ(a.Target, TPairSide::Target);

    TDoFiles pair;
    pair.No = THandOverMode::OnePair;
    pair.L = {"/p/s.jpg", "2024/05/06 7:08:09", " 1,234,567", "640", "480"};
    pair.R = {"/p/鷗.jpg", "2023/01/02", " 0", "1", "2"};
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
    const std::string bytes = EncodeDoFiles2(2, [&](BinaryWriter& w) {
        for (int r = 0; r < 2; ++r)
            for (const std::string& text : row) w.WriteStoredString(text);
    });
    TMemoryStream stream(bytes.data(), bytes.size());
    const TDoFiles2 log = ReadDoFiles2(stream);
    ASSERT_EQ(log.PairL.size(), 2u);
    EXPECT_TRUE(log.PairL[1] == (PairFile{row[0], row[2], row[1], row[3], row[4]}));
    EXPECT_TRUE(log.PairR[1] == (PairFile{row[5], row[7], row[6], row[8], row[9]}));
    EXPECT_EQ(log.ResText, (std::vector<std::string>{"済", "済"}));

    WriteResultFile(dir / kResultName, true, {"", "比較元のファイルを移動"}, {"/a の移動に失敗しました"});
    const THandlerAnswer answer = ReadResultFile(dir / kResultName);
    EXPECT_TRUE(answer.Received && answer.Stop);
    EXPECT_EQ(answer.Texts, (std::vector<std::string>{"", "比較元のファイルを移動"}));
    EXPECT_EQ(answer.Logs, std::vector<std::string>{"/a の移動に失敗しました"});
}

}  // namespace
}  // namespace orv
