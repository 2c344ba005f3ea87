#include "formats/codec_fax.h"

#include <gtest/gtest.h>

#include "codec_test_data.h"
#include "formats/fmt_tiff.h"
#include "tests/support/reader_test_support.h"

namespace orv {
namespace {

using codec_test::Bits;
using codec_test::Bytes;
using codec_test::DecodeInto;
using codec_test::ReadData;

struct FaxCase {
    const char* name;
    std::uint32_t width;
    bool swapBits;
    bool wordAligned;
    bool fax3;
    const char* expected;  // file of the expected rows
};

class FaxReference : public testing::TestWithParam<FaxCase> {};

TEST_P(FaxReference, DecodesLibtiffStrip) {
    const FaxCase& c = GetParam();
    const Bytes packed = ReadData(std::string(c.name) + "_s0.packed");
    const Bytes rows = ReadData(c.expected);
    Bytes out;
    if (c.fax3) {
        TCCITTFax3Decoder d(0, c.swapBits, c.wordAligned, c.width);
        out = DecodeInto(d, packed, rows.size(), 0xEE);
    } else {
        TCCITTMHDecoder d(0, c.swapBits, c.wordAligned, c.width);
        out = DecodeInto(d, packed, rows.size(), 0xEE);
    }
    EXPECT_EQ(out, rows);

    // Half the destination: the same rows up to there, nothing past it.
    const std::size_t half = rows.size() / 2 + 3;
    if (c.fax3) {
        TCCITTFax3Decoder d(0, c.swapBits, c.wordAligned, c.width);
        out = DecodeInto(d, packed, half);
    } else {
        TCCITTMHDecoder d(0, c.swapBits, c.wordAligned, c.width);
        out = DecodeInto(d, packed, half);
    }
    EXPECT_TRUE(std::equal(out.begin(), out.end(), rows.begin()));
}

INSTANTIATE_TEST_SUITE_P(
    Strips, FaxReference,
    testing::Values(FaxCase{"g3", 2700, false, false, true, "g3_s0.rows"},
                    FaxCase{"g3_fill", 301, false, false, true, "g3_fill_s0.rows"},
                    FaxCase{"g3_lsb", 301, true, false, true, "g3_lsb_s0.rows"},
                    FaxCase{"mh", 301, false, false, false, "mh.image"},
                    FaxCase{"mhw", 301, false, true, false, "mhw.image"}),
    [](const testing::TestParamInfo<FaxCase>& info) { return std::string(info.param.name); });

// A fax page stored one row per strip: every strip ends with its row's last
// code, often on the last bit of the last byte.
TEST(CCITTRowPerStrip, EveryRowKeepsItsLastRun) {
    const std::string dir = std::string(ORV_TEST_DATA) + "/codecs/";
    const Bytes expected = ReadData("fax_rows.rgb");
    for (const char* name : {"fax_rows_g3", "fax_rows_g3fill", "fax_rows_mh", "fax_rows_mhw"}) {
        TTIFFGraphic tiff;
        tiff.LoadFromFile(dir + name + ".tif");
        ASSERT_EQ(tiff.Height(), 200) << name;
        reader_test::ExpectRGBPixels(tiff, expected, name);
    }
}

TEST(CCITTMH, RunsAddUpAndRowsStartAtNewBytes) {
    // Width 80: white 64 + white 3, black 13 -> 67 white, 13 black. Next row
    // starts at the next byte: white 0 then black 80 (64 + 16).
    TCCITTMHDecoder d(0, false, false, 80);
    const Bytes packed = Bits("11011 1000 00000100 0000000"  // row 1 (+ 7 bits dropped)
                              "00110101 0000001111 0000010111");
    Bytes expected(20, 0);
    expected[8] = 0x1F;
    expected[9] = 0xFF;
    for (int i = 10; i < 20; ++i) expected[i] = 0xFF;
    EXPECT_EQ(DecodeInto(d, packed, 20), expected);
}

TEST(CCITTMH, OverlongRunsAreCutToTheRow) {
    // Width 10: white 2560 + white 0 (far too long); row 2: white 0, then
    // black 2560 + 0.
    TCCITTMHDecoder d(0, false, false, 10);
    const Bytes packed = Bits("000000011111 00110101" "0000"  // pad to the byte
                              "00110101 000000011111 0000110111");
    EXPECT_EQ(DecodeInto(d, packed, 4, 0xEE), (Bytes{0x00, 0x00, 0xFF, 0xC0}));
}

TEST(CCITTMH, ReversedBitsLeaveTheInputAlone) {
    // 0x35 bit-reversed is 0xAC: white 0. Then black 8 (000101) and pad.
    TCCITTMHDecoder d(0, true, false, 8);
    Bytes packed = {0xAC, 0x28};  // 00101000 reversed is 00010100
    const Bytes before = packed;
    const std::uint8_t* src = packed.data();
    Bytes out(1);
    std::uint8_t* dst = out.data();
    d.Decode(src, packed.size(), dst, out.size());
    EXPECT_EQ(out, Bytes{0xFF});
    EXPECT_EQ(packed, before);
}

TEST(CCITTFax3, CodesInTheLastByteAreDecoded) {
    // EOL, white 0, black 4: the black code sits in the last byte.
    TCCITTFax3Decoder d(0, false, false, 4);
    EXPECT_EQ(DecodeInto(d, Bits("000000000001 00110101 011"), 1), Bytes{0xF0});
}

TEST(CCITTFax3, ShortRowsKeepTheirPlaceAndEolRunsWriteNothing) {
    // Width 16. Row 1: white 3 then EOL (cut short). Row 2: black 16.
    // Then the end-of-page EOLs write nothing.
    TCCITTFax3Decoder d(0, false, false, 16);
    const Bytes packed = Bits("000000000001 1000 000000000001 00110101 0000010111"
                              "000000000001 000000000001 000000000001 000000000001");
    EXPECT_EQ(DecodeInto(d, packed, 6, 0xEE), (Bytes{0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00}));
}

TEST(CCITTFax3, GarbageStaysInsideTheDestination) {
    TCCITTFax3Decoder d(0, false, false, 13);
    Bytes noise(300);
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 97 + 13);
    EXPECT_NO_THROW(DecodeInto(d, noise, 5));
    TCCITTMHDecoder m(0, false, true, 13);
    EXPECT_NO_THROW(DecodeInto(m, noise, 5));
    EXPECT_NO_THROW(DecodeInto(m, Bytes{}, 0));
}

}  // namespace
}  // namespace orv
