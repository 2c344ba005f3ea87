#include "search/engine/settings_file.h"

#include <gtest/gtest.h>

#include "platform/base/errors.h"
#include "platform/base/file_system.h"
#include "persist_golden.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace orv {
namespace {

using test::ReadAll;
using test::WriteAll;

const std::string& kData = test::kPersistData;

// A home folder of its own, so the documents folder is known and empty.
class SettingsFile : public ::testing::Test {
protected:
    test::TempDir home;
    test::ScopedEnv homeEnv{"HOME", home.path()};
    test::ScopedEnv configEnv{"XDG_CONFIG_HOME", home / ".config"};
    std::string docs = home / "Documents/";
    std::string app = home / "app/";
    std::string ini = home / "Orvals.ini";

    void SetUp() override { ASSERT_TRUE(ForceDirectories(docs)); }
};

using test::GoldenSettings;

TEST_F(SettingsFile, MissingFileGivesDefaultsAndMakesTheDefaultProjectFolder) {
    const TIniSettings s = LoadIniFile(ini, app);
    EXPECT_EQ(s.Left, 0);
    EXPECT_EQ(s.Top, 0);
    EXPECT_EQ(s.Width, 900);
    EXPECT_EQ(s.Height, 675);
    EXPECT_FALSE(s.Max);
    for (const std::string* p : {&s.FilesL, &s.FilesR, &s.DirL, &s.DirR, &s.Log, &s.MoveDir}) EXPECT_EQ(*p, docs);
    EXPECT_EQ(s.Project, docs + "Orvalis Project/");
    EXPECT_TRUE(DirectoryExists(s.Project));
    EXPECT_EQ(s.WorkDir, PrivateTempDir());
    EXPECT_EQ(s.FindSound, app + "Sound/Comp.wav");
    EXPECT_EQ(s.EndSound, app + "Sound/Beep.wav");
    EXPECT_FALSE(s.Preview);
    EXPECT_FALSE(s.NoTmpDel);
    EXPECT_EQ(s.Chach, 3000);
    EXPECT_EQ(s.Par, 75);
    EXPECT_TRUE(s.DoFindSound);
    EXPECT_TRUE(s.DoEndSound);
    EXPECT_TRUE(s.ListIcon);
    for (int w : s.ListWidths) EXPECT_EQ(w, 100);
    EXPECT_FALSE(PathExists(ini));  // reading writes nothing
}

TEST_F(SettingsFile, ConfiguredProjectFolderIsNeverMade) {
    WriteAll(ini, "[Path]\r\nProject=" + home.path() + "mine/\r\nWorkDir=/var/work\r\n");
    const TIniSettings s = LoadIniFile(ini, app);
    EXPECT_EQ(s.Project, home / "mine/");
    EXPECT_FALSE(PathExists(home / "mine"));
    EXPECT_FALSE(PathExists(docs + "Orvalis Project"));
    EXPECT_EQ(s.WorkDir, "/var/work");  // used as written, without a delimiter
}

TEST_F(SettingsFile, ThresholdAndCacheOutsideTheirRangeReadAsDefaults) {
    const struct {
        const char* par;
        int parRead;
        const char* chach;
        int chachRead;
    } cases[] = {
        {"0", 75, "100001", 3000},   {"-5", 75, "2147483647", 3000}, {"101", 75, "100000", 100000},
        {"1", 1, "0", 0},            {"100", 100, "1000", 1000},     {"60", 60, "-3", -3},
        {"abc", 75, " 5000 ", 5000}, {"", 75, "9999999999", 3000},
    };
    for (const auto& c : cases) {
        WriteAll(ini, std::string("[Option]\r\nPar=") + c.par + "\r\nChach=" + c.chach + "\r\n");
        const TIniSettings s = LoadIniFile(ini, app);
        EXPECT_EQ(s.Par, c.parRead) << c.par;
        EXPECT_EQ(s.Chach, c.chachRead) << c.chach;
    }
}

TEST_F(SettingsFile, FreshFileMatchesTheGoldenBytesAndReadsBack) {
    SaveIniFile(ini, GoldenSettings(), false);
    EXPECT_EQ(ReadAll(ini), ReadAll(kData + "fresh.ini"));

    const TIniSettings s = LoadIniFile(ini, app);
    const TIniSettings g = GoldenSettings();
    EXPECT_EQ(std::tie(s.Left, s.Top, s.Width, s.Height, s.Max), std::tie(g.Left, g.Top, g.Width, g.Height, g.Max));
    EXPECT_EQ(std::tie(s.FilesL, s.FilesR, s.DirL, s.DirR, s.Project, s.Log, s.MoveDir, s.WorkDir, s.FindSound,
                       s.EndSound),
              std::tie(g.FilesL, g.FilesR, g.DirL, g.DirR, g.Project, g.Log, g.MoveDir, g.WorkDir, g.FindSound,
                       g.EndSound));
    EXPECT_EQ(std::tie(s.Preview, s.NoTmpDel, s.Chach, s.Par, s.DoFindSound, s.DoEndSound, s.ListIcon),
              std::tie(g.Preview, g.NoTmpDel, g.Chach, g.Par, g.DoFindSound, g.DoEndSound, g.ListIcon));
    EXPECT_EQ(s.ListWidths, g.ListWidths);
}

TEST_F(SettingsFile, PairHandlerSectionSurvivesAndMaximizedKeepsTheBounds) {
    WriteAll(ini, ReadAll(kData + "reswindow_before.ini"));
    LoadIniFile(ini, app);
    SaveIniFile(ini, GoldenSettings(), true);
    EXPECT_EQ(ReadAll(ini), ReadAll(kData + "reswindow_after.ini"));

    // Normal close stores the bounds; a maximized close keeps them.
    TIniSettings s = GoldenSettings();
    SaveIniFile(ini, s, false);
    s.Left = s.Top = s.Width = s.Height = 1;
    SaveIniFile(ini, s, true);
    const TIniSettings read = LoadIniFile(ini, app);
    EXPECT_TRUE(read.Max);
    EXPECT_EQ(std::tie(read.Left, read.Top, read.Width, read.Height), std::make_tuple(10, 20, 800, 600));
}

TEST_F(SettingsFile, PathsThatCannotBeStoredAreSkippedAndFailuresRaise) {
    SaveIniFile(ini, GoldenSettings(), false);
    TIniSettings s = GoldenSettings();
    s.Log = "/h/bad\xFF/";
    s.MoveDir = "/h/tab\there/";
    s.Par = 60;
    SaveIniFile(ini, s, false);
    const TIniSettings read = LoadIniFile(ini, app);
    EXPECT_EQ(read.Log, "/h/log/");
    EXPECT_EQ(read.MoveDir, "/h/mv/");
    EXPECT_EQ(read.Par, 60);

    const std::string missing = home / "no/Orvals.ini";
    try {
        SaveIniFile(missing, s, false);
        ADD_FAILURE() << "no error";
    } catch (const EIniFileError& e) {
        EXPECT_EQ(std::string(e.what()), missing + " に書き込めません");
    }
}

}  // namespace
}  // namespace orv
