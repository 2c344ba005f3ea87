#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "filer/core/file_utils.h"
#include "filer/core/pair_image.h"
#include "platform/base/file_system.h"
#include "platform/base/stream.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"
#include "tests/support/temp_dir.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

class FileUtilsTest : public ::testing::Test {
protected:
    void TearDown() override { SetSimulateCrossDevice(false); }
    std::string Make(const std::string& rel, const std::string& content = "data") {
        const fs::path p = root_ + rel;
        fs::create_directories(p.parent_path());
        test::WriteAll(p.string(), content);
        return p.string();
    }

    const test::TempDir tmp_;
    const std::string root_ = tmp_.path();
};

TEST_F(FileUtilsTest, MoveRenamesOnClashes) {
    const std::string src = Make("src/a.jpg", "new");
    Make("dst/a.jpg", "old");
    Make("dst/[0]a.jpg", "old0");
    ASSERT_TRUE(MoveCopyFile(src, root_ + "dst", true));
    EXPECT_FALSE(fs::exists(src));
    EXPECT_EQ(test::ReadAll(root_ + "dst/[1]a.jpg"), "new");
    EXPECT_EQ(test::ReadAll(root_ + "dst/a.jpg"), "old");
    EXPECT_EQ(test::ReadAll(root_ + "dst/[0]a.jpg"), "old0");

    // With and without the delimiter the destination is the same.
    const std::string b1 = Make("src/b.jpg", "b1");
    ASSERT_TRUE(MoveCopyFile(b1, root_ + "dst2/", true));
    const std::string b2 = Make("src/b.jpg", "b2");
    ASSERT_TRUE(MoveCopyFile(b2, root_ + "dst2", true));
    EXPECT_EQ(test::ReadAll(root_ + "dst2/b.jpg"), "b1");
    EXPECT_EQ(test::ReadAll(root_ + "dst2/[0]b.jpg"), "b2");

    // Names are split at the last '/' only.
    const std::string odd = Make("src/a\\b:c.jpg", "odd");
    ASSERT_TRUE(MoveCopyFile(odd, root_ + "dst", true));
    EXPECT_EQ(test::ReadAll(root_ + "dst/a\\b:c.jpg"), "odd");
}

TEST_F(FileUtilsTest, CopyKeepsTheSourceAndMissingFoldersAreCreated) {
    const std::string src = Make("src/c.png", "pixels");
    ASSERT_TRUE(MoveCopyFile(src, root_ + "x/y", false));
    EXPECT_EQ(test::ReadAll(src), "pixels");
    EXPECT_EQ(test::ReadAll(root_ + "x/y/c.png"), "pixels");
}

TEST_F(FileUtilsTest, NameTakenAfterTheTestIsNotReplaced) {
    // A folder under the chosen name is not "a file that exists", so the name
    // is chosen, and the no-replace move meets it exactly as it would meet a
    // file created by someone else after the test.
    const std::string src = Make("src/d.jpg", "mine");
    fs::create_directories(root_ + "dst/d.jpg");
    Make("dst/d.jpg/inside", "keep");
    ASSERT_TRUE(MoveCopyFile(src, root_ + "dst", true));
    EXPECT_EQ(test::ReadAll(root_ + "dst/[0]d.jpg"), "mine");
    EXPECT_EQ(test::ReadAll(root_ + "dst/d.jpg/inside"), "keep");

    // The same across file systems, where the move is a copy.
    SetSimulateCrossDevice(true);
    const std::string e = Make("src/e.jpg", "cross");
    fs::create_directories(root_ + "dst/e.jpg");
    ASSERT_TRUE(MoveCopyFile(e, root_ + "dst", true));
    EXPECT_FALSE(fs::exists(e));
    EXPECT_EQ(test::ReadAll(root_ + "dst/[0]e.jpg"), "cross");
    EXPECT_TRUE(fs::is_directory(root_ + "dst/e.jpg"));
}

TEST_F(FileUtilsTest, MoveAcrossFileSystems) {
    struct stat a {}, b {};
    std::string other = "/dev/shm/";
    const bool realDevices = ::stat(root_.c_str(), &a) == 0 && ::stat(other.c_str(), &b) == 0 &&
                             a.st_dev != b.st_dev && ::access(other.c_str(), W_OK) == 0;
    if (!realDevices) SetSimulateCrossDevice(true);
    std::optional<test::TempDir> far;
    if (realDevices) far.emplace(other);
    const std::string folder = far ? far->path() : root_ + "other/";
    const std::string src = Make("src/f.tif", "far");
    test::WriteAll(folder + "f.tif", "there");
    ASSERT_TRUE(MoveCopyFile(src, folder, true));
    EXPECT_FALSE(fs::exists(src));
    EXPECT_EQ(test::ReadAll(folder + "f.tif"), "there");
    EXPECT_EQ(test::ReadAll(folder + "[0]f.tif"), "far");
}

TEST_F(FileUtilsTest, RefusesBadArgumentsBeforeTouchingAnything) {
    const std::string src = Make("src/g.jpg");
    EXPECT_FALSE(MoveCopyFile(src, "", true));
    EXPECT_FALSE(MoveCopyFile(src, "relative/dir", true));
    EXPECT_FALSE(MoveCopyFile("", root_ + "dst", true));
    EXPECT_FALSE(MoveCopyFile("g.jpg", root_ + "dst", true));
    EXPECT_FALSE(MoveCopyFile(root_ + "src/", root_ + "dst", true));
    EXPECT_FALSE(MoveCopyFile(root_ + "src/missing.jpg", root_ + "dst", true));
    EXPECT_FALSE(fs::exists(root_ + "dst"));
    EXPECT_TRUE(fs::exists(src));
    EXPECT_FALSE(RemoveFile(""));
    EXPECT_FALSE(RemoveFile("src/g.jpg"));
    EXPECT_FALSE(RecycleFile("src/g.jpg"));
    EXPECT_TRUE(fs::exists(src));
}

TEST_F(FileUtilsTest, RemoveNeedsNoWritePermissionOfTheFile) {
    const std::string path = Make("ro.jpg");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    EXPECT_TRUE(RemoveFile(path));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(RemoveFile(path));
    fs::create_directories(root_ + "folder");
    EXPECT_FALSE(RemoveFile(root_ + "folder"));
    EXPECT_TRUE(fs::is_directory(root_ + "folder"));
}

TEST_F(FileUtilsTest, NoActionTouchesAPipeOrADevice) {
    std::vector<std::string> paths = {root_ + "pipe.jpg"};
    ASSERT_EQ(::mkfifo(paths[0].c_str(), 0600), 0);
    if (::mknod((root_ + "dev.jpg").c_str(), S_IFCHR | 0600, ::makedev(1, 3)) == 0) paths.push_back(root_ + "dev.jpg");
    for (const std::string& path : paths) {
        EXPECT_FALSE(RemoveFile(path)) << path;
        EXPECT_FALSE(MoveCopyFile(path, root_ + "dst", true)) << path;
        EXPECT_TRUE(fs::exists(fs::symlink_status(path))) << path;
    }
}

TEST_F(FileUtilsTest, RecycleGoesToTheTrashOnly) {
    // A trash of our own: GIO reads these at its first use in this process.
    const std::string data = root_ + "xdg-data";
    fs::create_directories(data);
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    ::setenv("HOME", root_.c_str(), 1);

    const std::string path = Make("photos/h.jpg", "to trash");
    ASSERT_TRUE(RecycleFile(path));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(test::ReadAll(data + "/Trash/files/h.jpg"), "to trash");

    EXPECT_FALSE(RecycleFile(root_ + "photos/missing.jpg"));
    fs::create_directories(root_ + "photos/sub");
    EXPECT_FALSE(RecycleFile(root_ + "photos/sub"));
    EXPECT_TRUE(fs::is_directory(root_ + "photos/sub"));
}

TEST_F(FileUtilsTest, PairPictureNeedsAnExistingFile) {
    RegisterStandardPictures();
    TBitmap bmp;
    bmp.SetSize(3, 2);
    EXPECT_FALSE(LoadPairPicture(root_ + "none.bmp", bmp));
    EXPECT_EQ(bmp.Width(), 3);
    fs::create_directories(root_ + "dir.bmp");
    EXPECT_FALSE(LoadPairPicture(root_ + "dir.bmp", bmp));
    EXPECT_EQ(bmp.Width(), 3);

    TBitmap src;
    src.SetPixelFormat(TPixelFormat::pf24bit);
    src.SetSize(5, 4);
    TMemoryStream stream;
    src.SaveToStream(stream);
    stream.SaveToFile(root_ + "ok.bmp");
    ASSERT_TRUE(LoadPairPicture(root_ + "ok.bmp", bmp));
    EXPECT_EQ(bmp.Width(), 5);
    EXPECT_EQ(bmp.Height(), 4);
}

}  // namespace
}  // namespace orv
