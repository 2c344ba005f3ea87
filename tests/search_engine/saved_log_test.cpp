#include "search/engine/saved_log.h"

#include <gtest/gtest.h>

#include "platform/base/errors.h"
#include "tests/support/temp_dir.h"

namespace orv {
namespace {

using test::ReadAll;

TEST(SavedLog, MatchesTheGoldenTextAndReplacesAnOldFile) {
    const std::vector<TLogRow> rows = {
        {"/pics/旅行/x.jpg", " 1,234", "2024/01/02 3:04:05", "80", "60", "/pics/a.jpg", " 987", "2024/01/02", "80",
         "60", "比較元のファイルをゴミ箱に移動しました"},
        {"/pics/b.png", " 10", "2023/12/31 23:59:59", "1", "2", "/pics/c.png", " 20", "2023/12/31", "3", "4", ""},
    };
    const std::string golden = ReadAll(std::string(ORV_TEST_DATA) + "/persist/saved_log.txt");
    EXPECT_EQ(FormatSavedLog(rows), golden);
    EXPECT_EQ(FormatSavedLog({}), "");

    test::TempDir dir;
    const std::string path = dir / "log.TXT";
    test::WriteAll(path, std::string(5000, 'x'));
    SaveLogFile(path, rows);
    EXPECT_EQ(ReadAll(path), golden);

    // A text that is not UTF-8 writes nothing.
    std::vector<TLogRow> bad = rows;
    bad[0][10] = "bad\xFF";
    EXPECT_THROW(SaveLogFile(path, bad), EConvertError);
    EXPECT_EQ(ReadAll(path), golden);
}

}  // namespace
}  // namespace orv
