// Every file the programs keep their own data in, replaced by a named pipe:
// reading it must neither block nor take it for data, and it then counts as
// a missing or damaged file. Those in the program folder, replaced by a
// link: it reads as no file and is itself replaced by a write.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include "engine_test_util.h"
#include "filer/core/pair_data.h"
#include "filer/core/result_file.h"
#include "platform/base/errors.h"
#include "platform/graphics/bitmap.h"
#include "search/engine/handover.h"
#include "search/engine/project_file.h"
#include "search/engine/run_engine.h"
#include "search/engine/setting_sets.h"
#include "search/engine/settings_file.h"
#include "search/engine/signature_index.h"

namespace orv {
namespace {

struct StoredRole {
    const char* name;
    const char* file;  // relative to the folder
    // Runs the reader (and, for a link, the writer) in the folder and checks
    // that it took what is under the name for no file.
    std::function<void(const std::string& dir)> use;
};

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// Runs read on a thread. When it has not ended after a while, the pipe is
// opened from both ends, which releases a reader or writer waiting on it, so
// a regression fails the test instead of hanging it (a released writer then
// meets a closed pipe: EPIPE, not the signal).
bool EndsInTime(const std::function<void()>& read, const std::string& pipe) {
    struct IgnorePipeSignal {
        void (*old)(int) = std::signal(SIGPIPE, SIG_IGN);
        ~IgnorePipeSignal() { std::signal(SIGPIPE, old); }
    } ignore;
    std::promise<void> done;
    std::future<void> ended = done.get_future();
    std::thread worker([&] {
        read();
        done.set_value();
    });
    const bool inTime = ended.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    while (ended.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        const int fd = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
    }
    worker.join();
    return inTime;
}

class StoredFileAsPipe : public ::testing::TestWithParam<StoredRole> {};

TEST_P(StoredFileAsPipe, IsRefusedWithoutBlocking) {
    test::TempDir dir;
    const StoredRole& role = GetParam();
    const std::string pipe = dir.path() + role.file;
    std::filesystem::create_directories(std::filesystem::path(pipe).parent_path());
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_TRUE(EndsInTime([&] { role.use(dir.path()); }, pipe)) << role.name << " blocked";
}

const StoredRole kRoles[] = {
    {"SettingsFile", "Orvals.ini",
     [](const std::string& dir) { EXPECT_EQ(LoadIniFile(dir + "Orvals.ini", dir).Width, 900); }},
    {"SettingSet", "Set/Setting0.dat",
     [](const std::string& dir) {
         ASSERT_EQ(SettingSetPath(dir, 0), dir + "Set/Setting0.dat");
         EXPECT_EQ(LoadSettingSet(dir, 0).SyoriMode, TSyoriMode::None);
     }},
    {"Project", "p.ovp", [](const std::string& dir) { EXPECT_THROW(ReadProjectFile(dir + "p.ovp"), EFOpenError); }},
    {"ProgressList", "p.ovl",
     [](const std::string& dir) {
         WriteText(dir + "p.ovp", EncodeProjectFile(TProjectData{}));
         EXPECT_TRUE(ReadProjectFiles(dir + "p.ovp").Progress.empty());
         EXPECT_THROW(ReadProgressList(dir + "p.ovl"), EFOpenError);
     }},
    {"SignatureIndex", "~OVTMP.Lst",
     [](const std::string& dir) {
         TMainData data;
         data.WorkDir = dir;
         test::RecordingView view;
         TRunEngine engine(data, view);
         engine.GetTempList();
         EXPECT_TRUE(data.TempList.empty());
         EXPECT_FALSE(engine.WriteTmpBMPInfo("/p/a.jpg", 1, 1.0, 1, 1, 7));
     }},
    {"SignatureFile", "~OVTMP7.BMP",
     [](const std::string& dir) {
         TMainData data;
         data.WorkDir = dir;
         test::RecordingView view;
         TRunEngine engine(data, view);
         TSTitems item;
         item.TmpNo = 7;
         EXPECT_TRUE(engine.LoadCompactSignature(dir + "a.jpg", &item).Empty());
         TBitmap bmp;
         EXPECT_THROW(bmp.LoadFromFile(dir + "~OVTMP7.BMP"), EStreamError);
     }},
    {"HandOver", "DoFiles.Dat",
     [](const std::string& dir) {
         // No hand-over: nothing to act on.
         const TPairData data = ReadPairData(dir);
         EXPECT_FALSE(data.Usable);
         EXPECT_TRUE(data.PairL.empty());
     }},
    {"WholeLogHandOver", "DoFiles2.Dat",
     [](const std::string& dir) {
         WriteText(dir + "DoFiles.Dat", "[Doing]\r\nNo=2\r\n");
         EXPECT_FALSE(ReadPairData(dir).Usable);
     }},
    {"Answer", "Result.dat", [](const std::string& dir) { EXPECT_FALSE(ReadResultFile(dir + "Result.dat").Received); }},
};

INSTANTIATE_TEST_SUITE_P(Roles, StoredFileAsPipe, ::testing::ValuesIn(kRoles),
                         [](const ::testing::TestParamInfo<StoredRole>& info) { return std::string(info.param.name); });

class OwnFileAsLink : public ::testing::TestWithParam<StoredRole> {};

TEST_P(OwnFileAsLink, IsReplacedAndItsTargetKept) {
    test::TempDir dir;
    const StoredRole& role = GetParam();
    const std::string name = dir.path() + role.file, target = dir.path() + "elsewhere";
    const std::string kept = "[MainWindow]\r\nWidth=123\r\n[Set]\r\nName=mine\r\n";
    WriteText(target, kept);
    std::filesystem::create_directories(std::filesystem::path(name).parent_path());
    ASSERT_EQ(::symlink(target.c_str(), name.c_str()), 0);
    role.use(dir.path());
    EXPECT_EQ(test::ReadAll(target), kept);
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(name)));
}

// Each reads through the link first where the program does, then writes.
const StoredRole kOwnFiles[] = {
    {"SettingsFile", "Orvals.ini",
     [](const std::string& dir) {
         EXPECT_EQ(LoadIniFile(dir + "Orvals.ini", dir).Width, 900);
         SaveIniFile(dir + "Orvals.ini", DefaultIniSettings(dir), false);
     }},
    {"PairWindowSettings", "Orvals.ini",
     [](const std::string& dir) { SaveResWindow(dir + "Orvals.ini", ReadResWindow(dir + "Orvals.ini", "/m/")); }},
    {"SettingSet", "Set/Setting0.dat",
     [](const std::string& dir) {
         EXPECT_TRUE(LoadSettingNames(dir).empty());
         EXPECT_EQ(StoreSettingSet(dir, TSettingSet{}, nullptr), 0);
     }},
    {"HandOver", "DoFiles.Dat", [](const std::string& dir) { WriteDoFilesList(dir + "DoFiles.Dat", 0, ""); }},
    {"Answer", "Result.dat",
     [](const std::string& dir) { WriteResultFile(dir + "Result.dat", "", false, {"x"}, {}); }},
};

INSTANTIATE_TEST_SUITE_P(Writers, OwnFileAsLink, ::testing::ValuesIn(kOwnFiles),
                         [](const ::testing::TestParamInfo<StoredRole>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orv
