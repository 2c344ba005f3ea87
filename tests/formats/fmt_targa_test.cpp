// The Targa reader and writer: files written by other tools and crafted
// ones against their known pixels, damaged headers and data, and pictures
// of every pixel format written and read back.
#include "formats/fmt_targa.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/library.h"
#include "platform/base/stream.h"
#include "platform/graphics/picture_loader.h"
#include "tests/support/reader_test_support.h"

namespace orv {
namespace {

using namespace reader_test;

std::string DataPath(const std::string& name) { return std::string(ORV_TEST_DATA) + "/targa/" + name; }

Bytes Header(std::uint8_t imageType, std::uint16_t w, std::uint16_t h, std::uint8_t depth,
             std::uint8_t descriptor = 0x20, std::uint8_t mapType = 0, std::uint16_t mapLength = 0,
             std::uint8_t entrySize = 24) {
    TTargaHeader header;
    header.ColorMapType = mapType;
    header.ImageType = imageType;
    header.ColorMapLength = mapLength;
    header.ColorMapEntrySize = entrySize;
    header.Width = w;
    header.Height = h;
    header.PixelDepth = depth;
    header.Descriptor = descriptor;
    std::uint8_t bytes[TTargaHeader::kSize];
    header.Store(bytes);
    return Bytes(bytes, bytes + sizeof bytes);
}

// --- Reference files -------------------------------------------------------------

using Reference = ReferenceFile;

class TargaReference : public ::testing::TestWithParam<Reference> {};

TEST_P(TargaReference, MatchesItsPixels) {
    const Reference& r = GetParam();
    TTargaGraphic tga;
    tga.LoadFromFile(DataPath(std::string(r.name) + ".tga"));
    ASSERT_EQ(tga.Width(), 17);
    ASSERT_EQ(tga.Height(), 11);
    EXPECT_EQ(tga.PixelFormat(), r.format) << r.name;
    ExpectRGBPixels(tga, DataPath(std::string(r.name) + ".rgb"));
}

constexpr TPixelFormat k8 = TPixelFormat::pf8bit, k24 = TPixelFormat::pf24bit, k32 = TPixelFormat::pf32bit;

INSTANTIATE_TEST_SUITE_P(
    Files, TargaReference,
    ::testing::Values(
        Reference{"tool_im_rgb24", k24}, Reference{"tool_im_rgb24_rle", k24}, Reference{"tool_im_rgba32", k32},
        Reference{"tool_im_rgba32_rle", k32}, Reference{"tool_im_gray", k8}, Reference{"tool_im_gray_rle", k8},
        Reference{"tool_im_pal", k8}, Reference{"tool_im_pal_rle", k8}, Reference{"tool_pil_rgb_top", k24},
        Reference{"tool_pil_rgb_top_rle", k24}, Reference{"tool_pil_rgb_bottom", k24},
        Reference{"tool_pil_rgb_bottom_rle", k24}, Reference{"tool_pil_rgba_top", k32},
        Reference{"tool_pil_rgba_top_rle", k32}, Reference{"tool_pil_rgba_bottom", k32},
        Reference{"tool_pil_rgba_bottom_rle", k32}, Reference{"tool_pil_gray_top", k8},
        Reference{"tool_pil_gray_top_rle", k8}, Reference{"tool_pil_gray_bottom", k8},
        Reference{"tool_pil_gray_bottom_rle", k8}, Reference{"tool_pil_grayalpha_top", k8},
        Reference{"tool_pil_grayalpha_top_rle", k8}, Reference{"tool_pil_grayalpha_bottom", k8},
        Reference{"tool_pil_grayalpha_bottom_rle", k8}, Reference{"tool_pil_pal_top", k8},
        Reference{"tool_pil_pal_top_rle", k8}, Reference{"tool_pil_pal_bottom", k8},
        Reference{"tool_pil_pal_bottom_rle", k8}, Reference{"tool_pil_rgb_top_rtl", k24},
        Reference{"tool_pil_rgba_bottom_rle_rtl", k32}, Reference{"tool_pil_grayalpha_top_rle_rtl", k8},
        Reference{"craft_pal16_id", k8},
        Reference{"craft_pal15_rle", k8}, Reference{"craft_pal32", k8}, Reference{"craft_gray_cmap", k8},
        Reference{"craft_rgb24_rle_cross", k24}, Reference{"craft_rgb24_rle_cross_bottom", k24}),
    ReferenceName);

TEST(TargaReader, SixteenBitPixelsAreKeptAsStored) {
    for (const char* name : {"craft_rgb16", "craft_rgb16_rle", "craft_rgb15_rle"}) {
        TTargaGraphic tga;
        tga.LoadFromFile(DataPath(std::string(name) + ".tga"));
        ASSERT_EQ(tga.PixelFormat(), TPixelFormat::pf15bit) << name;
        const Bytes raw = ReadFileBytes(DataPath(std::string(name) + ".raw"));
        for (int y = 0; y < tga.Height(); ++y)
            EXPECT_EQ(std::memcmp(tga.ScanLine(y), raw.data() + static_cast<std::size_t>(y) * 17 * 2, 17 * 2), 0)
                << name << " row " << y;
        EXPECT_EQ(tga.ImageProperties.ColorScheme, TColorModel::cmRGB);
        EXPECT_EQ(tga.ImageProperties.BitsPerSample, 5);
    }
    // The brightest 16-bit map entry shows 248 in each component.
    TTargaGraphic tga;
    tga.LoadFromFile(DataPath("craft_pal16_id.tga"));
    EXPECT_EQ(tga.Palette().Entry(0), (TPaletteEntry{248, 248, 248, 0}));
}

// --- Headers and damaged files -----------------------------------------------------

TEST(TargaReader, UndefinedImageTypesAreRefused) {
    for (std::uint8_t type : {4, 5, 8, 12, 32, 33, 255}) {
        Bytes file = Header(type, 4, 4, 24);
        file.resize(file.size() + 4 * 4 * 3, 0x55);
        TTargaGraphic tga;
        TMemoryStream stream(file);
        EXPECT_FALSE(tga.ReadImageProperties(stream, 0));
        try {
            Load(tga, file);
            ADD_FAILURE() << "type " << int(type) << " loaded";
        } catch (const EInvalidGraphic& e) {
            EXPECT_STREQ(e.what(), "Cannot load image. Invalid or unexpected Targa image format.");
        }
        stream.SetPosition(0);
        EXPECT_FALSE(TTargaGraphic::CanLoadStream(stream));
    }
}

TEST(TargaReader, TypeZeroIsAnEmptyPictureOfItsSizeWithinTheGate) {
    Bytes file = Header(0, 6, 3, 24);
    TTargaGraphic tga;
    Load(tga, file);
    EXPECT_EQ(tga.Width(), 6);
    EXPECT_EQ(tga.Height(), 3);
    EXPECT_EQ(tga.GetPixel(5, 2), clBlack);
    // A header of 65535 x 65535 is over the size gate, not an allocation.
    EXPECT_THROW(Load(tga, Header(0, 65535, 65535, 24)), EInvalidGraphic);
}

TEST(TargaReader, StreamTest) {
    Bytes file = Header(10, 3, 2, 32);
    file.resize(file.size() + 2, 0);
    TMemoryStream stream(file);
    EXPECT_TRUE(TTargaGraphic::CanLoadStream(stream));
    EXPECT_EQ(stream.Position(), 0);
    // The entry size is tested even without a colour map.
    Bytes noEntry = Header(2, 3, 2, 24, 0x20, 0, 0, 0);
    noEntry.resize(noEntry.size() + 18, 0);
    TMemoryStream noEntryStream(noEntry);
    EXPECT_FALSE(TTargaGraphic::CanLoadStream(noEntryStream));
}

TEST(TargaReader, ShortDataAndUnknownDepths) {
    // Raw rows that end early are a stream read error, and the load's
    // progress still ends.
    Bytes raw = Header(2, 4, 4, 24);
    raw.resize(raw.size() + 4 * 3 * 2, 9);
    TTargaGraphic tga;
    {
        const ProgressCount progress(tga);
        EXPECT_THROW(Load(tga, raw), EReadError);
        EXPECT_EQ(progress.starts, 1);
        EXPECT_EQ(progress.ends, 1);
    }

    // Run-length data that end early end the image: the rows reached hold
    // their pixels, the others stay black, nothing from stale buffers.
    Bytes rle = Header(10, 4, 4, 24);
    rle.insert(rle.end(), {0x80 + 5, 10, 20, 30});  // six pixels: row 0 and half of row 1
    Load(tga, rle);
    EXPECT_EQ(tga.GetPixel(3, 0), RGBColor(30, 20, 10));
    EXPECT_EQ(tga.GetPixel(1, 1), RGBColor(30, 20, 10));
    EXPECT_EQ(tga.GetPixel(2, 1), clBlack);
    EXPECT_EQ(tga.GetPixel(3, 3), clBlack);
    // The same for gray with alpha, whose rows pass through a buffer.
    Bytes grayAlpha = Header(11, 4, 4, 16);
    grayAlpha.insert(grayAlpha.end(), {0x80 + 5, 90, 7});
    Load(tga, grayAlpha);
    EXPECT_EQ(tga.GetPixel(1, 1), RGBColor(90, 90, 90));
    EXPECT_EQ(tga.GetPixel(2, 1), clBlack);

    // A file that could not hold the image even in its densest packets is
    // refused before the picture is touched.
    Bytes bomb = Header(10, 65535, 8000, 24);
    bomb.insert(bomb.end(), {0xFF, 1, 2, 3, 0xFF, 1, 2, 3});
    EXPECT_THROW(Load(tga, bomb), EInvalidGraphic);

    // A raw packet cut by the end of the file gives the pixels it holds.
    Bytes cut = Header(10, 4, 2, 24);
    cut.insert(cut.end(), {0x7F, 1, 2, 3, 4, 5, 6});
    Load(tga, cut);
    EXPECT_EQ(tga.GetPixel(0, 0), RGBColor(3, 2, 1));
    EXPECT_EQ(tga.GetPixel(1, 0), RGBColor(6, 5, 4));
    EXPECT_EQ(tga.GetPixel(2, 0), clBlack);

    // A depth the format does not know is refused by the colour set-up.
    Bytes odd = Header(2, 2, 2, 12);
    odd.resize(odd.size() + 16, 0);
    EXPECT_THROW(Load(tga, odd), EColorConversionError);
}

TEST(TargaReader, PacketsLongerThanManyRows) {
    // Two pixels a row; raw packets of 128 and 72 pixels run over 64 and 36
    // rows and must arrive whole however little data a row takes.
    Bytes file = Header(10, 2, 100, 24);
    int value = 0;
    for (int packet : {128, 72}) {
        file.push_back(static_cast<std::uint8_t>(packet - 1));
        for (int i = 0; i < packet; ++i, ++value)
            file.insert(file.end(), {static_cast<std::uint8_t>(value), 1, static_cast<std::uint8_t>(value / 2)});
    }
    TTargaGraphic tga;
    Load(tga, file);
    for (int v = 0; v < 200; ++v)
        ASSERT_EQ(tga.GetPixel(v % 2, v / 2), RGBColor(static_cast<std::uint8_t>(v / 2), 1, static_cast<std::uint8_t>(v)))
            << v;
}

TEST(TargaReader, OddColourMapEntriesArePassedOver) {
    // A map of 8-bit entries has no palette rule but still lies before the pixels.
    Bytes file = Header(1, 2, 1, 8, 0x20, 1, 3, 8);
    file.insert(file.end(), {0xAA, 0xBB, 0xCC});
    file.insert(file.end(), {7, 9});
    TTargaGraphic tga;
    Load(tga, file);
    EXPECT_EQ(tga.ScanLine(0)[0], 7);
    EXPECT_EQ(tga.ScanLine(0)[1], 9);
}

// --- Writing ---------------------------------------------------------------------

TBitmap Pattern(TPixelFormat format, int w, int h) {
    TBitmap source;
    source.SetPixelFormat(TPixelFormat::pf24bit);
    source.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            source.SetPixel(x, y, (x + y) % 3 == 0 ? RGBColor(255, 255, 255)
                                                   : RGBColor(static_cast<std::uint8_t>(x * 40),
                                                              static_cast<std::uint8_t>(y * 30), 128));
    TBitmap result;
    result.SetPixelFormat(format);
    if (format == TPixelFormat::pf8bit) {
        std::vector<TPaletteEntry> entries;
        for (int i = 0; i < 100; ++i)
            entries.push_back({static_cast<std::uint8_t>(i * 2), static_cast<std::uint8_t>(255 - i), 7, 0});
        result.SetPalette(TPalette(entries));
    }
    result.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) result.SetPixel(x, y, source.GetPixel(x, y));
    return result;
}

TEST(TargaWriter, EveryPixelFormatReadsBack) {
    const TPixelFormat formats[] = {TPixelFormat::pf1bit,  TPixelFormat::pf4bit,  TPixelFormat::pf8bit,
                                    TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                                    TPixelFormat::pf32bit, TPixelFormat::pfDevice};
    for (TPixelFormat format : formats) {
        for (bool compressed : {true, false}) {
            TTargaGraphic picture;
            TBitmap pattern = Pattern(format, 150, 7);  // over 128 pixels a row: packets are cut
            picture.Assign(pattern);
            TMemoryStream out;
            picture.SaveTarga(out, compressed);
            // The picture itself is not changed by writing.
            EXPECT_EQ(picture.PixelFormat(), format);

            const Bytes& file = out.Bytes();
            ASSERT_GE(file.size(), 18u);
            const bool indexed = IsIndexedFormat(format);
            EXPECT_EQ(file[1], indexed ? 1 : 0);
            EXPECT_EQ(file[2], indexed ? (compressed ? 9 : 1) : (compressed ? 10 : 2));
            EXPECT_EQ(file[5] | (file[6] << 8), 256);
            EXPECT_EQ(file[7], 24);
            const int depth = format == TPixelFormat::pf15bit   ? 16
                              : format == TPixelFormat::pf32bit ? 32
                              : indexed                         ? 8
                                                                : 24;
            EXPECT_EQ(file[16], depth);
            EXPECT_EQ(file[17], 0x20);  // rows top first

            TTargaGraphic back;
            out.SetPosition(0);
            back.LoadFromStream(out);
            ASSERT_EQ(back.Width(), 150);
            ASSERT_EQ(back.Height(), 7);
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 150; ++x)
                    ASSERT_EQ(back.GetPixel(x, y), picture.GetPixel(x, y))
                        << int(format) << " " << compressed << " at " << x << "," << y;
        }
    }
}

TEST(TargaWriter, MissingPaletteEntriesAreZeroAndLimitsHold) {
    TTargaGraphic picture;
    picture.SetPixelFormat(TPixelFormat::pf8bit);
    picture.SetPalette(TPalette({{10, 20, 30, 0}, {40, 50, 60, 0}}));
    picture.SetSize(3, 2);
    TMemoryStream out;
    picture.SaveToStream(out);
    const Bytes& file = out.Bytes();
    ASSERT_GE(file.size(), 18u + 768u);
    EXPECT_EQ(file[18], 30);  // blue, green, red
    EXPECT_EQ(file[19], 20);
    EXPECT_EQ(file[20], 10);
    EXPECT_EQ(file[23], 40);
    for (std::size_t i = 18 + 6; i < 18 + 768; ++i) ASSERT_EQ(file[i], 0) << i;

    // An empty picture writes nothing; a side over 65535 is refused before
    // anything is written.
    TTargaGraphic empty;
    TMemoryStream none;
    empty.SaveToStream(none);
    EXPECT_EQ(none.Size(), 0);

    TTargaGraphic wide;
    wide.SetPixelFormat(TPixelFormat::pf1bit);
    wide.SetSize(65536, 1);
    TMemoryStream refused;
    EXPECT_THROW(wide.SaveToStream(refused), EInvalidGraphic);
    EXPECT_EQ(refused.Size(), 0);
}

TEST(TargaReader, LoadsThroughThePictureRegistry) {
    TImageFormatsScope formats;
    TBitmap bitmap;
    ASSERT_TRUE(LoadPictureToBitmap(DataPath("tool_pil_rgb_bottom_rle.tga"), bitmap));
    ExpectRGBPixels(bitmap, DataPath("tool_pil_rgb_bottom_rle.rgb"));
    // A file of an undefined image type is no picture: false, nothing changed.
    Bytes file = Header(7, 17, 11, 24);
    file.resize(file.size() + 17 * 11 * 3, 0);
    const TColor before = bitmap.GetPixel(3, 4);
    EXPECT_FALSE(LoadAsFile(file, "junk.TGA", bitmap));
    EXPECT_EQ(bitmap.Width(), 17);
    EXPECT_EQ(bitmap.GetPixel(3, 4), before);
}

}  // namespace
}  // namespace orv
