// The Paint Shop Pro reader on files made by a small writer here (no tool
// at hand writes them): both block layouts, every compression, palettes,
// layer choice, and damaged block chains and channels.
#include "formats/fmt_psp.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/library.h"
#include "platform/base/stream.h"
#include "tests/support/le_bytes.h"
#include "tests/support/reader_test_support.h"

namespace orv {
namespace {

using namespace reader_test;
using test::PutLe16;
using test::PutLe32;

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

struct Channel {
    std::uint16_t type;
    Bytes raw;                        // uncompressed bytes
    std::int64_t packedLength = -1;   // stored in place of the true one when set
};

struct Layer {
    std::uint8_t type = 0;
    std::vector<Channel> channels;
};

// Writes files of major version 3 (initial lengths in block headers, no
// chunk lengths) or above (chunk lengths, no initial lengths).
struct PspWriter {
    std::uint16_t major = 5;
    std::int32_t width = 4;
    std::int32_t height = 2;
    std::uint16_t depth = 24;
    bool gray = false;
    std::uint16_t compression = 0;
    double resolution = 72;
    std::uint8_t metric = 1;

    Bytes Block(std::uint16_t id, const Bytes& data, std::int64_t lengthOverride = -1) const {
        Bytes out = {'~', 'B', 'K', 0};
        PutLe16(out, id);
        if (major == 3) PutLe32(out, static_cast<std::uint32_t>(data.size()));
        PutLe32(out, lengthOverride >= 0 ? static_cast<std::uint32_t>(lengthOverride)
                                       : static_cast<std::uint32_t>(data.size()));
        Append(out, data);
        return out;
    }
    // A chunk with its length in front (versions above 3), the data alone in 3.
    Bytes Chunk(const Bytes& data) const {
        if (major == 3) return data;
        Bytes out;
        PutLe32(out, static_cast<std::uint32_t>(data.size() + 4));
        Append(out, data);
        return out;
    }
    Bytes Header() const {
        Bytes out(32, 0);
        std::memcpy(out.data(), "Paint Shop Pro Image File\n\x1a", 27);
        PutLe16(out, major);
        PutLe16(out, 0);
        Bytes a(42, 0);
        std::memcpy(a.data(), &width, 4);
        std::memcpy(a.data() + 4, &height, 4);
        std::memcpy(a.data() + 8, &resolution, 8);
        a[16] = metric;
        a[17] = static_cast<std::uint8_t>(compression);
        a[18] = static_cast<std::uint8_t>(compression >> 8);
        a[19] = static_cast<std::uint8_t>(depth);
        a[20] = static_cast<std::uint8_t>(depth >> 8);
        a[27] = gray ? 1 : 0;
        Append(out, Block(0, Chunk(a)));
        return out;
    }
    Bytes Pack(const Bytes& raw) const {
        if (compression == 1) {
            Bytes out;  // literal runs of up to 127 bytes
            for (std::size_t i = 0; i < raw.size(); i += 127) {
                const std::size_t n = std::min<std::size_t>(127, raw.size() - i);
                out.push_back(static_cast<std::uint8_t>(n));
                out.insert(out.end(), raw.begin() + static_cast<long>(i), raw.begin() + static_cast<long>(i + n));
            }
            return out;
        }
        if (compression == 2) {
            uLongf size = compressBound(static_cast<uLong>(raw.size()));
            Bytes out(size);
            compress(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
            out.resize(size);
            return out;
        }
        return raw;
    }
    Bytes ChannelBlock(const Channel& c) const {
        const Bytes packed = Pack(c.raw);
        Bytes info;
        PutLe32(info, static_cast<std::uint32_t>(c.packedLength >= 0 ? c.packedLength
                                                                   : static_cast<std::int64_t>(packed.size())));
        PutLe32(info, static_cast<std::uint32_t>(c.raw.size()));
        PutLe16(info, 0);
        PutLe16(info, c.type);
        Bytes data = Chunk(info);
        Append(data, packed);
        return Block(5, data);
    }
    Bytes LayerBlock(const Layer& layer) const {
        Bytes data;
        if (major == 3) {
            data.resize(256, 0);
            Bytes info(115, 0);
            info[0] = layer.type;
            Append(data, info);
            PutLe16(data, 1);
            PutLe16(data, static_cast<std::uint32_t>(layer.channels.size()));
        } else {
            Bytes info;
            PutLe16(info, 5);
            Append(info, {'L', 'a', 'y', 'e', 'r'});
            Bytes rest(115, 0);
            rest[0] = layer.type;
            Append(info, rest);
            Append(data, Chunk(info));
            Bytes bitmap;
            PutLe16(bitmap, 1);
            PutLe16(bitmap, static_cast<std::uint32_t>(layer.channels.size()));
            Append(data, Chunk(bitmap));
        }
        for (const Channel& c : layer.channels) Append(data, ChannelBlock(c));
        return Block(4, data);
    }
    Bytes Palette(std::uint32_t count) const {
        Bytes data;
        if (major > 3) PutLe32(data, 8);
        PutLe32(data, count);
        for (std::uint32_t i = 0; i < count; ++i)
            Append(data, {static_cast<std::uint8_t>(i), 7, static_cast<std::uint8_t>(255 - i), 0});
        return Block(2, data);
    }
    Bytes File(const std::vector<Layer>& layers, const Bytes& before = {}) const {
        Bytes out = Header();
        Append(out, before);
        Bytes bank;
        for (const Layer& l : layers) Append(bank, LayerBlock(l));
        Append(out, Block(3, bank));
        return out;
    }
};

// Red, green and blue planes of a width x height picture with distinct values.
Layer RgbLayer(std::int32_t w, std::int32_t h) {
    Layer layer;
    for (std::uint16_t type = 1; type <= 3; ++type) {
        Channel c{type, {}, -1};
        for (std::int32_t i = 0; i < w * h; ++i) c.raw.push_back(static_cast<std::uint8_t>(type * 60 + i));
        layer.channels.push_back(c);
    }
    return layer;
}

std::string LoadError(const Bytes& file) { return reader_test::LoadError<TPSPGraphic>(file); }

const std::string kInvalid = "Cannot load image. Invalid or unexpected PSP image format.";

TEST(PspReader, ColourLayersOfBothLayoutsAndEveryCompression) {
    for (std::uint16_t major : {3, 5}) {
        for (std::uint16_t compression : {0, 1, 2}) {
            PspWriter w;
            w.major = major;
            w.compression = compression;
            TPSPGraphic psp;
            Load(psp, w.File({RgbLayer(4, 2)}));
            ASSERT_EQ(psp.Width(), 4);
            ASSERT_EQ(psp.PixelFormat(), TPixelFormat::pf24bit);
            for (int i = 0; i < 8; ++i) {
                const auto v = static_cast<std::uint8_t>(i);
                EXPECT_EQ(psp.GetPixel(i % 4, i / 4), RGBColor(60 + v, 120 + v, 180 + v))
                    << major << "/" << compression << " pixel " << i;
            }
        }
    }
}

TEST(PspReader, HeaderPropertiesAndResolution) {
    PspWriter w;
    w.resolution = 100;
    w.metric = 2;
    const Bytes file = w.File({RgbLayer(4, 2)});
    TMemoryStream stream(file);
    EXPECT_TRUE(TPSPGraphic::CanLoadStream(stream));
    EXPECT_EQ(stream.Position(), 0);
    TPSPGraphic psp;
    ASSERT_TRUE(psp.ReadImageProperties(stream, 0));
    EXPECT_EQ(psp.ImageProperties.Version, 5u);
    EXPECT_EQ(psp.ImageProperties.ColorScheme, TColorModel::cmRGB);
    EXPECT_FLOAT_EQ(psp.ImageProperties.XResolution, 254.0f);
    EXPECT_FLOAT_EQ(psp.ImageProperties.YResolution, 254.0f);
    EXPECT_EQ(stream.Position(), static_cast<std::int64_t>(w.Header().size()));

    w.major = 2;
    const Bytes old = w.File({RgbLayer(4, 2)});
    TMemoryStream oldStream(old);
    EXPECT_FALSE(TPSPGraphic::CanLoadStream(oldStream));
    EXPECT_EQ(LoadError(old), kInvalid);
}

TEST(PspReader, PalettesAreCappedAtTheirBuffer) {
    PspWriter w;
    w.depth = 8;
    w.width = 3;
    w.height = 1;
    Layer layer;
    layer.channels.push_back({0, {0, 200, 255}, -1});
    TPSPGraphic psp;
    Load(psp, w.File({layer}, w.Palette(300)));
    ASSERT_EQ(psp.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(psp.Palette().Entries().size(), 256u);
    EXPECT_EQ(psp.GetPixel(0, 0), RGBColor(255, 7, 0));
    EXPECT_EQ(psp.GetPixel(1, 0), RGBColor(55, 7, 200));
    EXPECT_EQ(psp.GetPixel(2, 0), RGBColor(0, 7, 255));
}

TEST(PspReader, GrayRowsOfFourAndOneBit) {
    PspWriter w;
    w.depth = 4;
    w.gray = true;
    w.width = 10;
    w.height = 2;
    // Rows of 6 bytes for width 10.
    Layer layer;
    layer.channels.push_back({0, {0x0F, 0, 0, 0, 0, 0, 0xF0, 0, 0, 0, 0, 0}});
    TPSPGraphic psp;
    Load(psp, w.File({layer}));
    ASSERT_EQ(psp.PixelFormat(), TPixelFormat::pf4bit);
    EXPECT_EQ(psp.GetPixel(0, 0), clBlack);
    EXPECT_EQ(psp.GetPixel(1, 0), clWhite);
    EXPECT_EQ(psp.GetPixel(0, 1), clWhite);

    w.depth = 1;
    layer.channels = {{0, {0x80, 0x00, 0x40, 0x00}}};
    Load(psp, w.File({layer}));
    ASSERT_EQ(psp.PixelFormat(), TPixelFormat::pf1bit);
    EXPECT_EQ(psp.GetPixel(0, 0), clWhite);
    EXPECT_EQ(psp.GetPixel(1, 1), clWhite);
    EXPECT_EQ(psp.GetPixel(0, 1), clBlack);

    w.depth = 16;
    EXPECT_EQ(LoadError(w.File({layer})), "Invalid color format in PSP file.");
}

TEST(PspReader, LayerChoiceAlphaAndUnknownChannels) {
    PspWriter w;
    Layer skipped = RgbLayer(4, 2);
    skipped.type = 2;
    for (auto& c : skipped.channels) c.raw.assign(8, 1);
    Layer taken = RgbLayer(4, 2);
    // A channel type without a buffer, with data that must not be read as
    // the next channel's header.
    taken.channels.insert(taken.channels.begin(), Channel{7, Bytes(20, '~')});
    taken.channels.push_back({0, Bytes(8, 0x80)});
    TPSPGraphic psp;
    Load(psp, w.File({skipped, taken}));
    ASSERT_EQ(psp.PixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(psp.GetPixel(1, 0), RGBColor(61, 121, 181));

    // Version 3 takes only layers of type 0.
    w.major = 3;
    skipped.type = 1;
    Load(psp, w.File({skipped, RgbLayer(4, 2)}));
    EXPECT_EQ(psp.GetPixel(1, 0), RGBColor(61, 121, 181));
}

TEST(PspReader, SizesAndCompressionsThatCannotLoad) {
    PspWriter w;
    for (auto [width, height] : {std::pair{-4, 2}, std::pair{4, 0}, std::pair{4, -1}, std::pair{0x7FFFFFFF, 1}}) {
        w.width = width;
        w.height = height;
        EXPECT_EQ(LoadError(w.File({})), kInvalid) << width << "x" << height;
    }
    w.width = 4;
    w.height = 2;
    for (std::uint16_t compression : {3, 9}) {
        w.compression = compression;
        EXPECT_EQ(LoadError(w.File({RgbLayer(4, 2)})),
                  "Cannot load image. The compression scheme is not supported for PSP files.");
    }
}

TEST(PspReader, DamagedChannelsAndBlockChains) {
    PspWriter w;
    // Missing channels read as zero.
    Layer onlyRed = RgbLayer(4, 2);
    onlyRed.channels.resize(1);
    TPSPGraphic psp;
    Load(psp, w.File({onlyRed}));
    EXPECT_EQ(psp.GetPixel(3, 1), RGBColor(67, 0, 0));

    // A channel longer than the file, or too short to fill its rows.
    EXPECT_EQ(LoadError(w.File({Layer{0, {{1, Bytes(8, 1), 1000000}}}})), kInvalid);
    EXPECT_EQ(LoadError(w.File({Layer{0, {{1, Bytes(8, 1), 3}}}})), kInvalid);

    // Block lengths past the end, and a marker that is not '~', end quietly.
    Bytes runaway = w.Header();
    Append(runaway, w.Block(9, Bytes(4, 0), 0xFFFFFFFF));
    Append(runaway, w.Block(3, w.LayerBlock(RgbLayer(4, 2))));
    Load(psp, runaway);
    EXPECT_EQ(psp.GetPixel(0, 0), clBlack);
    Bytes marked = w.File({RgbLayer(4, 2)});
    marked[w.Header().size()] = 'x';
    Load(psp, marked);
    EXPECT_EQ(psp.Width(), 4);
    EXPECT_EQ(psp.GetPixel(0, 0), clBlack);
}

}  // namespace
}  // namespace orv
