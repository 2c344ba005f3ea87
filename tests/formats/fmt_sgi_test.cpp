// The SGI reader: files written by other tools and crafted ones against
// their known pixels, and damaged headers, tables and rows.
#include "formats/fmt_sgi.h"

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
using test::SetBe16;
using test::SetBe32;

std::string DataPath(const std::string& name) { return std::string(ORV_TEST_DATA) + "/sgi/" + name; }

Bytes Header(std::uint8_t storage, std::uint8_t bpc, std::uint16_t w, std::uint16_t h, std::uint16_t channels,
             std::uint16_t dimension = 3) {
    Bytes b(512, 0);
    SetBe16(b, 0, 474);
    b[2] = storage;
    b[3] = bpc;
    SetBe16(b, 4, dimension);
    SetBe16(b, 6, w);
    SetBe16(b, 8, h);
    SetBe16(b, 10, channels);
    return b;
}

using Reference = ReferenceFile;

class SGIReference : public ::testing::TestWithParam<Reference> {};

TEST_P(SGIReference, MatchesItsPixels) {
    const Reference& r = GetParam();
    const std::string base = std::string(r.name);
    TSGIGraphic sgi;
    sgi.LoadFromFile(DataPath(base + ".sgi"));
    EXPECT_EQ(sgi.PixelFormat(), r.format) << base;
    const bool alpha = r.format == TPixelFormat::pf32bit;
    ExpectRGBPixels(sgi, DataPath(base + (alpha ? ".rgba" : ".rgb")), alpha ? 4 : 3);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SGIReference,
    ::testing::Values(Reference{"tool_im_gray", TPixelFormat::pf8bit}, Reference{"tool_im_gray_rle", TPixelFormat::pf8bit},
                      Reference{"tool_im_gray16", TPixelFormat::pf8bit}, Reference{"tool_im_rgb", TPixelFormat::pf24bit},
                      Reference{"tool_im_rgb_rle", TPixelFormat::pf24bit},
                      Reference{"tool_im_rgb16", TPixelFormat::pf24bit},
                      Reference{"tool_im_rgba", TPixelFormat::pf32bit},
                      Reference{"tool_im_rgba_rle", TPixelFormat::pf32bit},
                      Reference{"tool_pil_l", TPixelFormat::pf8bit}, Reference{"tool_pil_rgb", TPixelFormat::pf24bit},
                      Reference{"tool_pil_rgba", TPixelFormat::pf32bit},
                      Reference{"craft_rgb16_rle", TPixelFormat::pf24bit},
                      Reference{"craft_gray16", TPixelFormat::pf8bit},
                      Reference{"craft_gray_alpha_rle", TPixelFormat::pf8bit}),
    ReferenceName);

TEST(SGIReader, RowTablesCountFromWhereTheLoadBegan) {
    const Bytes file = ReadFileBytes(DataPath("tool_im_rgb_rle.sgi"));
    TMemoryStream stream;
    const Bytes prefix(37, 0xEE);
    stream.WriteBuffer(prefix.data(), prefix.size());
    stream.WriteBuffer(file.data(), file.size());
    stream.SetPosition(37);
    EXPECT_TRUE(TSGIGraphic::CanLoadStream(stream));
    EXPECT_EQ(stream.Position(), 37);
    TSGIGraphic sgi;
    sgi.LoadFromStream(stream);
    ExpectRGBPixels(sgi, DataPath("tool_im_rgb_rle.rgb"), 3);
}

TEST(SGIReader, RefusesHeadersItCannotRead) {
    struct Case {
        const char* what;
        Bytes file;
    };
    Bytes wrongMagic = Header(0, 1, 4, 4, 1);
    SetBe16(wrongMagic, 0, 475);
    // Sample sizes that wrap to 8 or 16 bits once multiplied by 8.
    std::vector<Case> cases{{"magic", wrongMagic},
                            {"33 bytes per sample", Header(0, 33, 4, 4, 3)},
                            {"34 bytes per sample", Header(1, 34, 4, 4, 1)},
                            {"no channels", Header(0, 1, 4, 4, 0)},
                            {"five channels", Header(1, 1, 4, 4, 5)},
                            {"short header", Bytes(100, 0)},
                            {"over the size gate", Header(1, 1, 65535, 65535, 4)}};
    for (Case& c : cases) {
        c.file.resize(c.file.size() + 64, 0x81);
        TSGIGraphic sgi;
        try {
            Load(sgi, c.file);
            ADD_FAILURE() << c.what << " loaded";
        } catch (const EInvalidGraphic& e) {
            EXPECT_STREQ(e.what(), "Cannot load image. Invalid or unexpected sgi, bw or rgb(a) image format.")
                << c.what;
        }
        EXPECT_TRUE(sgi.Empty()) << c.what;
    }
}

TEST(SGIReader, DamagedRunLengthTablesGiveBlackRows) {
    // 4 channels of 60000 rows name tables of almost 2 MB; the file ends
    // inside the starts table, so every row is empty.
    Bytes file = Header(1, 1, 3, 60000, 4);
    file.resize(file.size() + 40, 0);
    TSGIGraphic sgi;
    Load(sgi, file);
    ASSERT_EQ(sgi.Height(), 60000);
    EXPECT_EQ(sgi.GetPixel(2, 0), clBlack);
    EXPECT_EQ(sgi.GetPixel(0, 59999), clBlack);
}

TEST(SGIReader, RowLengthsBeyondTheFileAreCut) {
    // One gray row of 4 pixels whose table claims 4 GB; its packets are
    // still decoded, and only the row's bytes are written.
    Bytes file = Header(1, 1, 4, 1, 1, 2);
    const std::size_t data = file.size() + 8;
    file.resize(data, 0);
    SetBe32(file, 512, static_cast<std::uint32_t>(data));
    SetBe32(file, 516, 0xFFFFFFFFu);
    const std::uint8_t packets[] = {0x82, 10, 20, 0x05, 99, 0};  // 2 literal, a run of 5 cut to 2
    file.insert(file.end(), std::begin(packets), std::end(packets));
    TSGIGraphic sgi;
    Load(sgi, file);
    ASSERT_EQ(sgi.Width(), 4);
    EXPECT_EQ(sgi.GetPixel(0, 0), RGBColor(10, 10, 10));
    EXPECT_EQ(sgi.GetPixel(1, 0), RGBColor(20, 20, 20));
    EXPECT_EQ(sgi.GetPixel(3, 0), RGBColor(99, 99, 99));
}

TEST(SGIReader, RowsPastTheEndOfARawFileAreBlack) {
    Bytes file = ReadFileBytes(DataPath("tool_im_rgb.sgi"));
    // Keep the first 5 rows of the red plane and nothing else.
    file.resize(512 + 17 * 5);
    TSGIGraphic sgi;
    Load(sgi, file);
    const Bytes expected = ReadFileBytes(DataPath("tool_im_rgb.rgb"));
    // Bottom row: red from the file, no green or blue.
    EXPECT_EQ(sgi.GetPixel(3, 10), RGBColor(expected[(10 * 17 + 3) * 3], 0, 0));
    EXPECT_EQ(sgi.GetPixel(3, 0), clBlack);
}

TEST(SGIReader, LoadsThroughThePictureRegistry) {
    TImageFormatsScope formats;
    TBitmap bitmap;
    ASSERT_TRUE(LoadAsFile(ReadFileBytes(DataPath("tool_im_gray_rle.sgi")), "picture.BW", bitmap));
    ExpectRGBPixels(bitmap, DataPath("tool_im_gray_rle.rgb"), 3);
}

}  // namespace
}  // namespace orv
