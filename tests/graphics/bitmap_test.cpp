#include <gtest/gtest.h>

#include <cstring>

#include "platform/graphics/bitmap.h"

namespace orv {
namespace {

TEST(Bitmap, NewBitmapIsDeviceFormatZeroFilledWithPaddedRows) {
    TBitmap bmp;
    EXPECT_TRUE(bmp.Empty());
    EXPECT_EQ(bmp.PixelFormat(), TPixelFormat::pfDevice);
    bmp.SetSize(3, 2);
    EXPECT_EQ(bmp.RowBytes(), 12u);
    EXPECT_EQ(bmp.ScanLine(1) - bmp.ScanLine(0), 12);  // top-down rows
    for (int i = 0; i < 24; ++i) EXPECT_EQ(bmp.Bits()[i], 0);
    bmp.SetPixelFormat(TPixelFormat::pf24bit);
    EXPECT_EQ(bmp.RowBytes(), 12u);  // 9 bytes rounded up to 4
    bmp.SetPixelFormat(TPixelFormat::pf1bit);
    EXPECT_EQ(bmp.RowBytes(), 4u);
    EXPECT_THROW(bmp.ScanLine(2), EInvalidGraphicOperation);
    EXPECT_THROW(bmp.ScanLine(-1), EInvalidGraphicOperation);
    EXPECT_THROW(bmp.SetPixelFormat(TPixelFormat::pfCustom), EInvalidGraphic);

    // Sized for a decoder that writes every pixel: the row padding is still clear.
    bmp.SetPixelFormat(TPixelFormat::pf24bit);
    bmp.SetSizeForOverwrite(5, 3);
    ASSERT_EQ(bmp.RowBytes(), 16u);
    for (int y = 0; y < 3; ++y) EXPECT_EQ(bmp.ScanLine(y)[15], 0);
}

TEST(Bitmap, SizeGateRefusesBeforeAllocating) {
    TBitmap bmp;
    EXPECT_THROW(bmp.SetSize(-1, 5), EInvalidGraphic);
    EXPECT_THROW(bmp.SetSize((1 << 20) + 1, 1), EInvalidGraphic);
    EXPECT_THROW(bmp.SetSize(1 << 15, (1 << 14) + 1), EInvalidGraphic);  // 2^29 + 2^15 pixels
    EXPECT_NO_THROW(CheckImageSize(1 << 15, 1 << 14, "x"));
    EXPECT_NO_THROW(CheckImageSize(1 << 20, 1, "x"));
    try {
        CheckImageSize(std::int64_t{1} << 40, std::int64_t{1} << 40, "TIFF");  // no 64-bit overflow
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Cannot load image. Invalid or unexpected TIFF image format.");
    }
}

TEST(Bitmap, ResizeKeepsTheOverlap) {
    TBitmap bmp;
    bmp.SetPixelFormat(TPixelFormat::pf24bit);
    bmp.SetSize(2, 2);
    bmp.SetPixel(1, 1, RGBColor(1, 2, 3));
    bmp.SetWidth(5);
    EXPECT_EQ(bmp.GetPixel(1, 1), RGBColor(1, 2, 3));
    EXPECT_EQ(bmp.GetPixel(4, 1), clBlack);
    bmp.SetHeight(1);
    EXPECT_EQ(bmp.Height(), 1);
    EXPECT_EQ(bmp.GetPixel(1, 1), clBlack);  // outside now
}

TEST(Bitmap, SixteenBitFormatsExpandByBitReplication) {
    TBitmap bmp;
    bmp.SetPixelFormat(TPixelFormat::pf15bit);
    bmp.SetSize(2, 1);
    std::uint8_t* row = bmp.ScanLine(0);
    const std::uint16_t x555 = (31 << 10) | (16 << 5) | 1;  // red 31, green 16, blue 1
    row[0] = x555 & 0xFF, row[1] = x555 >> 8;
    bmp.SetPixelFormat(TPixelFormat::pf24bit);
    EXPECT_EQ(bmp.GetPixel(0, 0), RGBColor(255, (16 << 3) | (16 >> 2), 8));

    bmp.SetPixelFormat(TPixelFormat::pf16bit);
    row = bmp.ScanLine(0);
    const std::uint16_t v565 = (1 << 11) | (33 << 5) | 30;
    row[0] = v565 & 0xFF, row[1] = v565 >> 8;
    bmp.SetPixelFormat(TPixelFormat::pf32bit);
    const std::uint8_t* p = bmp.ScanLine(0);
    EXPECT_EQ(p[0], (30 << 3) | (30 >> 2));
    EXPECT_EQ(p[1], (33 << 2) | (33 >> 4));
    EXPECT_EQ(p[2], 8);
}

TEST(Bitmap, DefaultPalettesAndIndexedConversions) {
    EXPECT_EQ(TPalette::DefaultFor(TPixelFormat::pf1bit).Count(), 2u);
    const TPalette vga = TPalette::DefaultFor(TPixelFormat::pf4bit);
    ASSERT_EQ(vga.Count(), 16u);
    EXPECT_EQ(vga.Color(1), RGBColor(128, 0, 0));   // maroon
    EXPECT_EQ(vga.Color(7), RGBColor(192, 192, 192));  // silver
    EXPECT_EQ(vga.Color(13), RGBColor(255, 0, 255));  // fuchsia
    EXPECT_EQ(TPalette::DefaultFor(TPixelFormat::pf8bit).Color(77), RGBColor(77, 77, 77));
    EXPECT_EQ(vga.Color(300), clBlack);

    // 4 bits to 8 keeps indices and the colours they showed.
    TBitmap bmp;
    bmp.SetPixelFormat(TPixelFormat::pf4bit);
    bmp.SetSize(3, 1);
    bmp.ScanLine(0)[0] = 0x9C;  // red, blue
    bmp.ScanLine(0)[1] = 0xF0;  // white
    bmp.SetPixelFormat(TPixelFormat::pf8bit);
    EXPECT_EQ(bmp.ScanLine(0)[0], 9);
    EXPECT_EQ(bmp.ScanLine(0)[1], 12);
    EXPECT_EQ(bmp.ScanLine(0)[2], 15);
    EXPECT_EQ(bmp.GetPixel(0, 0), RGBColor(255, 0, 0));
    EXPECT_EQ(bmp.GetPixel(2, 0), clWhite);

    // 1 bit with a palette of its own, to 24 bits.
    TBitmap mono;
    mono.SetPixelFormat(TPixelFormat::pf1bit);
    mono.SetPalette(TPalette({{10, 20, 30, 0}, {40, 50, 60, 0}}));
    mono.SetSize(9, 1);
    mono.ScanLine(0)[1] = 0x80;  // pixel 8
    mono.SetPixelFormat(TPixelFormat::pf24bit);
    EXPECT_EQ(mono.GetPixel(0, 0), RGBColor(10, 20, 30));
    EXPECT_EQ(mono.GetPixel(8, 0), RGBColor(40, 50, 60));

    // 24 bits to 8 maps to the nearest gray.
    TBitmap tc;
    tc.SetPixelFormat(TPixelFormat::pf24bit);
    tc.SetSize(1, 1);
    tc.SetPixel(0, 0, RGBColor(100, 102, 104));
    tc.SetPixelFormat(TPixelFormat::pf8bit);
    EXPECT_EQ(tc.ScanLine(0)[0], 102);
}

TEST(Bitmap, FillAndFrameAreClipped) {
    TBitmap bmp;
    bmp.SetPixelFormat(TPixelFormat::pf24bit);
    bmp.SetSize(4, 4);
    bmp.FillRect({-5, -5, 2, 2}, RGBColor(9, 8, 7));
    EXPECT_EQ(bmp.GetPixel(1, 1), RGBColor(9, 8, 7));
    EXPECT_EQ(bmp.GetPixel(2, 1), clBlack);
    bmp.FrameRect({1, 1, 10, 10}, clWhite);  // right and bottom edges outside
    EXPECT_EQ(bmp.GetPixel(3, 1), clWhite);
    EXPECT_EQ(bmp.GetPixel(1, 3), clWhite);
    EXPECT_EQ(bmp.GetPixel(2, 2), clBlack);
    EXPECT_EQ(bmp.GetPixel(3, 3), clBlack);
}

// A fill writes whole rows at once: the same bytes as setting each pixel,
// and nothing beside the rectangle (row padding included).
TEST(Bitmap, FillWritesWhatSettingEachPixelWrites) {
    for (TPixelFormat f : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf16bit,
                           TPixelFormat::pf24bit, TPixelFormat::pfDevice}) {
        for (const TRect& r : {TRect{1, 2, 36, 9}, TRect{0, 0, 37, 11}, TRect{5, 3, 6, 4}}) {
            TBitmap filled, reference;
            for (TBitmap* b : {&filled, &reference}) {
                b->SetPixelFormat(f);
                b->SetSize(37, 11);
            }
            const TColor color = RGBColor(200, 120, 40);
            filled.FillRect(r, color);
            for (int y = r.Top; y < r.Bottom; ++y)
                for (int x = r.Left; x < r.Right; ++x) reference.SetPixel(x, y, color);
            ASSERT_EQ(filled.RowBytes(), reference.RowBytes());
            EXPECT_EQ(std::memcmp(filled.Bits(), reference.Bits(), filled.RowBytes() * 11), 0)
                << BitsPerPixel(f) << " bits, " << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom;
        }
    }
}

TBitmap Solid(TPixelFormat format, int w, int h, TColor color) {
    TBitmap b;
    b.SetPixelFormat(format);
    b.SetSize(w, h);
    b.FillRect({0, 0, w, h}, color);
    return b;
}

TEST(BitBlt, RasterOperationsOnEqualFormats) {
    // The see-through drawing of the buttons: erase with the mask, then
    // invert with the image.
    TBitmap target = Solid(TPixelFormat::pfDevice, 2, 1, RGBColor(10, 20, 30));
    TBitmap mask = Solid(TPixelFormat::pfDevice, 2, 1, clWhite);
    mask.SetPixel(1, 0, clBlack);
    TBitmap image = Solid(TPixelFormat::pfDevice, 2, 1, clWhite);
    image.SetPixel(1, 0, RGBColor(200, 100, 50));
    BitBlt(target, 0, 0, 2, 1, mask, 0, 0, TRasterOp::SrcErase);
    BitBlt(target, 0, 0, 2, 1, image, 0, 0, TRasterOp::SrcInvert);
    EXPECT_EQ(target.GetPixel(0, 0), RGBColor(10, 20, 30));  // background shows through
    EXPECT_EQ(target.GetPixel(1, 0), RGBColor(200, 100, 50));

    BitBlt(target, 0, 0, 1, 1, image, 1, 0, TRasterOp::SrcCopy);
    EXPECT_EQ(target.GetPixel(0, 0), RGBColor(200, 100, 50));
}

TEST(BitBlt, ClipsToBothBitmapsAndConvertsFormats) {
    TBitmap target = Solid(TPixelFormat::pf24bit, 4, 4, clBlack);
    TBitmap source = Solid(TPixelFormat::pf8bit, 3, 3, RGBColor(60, 60, 60));
    BitBlt(target, -1, 2, 10, 10, source, 0, 0, TRasterOp::SrcCopy);
    EXPECT_EQ(target.GetPixel(0, 2), RGBColor(60, 60, 60));
    EXPECT_EQ(target.GetPixel(1, 3), RGBColor(60, 60, 60));
    EXPECT_EQ(target.GetPixel(2, 2), clBlack);  // source has only 2 columns left after x = -1
    EXPECT_EQ(target.GetPixel(0, 1), clBlack);
    BitBlt(target, 0, 0, 2, 2, source, -5, -5, TRasterOp::SrcCopy);  // nothing overlaps
    EXPECT_EQ(target.GetPixel(0, 0), clBlack);

    // Overlapping copy within one bitmap reads the original pixels.
    TBitmap strip = Solid(TPixelFormat::pf24bit, 4, 1, clBlack);
    strip.SetPixel(0, 0, RGBColor(1, 1, 1));
    strip.SetPixel(1, 0, RGBColor(2, 2, 2));
    BitBlt(strip, 1, 0, 3, 1, strip, 0, 0, TRasterOp::SrcCopy);
    EXPECT_EQ(strip.GetPixel(1, 0), RGBColor(1, 1, 1));
    EXPECT_EQ(strip.GetPixel(2, 0), RGBColor(2, 2, 2));
}

TEST(Bitmap, AssignCopiesAndMoveAssignHandsOver) {
    TBitmap a = Solid(TPixelFormat::pf8bit, 3, 2, RGBColor(5, 5, 5));
    a.SetPalette(TPalette::DefaultFor(TPixelFormat::pf8bit));
    TBitmap b;
    b.Assign(a);
    EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(b.GetPixel(2, 1), RGBColor(5, 5, 5));
    b.SetPixel(0, 0, clWhite);
    EXPECT_EQ(a.GetPixel(0, 0), RGBColor(5, 5, 5));  // a real copy
    TBitmap c;
    c.MoveAssign(b);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(c.GetPixel(0, 0), clWhite);
    EXPECT_TRUE(IsBitmap(c));
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

TEST(BitBlt, ConvertsSourcePixelsBeforeCombining) {
    TBitmap target;
    target.SetSize(3, 1);  // device format
    target.FillRect({0, 0, 3, 1}, RGBColor(0x0F, 0xF0, 0x00));
    TBitmap white;
    white.SetPixelFormat(TPixelFormat::pf24bit);
    white.SetSize(3, 1);
    white.FillRect({0, 0, 3, 1}, clWhite);
    BitBlt(target, 1, 0, 2, 1, white, 0, 0, TRasterOp::SrcInvert);
    EXPECT_EQ(target.GetPixel(0, 0), RGBColor(0x0F, 0xF0, 0x00));
    EXPECT_EQ(target.GetPixel(2, 0), RGBColor(0xF0, 0x0F, 0xFF));

    TBitmap mono;
    mono.SetPixelFormat(TPixelFormat::pf1bit);
    mono.SetSize(10, 1);
    BitBlt(mono, 3, 0, 3, 1, white, 0, 0, TRasterOp::SrcCopy);
    BitBlt(mono, 4, 0, 1, 1, white, 0, 0, TRasterOp::SrcInvert);
    const TColor expected[10] = {clBlack, clBlack, clBlack, clWhite, clBlack, clWhite, clBlack, clBlack, clBlack, clBlack};
    for (int x = 0; x < 10; ++x) EXPECT_EQ(mono.GetPixel(x, 0), expected[x]) << x;
}

}  // namespace
}  // namespace orv
