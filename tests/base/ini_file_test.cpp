#include "platform/base/ini_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/base/codec.h"
#include "platform/base/errors.h"
#include "tests/support/stored_text.h"
#include "tests/support/temp_dir.h"

namespace orv {
namespace {

using test::ReadAll;
using test::TempDir;
using test::WriteAll;

TEST(IniFile, FreshFileBytes) {
    TempDir dir;
    TIniFile ini(dir / "Orvals.ini");
    ini.WriteInteger("MainWindow", "Left", 0);
    ini.WriteInteger("MainWindow", "Top", -10);
    ini.WriteString("Path", "End  Sound", "/opt/オルヴァリス/Sound/Beep.wav");
    ini.WriteBool("MainWindow", "Max", true);
    EXPECT_EQ(ReadAll(dir / "Orvals.ini"), "[MainWindow]\r\nLeft=0\r\nTop=-10\r\nMax=1\r\n\r\n[Path]\r\nEnd  Sound=" +
                                               Utf8ToCp932("/opt/オルヴァリス/Sound/Beep.wav") + "\r\n");
    EXPECT_EQ(ini.ReadString("path", "END  SOUND", ""), "/opt/オルヴァリス/Sound/Beep.wav");
}

TEST(IniFile, EditKeepsForeignSectionsCommentsAndOrder) {
    TempDir dir;
    const std::string path = dir / "Orvals.ini";
    WriteAll(path,
             "; shared by two programs\r\n"
             "[ResWindow]\r\nLeft=5\r\nMoveDir=/x/\r\n\r\n"
             "[mainwindow]\r\nleft=1\r\nMax=0\r\n\r\n"
             "[Option]\nPar=75\n");  // LF-only lines are read too
    TIniFile ini(path);
    ini.WriteInteger("MainWindow", "Left", 3);  // replaced in place, spelling kept
    ini.WriteInteger("MainWindow", "Width", 900);  // appended to its section
    ini.WriteInteger("List", "0", 100);  // new section at the end
    EXPECT_EQ(ReadAll(path),
              "; shared by two programs\r\n"
              "[ResWindow]\r\nLeft=5\r\nMoveDir=/x/\r\n\r\n"
              "[mainwindow]\r\nleft=3\r\nMax=0\r\nWidth=900\r\n\r\n"
              "[Option]\r\nPar=75\r\n\r\n"
              "[List]\r\n0=100\r\n");
    EXPECT_EQ(ini.ReadSection("MAINWINDOW"), (std::vector<std::string>{"left", "Max", "Width"}));
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"ResWindow", "mainwindow", "Option", "List"}));

    ini.DeleteKey("mainWindow", "MAX");
    ini.EraseSection("resWINDOW");
    EXPECT_EQ(ReadAll(path),
              "; shared by two programs\r\n"
              "[mainwindow]\r\nleft=3\r\nWidth=900\r\n\r\n"
              "[Option]\r\nPar=75\r\n\r\n"
              "[List]\r\n0=100\r\n");
    EXPECT_FALSE(ini.SectionExists("ResWindow"));
    EXPECT_FALSE(ini.ValueExists("MainWindow", "Max"));
    EXPECT_TRUE(ini.ValueExists("Option", "par"));
}

TEST(IniFile, LookupRules) {
    TempDir dir;
    const std::string path = dir / "a.ini";
    WriteAll(path,
             "top=orphan\r\n"
             "[S]\r\n  Key  =  first  \r\nkey=second\r\n;Gone=1\r\nnoequals\r\nEmpty=\r\n"
             "Int1=+12\r\nInt2=-0\r\nInt3=12a\r\nInt4=$1F\r\nInt5=2147483648\r\nInt6=-2147483648\r\nInt7= 7 \r\n"
             "B1=2\r\nB2=0\r\nB3=yes\r\n"
             "[s]\r\nOnlyInSecond=1\r\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("S", "key", "d"), "first");  // first duplicate wins, blanks trimmed
    EXPECT_EQ(ini.ReadString("S", "Gone", "d"), "d");      // comment
    EXPECT_EQ(ini.ReadString("S", "noequals", "d"), "d");
    EXPECT_EQ(ini.ReadString("S", "Empty", "d"), "");
    EXPECT_EQ(ini.ReadString("S", "top", "d"), "d");       // before any section
    EXPECT_EQ(ini.ReadString("S", "OnlyInSecond", "d"), "d");  // the first section of a name wins
    EXPECT_EQ(ini.ReadInteger("S", "Int1", -1), 12);
    EXPECT_EQ(ini.ReadInteger("S", "Int2", -1), 0);
    EXPECT_EQ(ini.ReadInteger("S", "Int3", -1), -1);
    EXPECT_EQ(ini.ReadInteger("S", "Int4", -1), -1);
    EXPECT_EQ(ini.ReadInteger("S", "Int5", -1), -1);
    EXPECT_EQ(ini.ReadInteger("S", "Int6", -1), -2147483647 - 1);
    EXPECT_EQ(ini.ReadInteger("S", "Int7", -1), 7);
    EXPECT_EQ(ini.ReadInteger("S", "Empty", -1), -1);
    EXPECT_TRUE(ini.ReadBool("S", "B1", false));
    EXPECT_FALSE(ini.ReadBool("S", "B2", true));
    EXPECT_TRUE(ini.ReadBool("S", "B3", true));  // not an integer: default
    EXPECT_FALSE(ini.ReadBool("S", "B3", false));
    EXPECT_TRUE(ini.ReadBool("S", "Missing", true));

    // Writing a duplicated key changes the one readers see.
    ini.WriteString("S", "KEY", "new");
    EXPECT_EQ(ini.ReadString("S", "key", "d"), "new");
}

TEST(IniFile, EveryValueRoundTrips) {
    TempDir dir;
    TIniFile ini(dir / "v.ini");
    const std::string values[] = {"",          " ",           "  lead",        "trail  ",     "\"quoted\"",
                                  "\"",        "\"\"",        "a\"b",          "\ttab\t",     "/path/with space /",
                                  "x=y=z",     "; not a comment", "[not a section]", "ソ表\\",  " \"both\" ",
                                  "C:\\dir\\", "比較元のファイル", "/home/josé/森鷗外/", " 😀 "};
    int i = 0;
    for (const auto& v : values) ini.WriteString("Values", "K" + std::to_string(i++), v);
    i = 0;
    for (const auto& v : values) {
        SCOPED_TRACE("[" + v + "]");
        EXPECT_EQ(ini.ReadString("Values", "K" + std::to_string(i++), "default"), v);
    }
    // Quotes are added only where needed.
    const std::string text = ReadAll(dir / "v.ini");
    EXPECT_NE(text.find("\r\nK2=\"  lead\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nK9=/path/with space /\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nK10=x=y=z\r\n"), std::string::npos);
    // Outside code page 932 only the value after '=' is UTF-8 behind the mark
    // (quotes included); the other lines keep their code page 932 bytes.
    EXPECT_NE(text.find("\r\nK16=" + Utf8ToCp932("比較元のファイル") + "\r\nK17=" + test::Utf8Form("/home/josé/森鷗外/") +
                        "\r\nK18=" + test::Utf8Form("\" 😀 \"") + "\r\n"),
              std::string::npos);
}

TEST(IniFile, ReadsBothTextFormsAndKeepsUnchangedLines) {
    TempDir dir;
    const std::string path = dir / "f.ini";
    const std::string before = "[A]\r\nk = " + test::Utf8Form("é ") + "\r\n;c=" + test::Utf8Form("鷗") + "\r\nj=" +
                               Utf8ToCp932("ソ") + "\r\nbad=" + test::Utf8Form("\xff") + "\r\n";
    WriteAll(path, before);
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("A", "k", ""), "é");
    EXPECT_EQ(ini.ReadString("A", "j", ""), "ソ");
    EXPECT_EQ(ini.ReadString("A", "bad", "d"), "d");
    ini.WriteString("A", "n", "𠮷");
    EXPECT_EQ(ReadAll(path), before + "n=" + test::Utf8Form("𠮷") + "\r\n");
}

TEST(IniFile, RefusesWhatCannotBeStoredExactly) {
    TempDir dir;
    const std::string path = dir / "r.ini";
    TIniFile ini(path);
    ini.WriteString("S", "K", "keep");
    const std::string before = ReadAll(path);
    EXPECT_THROW(ini.WriteString("S", "K", "two\r\nlines"), EConvertError);
    EXPECT_THROW(ini.WriteString("S", "K", "bad\xff"), EConvertError);
    EXPECT_THROW(ini.WriteString("S", "😀", "v"), EConvertError);
    EXPECT_THROW(ini.WriteString("S", "a=b", "v"), EConvertError);
    EXPECT_THROW(ini.WriteString("S", " K", "v"), EConvertError);
    EXPECT_THROW(ini.WriteString("S", "", "v"), EConvertError);
    EXPECT_THROW(ini.WriteString("S]", "K", "v"), EConvertError);
    EXPECT_EQ(ReadAll(path), before);
}

TEST(IniFile, AValueHoldingAZeroByteReadsAsMissing) {
    TempDir dir;
    const std::string path = dir / "DoFiles.Dat";
    WriteAll(path, "[Doing]\r\nFile=" + (dir / "a.jpg") + std::string("\0zzz", 4) + "\r\nFile=/second\r\nNo=0\r\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Doing", "File", "default"), "default");  // the first one counts
    EXPECT_FALSE(ini.ValueExists("Doing", "File"));
    EXPECT_EQ(ini.ReadSection("Doing"), std::vector<std::string>{"No"});
    ini.WriteString("Doing", "File", "/fixed");
    EXPECT_EQ(ini.ReadString("Doing", "File", ""), "/fixed");
}

TEST(IniFile, AnOversizedFileIsRefused) {
    TempDir dir;
    const std::string path = dir / "big.ini";
    WriteAll(path, "[A]\r\nx=1\r\n");
    ASSERT_EQ(::truncate(path.c_str(), kMaxIniFileBytes + 1), 0);
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("A", "x", 5), 5);
    EXPECT_THROW(ini.WriteInteger("A", "y", 2), EIniFileError);
    EXPECT_EQ(static_cast<std::int64_t>(std::filesystem::file_size(path)), kMaxIniFileBytes + 1);
    // Nor is a file written that could not be read back.
    TIniFile small(dir / "s.ini");
    EXPECT_THROW(small.WriteString("A", "v", std::string(kMaxIniFileBytes, 'v')), EIniFileError);
    EXPECT_FALSE(std::filesystem::exists(dir / "s.ini"));
}

TEST(IniFile, MissingFilesAndFolders) {
    TempDir dir;
    TIniFile missing(dir / "none.ini");
    EXPECT_EQ(missing.ReadString("Ver", "No", "0.00"), "0.00");
    EXPECT_EQ(missing.ReadInteger("Ver", "No", 5), 5);
    EXPECT_FALSE(missing.SectionExists("Ver"));
    EXPECT_TRUE(missing.ReadSection("Ver").empty());
    missing.EraseSection("Ver");  // nothing to erase: no file appears
    missing.DeleteKey("Ver", "No");
    EXPECT_FALSE(std::filesystem::exists(dir / "none.ini"));

    const std::string inMissingFolder = dir / "Set/Setting0.dat";
    TIniFile set(inMissingFolder);
    try {
        set.WriteString("Set", "Name", "x");
        FAIL() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()), inMissingFolder + " に書き込めません");
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "Set"));
}

TEST(IniFile, ReplacesAtomicallyAndKeepsMode) {
    TempDir dir;
    const std::string path = dir / "m.ini";
    WriteAll(path, "[A]\r\nx=1\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    TIniFile ini(path);
    ini.WriteInteger("A", "x", 2);
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);  // a new file renamed over the old one
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1);  // no temporary file left behind
}

TEST(IniFile, UndecodableLinesSurviveAWrite) {
    TempDir dir;
    const std::string path = dir / "u.ini";
    const std::string bad = "junk=\x80\xff";
    WriteAll(path, "[A]\r\n" + bad + "\r\nk=\x83\x5c\r\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("A", "k", ""), "ソ");
    EXPECT_EQ(ini.ReadString("A", "junk", "d"), "d");
    ini.WriteString("A", "n", "1");
    EXPECT_EQ(ReadAll(path), "[A]\r\n" + bad + "\r\nk=\x83\x5c\r\nn=1\r\n");
}

TEST(IniFile, BatchWritesOnceAndCancelDropsChanges) {
    TempDir dir;
    const std::string path = dir / "b.ini";
    TIniFile ini(path);
    {
        TIniFile::Batch batch(ini);
        for (int i = 0; i < 10; ++i) ini.WriteInteger("List", std::to_string(i), 100 + i);
        EXPECT_EQ(ini.ReadInteger("List", "9", 0), 109);  // reads see the pending copy
        EXPECT_FALSE(std::filesystem::exists(path));
        batch.Commit();
    }
    EXPECT_EQ(TIniFile(path).ReadInteger("List", "9", 0), 109);
    {
        TIniFile::Batch batch(ini);
        ini.WriteInteger("List", "0", 1);
        ini.EraseSection("List");
    }  // no Commit: dropped
    EXPECT_EQ(ini.ReadInteger("List", "0", 0), 100);
    EXPECT_FALSE(ini.Updating());

    // Alternating sections in one batch: inserts in the middle keep lookups right.
    {
        TIniFile::Batch batch(ini);
        for (int i = 0; i < 3; ++i) {
            ini.WriteInteger("A", "a" + std::to_string(i), i);
            ini.WriteInteger("B", "b" + std::to_string(i), i);
            ini.WriteInteger("A", "a" + std::to_string(i), i + 10);
        }
        batch.Commit();
    }
    EXPECT_NE(ReadAll(path).find("[A]\r\na0=10\r\na1=11\r\na2=12\r\n\r\n[B]\r\nb0=0\r\nb1=1\r\nb2=2\r\n"),
              std::string::npos);
    EXPECT_EQ(ini.ReadInteger("B", "b2", -1), 2);

    // Another writer's change is seen by the next read.
    TIniFile other(path);
    other.WriteInteger("List", "0", 5);
    EXPECT_EQ(ini.ReadInteger("List", "0", 0), 5);
    WriteAll(path, "[List]\r\n0=6\r\n");  // rewritten in place
    EXPECT_EQ(ini.ReadInteger("List", "0", 0), 6);
}

}  // namespace
}  // namespace orv
