#include "platform/base/binary_io.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/base/errors.h"

namespace orv {
namespace {

std::string Bytes(const TMemoryStream& s) { return std::string(reinterpret_cast<const char*>(s.Memory()), s.Bytes().size()); }

TEST(BinaryIo, GoldenBytes) {
    TMemoryStream s;
    BinaryWriter w(s);
    w.WriteInt32(-2);
    w.WriteDouble(1.5);
    w.WriteStoredString("");
    w.WriteStoredString("新規.ovp");
    const std::string expected = std::string("\xfe\xff\xff\xff", 4) +
                                 std::string("\x00\x00\x00\x00\x00\x00\xf8\x3f", 8) + std::string("\x01\x00\x00", 3) +
                                 std::string("\x09\x00\x90\x56\x8b\x4b.ovp\x00", 11);
    EXPECT_EQ(Bytes(s), expected);

    s.SetPosition(0);
    BinaryReader r(s);
    EXPECT_EQ(r.ReadInt32(), -2);
    EXPECT_EQ(r.ReadDouble(), 1.5);
    EXPECT_EQ(r.ReadStoredString(), "");
    EXPECT_EQ(r.ReadStoredString(), "新規.ovp");
    EXPECT_EQ(r.Remaining(), 0);
    EXPECT_THROW(r.ReadInt32(), EReadError);
}

TEST(BinaryIo, StoredStringLengthLimit) {
    TMemoryStream s;
    BinaryWriter w(s);
    // 65534 text bytes give the largest length field, 0xFFFF.
    w.WriteStoredString(std::string(65534, 'a'));
    EXPECT_EQ(s.Size(), 2 + 65535);
    EXPECT_EQ(s.Memory()[0], 0xFF);
    EXPECT_EQ(s.Memory()[1], 0xFF);
    // One more would wrap the length: refused, nothing written.
    EXPECT_THROW(w.WriteStoredString(std::string(65535, 'a')), EConvertError);
    // The limit counts the bytes of the stored form: code page 932 (2 per
    // kanji here), or the mark and UTF-8 (3 + 3 + 2 for "鷗é").
    EXPECT_THROW(w.WriteStoredString(std::string(65529, 'a') + "日本語"), EConvertError);
    EXPECT_THROW(w.WriteStoredString(std::string(65527, 'a') + "鷗é"), EConvertError);
    EXPECT_THROW(w.WriteStoredString(std::string("a\0b", 3)), EConvertError);
    EXPECT_THROW(w.WriteStoredString("a\xff"), EConvertError);
    EXPECT_EQ(s.Size(), 2 + 65535);

    w.WriteStoredString(std::string(65528, 'a') + "日本語");
    w.WriteStoredString(std::string(65526, 'a') + "鷗é");
    EXPECT_EQ(s.Size(), 3 * (2 + 65535));

    s.SetPosition(0);
    BinaryReader r(s);
    EXPECT_EQ(r.ReadStoredString().size(), 65534u);
    EXPECT_EQ(r.ReadStoredString(), std::string(65528, 'a') + "日本語");
    EXPECT_EQ(r.ReadStoredString(), std::string(65526, 'a') + "鷗é");
}

TEST(BinaryIo, DamagedStoredStringsRaise) {
    const std::string cases[] = {
        std::string("\x00\x00", 2),              // length 0: no room for the terminator
        std::string("\x05\x00" "abc", 5),        // longer than what remains
        std::string("\x04\x00" "abcd", 6),       // last byte not zero
        std::string("\x03\x00\x83\x00", 4) + "", // half a double-byte character, then the terminator
        std::string("\x03\x00\x80\x00", 4),      // truncated: 3 announced, 2 there
        std::string("\x05\x00\xEF\xBB\xBF\xC3\x00", 7), // the UTF-8 form cut inside a character
        std::string("\xff\xff" "x", 3),          // huge length, nothing behind it
        std::string("\x01", 1),                  // half a length field
    };
    for (const auto& bytes : cases) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        TMemoryStream s(bytes.data(), bytes.size());
        BinaryReader r(s);
        EXPECT_THROW(r.ReadStoredString(), EReadError);
    }
}

// Cut at its first zero, "a\0b" would read as another text than it holds.
TEST(BinaryIo, StoredStringHoldingAZeroIsDamaged) {
    const std::string bytes = std::string("\x04\x00" "a\0b\0", 6) + "\x7b";
    TMemoryStream s(bytes.data(), bytes.size());
    BinaryReader r(s);
    EXPECT_THROW(r.ReadStoredString(), EReadError);
}

TEST(BinaryIo, CheckCountAgainstWhatRemains) {
    TMemoryStream s(std::vector<std::uint8_t>(100));
    BinaryReader r(s);
    r.ReadInt32();
    EXPECT_NO_THROW(r.CheckCount(24, 4));  // exactly 96 left
    EXPECT_NO_THROW(r.CheckCount(0, 1 << 20));
    EXPECT_THROW(r.CheckCount(25, 4), EReadError);
    EXPECT_THROW(r.CheckCount(-1, 4), EReadError);
    // A product that would overflow 64 bits is still refused.
    EXPECT_THROW(r.CheckCount(std::numeric_limits<std::int64_t>::max(), 16), EReadError);
    EXPECT_THROW(r.CheckCount(3, std::numeric_limits<std::int64_t>::max()), EReadError);
}

}  // namespace
}  // namespace orv
