#include "platform/base/stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "platform/base/errors.h"
#include "tests/support/temp_dir.h"

namespace orv {
namespace {

TEST(MemoryStream, ReadCountsAndExactReads) {
    TMemoryStream s(std::vector<std::uint8_t>{1, 2, 3, 4, 5});
    std::uint8_t buf[8] = {};
    EXPECT_EQ(s.Read(buf, 3), 3u);
    EXPECT_EQ(s.Remaining(), 2);
    EXPECT_EQ(s.Read(buf, 8), 2u);  // plain read returns what it got
    EXPECT_EQ(s.Read(buf, 1), 0u);
    s.SetPosition(3);
    EXPECT_THROW(s.ReadBuffer(buf, 3), EReadError);  // exact read raises
    EXPECT_THROW(s.Seek(-1, SeekOrigin::Beginning), EStreamError);
    s.Seek(100, SeekOrigin::Beginning);  // past the end is allowed, reads nothing
    EXPECT_EQ(s.Read(buf, 1), 0u);
    EXPECT_EQ(s.Remaining(), 0);
}

TEST(MemoryStream, WriteGrowsAndOverwrites) {
    TMemoryStream s;
    s.WriteBuffer("abcd", 4);
    s.SetPosition(2);
    s.WriteBuffer("XYZ", 3);
    ASSERT_EQ(s.Size(), 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), 5), "abXYZ");
    s.Seek(std::numeric_limits<std::int64_t>::max() - 1, SeekOrigin::Beginning);
    EXPECT_THROW(s.WriteBuffer("abcd", 4), EWriteError);  // refused, not wrapped
    EXPECT_EQ(s.Size(), 5);
}

TEST(FileStream, RoundTripAndOpenErrors) {
    const test::TempDir tmp;
    const std::filesystem::path dir = tmp.path();
    const std::string path = (dir / "f.bin").string();
    {
        TFileStream f(path, FileMode::Create);
        f.WriteBuffer("hello", 5);
        EXPECT_EQ(f.Size(), 5);
    }
    TMemoryStream m;
    m.LoadFromFile(path);
    EXPECT_EQ(m.Size(), 5);
    EXPECT_THROW(TFileStream((dir / "missing").string(), FileMode::OpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(dir.string(), FileMode::OpenRead), EFOpenError);
    EXPECT_THROW(TFileStream((dir / "no" / "x").string(), FileMode::Create), EFCreateError);
}

}  // namespace
}  // namespace orv
