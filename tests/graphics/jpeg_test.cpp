#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/base/stream.h"
#include "platform/graphics/jpeg_image.h"
#include "tests/support/temp_dir.h"

namespace orv {
namespace {

const std::string kDir = std::string(ORV_TEST_DATA) + "/graphics/";

using test::ReadBytes;

// Largest channel difference between the bitmap and reference rows of
// `channels` bytes a pixel (3: red, green, blue; 1: gray).
int MaxDifference(const TBitmap& bmp, const std::vector<std::uint8_t>& ref, int channels) {
    int worst = 0;
    for (int y = 0; y < bmp.Height(); ++y) {
        const std::uint8_t* row = bmp.ScanLine(y);
        for (int x = 0; x < bmp.Width(); ++x) {
            const std::size_t i = (static_cast<std::size_t>(y) * bmp.Width() + x) * channels;
            const int r = ref[i], g = ref[i + (channels == 3 ? 1 : 0)], b = ref[i + (channels == 3 ? 2 : 0)];
            worst = std::max({worst, std::abs(row[3 * x] - b), std::abs(row[3 * x + 1] - g), std::abs(row[3 * x + 2] - r)});
        }
    }
    return worst;
}

TEST(JpegImage, FitScaleIsTheSmallestThatCoversTheShownSize) {
    EXPECT_EQ(JpegFitDenominator(1632, 1224, 440, 330), 2);  // shown 440 x 330
    EXPECT_EQ(JpegFitDenominator(1632, 1224, 408, 400), 4);  // shown 408 x 306
    EXPECT_EQ(JpegFitDenominator(4000, 3000, 440, 600), 8);  // shown 440 x 330
    EXPECT_EQ(JpegFitDenominator(640, 480, 440, 330), 1);
    EXPECT_EQ(JpegFitDenominator(300, 4000, 440, 330), 8);   // shown 24 x 330: ceil(4000 / 8) = 500
    EXPECT_EQ(JpegFitDenominator(41, 9, 10, 10), 4);         // ceil(41 / 4) = 11, ceil(9 / 4) = 3 >= 2
    EXPECT_EQ(JpegFitDenominator(1632, 1224, 0, 0), 1);
    EXPECT_EQ(JpegFitDenominator(65500, 65500, 1, 1), 8);
}

// A picture for a small box comes out smaller, its colours the block
// averages of the whole picture's.
TEST(JpegImage, DecodesToFitABox) {
    for (const char* file : {"jpeg_baseline.jpg", "jpeg_cmyk.jpg"}) {
        SCOPED_TRACE(file);
        TJPEGImage whole, fitted;
        whole.LoadFromFile(kDir + file);
        fitted.SetFitBox(9, 5);  // 37 x 23 shows as 8 x 5: a quarter covers it
        fitted.LoadFromFile(kDir + file);
        ASSERT_EQ(fitted.Width(), 10);
        ASSERT_EQ(fitted.Height(), 6);
        int worst = 0;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 9; ++x)
                for (int c = 0; c < 3; ++c) {
                    int sum = 0;
                    for (int dy = 0; dy < 4; ++dy)
                        for (int dx = 0; dx < 4; ++dx) sum += whole.Bitmap().ScanLine(4 * y + dy)[3 * (4 * x + dx) + c];
                    worst = std::max(worst, std::abs(fitted.Bitmap().ScanLine(y)[3 * x + c] - sum / 16));
                }
        EXPECT_LE(worst, 16);
    }
}

TEST(JpegImage, DecodesLikeTheLibrarysOwnTool) {
    struct Case {
        const char* file;
        const char* reference;
        int channels;
        int tolerance;
    } cases[] = {
        {"jpeg_baseline.jpg", "jpeg_baseline.rgb", 3, 0},
        {"jpeg_progressive.jpg", "jpeg_progressive.rgb", 3, 0},
        {"jpeg_gray.jpg", "jpeg_gray.gray", 1, 0},
        // CMYK reference from another program's colour conversion: rounding only.
        {"jpeg_cmyk.jpg", "jpeg_cmyk.rgb", 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TJPEGImage jpeg;
        jpeg.LoadFromFile(kDir + c.file);
        ASSERT_EQ(jpeg.Width(), 37);
        ASSERT_EQ(jpeg.Height(), 23);
        EXPECT_EQ(jpeg.Bitmap().PixelFormat(), TPixelFormat::pf24bit);
        EXPECT_LE(MaxDifference(jpeg.Bitmap(), ReadBytes(kDir + c.reference), c.channels), c.tolerance);
    }
}

TEST(JpegImage, BadDataRaisesInvalidGraphic) {
    const auto good = ReadBytes(kDir + "jpeg_baseline.jpg");
    auto load = [](std::vector<std::uint8_t> bytes) {
        TJPEGImage jpeg;
        TMemoryStream s(std::move(bytes));
        jpeg.LoadFromStream(s);
        // Every pixel byte was written (the bitmap is not cleared first).
        unsigned sum = 0;
        for (int y = 0; y < jpeg.Height(); ++y)
            for (std::size_t i = 0; i < jpeg.Bitmap().RowBytes(); ++i) sum += jpeg.Bitmap().ScanLine(y)[i];
        return sum > 0 ? jpeg.Width() : -1;
    };
    EXPECT_THROW(load({}), EInvalidGraphic);
    EXPECT_THROW(load({0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3}), EInvalidGraphic);
    EXPECT_THROW(load({good.begin(), good.begin() + 200}), EInvalidGraphic);  // cut inside the tables

    // A frame header claiming 65535 x 65535 pixels is refused before any
    // pixel memory is taken.
    auto huge = good;
    for (std::size_t i = 0; i + 8 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = huge[i + 6] = huge[i + 7] = huge[i + 8] = 0xFF;
            break;
        }
    EXPECT_THROW(load(huge), EInvalidGraphic);

    // Data cut inside the scan: libjpeg pads the rest, the picture loads.
    EXPECT_EQ(load({good.begin(), good.end() - 100}), 37);
}

// A progressive file keeps the coefficients of the whole picture: one that
// claims 16000 x 16000 pixels (1.5 GB of them) is refused, even when it is
// to be shown small, instead of taking the memory.
TEST(JpegImage, ProgressivePictureBeyondTheWorkingMemoryIsRefused) {
    auto bytes = ReadBytes(kDir + "jpeg_progressive.jpg");
    for (std::size_t i = 0; i + 8 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC2) {
            bytes[i + 5] = bytes[i + 7] = 16000 >> 8;
            bytes[i + 6] = bytes[i + 8] = 16000 & 0xFF;
            break;
        }
    TJPEGImage jpeg;
    jpeg.SetFitBox(100, 100);
    TMemoryStream s(std::move(bytes));
    EXPECT_THROW(jpeg.LoadFromStream(s), EInvalidGraphic);
}

TEST(JpegImage, ClassTestLooksAtTheStartMarker) {
    auto good = ReadBytes(kDir + "jpeg_baseline.jpg");
    TMemoryStream s(good);
    s.SetPosition(0);
    EXPECT_TRUE(TJPEGImage::CanLoadStream(s));
    EXPECT_EQ(s.Position(), 0);
    TMemoryStream bmp(ReadBytes(kDir + "bmp24.bmp"));
    EXPECT_FALSE(TJPEGImage::CanLoadStream(bmp));
}

}  // namespace
}  // namespace orv
