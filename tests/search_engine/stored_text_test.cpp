// Names code page 932 cannot hold go through every file the program stores,
// as UTF-8 behind the byte-order mark, and come back unchanged; everything
// around them keeps the bytes of the golden files.
#include <gtest/gtest.h>

#include "persist_golden.h"
#include "platform/base/codec.h"
#include "platform/base/file_system.h"
#include "search/engine/handover.h"
#include "search/engine/pair_loop.h"
#include "search/engine/saved_log.h"
#include "search/engine/signature_index.h"
#include "tests/support/scoped_env.h"
#include "tests/support/stored_text.h"
#include "tests/support/temp_dir.h"

namespace orv {
namespace {

using test::kPersistData;
using test::ReadAll;
using test::StoredString;
using test::Utf8Form;

// The bytes with the first occurrence of one text replaced.
std::string Replaced(std::string bytes, const std::string& from, const std::string& to) {
    const std::size_t at = bytes.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) bytes.replace(at, from.size(), to);
    return bytes;
}

class StoredTextFiles : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        ASSERT_TRUE(ForceDirectories(home / "Documents/"));
        ASSERT_TRUE(ForceDirectories(SettingSetFolder(home.path())));
    }

    test::TempDir home;
    test::ScopedEnv homeEnv{"HOME", home.path()};
    test::ScopedEnv configEnv{"XDG_CONFIG_HOME", home / ".config"};
    const std::string name = GetParam();
    const std::string folder = "/home/" + name + "/";
    const std::string picture = folder + name + ".jpg";
};

TEST_P(StoredTextFiles, RoundTripThroughEveryStoredFile) {
    // Project and progress list: the golden bytes up to the changed text.
    const std::string ovp = ReadAll(kPersistData + "project.ovp");
    TProjectData project = test::GoldenProject();
    project.LogRows[1][kLogResult] = name;  // the last text of the file, "" in the golden one
    EXPECT_EQ(EncodeProjectFile(project), ovp.substr(0, ovp.size() - 3) + StoredString(Utf8Form(name)));
    std::vector<std::string> progress = test::kGoldenProgress;
    progress.push_back(picture);
    EXPECT_EQ(EncodeProgressList(progress), std::string("\x04\0\0\0", 4) + ReadAll(kPersistData + "project.ovl").substr(4) +
                                                StoredString(Utf8Form(picture)));
    project.Sources.push_back(folder);
    project.Targets = {picture};
    project.Handling.TgtDir = folder;
    project.LogRows[0][kLogSourcePath] = project.LogRows[0][kLogTargetPath] = picture;
    SaveProjectFiles(home / "p.ovp", project, progress);
    const TProjectFiles read = ReadProjectFiles(home / "p.ovp");
    test::ExpectSameProject(read.Project, project);
    EXPECT_TRUE(read.Project.Refused.empty());
    EXPECT_EQ(read.Progress, progress);

    // Signature index.
    const std::string record = EncodeIndexRecord(picture, 45000.5, 10, 80, 60, 7);
    EXPECT_TRUE(record.starts_with(StoredString(Utf8Form(picture))));
    const auto records = ParseSignatureIndex(reinterpret_cast<const std::uint8_t*>(record.data()), record.size());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Path, picture);
    EXPECT_TRUE(records[0].PathValid);
    EXPECT_EQ(records[0].TmpNo, 7);

    // Orvals.ini and a setting set: only the changed lines differ.
    TIniSettings settings = test::GoldenSettings();
    settings.Log = folder;
    SaveIniFile(home / "Orvals.ini", settings, false);
    EXPECT_EQ(ReadAll(home / "Orvals.ini"),
              Replaced(ReadAll(kPersistData + "fresh.ini"), "Log=/h/log/", "Log=" + Utf8Form(folder)));
    EXPECT_EQ(LoadIniFile(home / "Orvals.ini", home / "app/").Log, folder);
    TSettingSet set = test::GoldenSet();
    set.Name = name;
    set.TgtDir = folder;
    WriteSettingSet(home.path(), 0, set);
    std::string setBytes = ReadAll(kPersistData + "Setting0.dat");
    setBytes = Replaced(setBytes, Utf8ToCp932("Name=写真 Set"), "Name=" + Utf8Form(name));
    setBytes = Replaced(setBytes, Utf8ToCp932("A TgtDir=/h/移動/"), "A TgtDir=" + Utf8Form(folder));
    EXPECT_EQ(ReadAll(SettingSetPath(home.path(), 0)), setBytes);
    EXPECT_EQ(LoadSettingSet(home.path(), 0).TgtDir, folder);
    EXPECT_EQ(LoadSettingNames(home.path()), std::vector<std::string>{name});

    // The hand-over files.
    WriteDoFilesAuto(home / kDoFilesName, TPairAction::Move, folder, picture, TPairSide::Target, {}, "");
    EXPECT_EQ(ReadAll(home / kDoFilesName), "[Doing]\r\nNo=0\r\nSyori=2\r\nTgt Dir=" + Utf8Form(folder) + "\r\nFile=" +
                                                Utf8Form(picture) + "\r\nTarget=1\r\n");
    EXPECT_NE(EncodeDoFiles2(project.LogRows).find(StoredString(Utf8Form(picture))), std::string::npos);
    const std::string failure = picture + "の移動に失敗しました";
    test::WriteAll(home / kResultName, "[Result]\r\nStop=1\r\nText0=" + Utf8Form(name) + "\r\nLog0=" + Utf8Form(failure) +
                                           "\r\nLog1=" + Utf8ToCp932("/写真/a.jpg") + "\r\n");
    const THandlerAnswer answer = ReadResultFile(home / kResultName);
    EXPECT_EQ(answer.Texts, std::vector<std::string>{name});
    EXPECT_EQ(answer.Logs, (std::vector<std::string>{failure, "/写真/a.jpg"}));

    // Saved log: the whole file turns UTF-8 with the mark, CRLF kept.
    TLogTable rows = test::GoldenProject().LogRows;
    rows[1][kLogResult] = name;
    std::string log = Cp932ToUtf8(ReadAll(kPersistData + "saved_log.txt"));
    log.insert(log.rfind("【】") + std::string("【").size(), name);
    EXPECT_EQ(FormatSavedLog(rows), Utf8Form(log));
}

INSTANTIATE_TEST_SUITE_P(Utf8OnlyNames, StoredTextFiles, ::testing::ValuesIn(test::kUtf8OnlyNames));

}  // namespace
}  // namespace orv
