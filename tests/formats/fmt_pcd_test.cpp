// The Photo-CD reader: packs written by ImageMagick against its decode of
// their neutral grays and their turn, crafted packs for the colour planes,
// the reported resolutions and packs it must not load.
#include "formats/fmt_pcd.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/library.h"
#include "platform/base/errors.h"
#include "platform/base/stream.h"
#include "tests/support/reader_test_support.h"

namespace orv {
namespace {

using namespace reader_test;

constexpr std::size_t kSector = 2048;
constexpr std::size_t kBase = 96 * kSector;

Bytes ReadGzip(const std::string& name) {
    const std::string path = std::string(ORV_TEST_DATA) + "/pcd/" + name;
    gzFile file = gzopen(path.c_str(), "rb");
    if (file == nullptr) {
        ADD_FAILURE() << "cannot open " << path;
        return {};
    }
    Bytes out;
    std::uint8_t chunk[65536];
    int got;
    while ((got = gzread(file, chunk, sizeof chunk)) > 0) out.insert(out.end(), chunk, chunk + got);
    gzclose(file);
    return out;
}

// An image pack whose every group holds luminance y and the chroma values
// chroma(k) for group k.
template <class Chroma>
Bytes CraftedPack(std::uint8_t y, Chroma chroma, std::uint8_t rotation = 0) {
    Bytes b(kBase + 768 * 512 * 3 / 2, 0);
    std::memcpy(b.data() + kSector, "PCD_IPI", 7);
    b[3586] = rotation;
    for (std::size_t k = 0; k < 256; ++k) {
        std::uint8_t* group = b.data() + kBase + k * 2304;
        std::memset(group, y, 1536);
        const auto [c1, c2] = chroma(k);
        std::memset(group + 1536, c1, 384);
        std::memset(group + 1920, c2, 384);
    }
    return b;
}

// The picture is neutral gray and within one level of the writer's own
// decode, which rounds a few dark levels one lower than the plain luminance.
void ExpectGray(const TBitmap& bitmap, const Bytes& gray, int width, int height, const std::string& name) {
    ASSERT_EQ(bitmap.Width(), width) << name;
    ASSERT_EQ(bitmap.Height(), height) << name;
    ASSERT_EQ(gray.size(), static_cast<std::size_t>(width) * height) << name;
    int mismatches = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int want = gray[static_cast<std::size_t>(y) * width + x];
            const TColor c = bitmap.GetPixel(x, y);
            const int got = ColorRed(c);
            const bool ok = ColorGreen(c) == got && ColorBlue(c) == got && got - want >= 0 && got - want <= 1;
            if (!ok && mismatches++ < 5)
                ADD_FAILURE() << name << " at " << x << "," << y << " got " << got << " want " << want;
        }
    EXPECT_EQ(mismatches, 0) << name;
}

TEST(PCDReader, NeutralGraysAndTurnMatchTheWriter) {
    TPCDGraphic pcd;
    Load(pcd, ReadGzip("landscape.pcd.gz"));
    EXPECT_EQ(pcd.PixelFormat(), TPixelFormat::pf24bit);
    ExpectGray(pcd, ReadGzip("landscape.gray.gz"), 768, 512, "landscape");

    const Bytes portrait = ReadGzip("portrait.pcd.gz");
    Load(pcd, portrait);
    EXPECT_EQ(pcd.ImageProperties.Rotation, 1);
    ExpectGray(pcd, ReadGzip("portrait.gray.gz"), 512, 768, "portrait");

    // Rotation 3 turns the other way: the picture of rotation 1 upside down.
    Bytes clockwise = portrait;
    clockwise[3586] = 3;
    TPCDGraphic turned;
    Load(turned, clockwise);
    ASSERT_EQ(turned.Width(), 512);
    int mismatches = 0;
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 512; ++x)
            if (turned.GetPixel(x, y) != pcd.GetPixel(511 - x, 767 - y) && mismatches++ < 5)
                ADD_FAILURE() << x << "," << y;

    // Rotation 2 (only the two low bits count) loads like rotation 0.
    Bytes upright = portrait;
    upright[3586] = 0xFE;
    Load(turned, upright);
    EXPECT_EQ(turned.Width(), 768);
    EXPECT_EQ(turned.Height(), 512);
}

TEST(PCDReader, ChromaPlanesDoubledAndConverted) {
    // Luma 100, first chroma 156 + 20, second 137 - 10. With the weights
    // 0.2125, 0.7154, 0.0721: red 100 + R(-10 * 1.575) = 84, blue
    // 100 + R(20 * 1.8558) = 137, green 100 - R(-10 * 0.46782) - R(20 * 0.18703) = 101.
    TPCDGraphic pcd;
    Load(pcd, CraftedPack(100, [](std::size_t) { return std::pair<std::uint8_t, std::uint8_t>{176, 127}; }));
    EXPECT_EQ(pcd.GetPixel(0, 0), RGBColor(84, 101, 137));
    EXPECT_EQ(pcd.GetPixel(767, 511), RGBColor(84, 101, 137));

    // Chroma rows alternate between 156 and 166: even picture rows take
    // them, odd rows their average 161, the last row copies the one above
    // (blue 100 + R(db * 1.8558), green 100 - R(db * 0.18703)).
    Load(pcd, CraftedPack(100, [](std::size_t k) {
             return std::pair<std::uint8_t, std::uint8_t>{static_cast<std::uint8_t>(k % 2 ? 166 : 156), 137};
         }));
    EXPECT_EQ(pcd.GetPixel(5, 0), RGBColor(100, 100, 100));
    EXPECT_EQ(pcd.GetPixel(5, 1), RGBColor(100, 99, 109));
    EXPECT_EQ(pcd.GetPixel(5, 2), RGBColor(100, 98, 119));
    EXPECT_EQ(pcd.GetPixel(700, 511), pcd.GetPixel(700, 510));
    EXPECT_EQ(pcd.GetPixel(700, 510), RGBColor(100, 98, 119));
}

TEST(PCDReader, ReportedResolutions) {
    const Bytes pack = CraftedPack(0, [](std::size_t) { return std::pair<std::uint8_t, std::uint8_t>{156, 137}; }, 1);
    struct Case {
        std::int32_t index;
        std::uint32_t width, height;
        std::uint8_t compression;
    };
    // Sizes before the turn, swapped by rotation 1; negative indices are the smallest.
    for (const Case& c : {Case{-1, 192, 128, ctNone}, Case{INT32_MIN, 192, 128, ctNone}, Case{2, 768, 512, ctNone},
                          Case{4, 3072, 2048, ctPCDHuffmann}, Case{9, 6144, 4096, ctPCDHuffmann}}) {
        TMemoryStream stream(pack);
        TPCDGraphic pcd;
        ASSERT_TRUE(pcd.ReadImageProperties(stream, static_cast<std::uint32_t>(c.index)));
        EXPECT_EQ(pcd.ImageProperties.Width, c.height) << c.index;
        EXPECT_EQ(pcd.ImageProperties.Height, c.width) << c.index;
        EXPECT_EQ(pcd.ImageProperties.Compression, c.compression) << c.index;
        EXPECT_EQ(pcd.ImageProperties.ColorScheme, TColorModel::cmPhotoYCC);
    }
}

TEST(PCDReader, PacksItDoesNotLoad) {
    // An overview pack reports its thumbnails' size but loads nothing.
    Bytes overview(kBase + 768 * 512 * 3 / 2, 0x55);
    std::memcpy(overview.data(), "PCD_OPA", 7);
    overview[3586] = 0;
    overview[10] = 1;
    overview[11] = 2;
    TPCDGraphic pcd;
    {
        TMemoryStream stream(overview);
        ASSERT_TRUE(pcd.ReadImageProperties(stream, 3));
        EXPECT_TRUE(pcd.ImageProperties.Overview);
        EXPECT_EQ(pcd.ImageProperties.Width, 192u);
        EXPECT_EQ(pcd.ImageProperties.ImageCount, 0x102);
    }
    Load(pcd, overview);
    EXPECT_TRUE(pcd.Empty());

    // Neither kind of pack: quietly empty.
    Load(pcd, Bytes(8000, 0));
    EXPECT_TRUE(pcd.Empty());

    // Too short for the header, or for the base image.
    EXPECT_THROW(Load(pcd, Bytes(6000, 0)), EReadError);
    Bytes cut = CraftedPack(9, [](std::size_t) { return std::pair<std::uint8_t, std::uint8_t>{156, 137}; });
    cut.resize(cut.size() - 1);
    EXPECT_THROW(Load(pcd, cut), EReadError);
    EXPECT_TRUE(pcd.Empty());
}

TEST(PCDReader, StreamTestAndRegistry) {
    Bytes pack = CraftedPack(200, [](std::size_t) { return std::pair<std::uint8_t, std::uint8_t>{156, 137}; });
    // "PCD" at byte 2048 is enough, whatever the first sector holds.
    std::memset(pack.data(), 0x77, kSector);
    TMemoryStream stream(pack);
    EXPECT_TRUE(TPCDGraphic::CanLoadStream(stream));
    EXPECT_EQ(stream.Position(), 0);
    EXPECT_FALSE(TPCDGraphic::CanLoadStream(*std::make_unique<TMemoryStream>(Bytes(pack.begin(), pack.begin() + 6144))));
    Bytes other = pack;
    other[kSector] = 'X';
    EXPECT_FALSE(TPCDGraphic::CanLoadStream(*std::make_unique<TMemoryStream>(other)));

    TImageFormatsScope formats;
    TBitmap bitmap;
    ASSERT_TRUE(LoadAsFile(pack, "picture.PCD", bitmap));
    EXPECT_EQ(bitmap.Width(), 768);
    EXPECT_EQ(bitmap.GetPixel(10, 10), RGBColor(200, 200, 200));
}

}  // namespace
}  // namespace orv
