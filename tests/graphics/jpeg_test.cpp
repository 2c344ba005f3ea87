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
