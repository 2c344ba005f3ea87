#include "platform/base/file_system.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/base/errors.h"
#include "platform/base/file_handle.h"
#include "platform/base/paths.h"
#include "platform/base/process.h"
#include "platform/base/work_folder.h"
#include "platform/base/stream.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace orv {
namespace {

using test::ReadAll;
using test::TempDir;
using test::WriteAll;

TEST(FileSystem, ExistenceTestsTakeNamesLiterally) {
    TempDir dir;
    WriteAll(dir / "a*b?.jpg", "x");
    ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("a*b?.jpg", (dir / "link").c_str()), 0);
    EXPECT_TRUE(FileExists(dir / "a*b?.jpg"));
    EXPECT_FALSE(FileExists(dir / "*.jpg"));
    EXPECT_FALSE(FileExists(dir / "a?b?.jpg"));
    EXPECT_FALSE(FileExists(dir / "sub"));  // a folder is not a file
    EXPECT_TRUE(FileExists(dir / "link"));   // a link to a file is followed
    EXPECT_TRUE(DirectoryExists(dir / "sub"));
    EXPECT_TRUE(DirectoryExists(dir / "sub/"));
    EXPECT_FALSE(DirectoryExists(dir / "s*"));
    EXPECT_FALSE(DirectoryExists(""));
    EXPECT_EQ(FileSize(dir / "a*b?.jpg"), 1);
    EXPECT_EQ(FileSize(dir / "sub"), -1);

    EXPECT_FALSE(DeleteFile(dir / "sub"));  // folders are never removed
    EXPECT_TRUE(DirectoryExists(dir / "sub"));
    std::string error;
    EXPECT_FALSE(DeleteFile(dir / "missing", &error));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(DeleteFile(dir / "link"));  // the link goes, its target stays
    EXPECT_TRUE(FileExists(dir / "a*b?.jpg"));
}

// The system would cut such a path at its zero byte and act on another file.
TEST(FileSystem, APathHoldingAZeroByteReachesNoSystemCall) {
    TempDir dir;
    WriteAll(dir / "a.jpg", "x");
    const std::string bad = dir / "a.jpg" + std::string("\0zzz", 4);
    EXPECT_FALSE(FileExists(bad));
    EXPECT_FALSE(PathExists(bad));
    EXPECT_EQ(FileSize(bad), -1);
    EXPECT_FALSE(DeleteFile(bad));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_FALSE(MoveFileNoReplace(bad, dir / "b.jpg"));
    EXPECT_FALSE(CopyFileNoReplace(bad, dir / "b.jpg"));
    EXPECT_FALSE(MoveFileNoReplace(dir / "a.jpg", dir / "b.jpg" + std::string("\0", 1)));
    std::string bytes;
    EXPECT_FALSE(ReadFileBytes(bad, bytes));
    EXPECT_FALSE(WriteFileAtomic(bad, "y"));
    EXPECT_THROW(SaveFileAtomic(bad, "y"), EFCreateError);
    EXPECT_THROW(TFileStream(bad, FileMode::OpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(bad, FileMode::Create), EFCreateError);
    EXPECT_FALSE(ForceDirectories(dir / "d" + std::string("\0e", 2)));
    ChildProcess child;
    EXPECT_FALSE(child.Start(std::string("/bin/true\0x", 11)));
    EXPECT_EQ(ReadAll(dir / "a.jpg"), "x");
    EXPECT_FALSE(PathExists(dir / "b.jpg"));
    EXPECT_FALSE(PathExists(dir / "d"));
}

TEST(FileSystem, ListFolderSortsAndReportsLinks) {
    TempDir dir;
    WriteAll(dir / "b.jpg", "12345");
    WriteAll(dir / ".hidden", "");
    WriteAll(dir / "B.jpg", "");
    WriteAll(dir / "\xe3\x81\x82.png", "");  // sorts after ASCII by bytes
    ASSERT_EQ(::mkdir((dir / "a").c_str(), 0755), 0);
    ASSERT_EQ(::symlink(".", (dir / "loop").c_str()), 0);
    ASSERT_EQ(::symlink("b.jpg", (dir / "c.jpg").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (dir / "dangling").c_str()), 0);

    std::vector<FolderEntry> entries;
    ASSERT_TRUE(ListFolder(dir.path(), entries));
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{".hidden", "B.jpg", "a", "b.jpg", "c.jpg", "dangling", "loop",
                                               "\xe3\x81\x82.png"}));
    auto find = [&](const std::string& n) {
        for (const auto& e : entries)
            if (e.name == n) return e;
        return FolderEntry{};
    };
    EXPECT_TRUE(find("a").isDir);
    EXPECT_FALSE(find("a").isSymlink);
    const FolderEntry loop = find("loop");
    EXPECT_TRUE(loop.isSymlink && loop.linkToDir && !loop.isDir);  // never to be walked into
    const FolderEntry link = find("c.jpg");
    EXPECT_TRUE(link.isSymlink && link.isRegular);
    EXPECT_EQ(link.size, 5);
    EXPECT_TRUE(find("b.jpg").isRegular);
    const FolderEntry dangling = find("dangling");
    EXPECT_TRUE(dangling.isSymlink && !dangling.isRegular && !dangling.linkToDir);

    EXPECT_FALSE(ListFolder(dir / "missing", entries));
    EXPECT_TRUE(entries.empty());
}

TEST(FileSystem, ForceDirectories) {
    TempDir dir;
    EXPECT_TRUE(ForceDirectories(dir / "x/y/z/"));
    EXPECT_TRUE(DirectoryExists(dir / "x/y/z"));
    EXPECT_TRUE(ForceDirectories(dir / "x/y"));  // exists already
    WriteAll(dir / "file", "");
    EXPECT_FALSE(ForceDirectories(dir / "file/sub"));
    EXPECT_FALSE(ForceDirectories(""));
}

TEST(FileSystem, RenameNeverReplaces) {
    TempDir dir;
    WriteAll(dir / "from", "new");
    WriteAll(dir / "to", "old");
    std::string error;
    EXPECT_FALSE(RenameNoReplace(dir / "from", dir / "to", &error));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadAll(dir / "to"), "old");
    EXPECT_EQ(ReadAll(dir / "from"), "new");
    EXPECT_TRUE(RenameNoReplace(dir / "from", dir / "free"));
    EXPECT_FALSE(PathExists(dir / "from"));
    EXPECT_EQ(ReadAll(dir / "free"), "new");
}

// Checks one move from folder a to folder b (same or other file system).
void CheckMoveFamily(const std::string& a, const std::string& b) {
    WriteAll(a + "src.jpg", std::string(300000, 'p'));
    ASSERT_EQ(::chmod((a + "src.jpg").c_str(), 0640), 0);
    const struct timespec times[2] = {{1600000000, 0}, {1600000000, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (a + "src.jpg").c_str(), times, 0), 0);
    WriteAll(b + "taken.jpg", "keep me");

    // Onto an existing file: refused, both untouched.
    EXPECT_FALSE(MoveFileNoReplace(a + "src.jpg", b + "taken.jpg"));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadAll(b + "taken.jpg"), "keep me");
    EXPECT_TRUE(FileExists(a + "src.jpg"));

    // Into a missing folder: refused, source kept, nothing half-made.
    EXPECT_FALSE(MoveFileNoReplace(a + "src.jpg", b + "nofolder/x.jpg"));
    EXPECT_TRUE(FileExists(a + "src.jpg"));

    ASSERT_TRUE(MoveFileNoReplace(a + "src.jpg", b + "moved.jpg"));
    EXPECT_FALSE(PathExists(a + "src.jpg"));
    EXPECT_EQ(ReadAll(b + "moved.jpg"), std::string(300000, 'p'));
    struct stat st {};
    ASSERT_EQ(::stat((b + "moved.jpg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1600000000);

    // Copy: never over an existing file.
    EXPECT_FALSE(CopyFileNoReplace(b + "moved.jpg", b + "taken.jpg"));
    EXPECT_EQ(ReadAll(b + "taken.jpg"), "keep me");
    ASSERT_TRUE(CopyFileNoReplace(b + "moved.jpg", a + "copy.jpg"));
    EXPECT_EQ(ReadAll(a + "copy.jpg"), ReadAll(b + "moved.jpg"));
    EXPECT_TRUE(FileExists(b + "moved.jpg"));
}

TEST(FileSystem, MoveWithinOneFileSystem) {
    TempDir a, b;
    CheckMoveFamily(a.path(), b.path());
}

TEST(FileSystem, MoveAcrossFileSystemsSimulated) {
    TempDir a, b;
    SetSimulateCrossDevice(true);
    CheckMoveFamily(a.path(), b.path());
    // A symbolic link is moved as a link.
    ASSERT_EQ(::symlink("target-name", (a / "lnk").c_str()), 0);
    EXPECT_TRUE(MoveFileNoReplace(a / "lnk", b / "lnk"));
    char buf[64] = {};
    EXPECT_EQ(::readlink((b / "lnk").c_str(), buf, sizeof buf - 1), 11);
    EXPECT_STREQ(buf, "target-name");
    // A folder is not copied.
    ASSERT_EQ(::mkdir((a / "d").c_str(), 0755), 0);
    EXPECT_FALSE(MoveFileNoReplace(a / "d", b / "d"));
    EXPECT_TRUE(DirectoryExists(a / "d"));
    EXPECT_FALSE(PathExists(b / "d"));
    SetSimulateCrossDevice(false);
}

TEST(FileSystem, MoveAcrossRealFileSystems) {
    struct stat shm {}, tmp {};
    if (::stat("/dev/shm", &shm) != 0 || ::access("/dev/shm", W_OK) != 0 ||
        ::stat(std::filesystem::temp_directory_path().c_str(), &tmp) != 0 || shm.st_dev == tmp.st_dev)
        GTEST_SKIP() << "no second file system at hand (the simulated test covers the copy path)";
    TempDir a, b("/dev/shm");
    CheckMoveFamily(a.path(), b.path());
}

TEST(FileSystem, WriteFileAtomic) {
    TempDir dir;
    const std::string path = dir / "p.ovp";
    EXPECT_TRUE(WriteFileAtomic(path, "one"));
    EXPECT_EQ(ReadAll(path), "one");
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    EXPECT_TRUE(WriteFileAtomic(path, std::string("two\0bytes", 9)));
    EXPECT_EQ(ReadAll(path), std::string("two\0bytes", 9));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    // Through a link: the target changes, the link stays a link.
    ASSERT_EQ(::symlink("p.ovp", (dir / "via").c_str()), 0);
    EXPECT_TRUE(WriteFileAtomic(dir / "via", "three"));
    EXPECT_EQ(ReadAll(path), "three");
    ASSERT_EQ(::lstat((dir / "via").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    // Without following: the link itself is replaced, its target kept.
    SaveFileAtomic(dir / "via", "four", TLinks::NoFollow);
    EXPECT_EQ(ReadAll(path), "three");
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(dir / "via", bytes, nullptr, -1, TLinks::NoFollow) && bytes == "four");

    EXPECT_THROW(SaveFileAtomic(dir / "missing/p.ovp", "x"), EFCreateError);
    const std::string longName = dir / (std::string(250, 'n') + ".ini");  // near the name limit
    EXPECT_TRUE(WriteFileAtomic(longName, "long"));
    EXPECT_EQ(ReadAll(longName), "long");
    EXPECT_EQ(ListFolder(dir.path()).size(), 3u);  // no temporary files left
}

// A failed write is told apart from a failed creation, keeps the old file
// and leaves no temporary file; the raising form names the path and reason.
TEST(FileSystem, WriteFileAtomicFailures) {
    TempDir dir;
    const std::string path = dir / "p.ovp";
    std::string error;
    TAtomicWriteFailure failure = TAtomicWriteFailure::Write;
    EXPECT_FALSE(WriteFileAtomic(dir / "missing/p.ovp", "x", &error, &failure));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(failure, TAtomicWriteFailure::Create);
    EXPECT_EQ(error, dir / "missing/p.ovp: " + std::strerror(ENOENT));

    // A file size limit stands in for a full disk: write fails with EFBIG.
    ASSERT_TRUE(WriteFileAtomic(path, "old"));
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = WriteFileAtomic(path, std::string(64, 'n'), nullptr, &failure);
    const int cause = errno;
    std::string message;
    try {
        SaveFileAtomic(path, std::string(64, 'n'));
    } catch (const EWriteError& e) {
        message = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(cause, EFBIG);
    EXPECT_EQ(failure, TAtomicWriteFailure::Write);
    EXPECT_EQ(message, "ファイル \"" + path + "\". " + std::strerror(EFBIG) + " に書き込めません");
    EXPECT_EQ(ReadAll(path), "old");
    EXPECT_EQ(ListFolder(dir.path()).size(), 1u);
}

// A save through a link, or onto a name, that holds a pipe or a device never
// turns it into a regular file; nothing is written.
TEST(FileSystem, WriteFileAtomicReplacesOnlyRegularFiles) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    std::vector<std::string> names = {"pipe"};
    if (::mknod((dir / "dev").c_str(), S_IFCHR | 0600, ::makedev(1, 3)) == 0) names.push_back("dev");
    for (const std::string& name : names) {
        ASSERT_EQ(::symlink(name.c_str(), (dir / (name + ".ovp")).c_str()), 0);
        for (const std::string& path : {dir / name, dir / (name + ".ovp")}) {
            SCOPED_TRACE(path);
            EXPECT_FALSE(WriteFileAtomic(path, "x"));
            EXPECT_EQ(errno, ENXIO);
            EXPECT_THROW(SaveFileAtomic(path, "x"), EFCreateError);
        }
        struct stat st {};
        ASSERT_EQ(::lstat((dir / name).c_str(), &st), 0);
        EXPECT_FALSE(S_ISREG(st.st_mode));
    }
    ASSERT_EQ(::symlink("nowhere", (dir / "dangling").c_str()), 0);
    EXPECT_FALSE(WriteFileAtomic(dir / "dangling", "x"));
    EXPECT_FALSE(WriteFileAtomic(dir.path(), "x"));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(ListFolder(dir.path()).size(), 2 * names.size() + 1);  // no temporary file
}

// The one owner of a descriptor: moves hand it on, it is closed once, and
// closing on the way out of a failure keeps errno.
TEST(FileHandle, OwnsOneDescriptor) {
    TempDir dir;
    TFileHandle a(::open((dir / "f").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_TRUE(a.Valid());
    const int fd = a.Get();
    EXPECT_TRUE(a.WriteAll("abc", 3));
    TFileHandle b(std::move(a));
    EXPECT_FALSE(a.Valid());
    EXPECT_EQ(b.Get(), fd);
    {
        TFileHandle c;
        c = std::move(b);
        EXPECT_FALSE(b);
        errno = ENOSPC;
    }
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);  // closed when its owner went
    EXPECT_EQ(ReadAll(dir / "f"), "abc");

    TFileHandle d(::open((dir / "f").c_str(), O_RDONLY | O_CLOEXEC));
    EXPECT_TRUE(d.Close());
    EXPECT_TRUE(d.Close());  // nothing held any more
    EXPECT_FALSE(d.WriteAll("x", 1));
    EXPECT_FALSE(TFileHandle(-5).Valid());
}

TEST(FileSystem, DocumentsDir) {
    TempDir home;
    test::ScopedEnv h("HOME", ExcludeTrailingPathDelimiter(home.path()));
    test::ScopedEnv c("XDG_CONFIG_HOME", home / "cfg");
    EXPECT_EQ(DocumentsDir(), home.path());  // nothing configured, no Documents
    ASSERT_EQ(::mkdir((home / "Documents").c_str(), 0755), 0);
    EXPECT_EQ(DocumentsDir(), home / "Documents/");
    ASSERT_EQ(::mkdir((home / "cfg").c_str(), 0755), 0);
    WriteAll(home / "cfg/user-dirs.dirs", "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/文書\"\n");
    EXPECT_EQ(DocumentsDir(), home / "文書/");
    WriteAll(home / "cfg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n");
    EXPECT_EQ(DocumentsDir(), "/srv/docs/");
}

TEST(FileSystem, PrivateTempDirAndSameFile) {
    const std::string tmp = PrivateTempDir();
    ASSERT_EQ(tmp.back(), '/');
    struct stat st {};
    ASSERT_EQ(::lstat(tmp.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, ::getuid());
    EXPECT_EQ(PrivateTempDir(), tmp);

    TempDir dir;
    WriteAll(dir / "f", "");
    ASSERT_EQ(::link((dir / "f").c_str(), (dir / "hard").c_str()), 0);
    WriteAll(dir / "g", "");
    EXPECT_TRUE(SameFile(dir / "f", dir / "hard"));
    EXPECT_FALSE(SameFile(dir / "f", dir / "g"));
    EXPECT_FALSE(SameFile(dir / "f", dir / "missing"));
}

// The work folder's own files are never reached through a link: a link
// under a name is refused for reading and creating, and replaced itself.
// A folder others may write into, or another user's, is not used at all.
TEST(WorkFolder, NoLinkIsFollowedAndOnlyAPrivateFolderServes) {
    TempDir dir;
    const std::string own = dir.path() + "own.txt";
    WriteAll(own, "mine");
    const std::string work = dir.path() + "work/";
    ASSERT_EQ(::mkdir(work.c_str(), 0700), 0);
    ASSERT_EQ(::symlink(own.c_str(), (work + "~OVTMP.Lst").c_str()), 0);
    ASSERT_EQ(::symlink((dir.path() + "none").c_str(), (work + "~OVTMP1.BMP").c_str()), 0);
    TWorkFolder folder(work, false);
    ASSERT_TRUE(folder.Ready());
    std::string bytes;
    EXPECT_FALSE(folder.ReadWhole("~OVTMP.Lst", bytes));
    EXPECT_FALSE(folder.OpenAppend("~OVTMP.Lst").Valid());
    EXPECT_FALSE(folder.CreateNew("~OVTMP1.BMP").Valid());
    EXPECT_FALSE(PathExists(dir.path() + "none"));
    EXPECT_FALSE(folder.ReadWhole("../own.txt", bytes));
    EXPECT_TRUE(folder.Replace("~OVTMP.Lst", "index"));
    EXPECT_EQ(ReadAll(own), "mine");
    EXPECT_EQ(ReadAll(work + "~OVTMP.Lst"), "index");
    EXPECT_EQ(ListFolder(work).size(), 2u);

    for (const mode_t mode : {0770, 0707}) {
        ASSERT_EQ(::chmod(work.c_str(), mode), 0);
        EXPECT_EQ(TWorkFolder(work, false).State(), TWorkFolder::TState::NotPrivate) << std::oct << mode;
    }
    ASSERT_EQ(::chmod(work.c_str(), 0755), 0);
    EXPECT_TRUE(TWorkFolder(work, false).Ready());
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(work.c_str(), 65534, 65534), 0);
        EXPECT_EQ(TWorkFolder(work, false).State(), TWorkFolder::TState::NotPrivate);
    }
    EXPECT_EQ(TWorkFolder(dir.path() + "missing/", false).State(), TWorkFolder::TState::Missing);
    // A link placed under the default folder's name is not taken for it.
    ASSERT_EQ(::symlink(work.c_str(), (dir.path() + "default").c_str()), 0);
    EXPECT_EQ(TWorkFolder(dir.path() + "default/", true).State(), TWorkFolder::TState::Missing);
}

}  // namespace
}  // namespace orv
