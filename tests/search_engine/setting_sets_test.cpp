#include "search/engine/setting_sets.h"

#include <gtest/gtest.h>

#include "platform/base/errors.h"
#include "platform/base/file_system.h"
#include "persist_golden.h"
#include "tests/support/temp_dir.h"

namespace orv {
namespace {

using test::ReadAll;
using test::WriteAll;

class SettingSets : public ::testing::Test {
protected:
    test::TempDir app;
    void SetUp() override { ASSERT_TRUE(ForceDirectories(SettingSetFolder(app.path()))); }

    std::string File(int n) const { return SettingSetPath(app.path(), n); }
    void Store(const std::string& name) {
        TSettingSet set;
        set.Name = name;
        WriteSettingSet(app.path(), static_cast<int>(LoadSettingNames(app.path()).size()), set);
    }
    std::vector<std::string> Names() const { return LoadSettingNames(app.path()); }
};

using test::GoldenSet;

TEST_F(SettingSets, WritesTheGoldenFileAndReadsItBack) {
    EXPECT_EQ(File(3), app / "Set/Setting3.dat");
    WriteSettingSet(app.path(), 0, GoldenSet());
    EXPECT_EQ(ReadAll(File(0)), ReadAll(std::string(ORV_TEST_DATA) + "/persist/Setting0.dat"));
    const TSettingSet s = LoadSettingSet(app.path(), 0);
    const TSettingSet g = GoldenSet();
    EXPECT_TRUE(s == g);
}

TEST_F(SettingSets, MissingKeysAndUnreadableValuesGiveDefaults) {
    WriteAll(File(0), "[set]\r\nname=x\r\nCheck SubDir=yes\r\nOnce End=2\r\nDo Mode=1.5\r\nA Do=7\r\nA TgtDir=/a\tb/\r\n");
    const TSettingSet s = LoadSettingSet(app.path(), 0);
    EXPECT_EQ(s.Name, "x");
    EXPECT_FALSE(s.SubFolder);
    EXPECT_TRUE(s.OneEnd);
    EXPECT_EQ(s.SizeMode, TSizeMode::None);
    EXPECT_EQ(s.SyoriMode, TSyoriMode::None);
    EXPECT_EQ(ItemOf(s.DoAction), 7);  // limiting to the group's items is the page's business
    EXPECT_EQ(s.TgtDir, "");
    const TSettingSet none = LoadSettingSet(app.path(), 9);
    EXPECT_EQ(std::tie(none.Name, none.SizeMode, none.NearMode, none.SubFolder),
              std::make_tuple("", TSizeMode::None, TNearMode::None, false));
}

TEST_F(SettingSets, NamesEndAtTheFirstGap) {
    Store("a");
    Store("b");
    Store("c");
    ASSERT_TRUE(DeleteFile(File(1)));
    EXPECT_EQ(Names(), std::vector<std::string>{"a"});
    // The next stored set fills the gap.
    TSettingSet d;
    d.Name = "d";
    EXPECT_EQ(StoreSettingSet(app.path(), d, [](int) { return true; }), 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "d", "c"}));
}

TEST_F(SettingSets, SaveScanMatchesNamesIgnoringCase) {
    Store("Alpha");
    Store("test");
    Store("Omega");
    std::vector<int> asked;
    TSettingSet set = GoldenSet();
    set.Name = "TEST";
    // No: the set goes after the last one, and two sets share the name.
    EXPECT_EQ(StoreSettingSet(app.path(), set, [&](int n) { return asked.push_back(n), false; }), 3);
    EXPECT_EQ(asked, std::vector<int>{1});
    // Yes at the first match overwrites that file.
    asked.clear();
    set.Name = "Test";
    EXPECT_EQ(StoreSettingSet(app.path(), set, [&](int n) { return asked.push_back(n), true; }), 1);
    EXPECT_EQ(asked, std::vector<int>{1});
    EXPECT_EQ(Names(), (std::vector<std::string>{"Alpha", "Test", "Omega", "TEST"}));
    EXPECT_EQ(LoadSettingSet(app.path(), 1).SelTgt, TSelTgt::NewerDate);
    // Full-width letters fold among themselves, not onto ASCII ones.
    asked.clear();
    set.Name = "ｔｅｓｔ";
    EXPECT_EQ(StoreSettingSet(app.path(), set, [&](int n) { return asked.push_back(n), false; }), 4);
    EXPECT_TRUE(asked.empty());
    set.Name = "Ｔｅｓｔ";
    EXPECT_EQ(StoreSettingSet(app.path(), set, [&](int n) { return asked.push_back(n), true; }), 4);
    EXPECT_EQ(asked, std::vector<int>{4});
}

TEST(SettingSetNames, CaseFoldsInEveryScript) {
    EXPECT_TRUE(SameSettingName("ÄRGER Été", "ärger été"));
    EXPECT_TRUE(SameSettingName("ΑΒΓ ПРИВЕТ", "αβγ привет"));
    EXPECT_TRUE(SameSettingName("写真ＡＢ", "写真ａｂ"));
    EXPECT_FALSE(SameSettingName("写真", "写真a"));
    EXPECT_FALSE(SameSettingName("ａ", "a"));
    // Bytes that are no UTF-8 compare as themselves, never as a character.
    EXPECT_TRUE(SameSettingName("x\xff", "X\xff"));
    EXPECT_FALSE(SameSettingName("\xc3", "\xc3\xa4"));
    EXPECT_FALSE(SameSettingName("\xe3\x81", "\xe3"));
}

TEST_F(SettingSets, MissingFolderIsReportedAndNotMade) {
    test::TempDir bare;
    TSettingSet set = GoldenSet();
    try {
        StoreSettingSet(bare.path(), set, nullptr);
        ADD_FAILURE() << "no error";
    } catch (const EIniFileError& e) {
        EXPECT_EQ(std::string(e.what()), bare / "Set/Setting0.dat に書き込めません");
    }
    EXPECT_FALSE(PathExists(bare / "Set"));
    set.TgtDir = "/bad\n/";
    EXPECT_THROW(WriteSettingSet(app.path(), 0, set), EConvertError);
    EXPECT_FALSE(PathExists(File(0)));
}

TEST_F(SettingSets, DeleteRenumbersTheLaterFilesAndStopsAtAFailure) {
    Store("a");
    Store("b");
    Store("c");
    TDeleteSetResult r = DeleteSettingSet(app.path(), 1, 3);
    EXPECT_TRUE(r.Deleted);
    EXPECT_EQ(r.Renumbered, 1);
    EXPECT_TRUE(r.Error.empty());
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "c"}));
    EXPECT_FALSE(PathExists(File(2)));

    // The list shows four names but file 2 went away meanwhile: file 3 is not
    // moved past the failure.
    Store("d");
    Store("e");
    ASSERT_TRUE(DeleteFile(File(3)));
    Store("f");  // fills number 3 again
    ASSERT_TRUE(DeleteFile(File(2)));
    r = DeleteSettingSet(app.path(), 0, 4);
    EXPECT_TRUE(r.Deleted);
    EXPECT_EQ(r.Renumbered, 1);
    EXPECT_FALSE(r.Error.empty());
    EXPECT_EQ(Names(), std::vector<std::string>{"c"});
    EXPECT_EQ(LoadSettingSet(app.path(), 3).Name, "f");

    // Out of range or a file that cannot be deleted changes nothing.
    EXPECT_FALSE(DeleteSettingSet(app.path(), 5, 4).Deleted);
    EXPECT_FALSE(DeleteSettingSet(app.path(), 1, 4).Deleted);
    EXPECT_TRUE(PathExists(File(3)));
}

}  // namespace
}  // namespace orv
