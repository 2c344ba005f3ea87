#include "search/engine/log_table.h"

#include <gtest/gtest.h>

#include "search/engine/pair_loop.h"
#include "search/engine/project_file.h"

namespace orv {
namespace {

TLogRow Row(const std::string& source, const std::string& target, const std::string& result = "") {
    return {source, " 1,000", "2026/12/08 10:00:00", "64", "48", target, " 2,000", "2026/12/08", "64", "48", result};
}

TEST(TextPool, EqualTextsShareANumberAcrossGrowthAndLongTexts) {
    TTextPool pool;
    EXPECT_EQ(pool.Intern(""), 0u);
    const std::string longText(20000, 'x');  // larger than a block's share
    std::vector<std::uint32_t> ids;
    for (int i = 0; i < 50000; ++i) ids.push_back(pool.Intern("/写真/" + std::to_string(i) + ".jpg"));
    const std::uint32_t longId = pool.Intern(longText);
    EXPECT_EQ(pool.Count(), 50002u);
    for (int i = 0; i < 50000; i += 997) {
        const std::string text = "/写真/" + std::to_string(i) + ".jpg";
        EXPECT_EQ(pool.Intern(text), ids[static_cast<std::size_t>(i)]);
        EXPECT_EQ(pool.Text(ids[static_cast<std::size_t>(i)]), text);
    }
    EXPECT_EQ(pool.Text(longId), longText);
    EXPECT_EQ(pool.Find("/写真/50000.jpg"), TTextPool::kNoText);
    EXPECT_EQ(pool.Count(), 50002u);

    TTextPool moved(std::move(pool));
    EXPECT_EQ(moved.Find(longText), longId);
    EXPECT_EQ(pool.Count(), 1u);  // NOLINT: a pool moved from is empty and usable
    EXPECT_EQ(pool.Intern("a"), 1u);
}

TEST(LogTable, RowsReadWriteCopyAndCompareByText) {
    TLogTable table{Row("/s/a.jpg", "/t/b.jpg"), Row("/s/a.jpg", "/t/c.jpg", "済")};
    EXPECT_EQ(table.Ids(0)[kLogSourcePath], table.Ids(1)[kLogSourcePath]);
    table[1][kLogResult] = "比較元のファイル";
    EXPECT_EQ(table.Cell(1, kLogResult), "比較元のファイル");
    EXPECT_EQ(table.at(1).Texts(), Row("/s/a.jpg", "/t/c.jpg", "比較元のファイル"));
    EXPECT_THROW(table.at(2), std::out_of_range);
    EXPECT_THROW(table.Cell(0, kLogColumns), std::out_of_range);

    // A copy holds its own texts; equality is by text, not by number.
    TLogTable copy = table;
    table.erase(0);
    EXPECT_EQ(copy.size(), 2u);
    TLogTable other{Row("/x", "/y"), Row("/s/a.jpg", "/t/c.jpg", "比較元のファイル")};
    other.erase(0);
    EXPECT_TRUE(other == table);
    EXPECT_FALSE(other == copy);

    // Each distinct text is converted once.
    int conversions = 0;
    TLogTextCache cache(copy, [&](std::string_view text) {
        ++conversions;
        return "<" + std::string(text) + ">";
    });
    for (std::size_t r = 0; r < copy.size(); ++r) EXPECT_EQ(cache.Get(r, kLogSourcePath), "</s/a.jpg>");
    EXPECT_EQ(conversions, 1);
}

TEST(RunLog, PairLookupFollowsAddDeleteAndAssign) {
    TRunLog log;
    log.Add(Row("/s/a.jpg", "/t/b.jpg"));
    log.Add(Row("/s/a.jpg", "/t/b.jpg"));
    log.Add(Row("/s/c.jpg", "/t/d.jpg"));
    EXPECT_TRUE(log.Contains("/s/a.jpg", "/t/b.jpg"));
    EXPECT_FALSE(log.Contains("/t/b.jpg", "/s/a.jpg"));  // this direction only
    EXPECT_FALSE(log.Contains("/s/a.jpg", "/t/d.jpg"));
    EXPECT_FALSE(log.Contains("/s/unknown.jpg", "/t/b.jpg"));
    log.Delete(0);
    EXPECT_TRUE(log.Contains("/s/a.jpg", "/t/b.jpg"));  // a second row holds it
    log.Delete(0);
    EXPECT_FALSE(log.Contains("/s/a.jpg", "/t/b.jpg"));
    log.SetResult(0, "済");
    EXPECT_TRUE(log.Contains("/s/c.jpg", "/t/d.jpg"));
    log.Assign({Row("/s/e.jpg", "/t/f.jpg")});
    EXPECT_FALSE(log.Contains("/s/c.jpg", "/t/d.jpg"));
    EXPECT_TRUE(log.Contains("/s/e.jpg", "/t/f.jpg"));
}

TEST(ProjectFile, LongLogsRoundTripWithRepeatedAndRefusedTexts) {
    TProjectData project;
    for (int i = 0; i < 3000; ++i) {
        // Runs of one source, targets repeating, Japanese folders, file
        // names and results beside ASCII ones.
        const std::string source = "/写真/" + std::to_string(i / 7) + ".jpg";
        const std::string target = "/t/" + std::to_string(i % 50) + (i % 4 == 1 ? "枚.png" : ".png");
        project.LogRows.push_back(Row(source, target, i % 3 ? "比較元のファイルをごみ箱に捨てました" : ""));
    }
    const TProjectData read = DecodeProjectFile(EncodeProjectFile(project));
    EXPECT_TRUE(read.LogRows == project.LogRows);

    // A refused row between repeats leaves its neighbours whole.
    std::string bytes = EncodeProjectFile(project);
    const std::string from = "/t/49", to = "/t/4\t";
    for (std::size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at))
        bytes.replace(at, from.size(), to);
    const TProjectData damaged = DecodeProjectFile(bytes);
    EXPECT_EQ(damaged.LogRows.size(), 3000u - 60u);
    EXPECT_EQ(damaged.Refused.size(), 60u);
    for (std::size_t r = 0; r < damaged.LogRows.size(); ++r)
        ASSERT_NE(damaged.LogRows.Cell(r, kLogTargetPath).substr(0, to.size()), to);
    EXPECT_EQ(damaged.LogRows.Cell(49, kLogSourcePath), "/写真/7.jpg");  // row 50 of the file
}

}  // namespace
}  // namespace orv
