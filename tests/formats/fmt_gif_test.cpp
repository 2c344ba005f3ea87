// The GIF reader: files written by ImageMagick and Pillow against Pillow's
// decode of their first frame, and crafted files for the extension scan,
// colour tables, code sizes and damaged data.
#include "formats/fmt_gif.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/library.h"
#include "platform/base/errors.h"
#include "platform/base/stream.h"
#include "platform/graphics/picture_loader.h"
#include "tests/support/le_bytes.h"
#include "tests/support/reader_test_support.h"

namespace orv {
namespace {

using namespace reader_test;
using test::PutLe16;

std::string DataPath(const std::string& name) { return std::string(ORV_TEST_DATA) + "/gif/" + name; }

// Header and screen with a global table of four colours (size code 1).
Bytes Screen(std::uint16_t w, std::uint16_t h, const char* signature = "GIF89a") {
    Bytes out(signature, signature + 6);
    PutLe16(out, w);
    PutLe16(out, h);
    out.insert(out.end(), {0x81, 0, 0});
    out.insert(out.end(), {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255});
    return out;
}

// LZW data (code size 2) of `count` pixels, each code one index, with a
// clear code before every code so the width stays 3 bits.
Bytes Codes(const std::vector<std::uint8_t>& indices) {
    Bytes bits;
    std::uint32_t acc = 0;
    int n = 0;
    auto put = [&](std::uint32_t code) {
        acc |= code << n;
        n += 3;
        while (n >= 8) {
            bits.push_back(static_cast<std::uint8_t>(acc));
            acc >>= 8;
            n -= 8;
        }
    };
    for (std::uint8_t i : indices) {
        put(4);
        put(i);
    }
    put(5);
    if (n > 0) bits.push_back(static_cast<std::uint8_t>(acc));
    return bits;
}

// Image descriptor, code size and data sub-blocks, trailer.
void AppendImage(Bytes& out, std::uint16_t w, std::uint16_t h, const Bytes& data, std::uint8_t flags = 0,
                 std::uint8_t codeSize = 2) {
    out.push_back(',');
    PutLe16(out, 0);
    PutLe16(out, 0);
    PutLe16(out, w);
    PutLe16(out, h);
    out.push_back(flags);
    out.push_back(codeSize);
    for (std::size_t i = 0; i < data.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - i);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
    }
    out.push_back(0);
    out.push_back(';');
}

std::string LoadError(const Bytes& file) { return reader_test::LoadError<TGIFGraphic>(file); }

const std::string kInvalid = "Cannot load image. Invalid or unexpected GIF image format.";

struct Reference {
    const char* name;
    bool interlaced;
    bool localTable;
};

class GifReference : public ::testing::TestWithParam<Reference> {};

TEST_P(GifReference, FirstFrameMatchesTheOtherDecoder) {
    const Reference& r = GetParam();
    TGIFGraphic gif;
    gif.LoadFromFile(DataPath(std::string(r.name) + ".gif"));
    EXPECT_EQ(gif.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(gif.ImageProperties.Interlaced, r.interlaced);
    EXPECT_EQ(gif.ImageProperties.LocalColorTable, r.localTable);
    ExpectRGBPixels(gif, DataPath(std::string(r.name) + ".rgb"));
}

INSTANTIATE_TEST_SUITE_P(Files, GifReference,
                         ::testing::Values(Reference{"plain", false, false}, Reference{"interlaced", true, false},
                                           Reference{"transparent", false, false}, Reference{"four", false, false},
                                           Reference{"frames", false, false},
                                           Reference{"pillow_interlaced", true, false},
                                           Reference{"pillow_local", false, false}),
                         [](const ::testing::TestParamInfo<Reference>& info) { return std::string(info.param.name); });

TEST(GifReader, HeaderPropertiesSignatureAndScreenSize) {
    Bytes file = Screen(3, 2, "gif87a");
    // Width 0 in the descriptor takes the screen width; a local table of
    // size code 2 gives 8 entries and 3 bits per sample.
    file.push_back(',');
    PutLe16(file, 0);
    PutLe16(file, 0);
    PutLe16(file, 0);
    PutLe16(file, 2);
    file.push_back(0x82);
    for (int i = 0; i < 8; ++i) file.insert(file.end(), {static_cast<std::uint8_t>(i * 30), 1, 2});
    file.push_back(2);
    const Bytes data = Codes({1, 2, 3, 0, 1, 2});
    file.push_back(static_cast<std::uint8_t>(data.size()));
    file.insert(file.end(), data.begin(), data.end());
    file.insert(file.end(), {0, ';'});

    TMemoryStream stream(file);
    EXPECT_TRUE(TGIFGraphic::CanLoadStream(stream));
    EXPECT_EQ(stream.Position(), 0);
    TGIFGraphic gif;
    ASSERT_TRUE(gif.ReadImageProperties(stream, 0));
    EXPECT_EQ(gif.ImageProperties.Version, 87u);
    EXPECT_EQ(gif.ImageProperties.Width, 3u);
    EXPECT_EQ(gif.ImageProperties.BitsPerSample, 3);
    EXPECT_TRUE(gif.ImageProperties.LocalColorTable);

    Load(gif, file);
    ASSERT_EQ(gif.Width(), 3);
    EXPECT_EQ(gif.Palette().Entries().size(), 8u);
    EXPECT_EQ(gif.GetPixel(0, 0), RGBColor(30, 1, 2));
    EXPECT_EQ(gif.GetPixel(2, 1), RGBColor(60, 1, 2));

    // A trailer right after the screen: an empty picture, no error.
    Bytes empty = Screen(3, 2);
    empty.push_back(';');
    empty.resize(30, 0);
    Load(gif, empty);
    EXPECT_TRUE(gif.Empty());
    Bytes notGif = empty;
    notGif[0] = 'X';
    EXPECT_EQ(LoadError(notGif), kInvalid);
}

TEST(GifReader, ExtensionsAreSkippedWholeWhateverTheyHold) {
    Bytes file = Screen(2, 2);
    // Graphic control (block size 4 and terminator), an unknown label whose
    // data holds both separators, a plain-text block and a comment.
    file.insert(file.end(), {'!', 249, 4, 1, 0, 0, 0, 0});
    file.insert(file.end(), {'!', 0x42, 3, ',', ';', ',', 2, ';', ',', 0});
    file.insert(file.end(), {'!', 1, 2, ',', ';', 1, ',', 0});
    file.insert(file.end(), {'!', 254, 1, ';', 0});
    AppendImage(file, 2, 2, Codes({3, 2, 1, 0}));
    TGIFGraphic gif;
    Load(gif, file);
    ASSERT_EQ(gif.Width(), 2);
    EXPECT_EQ(gif.GetPixel(0, 0), RGBColor(0, 0, 255));
    EXPECT_EQ(gif.GetPixel(1, 0), RGBColor(0, 255, 0));
    EXPECT_EQ(gif.GetPixel(0, 1), RGBColor(255, 0, 0));
}

TEST(GifReader, InterlacedRowsTakeTheirPassOrder) {
    Bytes file = Screen(1, 5);
    // Stored rows 0, 4, 2, 1, 3.
    AppendImage(file, 1, 5, Codes({0, 1, 2, 3, 0}), 0x40);
    TGIFGraphic gif;
    Load(gif, file);
    const TColor expected[5] = {clBlack, RGBColor(0, 0, 255), RGBColor(0, 255, 0), clBlack, RGBColor(255, 0, 0)};
    for (int y = 0; y < 5; ++y) EXPECT_EQ(gif.GetPixel(0, y), expected[y]) << y;
}

TEST(GifReader, BadCodeSizesFailAndShortDataLoadsWhatItHolds) {
    for (std::uint8_t codeSize : {0, 12, 255}) {
        Bytes file = Screen(2, 2);
        AppendImage(file, 2, 2, Codes({1, 1, 1, 1}), 0, codeSize);
        EXPECT_EQ(LoadError(file), kInvalid) << int(codeSize);
    }
    // Version characters that are not digits.
    Bytes file = Screen(2, 2, "GIFxxa");
    AppendImage(file, 2, 2, Codes({1, 1, 1, 1}));
    TGIFGraphic gif;
    EXPECT_THROW(Load(gif, file), EConvertError);

    // A large picture with a few bytes of data: what the data reaches is set.
    Bytes big = Screen(8000, 8000);
    AppendImage(big, 8000, 8000, Codes({1, 2}));
    Load(gif, big);
    EXPECT_EQ(gif.Width(), 8000);
    EXPECT_EQ(gif.GetPixel(1, 0), RGBColor(0, 255, 0));
    EXPECT_EQ(gif.GetPixel(7999, 7999), clBlack);
}

TEST(GifReader, LoadsThroughThePictureRegistry) {
    TImageFormatsScope formats;
    TBitmap bitmap;
    ASSERT_TRUE(LoadPictureToBitmap(DataPath("plain.gif"), bitmap));
    EXPECT_EQ(bitmap.Width(), 19);
}

}  // namespace
}  // namespace orv
