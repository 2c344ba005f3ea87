#include "formats/codec_jpeg.h"

#include <gtest/gtest.h>

#include "codec_test_data.h"
#include "platform/graphics/jpeg_glue.h"
#include "platform/graphics/graphic.h"

namespace orv {
namespace {

using codec_test::Bytes;
using codec_test::ReadData;

// Records the warnings while a test runs.
class WarningRecorder {
public:
    WarningRecorder() {
        SetJpegWarningHandler([this](const std::string& text) { texts.push_back(text); });
    }
    ~WarningRecorder() { SetJpegWarningHandler(nullptr); }
    std::vector<std::string> texts;
};

TTIFFJPEGImage YccImage() {
    TTIFFJPEGImage image;
    image.Width = 64;
    image.Height = 40;
    image.RowsPerStrip = 16;
    image.SamplesPerPixel = 3;
    image.YCbCr = true;
    image.SubsamplingH = 2;
    image.SubsamplingV = 2;
    image.JPEGTables = ReadData("jpeg_ycc.tables");
    image.RowBytes = 64 * 3;
    return image;
}

TTIFFJPEGImage GrayImage() {
    TTIFFJPEGImage image;
    image.Width = 50;
    image.Height = 20;
    image.RowsPerStrip = 20;
    image.RowBytes = 50;
    return image;
}

Bytes DecodeStrip(TTIFFJPEGDecoder& d, const Bytes& packed, std::size_t size) {
    Bytes out(size, 0xEE);
    const std::uint8_t* src = packed.data();
    std::uint8_t* dst = out.data();
    d.Decode(src, packed.size(), dst, out.size());
    return out;
}

TEST(TIFFJPEG, StripsWithSharedTablesDecodeBlueFirst) {
    WarningRecorder warnings;
    TTIFFJPEGDecoder d(YccImage());
    d.DecodeInit();
    for (int strip = 0; strip < 3; ++strip) {
        const Bytes packed = ReadData("jpeg_ycc_s" + std::to_string(strip) + ".packed");
        Bytes rgb = ReadData("jpeg_ycc_s" + std::to_string(strip) + ".rows");
        for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) std::swap(rgb[i], rgb[i + 2]);
        d.Image().RowIndex = static_cast<std::uint32_t>(strip * 16);
        // The last strip holds the 8 rows left, in a buffer of 16.
        Bytes out = DecodeStrip(d, packed, 16 * 192);
        out.resize(rgb.size());
        EXPECT_EQ(out, rgb) << strip;
    }
    d.DecodeEnd();
    EXPECT_TRUE(warnings.texts.empty());
}

TEST(TIFFJPEG, GrayStripWithItsOwnTables) {
    TTIFFJPEGDecoder d(GrayImage());
    d.DecodeInit();
    EXPECT_EQ(DecodeStrip(d, ReadData("jpeg_gray_s0.packed"), 1000), ReadData("jpeg_gray_s0.rows"));
}

TEST(TIFFJPEG, StripsThatDoNotFitTheImageAreRefused) {
    const Bytes packed = ReadData("jpeg_gray_s0.packed");
    auto message = [&](TTIFFJPEGImage image, std::size_t size) -> std::string {
        TTIFFJPEGDecoder d(std::move(image));
        d.DecodeInit();
        try {
            DecodeStrip(d, packed, size);
        } catch (const EDecoderError& e) {
            return e.what();
        }
        return "";
    };
    TTIFFJPEGImage image = GrayImage();
    image.Width = 51;
    EXPECT_EQ(message(image, 1000), "Improper JPEG strip/tile size.");
    image = GrayImage();
    image.RowIndex = 5;  // 15 rows left, the strip has 20
    EXPECT_EQ(message(image, 1000), "Improper JPEG strip/tile size.");
    image = GrayImage();
    image.SamplesPerPixel = 3;
    EXPECT_EQ(message(image, 1000), "Improper JPEG component count.");
    image = GrayImage();
    image.BitsPerSample = 12;
    EXPECT_EQ(message(image, 1000), "Improper JPEG data precision.");
    image = GrayImage();
    image.SubsamplingH = 2;
    EXPECT_EQ(message(image, 1000), "Improper JPEG sampling factors.");
    image = GrayImage();
    EXPECT_EQ(message(image, 999), "Fractional JPEG scanline unsupported.");
    image.RowBytes = 40;  // shorter than libjpeg's scanline
    EXPECT_EQ(message(image, 1000), "Improper JPEG strip/tile size.");
}

TEST(TIFFJPEG, ShortBuffersAndTruncatedStrips) {
    WarningRecorder warnings;
    const Bytes packed = ReadData("jpeg_gray_s0.packed");
    const Bytes rows = ReadData("jpeg_gray_s0.rows");
    TTIFFJPEGDecoder d(GrayImage());
    d.DecodeInit();
    // Room for 7 rows: those are written, the decompression is abandoned.
    const Bytes seven = DecodeStrip(d, packed, 350);
    EXPECT_TRUE(std::equal(seven.begin(), seven.end(), rows.begin()));
    // The next strip still decodes.
    EXPECT_EQ(DecodeStrip(d, packed, 1000), rows);
    EXPECT_TRUE(warnings.texts.empty());

    const Bytes cut(packed.begin(), packed.begin() + static_cast<long>(packed.size()) - 200);
    EXPECT_NO_THROW(DecodeStrip(d, cut, 1000));
    ASSERT_FALSE(warnings.texts.empty());
    EXPECT_EQ(warnings.texts[0], "JPEG decompression error. Unexpected end of input.");
}

TEST(TIFFJPEG, LibjpegErrorsAndBogusTables) {
    TTIFFJPEGDecoder d(GrayImage());
    d.DecodeInit();
    try {
        DecodeStrip(d, Bytes{0x00, 0x11, 0x22, 0x33}, 1000);
        FAIL() << "no error";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(std::string(e.what()).rfind("JPEG error #", 0), 0u) << e.what();
    }
    EXPECT_EQ(JpegErrorText(20), "JPEG error #20");

    TTIFFJPEGImage image = GrayImage();
    image.JPEGTables = ReadData("jpeg_gray_s0.packed");  // a whole image is not a tables stream
    TTIFFJPEGDecoder withImage(image);
    EXPECT_THROW(withImage.DecodeInit(), EDecoderError);
    Bytes out(1000);
    const std::uint8_t* src = out.data();
    std::uint8_t* dst = out.data();
    TTIFFJPEGDecoder idle(GrayImage());
    EXPECT_THROW(idle.Decode(src, 0, dst, out.size()), EDecoderError);  // no DecodeInit
}

}  // namespace
}  // namespace orv
