#include "search/engine/image_utils.h"

#include "formats/abitmap.h"
#include "platform/graphics/picture.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace orv {
namespace {

// A 24-bit bitmap whose pixel (x, y) holds blue x, green y, red x + y.
TBitmap Pattern(int w, int h) {
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf24bit);
    b.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = b.ScanLine(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(x);
            p[1] = static_cast<std::uint8_t>(y);
            p[2] = static_cast<std::uint8_t>(x + y);
        }
    return b;
}

const std::uint8_t* Px(const TBitmap& b, int x, int y) { return b.ScanLine(y) + 3 * x; }

TEST(AvgResize, HalvingSamplesEverySecondPixel) {
    TBitmap b = Pattern(160, 160);
    ASSERT_TRUE(AvgResize(b, 80, 80));
    ASSERT_EQ(b.Width(), 80);
    ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
    for (int y = 0; y < 80; y += 7)
        for (int x = 0; x < 80; x += 5) {
            EXPECT_EQ(Px(b, x, y)[0], 2 * x);
            EXPECT_EQ(Px(b, x, y)[1], 2 * y);
        }
}

TEST(AvgResize, BlockBoundsRoundHalvesToEven) {
    // 81 -> 80: column 39 covers source 39 alone, column 40 covers 40 and
    // 41 (40.5 rounds to 40, 41.5125 to 42), column 79 covers 80.
    TBitmap b = Pattern(81, 1);
    for (int x = 0; x < 81; ++x) b.ScanLine(0)[3 * x] = static_cast<std::uint8_t>(2 * x + 1);
    ASSERT_TRUE(AvgResize(b, 80, 1));
    EXPECT_EQ(Px(b, 39, 0)[0], 79);
    EXPECT_EQ(Px(b, 40, 0)[0], 82);  // (81 + 83) / 2
    EXPECT_EQ(Px(b, 79, 0)[0], 161);
}

TEST(AvgResize, LargeReductionsUseStepSix) {
    // 600 -> 80 (factor 7.5): a block of 7 or 8 columns holds 2 samples, at
    // x0 and x0 + 6.
    TBitmap b = Pattern(600, 1);
    for (int x = 0; x < 600; ++x) b.ScanLine(0)[3 * x] = (x % 6 == 0) ? 200 : 0;
    for (int x = 0; x < 600; ++x) b.ScanLine(0)[3 * x + 1] = (x == 1) ? 255 : 0;
    ASSERT_TRUE(AvgResize(b, 80, 1));
    EXPECT_EQ(Px(b, 0, 0)[0], 200);  // samples 0 and 6
    EXPECT_EQ(Px(b, 0, 0)[1], 0);    // column 1 is never visited
}

TEST(AvgResize, GrowingSideRepeatsSourcePixelsInsteadOfBlack) {
    // 160 x 40 to 80 x 80: rows grow, so every other result row has an
    // empty block. It takes the source pixel at the block's corner.
    TBitmap b = Pattern(160, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 160; ++x) b.ScanLine(y)[3 * x + 2] = 255;
    ASSERT_TRUE(AvgResize(b, 80, 80));
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 80; ++x) ASSERT_EQ(Px(b, x, y)[2], 255) << x << "," << y;
    // Row 0 is empty (rnd(0) .. rnd(0.5) = 0 .. 0): source row 0, column 2x.
    EXPECT_EQ(Px(b, 13, 0)[0], 26);
    EXPECT_EQ(Px(b, 13, 0)[1], 0);
    // Row 3 is empty too (rnd(1.5) = rnd(2) = 2): source row 2.
    EXPECT_EQ(Px(b, 13, 3)[1], 2);
    // Row 1 holds source row 0 (block 0 .. 1).
    EXPECT_EQ(Px(b, 13, 1)[1], 0);
}

TEST(AvgResize, EightBitSourceBecomes24BitAndBadSizesFail) {
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf8bit);
    b.SetSize(4, 4);
    b.FillRect({0, 0, 4, 4}, RGBColor(90, 90, 90));
    ASSERT_TRUE(AvgResize(b, 2, 2));
    EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(b.GetPixel(1, 1), RGBColor(90, 90, 90));
    EXPECT_FALSE(AvgResize(b, -1, 5));
    TBitmap empty;
    ASSERT_TRUE(AvgResize(empty, 3, 3));
    EXPECT_EQ(empty.GetPixel(2, 2), clBlack);
}

TEST(ClampByte, ClampsAndRoundsHalvesToEven) {
    EXPECT_EQ(ClampByte(254.5), 254);
    EXPECT_EQ(ClampByte(253.5), 254);
    EXPECT_EQ(ClampByte(2.5), 2);
    EXPECT_EQ(ClampByte(3.5), 4);
    EXPECT_EQ(ClampByte(255.2), 255);
    EXPECT_EQ(ClampByte(-3), 0);
    EXPECT_EQ(ClampByte(0.4), 0);
    EXPECT_EQ(ClampByte(std::nan("")), 0);
}

TEST(GrayScaleBitmap, AveragesTheThreeBytes) {
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf32bit);
    b.SetSize(3, 1);
    b.SetPixel(0, 0, RGBColor(31, 20, 10));
    b.SetPixel(1, 0, clWhite);
    ASSERT_TRUE(GrayScaleBitmap(b));
    EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(b.GetPixel(0, 0), RGBColor(20, 20, 20));
    EXPECT_EQ(b.GetPixel(1, 0), clWhite);
    EXPECT_EQ(b.GetPixel(2, 0), clBlack);

    TBitmap empty;
    empty.SetPixelFormat(TPixelFormat::pf8bit);
    ASSERT_TRUE(GrayScaleBitmap(empty));
    EXPECT_EQ(empty.PixelFormat(), TPixelFormat::pf24bit);
}

TEST(ABitmap, StaysAt24Bits) {
    TABitmap a;
    EXPECT_EQ(a.PixelFormat(), TPixelFormat::pf24bit);
    a.LoadFromFile(std::string(ORV_TEST_DATA) + "/graphics/bmp8.bmp");
    EXPECT_EQ(a.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(a.Width(), 13);
    const TColor c = a.GetPixel(5, 3);

    TBitmap mono;
    mono.SetPixelFormat(TPixelFormat::pf1bit);
    mono.SetSize(2, 1);
    mono.SetPixel(1, 0, clWhite);
    a.Assign(mono);
    EXPECT_EQ(a.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(a.GetPixel(1, 0), clWhite);

    RegisterStandardPictures();
    TBitmap plain;
    ASSERT_TRUE(LoadPictureToBitmap(std::string(ORV_TEST_DATA) + "/graphics/bmp8.bmp", plain));
    EXPECT_EQ(plain.PixelFormat(), TPixelFormat::pf8bit);  // the loader keeps the file's depth
    EXPECT_EQ(plain.GetPixel(5, 3), c);
}

TEST(IsDirectory, TestsTheLiteralPath) {
    namespace fs = std::filesystem;
    const test::TempDir tmp;
    const fs::path root = fs::path(tmp.path()).parent_path();  // without the trailing '/'
    fs::create_directories(root / "a*b");
    std::ofstream(root / "file.txt") << "x";
    const std::string r = root.string();
    EXPECT_TRUE(IsDirectory(r));
    EXPECT_TRUE(IsDirectory(r + "/"));
    EXPECT_TRUE(IsDirectory(r + "/a*b"));
    EXPECT_FALSE(IsDirectory(r + "/a*"));  // no wildcard matching
    EXPECT_FALSE(IsDirectory(r + "/a?b"));
    EXPECT_FALSE(IsDirectory(r + "/file.txt"));
    EXPECT_FALSE(IsDirectory(r + "/missing"));
    EXPECT_FALSE(IsDirectory(""));
    EXPECT_TRUE(IsDirectory("/"));
}

}  // namespace
}  // namespace orv
