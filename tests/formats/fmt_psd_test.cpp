// The Photoshop reader: files written by ImageMagick against an independent
// decode, and crafted files for headers, colour-mode data, depths and
// channel counts that do not fit together.
#include "formats/fmt_psd.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/color_manager.h"
#include "formats/library.h"
#include "platform/base/stream.h"
#include "platform/graphics/picture_loader.h"
#include "tests/support/le_bytes.h"
#include "tests/support/reader_test_support.h"

namespace orv {
namespace {

using namespace reader_test;
using test::PutBe16;
using test::PutBe32;

std::string DataPath(const std::string& name) { return std::string(ORV_TEST_DATA) + "/psd/" + name; }

struct PsdFile {
    std::uint16_t channels = 3;
    std::uint32_t width = 2;
    std::uint32_t height = 2;
    std::uint16_t depth = 8;
    std::uint16_t mode = 3;
    Bytes colorData;
    std::uint16_t compression = 0;
    Bytes pixels;  // everything after the compression code

    Bytes Build(const char* signature = "8BPS") const {
        Bytes out(signature, signature + 4);
        PutBe16(out, 1);
        out.resize(out.size() + 6, 0);
        PutBe16(out, channels);
        PutBe32(out, height);
        PutBe32(out, width);
        PutBe16(out, depth);
        PutBe16(out, mode);
        PutBe32(out, static_cast<std::uint32_t>(colorData.size()));
        out.insert(out.end(), colorData.begin(), colorData.end());
        PutBe32(out, 0);
        PutBe32(out, 0);
        PutBe16(out, compression);
        out.insert(out.end(), pixels.begin(), pixels.end());
        return out;
    }
};

std::string LoadError(const Bytes& file) { return reader_test::LoadError<TPSDGraphic>(file); }

const std::string kInvalid = "Cannot load image. Invalid or unexpected PSD or PDD image format.";
const std::string kBadColorFormat = "Invalid color format in PSD file.";

using Reference = ReferenceFile;

class PsdReference : public ::testing::TestWithParam<Reference> {};

TEST_P(PsdReference, MatchesTheIndependentDecode) {
    const Reference& r = GetParam();
    TPSDGraphic psd;
    psd.LoadFromFile(DataPath(std::string(r.name) + ".psd"));
    ASSERT_EQ(psd.Width(), 19);
    ASSERT_EQ(psd.Height(), 13);
    EXPECT_EQ(psd.PixelFormat(), r.format);
    ExpectRGBPixels(psd, DataPath(std::string(r.name) + ".rgb"));
}

constexpr TPixelFormat k1 = TPixelFormat::pf1bit, k8 = TPixelFormat::pf8bit, k24 = TPixelFormat::pf24bit,
                       k32 = TPixelFormat::pf32bit;

INSTANTIATE_TEST_SUITE_P(
    Files, PsdReference,
    ::testing::Values(Reference{"rgb8", k24}, Reference{"rgb16", k24}, Reference{"rgb16_raw", k24},
                      Reference{"rgba8_raw", k32}, Reference{"rgba16", k32}, Reference{"cmyk8_raw", k24},
                      Reference{"cmyk16", k24}, Reference{"gray8", k8}, Reference{"gray16", k8},
                      Reference{"gray16_raw", k8}, Reference{"graya8", k8}, Reference{"pal8_raw", k8},
                      Reference{"pala8", k8}, Reference{"mono", k1}, Reference{"mono_raw", k1}),
    ReferenceName);

TEST(PsdReader, SignatureTestsAndHeaderProperties) {
    PsdFile f;
    f.channels = 5;
    f.pixels.assign(5 * 4, 0);
    const Bytes file = f.Build();
    TMemoryStream stream(file);
    EXPECT_TRUE(TPSDGraphic::CanLoadStream(stream));
    EXPECT_EQ(stream.Position(), 0);
    TPSDGraphic psd;
    ASSERT_TRUE(psd.ReadImageProperties(stream, 0));
    EXPECT_EQ(psd.ImageProperties.ChannelCount, 5);
    EXPECT_EQ(psd.ImageProperties.SamplesPerPixel, 4);
    EXPECT_EQ(psd.ImageProperties.ColorScheme, TColorModel::cmRGBA);
    EXPECT_EQ(stream.Position(), static_cast<std::int64_t>(file.size() - f.pixels.size()));

    // A lower-case signature passes the class test only; 26 bytes are too few.
    const Bytes lower = f.Build("8bps");
    TMemoryStream lowerStream(lower);
    EXPECT_TRUE(TPSDGraphic::CanLoadStream(lowerStream));
    EXPECT_EQ(LoadError(lower), kInvalid);
    TMemoryStream shortStream(Bytes(file.begin(), file.begin() + 26));
    EXPECT_FALSE(TPSDGraphic::CanLoadStream(shortStream));
}

TEST(PsdReader, HeadersAskingForMoreThanTheFileHoldsAreRefusedBeforeAllocating) {
    PsdFile f;
    f.width = 0x10000;
    f.height = 0x10000;  // 16 GiB of 32-bit pixels, over the size gate
    EXPECT_EQ(LoadError(f.Build()), kInvalid);
    f.width = 20000;
    f.height = 20000;  // under the gate, but raw data would need 1.2 GB
    EXPECT_EQ(LoadError(f.Build()), kInvalid);
    f.compression = 1;  // a row-count table that is not there
    EXPECT_EQ(LoadError(f.Build()), kInvalid);
    // Row counts too small to fill the rows.
    f.width = 1000;
    f.height = 2;
    f.channels = 3;
    f.pixels.clear();
    for (int i = 0; i < 6; ++i) PutBe16(f.pixels, 2);
    f.pixels.resize(f.pixels.size() + 12, 0);
    EXPECT_EQ(LoadError(f.Build()), kInvalid);
    // Damaged section lengths.
    PsdFile g;
    g.colorData.assign(3, 0);
    Bytes cut = g.Build();
    cut.resize(30);
    EXPECT_EQ(LoadError(cut), kInvalid);
}

TEST(PsdReader, LongIndexedColorDataGivesAtMost256EntriesFromItsThreePlanes) {
    PsdFile f;
    f.mode = 2;
    f.channels = 2;  // indices and alpha
    f.width = 2;
    f.height = 1;
    const std::size_t m = 300;
    f.colorData.assign(3 * m, 0);
    for (std::size_t i = 0; i < m; ++i) {
        f.colorData[i] = static_cast<std::uint8_t>(i);
        f.colorData[m + i] = 7;
        f.colorData[2 * m + i] = static_cast<std::uint8_t>(255 - i);
    }
    f.pixels = {5, 255, 0, 0};
    TPSDGraphic psd;
    Load(psd, f.Build());
    ASSERT_EQ(psd.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(psd.Palette().Entries().size(), 256u);
    EXPECT_EQ(psd.GetPixel(0, 0), RGBColor(5, 7, 250));
    EXPECT_EQ(psd.GetPixel(1, 0), RGBColor(255, 7, 0));
}

TEST(PsdReader, ChannelCountsAndDepthsThatDoNotFitTheModeAreRefused) {
    PsdFile f;
    f.channels = 1;  // RGB with one plane
    f.pixels.assign(4, 0);
    EXPECT_EQ(LoadError(f.Build()), kInvalid);
    f.mode = 4;
    f.channels = 3;  // CMYK without black
    f.pixels.assign(12, 0);
    EXPECT_EQ(LoadError(f.Build()), kInvalid);
    f.mode = 3;
    f.depth = 32;
    f.pixels.assign(48, 0);
    EXPECT_EQ(LoadError(f.Build()), kBadColorFormat);
    f.mode = 1;
    f.depth = 4;
    EXPECT_EQ(LoadError(f.Build()), kBadColorFormat);
}

TEST(PsdReader, LabAndModesWithoutTransfer) {
    PsdFile f;
    f.mode = 9;
    // L* of white, black and two grays; a* and b* neutral.
    f.pixels = {255, 0, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128};
    TPSDGraphic psd;
    Load(psd, f.Build());
    ASSERT_EQ(psd.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(psd.GetPixel(0, 0), clWhite);
    EXPECT_EQ(psd.GetPixel(1, 0), clBlack);
    const TColor gray = psd.GetPixel(0, 1);
    EXPECT_EQ(ColorRed(gray), ColorGreen(gray));
    EXPECT_EQ(ColorGreen(gray), ColorBlue(gray));

    // Duotone loads as gray, its colour data skipped; mode 5 keeps its size only.
    PsdFile duo;
    duo.mode = 8;
    duo.channels = 1;
    duo.colorData.assign(17, 0xEE);
    duo.pixels = {0, 64, 128, 255};
    Load(psd, duo.Build());
    EXPECT_EQ(psd.GetPixel(1, 0), RGBColor(64, 64, 64));
    PsdFile other;
    other.mode = 5;
    Load(psd, other.Build());
    EXPECT_EQ(psd.Width(), 2);
    EXPECT_EQ(psd.GetPixel(1, 1), clBlack);
}

TEST(PsdReader, TruncatedFilesFailAndLoadsThroughTheRegistry) {
    const Bytes file = ReadFileBytes(DataPath("rgb16.psd"));
    for (std::size_t size : {file.size() - 1, file.size() / 2, std::size_t{40}}) {
        EXPECT_NE(LoadError(Bytes(file.begin(), file.begin() + static_cast<long>(size))), "") << size;
    }
    TImageFormatsScope formats;
    TBitmap bitmap;
    ASSERT_TRUE(LoadPictureToBitmap(DataPath("gray8.psd"), bitmap));
    EXPECT_EQ(bitmap.Width(), 19);
}

}  // namespace
}  // namespace orv
