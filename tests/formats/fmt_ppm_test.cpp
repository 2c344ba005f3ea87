// The portable map reader: files written by netpbm and Pillow against their
// decoded pixels, header layouts the tools write differently, and numbers
// and data sizes a file cannot back.
#include "formats/fmt_ppm.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/library.h"
#include "platform/base/errors.h"
#include "platform/base/stream.h"
#include "tests/support/reader_test_support.h"

namespace orv {
namespace {

using namespace reader_test;

std::string DataPath(const std::string& name) { return std::string(ORV_TEST_DATA) + "/ppm/" + name; }

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string LoadError(const Bytes& file, bool* sized = nullptr) {
    return reader_test::LoadError<TPPMGraphic>(file, sized);
}

// Gray levels of the first row, read through the palette.
std::vector<int> GrayRow(const TBitmap& bitmap, int y = 0) {
    std::vector<int> row;
    for (int x = 0; x < bitmap.Width(); ++x) row.push_back(ColorRed(bitmap.GetPixel(x, y)));
    return row;
}

using Reference = ReferenceFile;

class PPMReference : public ::testing::TestWithParam<Reference> {};

TEST_P(PPMReference, MatchesItsPixels) {
    const std::string name = GetParam().name;
    TPPMGraphic ppm;
    ppm.LoadFromFile(DataPath(name));
    EXPECT_EQ(ppm.PixelFormat(), GetParam().format) << name;
    EXPECT_EQ(ppm.Width(), 13);
    EXPECT_EQ(ppm.Height(), 7);
    ExpectRGBPixels(ppm, DataPath(name + ".rgb"));
}

INSTANTIATE_TEST_SUITE_P(
    Tools, PPMReference,
    ::testing::Values(Reference{"netpbm_plain.pbm", TPixelFormat::pf1bit},
                      Reference{"netpbm_raw.pbm", TPixelFormat::pf1bit},
                      Reference{"netpbm_plain.pgm", TPixelFormat::pf8bit},
                      Reference{"netpbm_raw.pgm", TPixelFormat::pf8bit},
                      Reference{"netpbm_plain.ppm", TPixelFormat::pf24bit},
                      Reference{"netpbm_raw.ppm", TPixelFormat::pf24bit},
                      Reference{"netpbm_max15_plain.pgm", TPixelFormat::pf8bit},
                      Reference{"netpbm_max15_raw.ppm", TPixelFormat::pf24bit},
                      Reference{"netpbm_max1000_raw.ppm", TPixelFormat::pf24bit},
                      Reference{"netpbm_16bit_raw.pgm", TPixelFormat::pf8bit},
                      Reference{"netpbm_16bit_raw.ppm", TPixelFormat::pf24bit},
                      Reference{"netpbm_16bit_plain.ppm", TPixelFormat::pf24bit},
                      Reference{"pil_1.pbm", TPixelFormat::pf1bit}, Reference{"pil_l.pgm", TPixelFormat::pf8bit},
                      Reference{"pil_rgb.ppm", TPixelFormat::pf24bit}));

TEST(PPMReader, HeaderLayouts) {
    // Everything on the magic's line, and a comment glued to a number.
    TPPMGraphic ppm;
    Load(ppm, Text("P6 2 1 255#c\n\x01\x02\x03\x04\x05\x06"));
    ASSERT_EQ(ppm.Width(), 2);
    EXPECT_EQ(ppm.GetPixel(0, 0), RGBColor(1, 2, 3));
    EXPECT_EQ(ppm.GetPixel(1, 0), RGBColor(4, 5, 6));

    // Carriage return and line feed, two comment lines in a row, a comment
    // between width and height.
    Load(ppm, Text("P2\r\n# one\n# two\n3 # w\n2\n255\n0 1 2\r\n7 8 9"));
    ASSERT_EQ(ppm.Height(), 2);
    EXPECT_EQ(GrayRow(ppm, 0), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(GrayRow(ppm, 1), (std::vector<int>{7, 8, 9}));

    // A kind without pixels, and a picture without columns, load empty.
    Load(ppm, Text("P7\nWIDTH 2\nHEIGHT 2\n"));
    EXPECT_TRUE(ppm.Empty());
    for (const char* empty : {"P1 0 3\n", "P3 0 3 255\n", "P4 0 3\n", "P6 4 0 255\n"}) {
        Load(ppm, Text(empty));
        EXPECT_TRUE(ppm.Empty()) << empty;
    }
}

TEST(PPMReader, PlainBitmapsWithAndWithoutSeparators) {
    // Width 10: each row is two bytes, pixels 9 and 10 in the second's top bits.
    const std::string row = "1011001110";
    std::string spaced;
    for (char c : row) spaced += std::string(1, c) + " ";
    for (const std::string& body : {row + "\n" + row, spaced + "\n# note\n" + spaced}) {
        TPPMGraphic ppm;
        Load(ppm, Text("P1\n10 2\n" + body));
        ASSERT_EQ(ppm.PixelFormat(), TPixelFormat::pf1bit);
        for (int y = 0; y < 2; ++y) {
            EXPECT_EQ(ppm.ScanLine(y)[0], 0xB3) << body;
            EXPECT_EQ(ppm.ScanLine(y)[1], 0x80) << body;
        }
        // A set bit is black.
        EXPECT_EQ(ppm.GetPixel(0, 0), clBlack);
        EXPECT_EQ(ppm.GetPixel(1, 0), clWhite);
    }
}

TEST(PPMReader, RefusesHeadersItCannotTrust) {
    const std::string invalid = "Cannot load image. Invalid or unexpected PBM, PGM or PPM image format.";
    EXPECT_EQ(LoadError(Text("P")), invalid);
    EXPECT_EQ(LoadError(Text("P\n6 1 1 255\n\x01\x02\x03")), invalid);
    EXPECT_EQ(LoadError(Text("Q6 1 1 255 abc")), invalid);
    // Numbers that would wrap a 32-bit count.
    EXPECT_EQ(LoadError(Text("P5 4294967297 1 255\n" + std::string(16, 'x'))), invalid);
    EXPECT_EQ(LoadError(Text("P5 1 2147483648 255\n" + std::string(16, 'x'))), invalid);
    EXPECT_EQ(LoadError(Text("P2 2 1 255\n1 99999999999\n")), invalid);
    // No levels to scale from.
    EXPECT_EQ(LoadError(Text("P5 1 1 0\n\x01")), invalid);
    // A picture over the size gate.
    EXPECT_EQ(LoadError(Text("P4 2147483647 2147483647\n")), invalid);

    TPPMGraphic ppm;
    EXPECT_THROW(Load(ppm, Text("Px 1 1 255\n")), EConvertError);
}

TEST(PPMReader, DataShorterThanTheHeaderSays) {
    const std::string shortData = "Stream read error in PPM file.";
    // Raw sizes are checked before the picture is sized.
    for (const std::string& file : {"P5 4000 4000 255\n" + std::string(100, 'x'),
                                    "P6 2 2 65535\n" + std::string(23, 'x'), std::string("P4 9 2\n\x01\x02\x03")}) {
        bool sized = true;
        EXPECT_EQ(LoadError(Text(file), &sized), shortData) << file;
        EXPECT_FALSE(sized) << file;
    }
    // Plain data need a character per sample and end early here.
    EXPECT_EQ(LoadError(Text("P3 2 2 255\n1 2 3 4 5 6 7 8 9 10 11")), shortData);
    EXPECT_EQ(LoadError(Text("P1 3 3\n1 1 1 1 1 1 1 1 \n")), shortData);
    // The exact size loads, the last number ending the file.
    TPPMGraphic ppm;
    Load(ppm, Text("P2 2 1 255\n17 18"));
    EXPECT_EQ(GrayRow(ppm), (std::vector<int>{17, 18}));
}

TEST(PPMReader, StreamTestAndRegistry) {
    const Bytes file = ReadFileBytes(DataPath("pil_l.pgm"));
    TMemoryStream stream(file);
    EXPECT_TRUE(TPPMGraphic::CanLoadStream(stream));
    EXPECT_EQ(stream.Position(), 0);
    EXPECT_FALSE(TPPMGraphic::CanLoadStream(*std::make_unique<TMemoryStream>(Text("P7 1 1 255\n\x01"))));
    EXPECT_FALSE(TPPMGraphic::CanLoadStream(*std::make_unique<TMemoryStream>(Text("P5 1 1 25"))));

    TImageFormatsScope formats;
    TBitmap bitmap;
    ASSERT_TRUE(LoadAsFile(file, "picture.PGM", bitmap));
    ExpectRGBPixels(bitmap, DataPath("pil_l.pgm.rgb"));
}

}  // namespace
}  // namespace orv
