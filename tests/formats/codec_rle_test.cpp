#include "formats/codec_rle.h"

#include <gtest/gtest.h>

#include <random>

#include "codec_test_data.h"

namespace orv {
namespace {

using codec_test::Bytes;
using codec_test::DecodeInto;
using codec_test::ReadData;

TEST(PackbitsRLE, DecodesLibtiffStrip) {
    const Bytes packed = ReadData("packbits_s0.packed");
    const Bytes rows = ReadData("packbits_s0.rows");
    TPackbitsRLEDecoder decoder;
    EXPECT_EQ(DecodeInto(decoder, packed, rows.size()), rows);

    // Smaller capacity or truncated data give a prefix and touch nothing else.
    Bytes part = DecodeInto(decoder, packed, 500);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), rows.begin()));
    Bytes cut(packed.begin(), packed.begin() + 301);
    Bytes fromCut = DecodeInto(decoder, cut, rows.size(), 0xEE);
    const auto firstFill = std::find(fromCut.begin(), fromCut.end(), 0xEE) - fromCut.begin();
    EXPECT_GT(firstFill, 200);
    EXPECT_TRUE(std::equal(fromCut.begin(), fromCut.begin() + firstFill, rows.begin()));
}

TEST(PackbitsRLE, NoOpHeaderAndShortLiteral) {
    TPackbitsRLEDecoder decoder;
    // -128 is skipped; a run of 3; a literal of 4 announced with only 2 bytes left.
    EXPECT_EQ(DecodeInto(decoder, {0x80, 0xFE, 7, 0x03, 1, 2}, 8, 0xEE),
              (Bytes{7, 7, 7, 1, 2, 0xEE, 0xEE, 0xEE}));
    // A run cut to the capacity.
    EXPECT_EQ(DecodeInto(decoder, {0x81, 9}, 5), (Bytes{9, 9, 9, 9, 9}));
    // dest moves to the end of the output.
    const Bytes packed = {0xFE, 7, 0x00, 1};
    Bytes out(8);
    const std::uint8_t* src = packed.data();
    std::uint8_t* dst = out.data();
    decoder.Decode(src, packed.size(), dst, out.size());
    EXPECT_EQ(dst - out.data(), 4);
}

TEST(TargaRLE, PacketsCrossingRowsContinueInTheNextCall) {
    TTargaRLEDecoder decoder(24);
    decoder.DecodeInit();
    // Row width 4 pixels (12 bytes). A run of 6 crosses into row 2, then a raw
    // packet of 3 crosses into row 3.
    const Bytes packed = {0x85, 1, 2, 3, 0x02, 10, 11, 12, 20, 21, 22, 30, 31, 32, 0x80, 9, 9, 9};
    const std::uint8_t* src = packed.data();
    Bytes row(12);
    std::uint8_t* dst = row.data();

    decoder.Decode(src, packed.size(), dst, row.size());
    EXPECT_EQ(row, (Bytes{1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3}));
    EXPECT_EQ(src - packed.data(), 4);  // the whole run packet was consumed
    EXPECT_EQ(decoder.PendingPixels(), 2u);

    decoder.Decode(src, packed.data() + packed.size() - src, dst, row.size());
    EXPECT_EQ(row, (Bytes{1, 2, 3, 1, 2, 3, 10, 11, 12, 20, 21, 22}));
    EXPECT_EQ(decoder.PendingPixels(), 1u);

    std::fill(row.begin(), row.end(), 0);
    decoder.Decode(src, packed.data() + packed.size() - src, dst, row.size());
    EXPECT_EQ(row, (Bytes{30, 31, 32, 9, 9, 9, 0, 0, 0, 0, 0, 0}));  // data ran out: the rest stays
    EXPECT_EQ(src, packed.data() + packed.size());
}

TEST(TargaRLE, PixelSizesAndUnknownDepth) {
    for (int depth : {15, 16}) {
        TTargaRLEDecoder d(depth);
        EXPECT_EQ(DecodeInto(d, {0x81, 0x34, 0x12, 0x00, 5, 6}, 6), (Bytes{0x34, 0x12, 0x34, 0x12, 5, 6}));
    }
    TTargaRLEDecoder d32(32);
    EXPECT_EQ(DecodeInto(d32, {0x81, 1, 2, 3, 4}, 8), (Bytes{1, 2, 3, 4, 1, 2, 3, 4}));
    TTargaRLEDecoder bad(12);
    EXPECT_EQ(DecodeInto(bad, {0x81, 1, 2, 3, 4}, 8), Bytes(8, 0));
}

TEST(TargaRLE, EncoderPacketsAndRoundTrip) {
    TTargaRLEDecoder enc8(8);
    Bytes out(64);
    std::uint32_t stored = 0;
    const Bytes three = {1, 2, 3};
    enc8.Encode(three.data(), out.data(), out.size(), 3, stored);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + stored), (Bytes{2, 1, 2, 3}));
    const Bytes four = {7, 7, 7, 7};
    enc8.Encode(four.data(), out.data(), out.size(), 4, stored);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + stored), (Bytes{131, 7}));
    const Bytes mixed = {1, 2, 2, 3};
    enc8.Encode(mixed.data(), out.data(), out.size(), 4, stored);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + stored), (Bytes{0, 1, 129, 2, 0, 3}));
    EXPECT_THROW(enc8.Encode(mixed.data(), out.data(), 3, 4, stored), EDecoderError);

    std::mt19937 rng(7);
    for (int depth : {8, 16, 24, 32}) {
        TTargaRLEDecoder codec(depth);
        const std::size_t p = codec.PixelSize();
        const std::uint32_t count = 1000;
        Bytes pixels(count * p);
        for (std::size_t i = 0; i < count; ++i) {
            const bool repeat = i > 0 && rng() % 3 != 0;  // long runs, also over 128
            for (std::size_t b = 0; b < p; ++b)
                pixels[i * p + b] = repeat ? pixels[(i - 1) * p + b] : static_cast<std::uint8_t>(rng());
        }
        Bytes packed(codec.MaxEncodedSize(count));
        codec.Encode(pixels.data(), packed.data(), packed.size(), count, stored);
        packed.resize(stored);
        // Decode in rows of 37 pixels: packets cross rows.
        Bytes decoded;
        const std::uint8_t* src = packed.data();
        codec.DecodeInit();
        for (std::uint32_t done = 0; done < count; done += 37) {
            Bytes row(std::min<std::uint32_t>(37, count - done) * p);
            std::uint8_t* dst = row.data();
            codec.Decode(src, packed.data() + packed.size() - src, dst, row.size());
            decoded.insert(decoded.end(), row.begin(), row.end());
        }
        EXPECT_EQ(decoded, pixels) << depth;
    }
}

TEST(PCXRLE, RunsLiteralsAndBounds) {
    TPCXRLEDecoder d;
    // 192 is a run of 0: two bytes, nothing written.
    EXPECT_EQ(DecodeInto(d, {0xC0, 5, 0xC3, 9, 0x41}, 5), (Bytes{9, 9, 9, 0x41, 0}));
    EXPECT_EQ(DecodeInto(d, {0xFF, 1}, 4), (Bytes{1, 1, 1, 1}));  // run of 63 cut to 4
    EXPECT_EQ(DecodeInto(d, {0x10, 0xC5}, 3), (Bytes{0x10, 0, 0}));  // run byte missing
}

TEST(SGIRLE, EightAndSixteenBitPackets) {
    TSGIRLEDecoder d8(8);
    EXPECT_EQ(DecodeInto(d8, {0x82, 1, 2, 0x03, 7, 0x00, 0x81, 9}, 7), (Bytes{1, 2, 7, 7, 7, 0, 0}));
    EXPECT_EQ(DecodeInto(d8, {0x7F, 4}, 5), (Bytes{4, 4, 4, 4, 4}));  // run of 127 cut
    EXPECT_EQ(DecodeInto(d8, {0x85, 1, 2}, 6), (Bytes{1, 2, 0, 0, 0, 0}));  // literal cut by the data

    TSGIRLEDecoder d16(16);
    // 00 83 is a literal of three big-endian samples; 00 02 repeats one sample twice.
    EXPECT_EQ(DecodeInto(d16, {0x00, 0x83, 1, 2, 3, 4, 5, 6, 0x00, 0x02, 0xAB, 0xCD, 0, 0}, 10),
              (Bytes{1, 2, 3, 4, 5, 6, 0xAB, 0xCD, 0xAB, 0xCD}));
    EXPECT_EQ(DecodeInto(d16, {0x00, 0x05, 0xAB, 0xCD}, 5), (Bytes{0xAB, 0xCD, 0xAB, 0xCD, 0xAB}));
}

TEST(CUTRLE, RowsAdvanceSourceEvenWhenTooLong) {
    TCUTRLEDecoder d;
    // Row 1: two skipped bytes, run of 3, literal of 2, end. It holds 5 pixels
    // for a 4-pixel row. Row 2: run of 2.
    const Bytes packed = {0xAA, 0xBB, 0x83, 5, 0x02, 8, 9, 0x00, 0x11, 0x22, 0x82, 6, 0x00};
    const std::uint8_t* src = packed.data();
    Bytes row(4);
    std::uint8_t* dst = row.data();
    d.Decode(src, packed.size(), dst, row.size());
    EXPECT_EQ(row, (Bytes{5, 5, 5, 8}));
    EXPECT_EQ(src - packed.data(), 8);
    Bytes row2(4);
    dst = row2.data();
    d.Decode(src, packed.data() + packed.size() - src, dst, row2.size());
    EXPECT_EQ(row2, (Bytes{6, 6, 0, 0}));
    EXPECT_EQ(src, packed.data() + packed.size());
    // The reader's old habit of a packed size of 0 reads nothing.
    const std::uint8_t* start = packed.data();
    d.Decode(start, 0, dst, row2.size());
    EXPECT_EQ(start, packed.data());
}

TEST(PSPAndRLA, PacketsStopAtEitherEnd) {
    TPSPRLEDecoder psp;
    EXPECT_EQ(DecodeInto(psp, {0x02, 1, 2, 0x00, 0x83, 7}, 6), (Bytes{1, 2, 7, 7, 7, 0}));
    EXPECT_EQ(DecodeInto(psp, {0xFF, 3}, 4), (Bytes{3, 3, 3, 3}));
    EXPECT_EQ(DecodeInto(psp, {0x05, 1}, 3), (Bytes{1, 0, 0}));

    TRLADecoder rla;
    // k >= 0: run of k + 1; k < 0: literal of -k.
    EXPECT_EQ(DecodeInto(rla, {0x02, 4, 0xFE, 8, 9}, 6), (Bytes{4, 4, 4, 8, 9, 0}));
    EXPECT_EQ(DecodeInto(rla, {0x7F, 1}, 3), (Bytes{1, 1, 1}));
    EXPECT_EQ(DecodeInto(rla, {0x80, 1, 2}, 4), (Bytes{1, 2, 0, 0}));
}

}  // namespace
}  // namespace orv
