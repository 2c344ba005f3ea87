// The PNG reader: reference files of every colour type, depth, filter and
// interlacing against the pixels another decoder gives, and crafted files
// for damaged and unusual chunk sequences.
#include "formats/fmt_png.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/color_manager.h"
#include "formats/library.h"
#include "platform/base/stream.h"
#include "platform/graphics/messages.h"
#include "platform/graphics/picture_loader.h"
#include "tests/support/le_bytes.h"
#include "tests/support/reader_test_support.h"

namespace orv {
namespace {

using namespace reader_test;
using test::PutBe32;

std::string DataPath(const std::string& name) { return std::string(ORV_TEST_DATA) + "/png/" + name; }

struct Chunk {
    std::string type;
    Bytes data;
};

std::uint32_t BE32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

std::vector<Chunk> ChunksOf(const Bytes& file) {
    std::vector<Chunk> chunks;
    for (std::size_t pos = 8; pos + 12 <= file.size();) {
        const std::uint32_t length = BE32(file.data() + pos);
        chunks.push_back({std::string(file.begin() + static_cast<long>(pos) + 4, file.begin() + static_cast<long>(pos) + 8),
                          Bytes(file.begin() + static_cast<long>(pos) + 8,
                                file.begin() + static_cast<long>(pos + 8 + length))});
        pos += 12 + length;
    }
    return chunks;
}

// A chunk as stored; lengthOverride replaces the length field only.
void AppendChunk(Bytes& out, const std::string& type, const Bytes& data, std::int64_t lengthOverride = -1) {
    PutBe32(out, lengthOverride >= 0 ? static_cast<std::uint32_t>(lengthOverride)
                                     : static_cast<std::uint32_t>(data.size()));
    Bytes crcInput(type.begin(), type.end());
    crcInput.insert(crcInput.end(), data.begin(), data.end());
    out.insert(out.end(), crcInput.begin(), crcInput.end());
    PutBe32(out, static_cast<std::uint32_t>(crc32(0, crcInput.data(), static_cast<uInt>(crcInput.size()))));
}

Bytes Assemble(const std::vector<Chunk>& chunks) {
    Bytes out = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    for (const Chunk& c : chunks) AppendChunk(out, c.type, c.data);
    return out;
}

Bytes Compress(const Bytes& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    EXPECT_EQ(compress(out.data(), &size, raw.data(), static_cast<uLong>(raw.size())), Z_OK);
    out.resize(size);
    return out;
}

Bytes Ihdr(std::uint32_t w, std::uint32_t h, std::uint8_t depth, std::uint8_t colorType, std::uint8_t interlace = 0) {
    Bytes d;
    PutBe32(d, w);
    PutBe32(d, h);
    d.insert(d.end(), {depth, colorType, 0, 0, interlace});
    return d;
}

// A small 8-bit gray image: rows of filter 0 and given levels.
Bytes GrayRows(std::uint32_t w, std::uint32_t h, std::uint8_t base) {
    Bytes raw;
    for (std::uint32_t y = 0; y < h; ++y) {
        raw.push_back(0);
        for (std::uint32_t x = 0; x < w; ++x) raw.push_back(static_cast<std::uint8_t>(base + x * 10 + y));
    }
    return raw;
}

std::string LoadError(const Bytes& file) { return reader_test::LoadError<TPNGGraphic>(file); }

std::string Invalid() { return "Cannot load image. Invalid or unexpected PNG image format."; }

// --- Reference files -------------------------------------------------------------

using Reference = ReferenceFile;

class PngReference : public ::testing::TestWithParam<Reference> {};

TEST_P(PngReference, MatchesTheOtherDecoder) {
    const Reference& r = GetParam();
    TPNGGraphic png;
    png.LoadFromFile(DataPath(std::string(r.name) + ".png"));
    ASSERT_EQ(png.Width(), 19);
    ASSERT_EQ(png.Height(), 13);
    EXPECT_EQ(png.PixelFormat(), r.format) << r.name;
    ExpectRGBPixels(png, DataPath(std::string(r.name) + ".rgb"));
}

constexpr TPixelFormat k1 = TPixelFormat::pf1bit, k4 = TPixelFormat::pf4bit, k8 = TPixelFormat::pf8bit,
                       k24 = TPixelFormat::pf24bit, k32 = TPixelFormat::pf32bit;

INSTANTIATE_TEST_SUITE_P(
    Files, PngReference,
    ::testing::Values(
        Reference{"gray1", k1}, Reference{"gray1_i", k1}, Reference{"gray2", k4}, Reference{"gray2_i", k4},
        Reference{"gray4", k4}, Reference{"gray4_i", k4}, Reference{"gray8", k8}, Reference{"gray8_i", k8},
        Reference{"gray16", k8}, Reference{"gray16_i", k8}, Reference{"rgb8", k24}, Reference{"rgb8_i", k24},
        Reference{"rgb16", k24}, Reference{"rgb16_i", k24}, Reference{"rgba8", k32}, Reference{"rgba8_i", k32},
        Reference{"rgba16", k32}, Reference{"rgba16_i", k32}, Reference{"graya8", k8},
        Reference{"graya8_i", k8}, Reference{"graya16", k8}, Reference{"graya16_i", k8},
        Reference{"pal1", k1}, Reference{"pal1_i", k1}, Reference{"pal2", k4}, Reference{"pal2_i", k4},
        Reference{"pal4", k4}, Reference{"pal4_i", k4}, Reference{"pal8", k8}, Reference{"pal8_i", k8},
        Reference{"pillow_pal", k8}, Reference{"pillow_gray", k8}, Reference{"gamma_rgb8", k24},
        Reference{"gamma_gray8", k8}, Reference{"split_idat", k24}, Reference{"idat_extra_data", k24},
        Reference{"filter_sub_gray2", k4}, Reference{"filter_up_gray2", k4}, Reference{"filter_avg_gray2", k4},
        Reference{"filter_paeth_gray2", k4},
        Reference{"filter_mixed_gray2", k4}, Reference{"filter_sub_rgb8", k24}, Reference{"filter_up_rgb8", k24},
        Reference{"filter_avg_rgb8", k24}, Reference{"filter_paeth_rgb8", k24},
        Reference{"filter_mixed_rgb8", k24}, Reference{"filter_sub_rgba16", k32},
        Reference{"filter_up_rgba16", k32}, Reference{"filter_avg_rgba16", k32},
        Reference{"filter_paeth_rgba16", k32}, Reference{"filter_mixed_rgba16", k32},
        Reference{"filter_mixed_rgb8_i", k24}, Reference{"filter_mixed_gray4_i", k4}),
    ReferenceName);

TEST(PngReader, HeaderPropertiesAndFileGamma) {
    const Bytes file = ReadFileBytes(DataPath("rgba16_i.png"));
    TMemoryStream stream(file);
    EXPECT_TRUE(TPNGGraphic::CanLoadStream(stream));
    EXPECT_EQ(stream.Position(), 0);
    TPNGGraphic png;
    ASSERT_TRUE(png.ReadImageProperties(stream, 0));
    const TImageProperties& p = png.ImageProperties;
    EXPECT_EQ(p.ColorScheme, TColorModel::cmRGBA);
    EXPECT_EQ(p.BitsPerPixel, 64);
    EXPECT_TRUE(p.Interlaced && p.AlphaPresent);
    EXPECT_FLOAT_EQ(p.Gamma, 1.0f);

    // gAMA before the image data gives the file's gamma.
    auto chunks = ChunksOf(file);
    chunks.insert(chunks.begin() + 1, Chunk{"gAMA", {0, 0, 0xB1, 0x8F}});  // 45455
    const Bytes withGamma = Assemble(chunks);
    TMemoryStream gammaStream(withGamma);
    ASSERT_TRUE(png.ReadImageProperties(gammaStream, 0));
    EXPECT_FLOAT_EQ(png.ImageProperties.Gamma, 0.45455f);
    Load(png, withGamma);
    EXPECT_TRUE(png.ImageProperties.Options & OptionGamma);
}

// --- Chunk sequences ---------------------------------------------------------------

TEST(PngReader, DamagedChunksAreRefused) {
    const Bytes good = Assemble({{"IHDR", Ihdr(5, 4, 8, 0)}, {"IDAT", Compress(GrayRows(5, 4, 0))}, {"IEND", {}}});
    ASSERT_EQ(LoadError(good), "");

    // Lengths of 2^31 or more, or beyond the file, before and inside the image data.
    for (std::uint32_t length : {0x80000000u, 0xFFFFFFF0u, 0x7FFFFFFFu, 1000u}) {
        Bytes file(good.begin(), good.begin() + 33);  // signature and IHDR
        AppendChunk(file, "tEXt", {1, 2, 3}, length);
        AppendChunk(file, "IEND", {});
        EXPECT_EQ(LoadError(file), Invalid()) << length;

        Bytes idat(good.begin(), good.begin() + 33);
        AppendChunk(idat, "IDAT", Compress(GrayRows(5, 4, 0)), length);
        AppendChunk(idat, "IEND", {});
        EXPECT_EQ(LoadError(idat), Invalid()) << length;
    }

    // IHDR shorter than 13 bytes.
    Bytes shortHeader = Ihdr(5, 4, 8, 0);
    shortHeader.pop_back();
    EXPECT_EQ(LoadError(Assemble({{"IHDR", shortHeader}, {"IDAT", Compress(GrayRows(5, 4, 0))}, {"IEND", {}}})),
              Invalid());
    // No IHDR first, width 0, no signature.
    EXPECT_EQ(LoadError(Assemble({{"IDAT", Compress(GrayRows(5, 4, 0))}, {"IEND", {}}})), Invalid());
    EXPECT_EQ(LoadError(Assemble({{"IHDR", Ihdr(0, 4, 8, 0)}, {"IEND", {}}})), Invalid());
    Bytes noSignature = good;
    noSignature[1] = 'Q';
    EXPECT_EQ(LoadError(noSignature), Invalid());

    // A size no image data in the file could fill is refused before the
    // picture is allocated.
    EXPECT_EQ(LoadError(Assemble({{"IHDR", Ihdr(60000, 8000, 8, 6)}, {"IDAT", Compress(GrayRows(5, 4, 0))},
                                  {"IEND", {}}})),
              Invalid());

    // IEND before any image data is no picture.
    EXPECT_EQ(LoadError(Assemble({{"IHDR", Ihdr(5, 4, 8, 0)}, {"IEND", {}}})), Invalid());

    // CRC of a chunk whose data are read.
    Bytes badCrc = good;
    badCrc[43] ^= 1;  // inside the IDAT data
    EXPECT_EQ(LoadError(badCrc), "Cannot load image. CRC error found in PNG file.");

    // Data after the end of the compressed stream are dropped, not their CRCs.
    Bytes extra = ReadFileBytes(DataPath("idat_extra_data.png"));
    extra[extra.size() - 12 - 8] ^= 1;  // inside the last IDAT's data
    EXPECT_EQ(LoadError(extra), "Cannot load image. CRC error found in PNG file.");

    // A stream that ends inside a chunk.
    EXPECT_FALSE(LoadError(Bytes(good.begin(), good.end() - 20)).empty());
}

TEST(PngReader, ChunkAndColourErrorsCarryTheirMessages) {
    const Bytes idat = Compress(GrayRows(5, 4, 0));
    EXPECT_EQ(LoadError(Assemble({{"IHDR", Ihdr(5, 4, 8, 0)}, {"ABCD", {1}}, {"IDAT", idat}, {"IEND", {}}})),
              msg::UnknownCriticalChunk);
    EXPECT_EQ(LoadError(Assemble({{"IHDR", Ihdr(5, 4, 8, 0)}, {"IHDR", Ihdr(5, 4, 8, 0)}, {"IDAT", idat}})),
              msg::UnknownCriticalChunk);
    EXPECT_EQ(LoadError(Assemble({{"IHDR", Ihdr(5, 4, 8, 2)}, {"PLTE", Bytes(10)}, {"IDAT", idat}})),
              "Cannot load image. Palette in PNG file is invalid.");
    EXPECT_EQ(LoadError(Assemble({{"IHDR", Ihdr(5, 4, 8, 5)}, {"IDAT", idat}, {"IEND", {}}})),
              "Invalid color format in PNG file.");
    EXPECT_EQ(LoadError(Assemble({{"IHDR", Ihdr(5, 4, 16, 3)}, {"IDAT", idat}, {"IEND", {}}})),
              "Invalid color format in PNG file.");
    Bytes method = Ihdr(5, 4, 8, 0);
    method[10] = 1;
    EXPECT_EQ(LoadError(Assemble({{"IHDR", method}, {"IDAT", idat}, {"IEND", {}}})),
              "Cannot load image. The compression scheme is not supported for PNG files.");

    // Damaged Deflate data, and a stream that ends before the image does.
    Bytes broken = idat;
    broken[2] = 0xFF;
    broken[3] = 0xFF;
    EXPECT_EQ(LoadError(Assemble({{"IHDR", Ihdr(5, 4, 8, 0)}, {"IDAT", broken}, {"IEND", {}}})),
              "Cannot load image. Compression error found in PNG file.");
    Bytes partial = GrayRows(5, 3, 0);
    partial.insert(partial.end(), {0, 1, 2});  // the fourth row cut short
    EXPECT_EQ(LoadError(Assemble({{"IHDR", Ihdr(5, 8, 8, 0)}, {"IDAT", Compress(partial)}, {"IEND", {}}})),
              "Cannot load image. Extra compressed data found in PNG file.");
}

TEST(PngReader, ShortOptionalChunksAreIgnored) {
    const Bytes idat = Compress(GrayRows(5, 4, 40));
    TPNGGraphic png;
    Load(png, Assemble({{"IHDR", Ihdr(5, 4, 8, 0)},
                        {"gAMA", {0, 1}},
                        {"bKGD", {0}},
                        {"tRNS", {7}},
                        {"IDAT", idat},
                        {"IEND", {}}}));
    EXPECT_FALSE(png.ImageProperties.Options & OptionGamma);
    EXPECT_EQ(png.BackgroundValue, clWhite);
    EXPECT_FALSE(png.Transparent);
    EXPECT_EQ(png.GetPixel(1, 0), RGBColor(50, 50, 50));
}

TEST(PngReader, TransparencyAndBackground) {
    const Bytes idat = Compress(GrayRows(5, 4, 40));
    TPNGGraphic png;
    Load(png, Assemble({{"IHDR", Ihdr(5, 4, 8, 0)}, {"tRNS", {0, 200}}, {"IDAT", idat}, {"IEND", {}}}));
    EXPECT_TRUE(png.Transparent);
    EXPECT_EQ(png.TransparentColor, RGBColor(200, 200, 200));

    // RGB: three 16-bit samples, narrowed for 16-bit files.
    Bytes rgbRows;
    for (int y = 0; y < 2; ++y) {
        rgbRows.push_back(0);
        for (int x = 0; x < 3; ++x) rgbRows.insert(rgbRows.end(), {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
    }
    Load(png, Assemble({{"IHDR", Ihdr(3, 2, 16, 2)},
                        {"bKGD", {0xFF, 0xFF, 0x80, 0x00, 0x00, 0xFF}},
                        {"tRNS", {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}},
                        {"IDAT", Compress(rgbRows)},
                        {"IEND", {}}}));
    EXPECT_EQ(png.BackgroundValue, RGBColor(255, 0x8000 * 255 / 65535, 0));
    EXPECT_EQ(png.TransparentColor, RGBColor(0x1234 * 255 / 65535, 0x5678 * 255 / 65535, 0x9ABC * 255 / 65535));
    EXPECT_EQ(png.GetPixel(2, 1), png.TransparentColor);

    // A palette image's tRNS sets no transparent colour; a later load has none.
    Load(png, Assemble({{"IHDR", Ihdr(2, 1, 8, 3)},
                        {"PLTE", {1, 2, 3, 4, 5, 6}},
                        {"tRNS", {0}},
                        {"IDAT", Compress({0, 1, 0})},
                        {"IEND", {}}}));
    EXPECT_FALSE(png.Transparent);
    EXPECT_EQ(png.GetPixel(0, 0), RGBColor(4, 5, 6));
    EXPECT_EQ(png.GetPixel(1, 0), RGBColor(1, 2, 3));
}

TEST(PngReader, ImageDataAfterTheImageIsSkipped) {
    // A second run of image data after another chunk must not decode again.
    const Bytes first = Compress(GrayRows(5, 4, 10));
    const Bytes second = Compress(GrayRows(5, 4, 90));
    TPNGGraphic png;
    Load(png, Assemble({{"IHDR", Ihdr(5, 4, 8, 0)},
                        {"IDAT", first},
                        {"tEXt", {'x', 0}},
                        {"IDAT", second},
                        {"IDAT", {}},
                        {"IEND", {}}}));
    EXPECT_EQ(png.GetPixel(0, 0), RGBColor(10, 10, 10));
    EXPECT_EQ(png.GetPixel(4, 3), RGBColor(53, 53, 53));
}

TEST(PngReader, SecondPaletteReplacesTheFirst) {
    TPNGGraphic png;
    Load(png, Assemble({{"IHDR", Ihdr(2, 1, 8, 3)},
                        {"PLTE", {1, 2, 3, 4, 5, 6}},
                        {"PLTE", {10, 20, 30, 40, 50, 60}},
                        {"IDAT", Compress({0, 1, 0})},
                        {"IEND", {}}}));
    EXPECT_EQ(png.GetPixel(0, 0), RGBColor(40, 50, 60));
    EXPECT_EQ(png.GetPixel(1, 0), RGBColor(10, 20, 30));
}

TEST(PngReader, EachLoadStartsFromScratch) {
    // One object loads files of different kinds in turn; nothing of an
    // earlier load (pixel format, colours, gamma) may leak into the next.
    TPNGGraphic png;
    const char* order[] = {"pal8", "gamma_rgb8", "gray16", "pal2", "gray2_i", "rgba16", "rgb8", "graya8", "gray1"};
    for (const char* name : order) {
        png.LoadFromFile(DataPath(std::string(name) + ".png"));
        ExpectRGBPixels(png, DataPath(std::string(name) + ".rgb"));
    }
}

TEST(PngReader, ProgressIsReportedPerRow) {
    TPNGGraphic png;
    std::vector<int> running;
    int endings = 0;
    png.OnProgress = [&](TGraphic&, TProgressStage stage, std::uint8_t percent, bool, const TRect&,
                         const std::string&) {
        if (stage == TProgressStage::Running) running.push_back(percent);
        if (stage == TProgressStage::Ending) ++endings;
    };
    png.LoadFromFile(DataPath("rgb8.png"));
    ASSERT_EQ(running.size(), 13u);
    EXPECT_EQ(running.front(), 0);
    EXPECT_GE(endings, 2);

    running.clear();
    png.LoadFromFile(DataPath("rgb8_i.png"));
    EXPECT_EQ(running.size(), 6u);  // pass 7 only: rows 1, 3, ..., 11

    // A failed load still ends its progress.
    endings = 0;
    EXPECT_THROW(Load(png, Assemble({{"IHDR", Ihdr(5, 4, 8, 0)}, {"IEND", {}}})), EInvalidGraphic);
    EXPECT_EQ(endings, 1);
}

TEST(PngFilters, AverageSumsInFull) {
    std::uint8_t row[2] = {0, 0};
    const std::uint8_t previous[2] = {255, 255};
    row[0] = 255;  // a = 255 for the second byte
    UnfilterRow(3, row, previous, 1, 2);
    EXPECT_EQ(row[0], static_cast<std::uint8_t>(255 + 127));
    EXPECT_EQ(row[1], static_cast<std::uint8_t>((126 + 255) / 2));
    std::uint8_t unknown[3] = {1, 2, 3};
    UnfilterRow(9, unknown, previous, 1, 2);
    EXPECT_EQ(unknown[1], 2);
}

TEST(PngReader, TinyInterlacedImages) {
    // 1 x 1 holds pass 1 only; 1 pixel wide and 3 pixels wide skip the
    // passes whose first column lies beyond the width.
    for (std::uint32_t w : {1u, 3u, 9u}) {
        for (std::uint32_t h : {1u, 2u, 5u}) {
            // Each pass row: filter byte 0 and RGB pixels whose value tells the pixel.
            const std::uint32_t passes[7][4] = {{0, 8, 0, 8}, {0, 8, 4, 8}, {4, 8, 0, 4}, {0, 4, 2, 4},
                                                {2, 4, 0, 2}, {0, 2, 1, 2}, {1, 2, 0, 1}};
            Bytes raw;
            for (const auto& p : passes) {
                if (p[2] >= w) continue;
                for (std::uint32_t y = p[0]; y < h; y += p[1]) {
                    raw.push_back(0);
                    for (std::uint32_t x = p[2]; x < w; x += p[3])
                        raw.insert(raw.end(), {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7});
                }
            }
            TPNGGraphic png;
            Load(png, Assemble({{"IHDR", Ihdr(w, h, 8, 2, 1)}, {"IDAT", Compress(raw)}, {"IEND", {}}}));
            for (std::uint32_t y = 0; y < h; ++y)
                for (std::uint32_t x = 0; x < w; ++x)
                    EXPECT_EQ(png.GetPixel(static_cast<int>(x), static_cast<int>(y)),
                              RGBColor(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7))
                        << w << "x" << h;
        }
    }
}

TEST(PngReader, LoadsThroughThePictureRegistry) {
    TImageFormatsScope formats;
    TBitmap bitmap;
    ASSERT_TRUE(LoadPictureToBitmap(DataPath("pal4_i.png"), bitmap));
    ExpectRGBPixels(bitmap, DataPath("pal4_i.rgb"));
    // A damaged file is a false answer, the bitmap left as it was.
    EXPECT_FALSE(LoadAsFile(Assemble({{"IHDR", Ihdr(5, 4, 8, 0)}, {"IEND", {}}}), "damaged.PNG", bitmap));
    EXPECT_EQ(bitmap.Width(), 19);
}

}  // namespace
}  // namespace orv
