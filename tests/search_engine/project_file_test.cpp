#include "search/engine/project_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

#include "platform/base/errors.h"
#include "platform/base/file_system.h"
#include "persist_golden.h"
#include "tests/support/le_bytes.h"
#include "tests/support/temp_dir.h"

namespace orv {
namespace {

using test::ReadAll;
using test::TempDir;
using test::WriteAll;

using test::ExpectSameProject;
using test::GoldenProject;
using test::kGoldenProgress;
const std::string& kData = test::kPersistData;

// Limits the size of files this process may write, so a write fails as it
// would on a full disk (root ignores permissions, not this limit).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, old_handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*old_handler_)(int) = nullptr;
};

std::size_t FilesIn(const std::string& dir) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(ProjectFile, WritesTheGoldenBytesAndReadsThemBack) {
    EXPECT_EQ(EncodeProjectFile(GoldenProject()), ReadAll(kData + "project.ovp"));
    EXPECT_EQ(EncodeProgressList(kGoldenProgress), ReadAll(kData + "project.ovl"));

    TempDir dir;
    const std::string path = dir / "p.ovp";
    SaveProjectFiles(path, GoldenProject(), kGoldenProgress);
    EXPECT_EQ(ReadAll(path), ReadAll(kData + "project.ovp"));
    EXPECT_EQ(ReadAll(dir / "p.ovl"), ReadAll(kData + "project.ovl"));
    EXPECT_EQ(FilesIn(dir.path()), 2u);  // no temporary file left

    const TProjectData read = ReadProjectFile(path);
    ExpectSameProject(read, GoldenProject());
    EXPECT_TRUE(read.Refused.empty());
    EXPECT_EQ(ReadProgressList(ProgressListPath(path)), kGoldenProgress);
    EXPECT_EQ(ReadProjectFiles(path).Progress, kGoldenProgress);

    // A damaged progress list fails the whole open; a missing one is empty.
    WriteAll(dir / "p.ovl", ReadAll(kData + "project.ovl").substr(0, 20));
    EXPECT_THROW(ReadProjectFiles(path), EReadError);
    std::filesystem::remove(dir / "p.ovl");
    const TProjectFiles files = ReadProjectFiles(path);
    EXPECT_TRUE(files.Progress.empty());
    ExpectSameProject(files.Project, GoldenProject());
}

TEST(ProjectFile, EmptyProjectStoresMinusOneCounts) {
    const std::string bytes = EncodeProjectFile(TProjectData{});
    // -1 sources, -1 targets, five -1 radios, two flags, "" move folder, -1 rows.
    std::string expected;
    const auto i32 = [&](std::int32_t v) { expected += test::Le32(static_cast<std::uint32_t>(v)); };
    for (int i = 0; i < 7; ++i) i32(-1);
    i32(0);
    i32(0);
    expected += std::string("\x01\x00\x00", 3);
    i32(-1);
    EXPECT_EQ(bytes, expected);
    ExpectSameProject(DecodeProjectFile(bytes), TProjectData{});
    EXPECT_EQ(EncodeProgressList({}), std::string(4, '\0'));
    EXPECT_TRUE(DecodeProgressList(std::string(4, '\0')).empty());
}

TEST(ProjectFile, EveryTruncationOrExtraByteIsDamage) {
    for (const char* name : {"project.ovp", "project.ovl"}) {
        const std::string golden = ReadAll(kData + name);
        const bool isProject = std::string(name) == "project.ovp";
        for (std::size_t n = 0; n < golden.size(); ++n) {
            const std::string_view cut(golden.data(), n);
            if (isProject)
                EXPECT_THROW(DecodeProjectFile(cut), EReadError) << name << " cut to " << n;
            else
                EXPECT_THROW(DecodeProgressList(cut), EReadError) << name << " cut to " << n;
        }
        const std::string longer = golden + '\0';
        if (isProject)
            EXPECT_THROW(DecodeProjectFile(longer), EReadError);
        else
            EXPECT_THROW(DecodeProgressList(longer), EReadError);
    }
}

TEST(ProjectFile, HostileCountsAndStringsRaiseBeforeAllocating) {
    const std::string golden = ReadAll(kData + "project.ovp");
    const auto patched = [&](std::size_t at, std::string bytes) {
        std::string out = golden;
        out.replace(at, bytes.size(), bytes);
        return out;
    };
    EXPECT_THROW(DecodeProjectFile(patched(0, std::string("\xff\xff\xff\x7f", 4))), EReadError);  // huge count
    EXPECT_THROW(DecodeProjectFile(patched(0, std::string("\xfe\xff\xff\xff", 4))), EReadError);  // below -1
    EXPECT_THROW(DecodeProjectFile(patched(0, std::string("\x00\x00\x00\x80", 4))), EReadError);  // INT32_MIN
    EXPECT_THROW(DecodeProjectFile(patched(4, std::string("\xff\xff", 2))), EReadError);          // string length
    EXPECT_THROW(DecodeProjectFile(patched(4, std::string("\x00\x00", 2))), EReadError);          // no terminator
    // Row count: the int32 right after the move folder.
    TProjectData noRows = GoldenProject();
    noRows.LogRows.clear();
    const std::size_t rowsAt = EncodeProjectFile(noRows).size() - 4;
    ASSERT_EQ(golden.substr(rowsAt, 4), std::string("\x01\x00\x00\x00", 4));
    EXPECT_THROW(DecodeProjectFile(patched(rowsAt, std::string("\x00\x00\x00\x10", 4))), EReadError);

    EXPECT_THROW(DecodeProgressList(std::string("\xff\xff\xff\xff", 4)), EReadError);
    EXPECT_THROW(DecodeProgressList(std::string("\x00\x00\x01\x00", 4)), EReadError);
    // Bytes that are not code page 932 text.
    EXPECT_THROW(DecodeProgressList(std::string("\x01\x00\x00\x00\x03\x00\x81\x00\x00", 9)), EReadError);
}

TEST(ProjectFile, PathsThatCannotBeStoredAreRefused) {
    TProjectData p = GoldenProject();
    p.Sources.push_back("/pics/tab\there.jpg");
    EXPECT_THROW(EncodeProjectFile(p), EConvertError);
    p = GoldenProject();
    p.Handling.TgtDir = "/bad\xFF/";  // not UTF-8
    EXPECT_THROW(EncodeProjectFile(p), EConvertError);
    p = GoldenProject();
    p.LogRows[1][5] = "/pics/line\nbreak.png";
    try {
        EncodeProjectFile(p);
        ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(std::string(e.what()), "/pics/line\\x0Abreak.pngは使用できない文字を含むため処理できません");
    }
    EXPECT_THROW(EncodeProgressList({"/a\x7f.jpg"}), EConvertError);

    // A file made elsewhere holding such paths loads without them, naming each.
    TProjectData hostile = GoldenProject();
    hostile.Sources.push_back("/ok.jpg");
    hostile.Targets = {"/x/y.jpg"};
    std::string bytes = EncodeProjectFile(hostile);
    const auto corrupt = [&](const std::string& from, const std::string& to) {
        const std::size_t at = bytes.find(from);
        ASSERT_NE(at, std::string::npos);
        bytes.replace(at, from.size(), to);
    };
    corrupt("/ok.jpg", "/o\t.jpg");  // same lengths: only the text changes
    corrupt("/x/y.jpg", "/x/\r.jpg");
    corrupt("/pics/c.png", "/pics/\x01.png");
    const TProjectData read = DecodeProjectFile(bytes);
    EXPECT_EQ(read.Sources, GoldenProject().Sources);
    EXPECT_TRUE(read.Targets.empty());
    ASSERT_EQ(read.LogRows.size(), 1u);
    EXPECT_EQ(read.Refused, (std::vector<std::string>{"/o\t.jpg", "/x/\r.jpg", "/pics/\x01.png"}));
}

TEST(ProjectFile, FailedSaveKeepsTheOldProject) {
    TempDir dir;
    const std::string path = dir / "p.ovp";
    SaveProjectFiles(path, GoldenProject(), kGoldenProgress);
    const std::string oldProject = ReadAll(path), oldProgress = ReadAll(dir / "p.ovl");

    TProjectData bigger = GoldenProject();
    bigger.Targets.assign(100, "/pics/target-with-a-long-name.jpg");
    {
        FileSizeLimit limit(64);
        EXPECT_ANY_THROW(SaveProjectFiles(path, bigger, {}));
    }
    // Neither file changed: the empty record did not remove the old progress
    // list either, since the project itself was not written.
    EXPECT_EQ(ReadAll(path), oldProject);
    EXPECT_EQ(ReadAll(dir / "p.ovl"), oldProgress);
    EXPECT_EQ(FilesIn(dir.path()), 2u);

    // A text that cannot be stored writes nothing at all.
    TProjectData bad = bigger;
    bad.Handling.TgtDir = "/bad\t/";
    EXPECT_THROW(SaveProjectFiles(path, bad, {}), EConvertError);
    EXPECT_EQ(ReadAll(path), oldProject);
    EXPECT_THROW(SaveProjectFiles(path, bigger, {"/bad\n"}), EConvertError);
    EXPECT_EQ(ReadAll(path), oldProject);

    EXPECT_ANY_THROW(SaveProjectFiles(dir / "missing/p.ovp", GoldenProject(), kGoldenProgress));
}

TEST(ProjectFile, EmptyProgressRecordRemovesTheOldList) {
    TempDir dir;
    const std::string path = dir / "p.ovp";
    SaveProjectFiles(path, GoldenProject(), kGoldenProgress);
    SaveProjectFiles(path, GoldenProject(), {});
    EXPECT_FALSE(PathExists(dir / "p.ovl"));
    EXPECT_TRUE(FileExists(path));

    // A progress list that cannot be removed is a failed save, not a silent
    // leftover that would come back on the next open.
    std::filesystem::create_directories(dir / "p.ovl/inside");
    EXPECT_ANY_THROW(SaveProjectFiles(path, GoldenProject(), {}));

    // The file errors name the path once, then the system's reason.
    try {
        ReadProjectFile(dir / "none.ovp");
        ADD_FAILURE() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "ファイル \"" + (dir / "none.ovp") + "\". " + std::strerror(ENOENT) + " は開けません");
    }
    try {
        SaveProjectFiles(dir / "no/p.ovp", GoldenProject(), {});
        ADD_FAILURE() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()), "ファイル \"" + (dir / "no/p.ovp") + "\". " + std::strerror(ENOENT) + " を作成できません");
    }
    EXPECT_THROW(ReadProgressList(dir / "p.ovl"), EFOpenError);  // a folder
    ASSERT_EQ(::mkfifo((dir / "fifo.ovp").c_str(), 0600), 0);
    EXPECT_THROW(ReadProjectFile(dir / "fifo.ovp"), EFOpenError);
    EXPECT_EQ(ProgressListPath("/a/b.c/name.ovp"), "/a/b.c/name.ovl");
}

}  // namespace
}  // namespace orv
