#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <fstream>
#include <limits>

#include "engine_test_util.h"
#include "platform/base/errors.h"
#include "platform/base/stream.h"
#include "search/engine/signature.h"
#include "search/engine/signature_index.h"
#include "tests/support/le_bytes.h"
#include "tests/support/stored_text.h"

namespace orv {
namespace {

using test::PutLe;

// A record built field by field as the index format lays it out.
std::string HandRecord(const std::string& storedPath, double date, std::int32_t size, std::int32_t w,
                       std::int32_t h, std::int32_t n) {
    std::string out;
    PutLe(out, storedPath.size() + 1, 2);
    out += storedPath;
    out.push_back('\0');
    PutLe(out, std::bit_cast<std::uint64_t>(date), 8);
    PutLe(out, static_cast<std::uint32_t>(size), 4);
    PutLe(out, static_cast<std::uint32_t>(w), 4);
    PutLe(out, static_cast<std::uint32_t>(h), 4);
    PutLe(out, static_cast<std::uint32_t>(n), 4);
    return out;
}

// The same record with a stamp of the current revision.
std::string CurrentRecord(const std::string& path, std::int32_t w, std::int32_t h, std::int32_t n) {
    const TFileStamp stamp{true, 0, 1, 1, 1, 1};
    return EncodeIndexRecord(path, 1, 1, w, h, n, &stamp, 1);
}

std::vector<TIndexRecord> Parse(const std::string& bytes) {
    return ParseSignatureIndex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

TEST(SignatureIndex, RecordBytesMatchTheLayout) {
    EXPECT_EQ(EncodeIndexRecord("/p/a.jpg", 45000.5, 1234, 640, 480, 99999),
              HandRecord("/p/a.jpg", 45000.5, 1234, 640, 480, 99999));
    // Japanese names are stored in code page 932: 写真/猫
    EXPECT_EQ(EncodeIndexRecord("/写真/猫.jpg", 1.0, 1, 2, 3, 4),
              HandRecord("/\x8E\xCA\x90\x5E/\x94\x4C.jpg", 1.0, 1, 2, 3, 4));
    // Sizes of 2 GiB and more keep the 32-bit field positive.
    EXPECT_EQ(EncodeIndexRecord("/big.tif", 0, std::int64_t{5} << 31, 1, 1, 0),
              HandRecord("/big.tif", 0, std::numeric_limits<std::int32_t>::max(), 1, 1, 0));
    // Names outside code page 932 are UTF-8 behind the byte-order mark.
    EXPECT_EQ(EncodeIndexRecord("/鷗😀.jpg", 1.0, 1, 2, 3, 4), HandRecord(test::Utf8Form("/鷗😀.jpg"), 1.0, 1, 2, 3, 4));
    EXPECT_THROW(EncodeIndexRecord("/\xFF.jpg", 0, 0, 1, 1, 0), EConvertError);
}

TEST(SignatureIndex, ReadsBackWhatWasWritten) {
    const std::string bytes = EncodeIndexRecord("/p/a.jpg", 45000.25, 10, 81, 10, 7) +
                              EncodeIndexRecord("/写真/猫.jpg", 45001.0, 20, 50, 30, 8);
    TMemoryStream stream(bytes.data(), bytes.size());
    const auto records = ReadSignatureIndex(stream);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Path, "/p/a.jpg");
    EXPECT_TRUE(records[0].PathValid);
    EXPECT_EQ(records[0].FileDate, 45000.25);
    EXPECT_EQ(records[0].FileSize, 10);
    EXPECT_EQ(records[0].Width, 81);
    EXPECT_EQ(records[0].Height, 10);
    EXPECT_EQ(records[0].TmpNo, 7);
    EXPECT_EQ(records[1].Path, "/写真/猫.jpg");
    EXPECT_EQ(records[1].TmpNo, 8);
    EXPECT_FALSE(records[1].Stamp.Known);
}

// The picture's stamp and the signature's inode ride behind the path's 0
// byte, inside L, after the revision; a stamp of revision 1 (no signature
// inode) is read but is not current.
TEST(SignatureIndex, AStampFollowsThePath) {
    const TFileStamp stamp{true, 9, 0x0102030405060708, std::int64_t{5} << 31, -5, 1700000000123456789};
    const std::string plain = EncodeIndexRecord("/p/a.jpg", 45000.5, 1, 2, 3, 4);
    const std::string stamped = EncodeIndexRecord("/p/a.jpg", 45000.5, 1, 2, 3, 4, &stamp, 77);
    auto withField = [&](std::uint8_t revision, bool signatureChecksum) {
        std::string field(1, static_cast<char>(revision));
        for (std::int64_t v : {std::int64_t{0x0102030405060708}, std::int64_t{5} << 31, std::int64_t{-5},
                               std::int64_t{1700000000123456789}})
            PutLe(field, static_cast<std::uint64_t>(v), 8);
        if (signatureChecksum) PutLe(field, 77, 8);
        field.push_back('\0');
        std::string out = plain;
        out.insert(2 + 9, field);
        out[0] = static_cast<char>(9 + field.size());
        return out;
    };
    EXPECT_EQ(stamped, withField(kSignatureRevision, true));
    const auto records = Parse(stamped + plain + withField(1, false));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].Path, "/p/a.jpg");
    EXPECT_TRUE(SameStamp(records[0].Stamp, TFileStamp{true, 0, stamp.Inode, stamp.Size, -5, stamp.ChangedNs}));
    EXPECT_EQ(records[0].SignatureSum, 77u);
    EXPECT_EQ(records[0].TmpNo, 4);
    EXPECT_TRUE(IsCurrentRecord(records[0]));
    EXPECT_FALSE(records[1].Stamp.Known);
    EXPECT_FALSE(IsCurrentRecord(records[1]));
    EXPECT_EQ(records[2].Revision, 1);
    EXPECT_EQ(records[2].TmpNo, 4);
    EXPECT_FALSE(IsCurrentRecord(records[2]));
}

TEST(SignatureIndex, StopsAtTheFirstDamagedRecord) {
    const std::string a = HandRecord("/a.jpg", 1, 1, 1, 1, 1);
    const std::string b = HandRecord("/b.jpg", 2, 2, 2, 2, 2);
    // Cut anywhere inside the second record: only the first stays.
    const std::string both = a + b;
    for (std::size_t cut = a.size(); cut < both.size(); ++cut) {
        const auto records = Parse(both.substr(0, cut));
        ASSERT_EQ(records.size(), 1u) << "cut at " << cut;
        EXPECT_EQ(records[0].Path, "/a.jpg");
    }
    // A zero length stops the reading; what follows is not trusted.
    EXPECT_EQ(Parse(a + std::string(2, '\0') + b).size(), 1u);
    // A path without its closing zero byte is damaged.
    std::string noZero = b;
    noZero[2 + 6] = 'x';
    EXPECT_EQ(Parse(a + noZero + a).size(), 1u);
    // A length that runs past the end.
    EXPECT_EQ(Parse(a + std::string("\xFF\xFF", 2) + b).size(), 1u);
}

TEST(SignatureIndex, PathEndsAtItsFirstZeroAndBadTextIsUnusable) {
    std::string rec = HandRecord(std::string("/a.jpg\0tail", 11), 1, 1, 1, 1, 3);
    auto records = Parse(rec);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Path, "/a.jpg");
    // Bytes in neither text form keep the structure but match nothing.
    records = Parse(HandRecord("/\x81", 1, 1, 1, 1, 4) + HandRecord(test::Utf8Form("/\xFF"), 1, 1, 1, 1, 5) + rec);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_FALSE(records[0].PathValid);
    EXPECT_FALSE(records[1].PathValid);
    EXPECT_TRUE(records[2].PathValid);
}

TEST(SignatureIndex, ANumberBelongsToItsLatestRecord) {
    std::vector<TIndexRecord> records = Parse(
        HandRecord("/old.jpg", 1, 1, 10, 10, 5) + HandRecord("/x.jpg", 1, 1, 10, 10, 6) +
        HandRecord("/new.jpg", 1, 1, 20, 20, 5) + HandRecord("/x.jpg", 1, 1, 10, 10, 7));
    DropSupersededRecords(records);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].Path, "/x.jpg");
    EXPECT_EQ(records[0].TmpNo, 6);
    EXPECT_EQ(records[1].Path, "/new.jpg");
    EXPECT_EQ(records[2].TmpNo, 7);
}

TEST(SignatureIndex, LiveRecordsAreTheLatestOfTheirPathAndNumber) {
    const std::vector<TIndexRecord> records =
        Parse(CurrentRecord("/a.jpg", 10, 10, 5) + CurrentRecord("/b.jpg", 10, 10, 5) +
              CurrentRecord("/b.jpg", 10, 10, 6) + CurrentRecord("/c.jpg", 10, 10, 7) +
              CurrentRecord("/d.jpg", 0, 10, 8) + HandRecord("/\x81", 1, 1, 10, 10, 7) +
              HandRecord("/e.jpg", 1, 1, 10, 10, 9));
    // b's number 5 still shows that a's file had gone when b got it, even
    // though b's own record of it is dead too; c's number went to a record
    // whose path cannot be read; e's has no stamp, so no run reuses it.
    const std::vector<TIndexRecord> live = LiveIndexRecords(records);
    ASSERT_EQ(live.size(), 1u);
    EXPECT_EQ(live[0].Path, "/b.jpg");
    EXPECT_EQ(live[0].TmpNo, 6);
}

TEST(SignatureIndex, BmpSizeOfHeadersBeyondTheFile) {
    test::TempDir dir;
    const std::string path = dir.path() + "s.bmp";
    auto header = [&](std::int32_t w, std::int32_t h) {
        std::string bytes = "BM";
        PutLe(bytes, 54 + 12, 4);
        PutLe(bytes, 0, 4);
        PutLe(bytes, 54, 4);
        PutLe(bytes, 40, 4);
        PutLe(bytes, static_cast<std::uint32_t>(w), 4);
        PutLe(bytes, static_cast<std::uint32_t>(h), 4);
        PutLe(bytes, 1, 2);
        PutLe(bytes, 24, 2);
        bytes.append(24 + 12, '\0');
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    };
    std::int32_t w = 0, h = 0;
    header(2, -2);  // two rows of 8 bytes need more than the 12 bytes there
    EXPECT_FALSE(SignatureBmpSize(test::ReadAll(path), w, h));
    header(2, 1);
    ASSERT_TRUE(SignatureBmpSize(test::ReadAll(path), w, h));
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 1);
    for (const auto& [cw, ch] : {std::pair{0x7FFFFFFF, 0x7FFFFFFF}, std::pair{0x7FFFFFFF, -0x7FFFFFFF},
                                 std::pair{1, 0x7FFFFFFF}, std::pair{0x7FFFFFFF, 1}}) {
        header(cw, ch);
        EXPECT_FALSE(SignatureBmpSize(test::ReadAll(path), w, h)) << cw << " x " << ch;
    }
}

TEST(SignatureIndex, SignatureNames) {
    EXPECT_EQ(SignatureFileName(0), "~OVTMP0.BMP");
    EXPECT_EQ(SignatureFileName(123456), "~OVTMP123456.BMP");
    for (const char* name : {"~OVTMP0.BMP", "~OVTMP99999.BMP", "~OVTMP123456.bmp", "~OVTMP12.Bmp"})
        EXPECT_TRUE(IsSignatureFileName(name)) << name;
    for (const char* name : {"~OVTMP.BMP", "~OVTMP1234567.BMP", "~OVTMP.Lst", "~ovtmp1.BMP", "~OVTMPx.BMP",
                             "~OVTMP1.BMP.jpg", "~OVTMP1.BM", "a~OVTMP1.BMP", "~OVTMP-1.BMP"})
        EXPECT_FALSE(IsSignatureFileName(name)) << name;
    // What the run writes into the work folder, in any letter case.
    for (const char* name : {"~OVTMP7.BMP", "~ovtmp7.bmp", "~OVTMP.Lst", "~ovtmp.LST"})
        EXPECT_TRUE(IsWorkFileName(name)) << name;
    for (const char* name : {"~OVTMP.BMP", "~OVTMPx.bmp", "~OVTMP.Lst.bak", "OVTMP1.BMP"})
        EXPECT_FALSE(IsWorkFileName(name)) << name;
}

}  // namespace
}  // namespace orv
