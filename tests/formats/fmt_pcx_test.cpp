// The PCX reader: files written by other tools and crafted layouts against
// their known pixels, and headers and data that do not fit together.
#include "formats/fmt_pcx.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "formats/library.h"
#include "platform/base/stream.h"
#include "tests/support/le_bytes.h"
#include "tests/support/reader_test_support.h"

namespace orv {
namespace {

using namespace reader_test;
using test::SetLe16;

std::string DataPath(const std::string& name) { return std::string(ORV_TEST_DATA) + "/pcx/" + name; }

// A header of a w x h picture placed at (0, 0).
Bytes Header(std::uint8_t bits, std::uint8_t planes, std::uint16_t bytesPerLine, int w, int h,
             std::uint8_t encoding = 0, std::uint16_t paletteKind = 1) {
    Bytes b(128, 0);
    b[0] = 10;
    b[1] = 5;
    b[2] = encoding;
    b[3] = bits;
    SetLe16(b, 8, static_cast<std::uint16_t>(w - 1));
    SetLe16(b, 10, static_cast<std::uint16_t>(h - 1));
    b[65] = planes;
    SetLe16(b, 66, bytesPerLine);
    SetLe16(b, 68, paletteKind);
    return b;
}

using Reference = ReferenceFile;

class PCXReference : public ::testing::TestWithParam<Reference> {};

TEST_P(PCXReference, MatchesItsPixels) {
    const std::string base = GetParam().name;
    TPCXGraphic pcx;
    pcx.LoadFromFile(DataPath(base + ".pcx"));
    EXPECT_EQ(pcx.PixelFormat(), GetParam().format) << base;
    ExpectRGBPixels(pcx, DataPath(base + ".rgb"));
}

INSTANTIATE_TEST_SUITE_P(
    Files, PCXReference,
    ::testing::Values(Reference{"tool_im_pal", TPixelFormat::pf8bit}, Reference{"tool_im_pal16", TPixelFormat::pf8bit},
                      Reference{"tool_im_rgb", TPixelFormat::pf24bit}, Reference{"tool_pil_1bit", TPixelFormat::pf1bit},
                      Reference{"tool_pil_gray", TPixelFormat::pf8bit}, Reference{"tool_pil_pal", TPixelFormat::pf8bit},
                      Reference{"tool_pil_rgb", TPixelFormat::pf24bit}, Reference{"craft_2bit", TPixelFormat::pf4bit},
                      Reference{"craft_4bit", TPixelFormat::pf4bit}, Reference{"craft_4bit_v3", TPixelFormat::pf4bit},
                      Reference{"craft_planes4", TPixelFormat::pf4bit},
                      Reference{"craft_planes4_gray", TPixelFormat::pf4bit},
                      Reference{"craft_8bit_raw", TPixelFormat::pf8bit},
                      Reference{"craft_8bit_gray", TPixelFormat::pf8bit}),
    ReferenceName);

TEST(PCXReader, FourBitPlanesGiveThePlane3BitHighest) {
    // One pixel wide: planes 0 and 3 set give 9; the header's entry 9 is red.
    Bytes file = Header(1, 4, 1, 2, 1);
    file[16 + 9 * 3] = 255;
    const std::uint8_t planes[] = {0x80, 0x00, 0x00, 0xC0};
    file.insert(file.end(), std::begin(planes), std::end(planes));
    TPCXGraphic pcx;
    Load(pcx, file);
    EXPECT_EQ(pcx.ScanLine(0)[0], 0x98);
    EXPECT_EQ(pcx.GetPixel(0, 0), RGBColor(255, 0, 0));
}

TEST(PCXReader, RefusedHeadersLeaveAnEmptyPictureWithoutError) {
    struct Case {
        const char* what;
        Bytes file;
    };
    Bytes maker = Header(8, 1, 4, 4, 4);
    maker[0] = 11;
    Bytes reversed = Header(8, 1, 4, 4, 4);
    SetLe16(reversed, 4, 9);  // xmin above xmax
    Bytes flat = Header(8, 1, 4, 4, 1);
    SetLe16(flat, 6, 1);  // ymin one above ymax: no rows
    std::vector<Case> cases{{"maker byte", maker},
                            {"xmax below xmin", reversed},
                            {"zero height", flat},
                            {"lines shorter than the width", Header(8, 3, 3, 4, 4)},
                            {"bit lines shorter than the width", Header(1, 1, 1, 9, 4)},
                            {"short header", Bytes(60, 10)}};
    for (Case& c : cases) {
        if (c.file.size() == 128) c.file.resize(c.file.size() + 2000, 0x41);
        TPCXGraphic pcx;
        pcx.SetPixelFormat(TPixelFormat::pf24bit);
        pcx.SetSize(3, 3);
        EXPECT_NO_THROW(Load(pcx, c.file)) << c.what;
        EXPECT_TRUE(pcx.Empty()) << c.what;
    }
}

TEST(PCXReader, LayoutsOutsideTheKnownOnesRaise) {
    const std::uint8_t layouts[][2] = {{16, 1}, {8, 4}, {4, 4}, {2, 4}, {8, 2}, {1, 3}, {0, 1}};
    for (const auto& layout : layouts) {
        Bytes file = Header(layout[0], layout[1], 64, 4, 4, 1);
        file.resize(file.size() + 1000, 0xC1);
        TPCXGraphic pcx;
        try {
            Load(pcx, file);
            ADD_FAILURE() << int(layout[0]) << "x" << int(layout[1]) << " loaded";
        } catch (const EInvalidGraphic& e) {
            EXPECT_STREQ(e.what(), "Invalid color format in PCX file.");
        }
    }
}

TEST(PCXReader, ShortDataLeaveTheRestBlack) {
    // Uncompressed 24-bit rows of 3 x 6 bytes; the file ends inside row 1.
    Bytes file = Header(8, 3, 6, 5, 4);
    for (int i = 0; i < 18 + 7; ++i) file.push_back(static_cast<std::uint8_t>(100 + i));
    TPCXGraphic pcx;
    Load(pcx, file);
    ASSERT_EQ(pcx.Height(), 4);
    EXPECT_EQ(pcx.GetPixel(0, 0), RGBColor(100, 106, 112));
    EXPECT_EQ(pcx.GetPixel(0, 1), RGBColor(118, 124, 0));
    EXPECT_EQ(pcx.GetPixel(4, 1), RGBColor(122, 0, 0));
    EXPECT_EQ(pcx.GetPixel(4, 3), clBlack);

    // Run-length data that stop early: one run of 40 fills rows 0 and 1 of a
    // 20 x 50 gray picture.
    Bytes coded = Header(8, 1, 20, 20, 50, 1, 2);
    coded.push_back(0xC0 | 40);
    coded.push_back(77);
    Load(pcx, coded);
    ASSERT_EQ(pcx.Height(), 50);
    EXPECT_EQ(pcx.GetPixel(19, 1), RGBColor(77, 77, 77));
    EXPECT_EQ(pcx.GetPixel(0, 2), clBlack);
}

TEST(PCXReader, EightBitFilesShorterThanAPaletteBlockKeepTheirData) {
    // 2 x 2 uncompressed: 4 data bytes, no palette block, palette kind 2.
    Bytes file = Header(8, 1, 2, 2, 2, 0, 2);
    const std::uint8_t pixels[] = {10, 20, 30, 40};
    file.insert(file.end(), std::begin(pixels), std::end(pixels));
    TPCXGraphic pcx;
    Load(pcx, file);
    EXPECT_EQ(pcx.GetPixel(1, 0), RGBColor(20, 20, 20));
    EXPECT_EQ(pcx.GetPixel(1, 1), RGBColor(40, 40, 40));

    // A last block of 769 bytes whose first is not the marker: no palette
    // (the default gray ramp), the pixels read before it.
    file = Header(8, 1, 2, 2, 2, 0, 1);
    file.resize(file.size() + 4 + 769, 0);
    file[128] = 5;
    file[131] = 250;
    Load(pcx, file);
    EXPECT_EQ(pcx.GetPixel(0, 0), RGBColor(5, 5, 5));
    EXPECT_EQ(pcx.GetPixel(1, 1), RGBColor(250, 250, 250));
}

TEST(PCXReader, StreamTestAndRegistry) {
    const Bytes file = ReadFileBytes(DataPath("tool_pil_pal.pcx"));
    TMemoryStream stream(file);
    EXPECT_TRUE(TPCXGraphic::CanLoadStream(stream));
    EXPECT_EQ(stream.Position(), 0);
    Bytes screen = file;
    screen[0] = 205;
    EXPECT_TRUE(TPCXGraphic::CanLoadStream(*std::make_unique<TMemoryStream>(screen)));
    Bytes version = file;
    version[1] = 4;
    EXPECT_FALSE(TPCXGraphic::CanLoadStream(*std::make_unique<TMemoryStream>(version)));

    TImageFormatsScope formats;
    TBitmap bitmap;
    ASSERT_TRUE(LoadAsFile(screen, "picture.SCR", bitmap));
    ExpectRGBPixels(bitmap, DataPath("tool_pil_pal.rgb"));
}

}  // namespace
}  // namespace orv
