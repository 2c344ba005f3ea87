#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/base/stream.h"
#include "platform/graphics/bitmap.h"
#include "tests/support/le_bytes.h"
#include "tests/support/temp_dir.h"

namespace orv {
namespace {

const std::string kDir = std::string(ORV_TEST_DATA) + "/graphics/";

using test::ReadBytes;

// Compares every pixel with the reference rows (top-down red, green, blue);
// `fiveBit` compares 5/6-bit channels after our bit-replicating expansion.
void ExpectPixels(const TBitmap& bmp, const std::string& refName, bool fromFiveBits = false, bool sixGreen = false) {
    const auto ref = ReadBytes(kDir + refName);
    ASSERT_EQ(ref.size(), static_cast<std::size_t>(bmp.Width()) * bmp.Height() * 3) << refName;
    auto expand = [](int v, int bits) {
        const int max = (1 << bits) - 1;
        const int q = (v * max + 127) / 255;  // back to the stored value
        return bits == 5 ? (q << 3) | (q >> 2) : (q << 2) | (q >> 4);
    };
    for (int y = 0; y < bmp.Height(); ++y)
        for (int x = 0; x < bmp.Width(); ++x) {
            const std::size_t i = (static_cast<std::size_t>(y) * bmp.Width() + x) * 3;
            int r = ref[i], g = ref[i + 1], b = ref[i + 2];
            if (fromFiveBits) {
                r = expand(r, 5);
                g = expand(g, sixGreen ? 6 : 5);
                b = expand(b, 5);
            }
            const TColor c = bmp.GetPixel(x, y);
            ASSERT_EQ(RGBColor(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b)), c)
                << refName << " at " << x << "," << y;
        }
}

struct Case {
    const char* file;
    const char* reference;
    TPixelFormat format;
};

TEST(BmpReader, EveryDepthAndHeaderMatchesTheToolsPixels) {
    const Case cases[] = {
        {"bmp1.bmp", "bmp1.rgb", TPixelFormat::pf1bit},
        {"bmp4.bmp", "bmp4.rgb", TPixelFormat::pf4bit},
        {"bmp4_os2.bmp", "bmp4_os2.rgb", TPixelFormat::pf4bit},
        {"bmp8.bmp", "bmp8.rgb", TPixelFormat::pf8bit},
        {"bmp8_rle.bmp", "bmp8_rle.rgb", TPixelFormat::pf8bit},
        {"bmp24.bmp", "bmp24.rgb", TPixelFormat::pf24bit},
        {"bmp24_os2.bmp", "bmp24_os2.rgb", TPixelFormat::pf24bit},
        {"bmp24_topdown.bmp", "bmp24.rgb", TPixelFormat::pf24bit},
        {"bmp32.bmp", "bmp24.rgb", TPixelFormat::pf32bit},
        {"bmp32_v5_fields.bmp", "bmp32_v5_fields.rgb", TPixelFormat::pf32bit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TBitmap bmp;
        bmp.LoadFromFile(kDir + c.file);
        EXPECT_EQ(bmp.Width(), 13);
        EXPECT_EQ(bmp.Height(), 7);
        EXPECT_EQ(bmp.PixelFormat(), c.format);
        ExpectPixels(bmp, c.reference);
    }
}

TEST(BmpReader, SixteenBitFilesKeepTheirLayout) {
    const Case cases[] = {
        {"bmp16_555.bmp", "bmp16_555_fields.rgb", TPixelFormat::pf15bit},
        {"bmp16_555_fields.bmp", "bmp16_555_fields.rgb", TPixelFormat::pf15bit},
        {"bmp16_565_fields.bmp", "bmp16_565_fields.rgb", TPixelFormat::pf16bit},
        {"bmp16_565_v4.bmp", "bmp16_565_fields.rgb", TPixelFormat::pf16bit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TBitmap bmp;
        bmp.LoadFromFile(kDir + c.file);
        EXPECT_EQ(bmp.PixelFormat(), c.format);
        ExpectPixels(bmp, c.reference, true, c.format == TPixelFormat::pf16bit);
    }
}

std::vector<unsigned> Indices(const TBitmap& bmp, int y) {
    std::vector<unsigned> out;
    const std::uint8_t* row = bmp.ScanLine(y);
    for (int x = 0; x < bmp.Width(); ++x)
        out.push_back(bmp.PixelFormat() == TPixelFormat::pf4bit ? ((x & 1) ? row[x / 2] & 15u : row[x / 2] >> 4)
                                                                 : row[x]);
    return out;
}

TEST(BmpReader, RunLengthFourBitsWithAbsoluteRunsAndDelta) {
    TBitmap bmp;
    bmp.LoadFromFile(kDir + "rle4.bmp");
    ASSERT_EQ(bmp.PixelFormat(), TPixelFormat::pf4bit);
    EXPECT_EQ(Indices(bmp, 0), (std::vector<unsigned>{0, 0, 15, 15, 0, 0}));
    EXPECT_EQ(Indices(bmp, 1), (std::vector<unsigned>{3, 4, 5, 6, 6, 6}));
    EXPECT_EQ(Indices(bmp, 2), (std::vector<unsigned>{1, 2, 1, 2, 1, 2}));
    EXPECT_EQ(bmp.GetPixel(2, 0), RGBColor(255, 255, 255));
}

TEST(BmpReader, RunsPastTheRowAndTheFileAreClipped) {
    TBitmap bmp;
    bmp.LoadFromFile(kDir + "rle8_overrun.bmp");
    ASSERT_EQ(bmp.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(Indices(bmp, 0), (std::vector<unsigned>{1, 2, 0, 0}));
    EXPECT_EQ(Indices(bmp, 1), (std::vector<unsigned>{0, 0, 0, 0}));
    EXPECT_EQ(Indices(bmp, 2), (std::vector<unsigned>{7, 7, 7, 7}));
}

TEST(BmpReader, IndexBeyondTheFilesPaletteIsBlack) {
    TBitmap bmp;
    bmp.LoadFromFile(kDir + "short_palette.bmp");
    EXPECT_EQ(bmp.Palette().Count(), 4u);
    EXPECT_EQ(bmp.GetPixel(0, 0), RGBColor(255, 0, 0));
    EXPECT_EQ(bmp.GetPixel(3, 0), RGBColor(255, 255, 255));
    for (int x = 4; x < 8; ++x) EXPECT_EQ(bmp.GetPixel(x, 0), clBlack);
}

TEST(BmpReader, PaletteCutByThePixelOffsetKeepsItsEntries) {
    for (const char* name : {"bmp8_os2_short_palette", "bmp8_cut_palette"}) {
        SCOPED_TRACE(name);
        TBitmap bmp;
        bmp.LoadFromFile(kDir + name + ".bmp");
        ASSERT_EQ(bmp.PixelFormat(), TPixelFormat::pf8bit);
        ExpectPixels(bmp, std::string(name) + ".rgb");

        // An index past the stored entries shows the cut is wrong.
        auto bytes = ReadBytes(kDir + name + ".bmp");
        bytes[bytes[10] | bytes[11] << 8] = 255;  // bottom-left pixel
        TMemoryStream stream(std::move(bytes));
        EXPECT_THROW(bmp.LoadFromStream(stream), EInvalidGraphic);
        // So does an offset that leaves no entries at all.
        bytes = ReadBytes(kDir + name + ".bmp");
        bytes[10] = static_cast<std::uint8_t>(14 + bytes[14]), bytes[11] = 0;
        TMemoryStream noEntries(std::move(bytes));
        EXPECT_THROW(bmp.LoadFromStream(noEntries), EInvalidGraphic);
    }
    // Whatever the header's colour count: 252 colours counted, the offset at
    // their start and the file one byte short of them and the rows.
    auto counted = ReadBytes(kDir + "bmp8.bmp");  // 256 colours, rows at 1078
    counted.erase(counted.begin() + 54 + 252 * 4, counted.begin() + 1078);
    counted[46] = 252, counted[10] = 54, counted[11] = 0;
    counted.pop_back();
    TMemoryStream countedStream(std::move(counted));
    EXPECT_THROW(TBitmap().LoadFromStream(countedStream), EInvalidGraphic);
    // An offset inside a whole palette that is followed by all the pixel
    // rows: the rows start there, and its entries are no indices of the
    // eleven entries before it.
    auto bytes = ReadBytes(kDir + "bmp8.bmp");
    bytes[10] = 100, bytes[11] = 0;
    TMemoryStream stream(std::move(bytes));
    EXPECT_THROW(TBitmap().LoadFromStream(stream), EInvalidGraphic);
}

TEST(BmpReader, ColourCountPastThePixelOffsetKeepsTheEntriesBeforeIt) {
    // 256 colours counted, 252 stored before the offset; also with a count
    // no depth allows.
    auto bytes = ReadBytes(kDir + "bmp8_count_past_palette.bmp");
    for (const std::uint32_t count : {256u, 0x12341234u}) {
        test::SetLe32(bytes, 46, count);
        TBitmap bmp;
        TMemoryStream stream(bytes);
        bmp.LoadFromStream(stream);
        ExpectPixels(bmp, "bmp8_count_past_palette.rgb");
        EXPECT_EQ(bmp.Palette().Count(), 252u);
    }
}

TEST(BmpReader, PixelsStartAtTheirOffsetPastBytesAfterThePalette) {
    TBitmap bmp;
    bmp.LoadFromFile(kDir + "bmp8_rle_gap.bmp");
    ExpectPixels(bmp, "bmp8_rle_gap.rgb");
}

// An absolute run of an odd number of bytes is padded to 16 bits.
TEST(BmpReader, OddAbsoluteRunsSkipTheirPadByte) {
    for (const char* name : {"rle8_odd_runs", "rle4_odd_runs"}) {
        SCOPED_TRACE(name);
        TBitmap bmp;
        bmp.LoadFromFile(kDir + name + ".bmp");
        ExpectPixels(bmp, std::string(name) + ".rgb");
    }
}

TEST(BmpReader, DamagedFilesRaiseAndLeaveTheBitmapAlone) {
    const auto good = ReadBytes(kDir + "bmp24.bmp");
    auto attempt = [](std::vector<std::uint8_t> bytes) {
        TBitmap bmp;
        bmp.SetPixelFormat(TPixelFormat::pf24bit);
        bmp.SetSize(2, 2);
        TMemoryStream s(std::move(bytes));
        EXPECT_THROW(bmp.LoadFromStream(s), EInvalidGraphic);
        EXPECT_EQ(bmp.Width(), 2);
    };
    attempt({good.begin(), good.end() - 10});         // pixel rows cut short
    attempt({good.begin(), good.begin() + 30});       // header cut short
    auto bad = good;
    bad[0] = 'X';
    attempt(bad);                                     // no signature
    bad = good;
    bad[14] = 41;
    attempt(bad);                                     // unknown header size
    bad = good;
    bad[28] = 7;
    attempt(bad);                                     // unknown depth
    bad = good;
    bad[30] = 1;
    attempt(bad);                                     // RLE8 on a 24-bit file
    bad = good;
    bad[18] = 0xFF, bad[19] = 0xFF, bad[20] = 0xFF, bad[21] = 0x7F;
    attempt(bad);                                     // width over the size gate
}

TEST(BmpWriter, WritesTwentyFourBitBottomUpAndReadsBack) {
    TBitmap bmp;
    bmp.LoadFromFile(kDir + "bmp8.bmp");
    TMemoryStream out;
    bmp.SaveToStream(out);
    EXPECT_EQ(bmp.PixelFormat(), TPixelFormat::pf8bit);  // the source is not changed
    const std::uint8_t* b = out.Memory();
    ASSERT_EQ(out.Size(), 54 + 7 * 40);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[10], 54);
    EXPECT_EQ(b[14], 40);
    EXPECT_EQ(b[28], 24);
    EXPECT_EQ(b[30], 0);
    EXPECT_EQ(b[22], 7);  // positive height: bottom-up

    out.SetPosition(0);
    TBitmap back;
    back.LoadFromStream(out);
    EXPECT_EQ(back.PixelFormat(), TPixelFormat::pf24bit);
    ExpectPixels(back, "bmp8.rgb");
}

}  // namespace
}  // namespace orv
