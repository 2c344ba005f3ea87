// The Autodesk cel reader against files built here: palette scaling,
// unpadded rows, files that end early and headers that do not fit.
#include "formats/fmt_autodesk.h"

#include <gtest/gtest.h>

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

std::uint8_t Index(int x, int y) { return static_cast<std::uint8_t>(x * 7 + y * 50); }

// Palette entry i is (i mod 64, 63 - i mod 64, i / 4), six bits each.
Bytes Cel(int width, int height) {
    Bytes b(32, 0);
    SetLe16(b, 0, 0x9119);
    SetLe16(b, 2, static_cast<std::uint16_t>(width));
    SetLe16(b, 4, static_cast<std::uint16_t>(height));
    b[10] = 8;
    for (int i = 0; i < 256; ++i) {
        b.push_back(static_cast<std::uint8_t>(i % 64));
        b.push_back(static_cast<std::uint8_t>(63 - i % 64));
        b.push_back(static_cast<std::uint8_t>(i / 4));
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) b.push_back(Index(x, y));
    return b;
}

TColor Expected(std::uint8_t i) {
    return RGBColor(static_cast<std::uint8_t>(i % 64 * 4), static_cast<std::uint8_t>((63 - i % 64) * 4),
                    static_cast<std::uint8_t>(i / 4 * 4));
}

TEST(AutodeskReader, LoadsPaletteAndUnpaddedRows) {
    TAutodeskGraphic cel;
    Load(cel, Cel(3, 5));
    ASSERT_EQ(cel.Width(), 3);
    ASSERT_EQ(cel.Height(), 5);
    EXPECT_EQ(cel.PixelFormat(), TPixelFormat::pf8bit);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(cel.ScanLine(y)[x], Index(x, y));
            EXPECT_EQ(cel.GetPixel(x, y), Expected(Index(x, y)));
        }
    // 63 becomes 252, 32 becomes 128.
    EXPECT_EQ(cel.Palette().Entry(0).Green, 252);
    EXPECT_EQ(cel.Palette().Entry(32).Red, 128);
    EXPECT_EQ(cel.ImageProperties.ColorScheme, TColorModel::cmIndexed);
}

TEST(AutodeskReader, FileEndingEarlyLeavesTheRestBlack) {
    // Inside the pixels, and inside the palette.
    Bytes file = Cel(4, 4);
    file.resize(800 + 6);
    TAutodeskGraphic cel;
    Load(cel, file);
    ASSERT_EQ(cel.Height(), 4);
    EXPECT_EQ(cel.ScanLine(1)[1], Index(1, 1));
    EXPECT_EQ(cel.ScanLine(1)[2], 0);
    EXPECT_EQ(cel.ScanLine(3)[3], 0);

    file.resize(32 + 3 * 10 + 1);
    Load(cel, file);
    EXPECT_EQ(cel.Palette().Entry(9), (TPaletteEntry{9 * 4, 54 * 4, 2 * 4, 0}));
    EXPECT_EQ(cel.Palette().Entry(10), (TPaletteEntry{40, 0, 0, 0}));
    EXPECT_EQ(cel.Palette().Entry(11), TPaletteEntry{});
    EXPECT_EQ(cel.ScanLine(0)[0], 0);
}

TEST(AutodeskReader, RefusesWhatIsNoPicture) {
    const std::string invalid = "Cannot load image. Invalid or unexpected Autodesk image format.";
    Bytes wrongMagic = Cel(2, 2);
    wrongMagic[0] = 0x18;
    Bytes shortHeader = Cel(2, 2);
    shortHeader.resize(31);
    Bytes huge = Cel(1, 1);  // 65535 x 65535 is over the size gate
    SetLe16(huge, 2, 0xFFFF);
    SetLe16(huge, 4, 0xFFFF);
    for (const Bytes& file : {wrongMagic, shortHeader, huge}) {
        TAutodeskGraphic cel;
        try {
            Load(cel, file);
            ADD_FAILURE() << "loaded";
        } catch (const EInvalidGraphic& e) {
            EXPECT_EQ(std::string(e.what()), invalid);
            EXPECT_TRUE(cel.Empty());
        }
    }
}

TEST(AutodeskReader, StreamTestAndRegistry) {
    const Bytes file = Cel(3, 2);
    TMemoryStream stream(file);
    EXPECT_TRUE(TAutodeskGraphic::CanLoadStream(stream));
    EXPECT_EQ(stream.Position(), 0);
    EXPECT_FALSE(TAutodeskGraphic::CanLoadStream(*std::make_unique<TMemoryStream>(Bytes(file.begin(), file.begin() + 32))));
    Bytes compressed = file;
    compressed[11] = 1;
    EXPECT_FALSE(TAutodeskGraphic::CanLoadStream(*std::make_unique<TMemoryStream>(compressed)));
    // Only the stream test looks at depth and compression.
    TAutodeskGraphic cel;
    Load(cel, compressed);
    EXPECT_EQ(cel.ScanLine(1)[2], Index(2, 1));

    TImageFormatsScope formats;
    for (const char* extension : {".CEL", ".pic"}) {
        TBitmap bitmap;
        ASSERT_TRUE(LoadAsFile(file, std::string("picture") + extension, bitmap)) << extension;
        EXPECT_EQ(bitmap.GetPixel(2, 1), Expected(Index(2, 1)));
    }
}

}  // namespace
}  // namespace orv
