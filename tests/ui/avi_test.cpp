#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/graphics/avi.h"
#include "platform/graphics/graphic.h"
#include "tests/support/le_bytes.h"

namespace orv {
namespace {

using Bytes = std::vector<std::uint8_t>;

using test::PutLe16;
using test::PutLe32;
void PutId(Bytes& b, const char* id) { b.insert(b.end(), id, id + 4); }

Bytes Chunk(const char* id, const Bytes& body) {
    Bytes c;
    PutId(c, id);
    PutLe32(c, static_cast<std::uint32_t>(body.size()));
    c.insert(c.end(), body.begin(), body.end());
    if (body.size() & 1) c.push_back(0);
    return c;
}

Bytes List(const char* type, const std::vector<Bytes>& parts) {
    Bytes body;
    PutId(body, type);
    for (const Bytes& p : parts) body.insert(body.end(), p.begin(), p.end());
    return Chunk("LIST", body);
}

// An AVI file of one video stream with the given frames.
Bytes MakeAvi(int width, int height, int bits, std::uint32_t compression, const std::vector<Bytes>& frames,
              const std::vector<std::uint32_t>& palette = {}) {
    Bytes avih;
    PutLe32(avih, 50000);  // 50 ms per frame
    avih.resize(56, 0);
    Bytes strh;
    PutId(strh, "vids");
    strh.resize(56, 0);
    Bytes strf;
    PutLe32(strf, 40);
    PutLe32(strf, static_cast<std::uint32_t>(width));
    PutLe32(strf, static_cast<std::uint32_t>(height));
    PutLe16(strf, 1);
    PutLe16(strf, static_cast<std::uint16_t>(bits));
    PutLe32(strf, compression);
    PutLe32(strf, 0);
    PutLe32(strf, 0);
    PutLe32(strf, 0);
    PutLe32(strf, static_cast<std::uint32_t>(palette.size()));
    PutLe32(strf, 0);
    for (std::uint32_t c : palette) PutLe32(strf, c);  // 0x00RRGGBB as B, G, R, 0
    std::vector<Bytes> movi;
    for (const Bytes& f : frames) movi.push_back(Chunk(compression ? "00dc" : "00db", f));
    const Bytes hdrl = List("hdrl", {Chunk("avih", avih), List("strl", {Chunk("strh", strh), Chunk("strf", strf)})});
    Bytes body;
    PutId(body, "AVI ");
    body.insert(body.end(), hdrl.begin(), hdrl.end());
    const Bytes m = List("movi", movi);
    body.insert(body.end(), m.begin(), m.end());
    const Bytes idx = Chunk("idx1", Bytes(16 * frames.size(), 0));
    body.insert(body.end(), idx.begin(), idx.end());
    return Chunk("RIFF", body);
}

const std::vector<std::uint32_t> kPalette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
constexpr TColor kBlack = 0, kRed = RGBColor(255, 0, 0), kGreen = RGBColor(0, 255, 0), kBlue = RGBColor(0, 0, 255);

TEST(AviReader, Rle8FramesDrawOverThePreviousOne) {
    // 4 x 3, bottom-up. Frame 0: bottom row red, middle green, top blue.
    const Bytes f0 = {4, 1, 0, 0, 4, 2, 0, 0, 4, 3, 0, 1};
    // Frame 1: skip to (1, 1) and set two pixels of the middle row to red.
    const Bytes f1 = {0, 2, 1, 1, 2, 1, 0, 1};
    // Frame 2: an absolute run of three at the top row (padded), then done.
    const Bytes f2 = {0, 0, 0, 0, 0, 3, 0, 2, 1, 0, 0, 1};
    TAviReader avi;
    avi.LoadFromBytes(MakeAvi(4, 3, 8, 1, {f0, f1, f2}, kPalette));
    ASSERT_EQ(avi.FrameCount(), 3);
    EXPECT_EQ(avi.Width(), 4);
    EXPECT_EQ(avi.Height(), 3);
    EXPECT_EQ(avi.FrameInterval(), 50000u);
    TBitmap b;
    avi.Frame(0, b);
    EXPECT_EQ(b.GetPixel(0, 0), kBlue);
    EXPECT_EQ(b.GetPixel(3, 1), kGreen);
    EXPECT_EQ(b.GetPixel(2, 2), kRed);
    avi.Frame(1, b);
    EXPECT_EQ(b.GetPixel(0, 1), kGreen);
    EXPECT_EQ(b.GetPixel(1, 1), kRed);
    EXPECT_EQ(b.GetPixel(2, 1), kRed);
    EXPECT_EQ(b.GetPixel(3, 1), kGreen);
    avi.Frame(2, b);
    EXPECT_EQ(b.GetPixel(0, 0), kBlack);
    EXPECT_EQ(b.GetPixel(1, 0), kGreen);
    EXPECT_EQ(b.GetPixel(2, 0), kRed);
    EXPECT_EQ(b.GetPixel(3, 0), kBlue);
    EXPECT_EQ(b.GetPixel(1, 1), kRed);  // kept from frame 1
    // Back to frame 0: decoded again from the start.
    avi.Frame(0, b);
    EXPECT_EQ(b.GetPixel(1, 1), kGreen);
    EXPECT_THROW(avi.Frame(3, b), EInvalidGraphicOperation);
}

TEST(AviReader, UncompressedFramesBothRowOrders) {
    // 2 x 2 at 24 bits, bottom-up: rows padded to 8 bytes.
    const Bytes bgr = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0};
    TAviReader avi;
    avi.LoadFromBytes(MakeAvi(2, 2, 24, 0, {bgr}));
    TBitmap b;
    avi.Frame(0, b);
    EXPECT_EQ(b.GetPixel(0, 1), kRed);    // first file row is the bottom one
    EXPECT_EQ(b.GetPixel(1, 1), kGreen);
    EXPECT_EQ(b.GetPixel(0, 0), kBlue);
    // 32 bits, top-down (negative height).
    const Bytes bgra = {0, 0, 255, 9, 0, 255, 0, 9, 255, 0, 0, 9, 0, 0, 0, 9};
    avi.LoadFromBytes(MakeAvi(2, -2, 32, 0, {bgra}));
    avi.Frame(0, b);
    EXPECT_EQ(b.GetPixel(0, 0), kRed);
    EXPECT_EQ(b.GetPixel(0, 1), kBlue);
    // A short plain frame fills only the rows it holds.
    avi.LoadFromBytes(MakeAvi(2, 2, 24, 0, {Bytes(bgr.begin(), bgr.begin() + 6)}));
    avi.Frame(0, b);
    EXPECT_EQ(b.GetPixel(0, 1), kRed);
    EXPECT_EQ(b.GetPixel(0, 0), kBlack);
}

TEST(AviReader, HostileRunsStayInsideTheFrame) {
    // Runs past the row end, deltas past the bottom, an absolute run longer
    // than the chunk, and a palette shorter than the indices.
    const Bytes f = {255, 7, 0, 2, 200, 1, 9, 3, 0, 0, 0, 2, 0, 250, 0, 200, 1, 2};
    TAviReader avi;
    avi.LoadFromBytes(MakeAvi(3, 2, 8, 1, {f, {0, 2, 255, 255}, {}}, {0x112233}));
    TBitmap b;
    for (int i = 0; i < avi.FrameCount(); ++i) avi.Frame(i, b);
    EXPECT_EQ(b.Width(), 3);
    EXPECT_EQ(b.GetPixel(0, 1), kBlack);  // index 7 lies beyond the palette
}

TEST(AviReader, DamagedFilesAreRefused) {
    const Bytes good = MakeAvi(4, 3, 8, 1, {{0, 1}}, kPalette);
    TAviReader avi;
    EXPECT_NO_THROW(avi.LoadFromBytes(good));
    auto refused = [&](Bytes bytes) {
        EXPECT_THROW(avi.LoadFromBytes(std::move(bytes)), EInvalidGraphic);
        EXPECT_EQ(avi.FrameCount(), 0);
    };
    refused({});
    refused(Bytes(good.begin(), good.begin() + 40));  // cut inside the headers
    Bytes notAvi = good;
    ASSERT_GT(notAvi.size(), 12u);
    notAvi[8] = 'W';
    refused(notAvi);
    refused(MakeAvi(4, 3, 16, 0, {{0}}));                 // 16 bits: not ours
    refused(MakeAvi(4, 3, 8, 2, {{0}}));                  // RLE4
    refused(MakeAvi(0, 3, 8, 0, {{0}}));
    refused(MakeAvi(100000, 100000, 24, 0, {{0}}));       // canvas far too large
    refused(MakeAvi(4, 3, 8, 1, {}, kPalette));           // no frames
    Bytes hugeChunk = good;
    // The hdrl list claims more bytes than the file has.
    hugeChunk[16] = 0xFF;
    hugeChunk[17] = 0xFF;
    refused(hugeChunk);
}

TEST(AviReader, CutOffLastFrameEndsTheFrames) {
    Bytes avi = MakeAvi(4, 3, 8, 1, {{0, 1}, {4, 1, 0, 1}}, kPalette);
    avi.resize(avi.size() - 2 * 16 - 8 - 3);  // drop idx1 and the end of frame 1
    TAviReader reader;
    reader.LoadFromBytes(avi);
    EXPECT_EQ(reader.FrameCount(), 1);
}

TEST(AviReader, CutOffIndexIsIgnored) {
    Bytes avi = MakeAvi(4, 3, 8, 1, {{0, 1}, {4, 1, 0, 1}}, kPalette);
    avi.resize(avi.size() - 5);
    TAviReader reader;
    reader.LoadFromBytes(avi);
    EXPECT_EQ(reader.FrameCount(), 2);
}

}  // namespace
}  // namespace orv
