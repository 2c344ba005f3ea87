// Child processes, the single-instance lock (held by a child) and the trash
// (run in a child, so GIO reads the temporary HOME from its first use).
#include "platform/base/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "platform/base/file_system.h"
#include "platform/base/single_instance.h"
#include "tests/support/lock_holder.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace orv {
namespace {

using Clock = std::chrono::steady_clock;
const std::string kHelpers = std::string(ORV_TEST_HELPERS) + "/";

int RunHelper(const std::string& name) {
    ChildProcess child;
    if (!child.Start(kHelpers + name)) return -1;
    return child.Wait();
}

TEST(ChildProcess, StartPollAndExitCode) {
    test::ScopedEnv ms("ORV_SLEEP_MS", "300");
    test::ScopedEnv code("ORV_EXIT_CODE", "7");
    ChildProcess child;
    ASSERT_TRUE(child.Start(kHelpers + "helper_sleeper"));
    EXPECT_GT(child.Pid(), 0);
    EXPECT_TRUE(child.Running());
    EXPECT_EQ(child.ExitCode(), -1);
    std::string error;
    EXPECT_FALSE(child.Start(kHelpers + "helper_sleeper", &error));  // one child at a time
    const auto start = Clock::now();
    while (child.Running() && Clock::now() - start < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(child.Running());
    EXPECT_EQ(child.ExitCode(), 7);
    EXPECT_EQ(child.Wait(), 7);
}

TEST(ChildProcess, FailuresAndKilledChildren) {
    ChildProcess none;
    std::string error;
    EXPECT_FALSE(none.Start("/nonexistent/filer", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(none.Running());
    EXPECT_EQ(none.Wait(), -1);

    test::ScopedEnv ms("ORV_SLEEP_MS", "10000");
    ChildProcess child;
    ASSERT_TRUE(child.Start(kHelpers + "helper_sleeper"));
    ASSERT_EQ(::kill(child.Pid(), SIGTERM), 0);
    EXPECT_EQ(child.Wait(), 128 + SIGTERM);
}

TEST(ChildProcess, DestructorNeitherBlocksNorLeavesAZombie) {
    test::ScopedEnv ms("ORV_SLEEP_MS", "200");
    pid_t pid = -1;
    const auto start = Clock::now();
    {
        ChildProcess child;
        ASSERT_TRUE(child.Start(kHelpers + "helper_sleeper"));
        pid = child.Pid();
    }
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(150));
    // Once reaped, the pid is gone (a zombie would still answer kill 0).
    bool gone = false;
    for (int i = 0; i < 500 && !gone; ++i) {
        gone = ::kill(pid, 0) != 0;
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone);
}

TEST(SingleInstance, HeldByAnotherProcess) {
    test::TempDir dir;
    test::ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path());
    const std::string cls = "TOV_MainForm_test" + std::to_string(::getpid());
    test::ScopedEnv c("ORV_LOCK_CLASS", cls);
    test::ScopedEnv m("ORV_MARKER", dir / "marker");
    test::ScopedEnv r("ORV_RELEASE", dir / "release");
    ChildProcess holder;
    ASSERT_TRUE(holder.Start(kHelpers + "helper_hold_lock"));
    for (int i = 0; i < 1000 && !FileExists(dir / "marker"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(test::ReadAll(dir / "marker"), "0");
    {
        SingleInstance second(cls);
        EXPECT_TRUE(second.AlreadyRunning());
        SingleInstance other("TForm_Other" + std::to_string(::getpid()));
        EXPECT_FALSE(other.AlreadyRunning());
    }
    test::WriteAll(dir / "release", "");
    EXPECT_EQ(holder.Wait(), 0);
    SingleInstance after(cls);
    EXPECT_FALSE(after.AlreadyRunning());
    SingleInstance again(cls);  // within one process the lock counts too
    EXPECT_TRUE(again.AlreadyRunning());
}

// Two programs in one program folder, started from two login sessions: the
// second one finds the folder's lock held.
TEST(SingleInstance, OneProgramPerProgramFolder) {
    test::TempDir dir;
    ASSERT_TRUE(ForceDirectories(dir / "app") && ForceDirectories(dir / "run1") && ForceDirectories(dir / "run2"));
    const std::string cls = "TOV_MainForm_folder" + std::to_string(::getpid());
    test::LockHolder first(cls, dir / "app", dir / "run1");
    ASSERT_TRUE(first.Took());
    test::ScopedEnv runtime("XDG_RUNTIME_DIR", dir / "run2");
    EXPECT_TRUE(SingleInstance(cls, dir / "app").AlreadyRunning());
    EXPECT_FALSE(SingleInstance(cls, dir / "run2").AlreadyRunning());
}

TEST(Trash, MovesFilesIntoTheXdgTrash) {
    test::TempDir home;
    test::ScopedEnv h("HOME", home.path());
    test::ScopedEnv d("XDG_DATA_HOME", home / "data");
    ASSERT_TRUE(ForceDirectories(home / "pics"));
    test::WriteAll(home / "pics/重複.jpg", "jpeg");
    {
        test::ScopedEnv p("ORV_TRASH_PATH", home / "pics/重複.jpg");
        EXPECT_EQ(RunHelper("helper_trash_file"), 0);
    }
    EXPECT_FALSE(PathExists(home / "pics/重複.jpg"));
    EXPECT_EQ(test::ReadAll(home / "data/Trash/files/重複.jpg"), "jpeg");
    EXPECT_TRUE(FileExists(home / "data/Trash/info/重複.jpg.trashinfo"));

    // A folder is never trashed; a missing file is a failure.
    for (const char* name : {"pics", "pics/missing.jpg"}) {
        test::ScopedEnv p("ORV_TRASH_PATH", home / name);
        EXPECT_EQ(RunHelper("helper_trash_file"), 1) << name;
    }
    EXPECT_TRUE(DirectoryExists(home / "pics"));
}

}  // namespace
}  // namespace orv
