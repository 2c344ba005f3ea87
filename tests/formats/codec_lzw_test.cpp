#include "formats/codec_lzw.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "codec_test_data.h"

namespace orv {
namespace {

using codec_test::Bytes;
using codec_test::DecodeInto;
using codec_test::ReadData;

// Packs codes in either variant's bit order, mirroring the decoder's table
// growth so that every code is written with the width it will be read with.
class CodeWriter {
public:
    CodeWriter(bool tiff, unsigned codeSize) : tiff_(tiff), clear_(tiff ? 256 : 1u << codeSize) { Reset(); }

    // makesEntry false: a code the decoder skips (GIF's end code).
    void Put(unsigned code, bool makesEntry = true) {
        if (tiff_) {
            acc_ = (acc_ << width_) | code;
            bits_ += width_;
            for (; bits_ >= 8; bits_ -= 8) out_.push_back(static_cast<std::uint8_t>(acc_ >> (bits_ - 8)));
        } else {
            acc_ |= static_cast<std::uint64_t>(code) << bits_;
            bits_ += width_;
            for (; bits_ >= 8; bits_ -= 8, acc_ >>= 8) out_.push_back(static_cast<std::uint8_t>(acc_));
        }
        if (code == clear_) return Reset();
        if (first_ || !makesEntry) {
            first_ = first_ && !makesEntry;
            return;
        }
        if (nextFree_ > 4095) return;
        const unsigned entry = nextFree_;
        if (tiff_) {
            ++nextFree_;
            if (nextFree_ == (1u << width_) - 1 && width_ < 12) ++width_;
        } else {
            if (entry >= (1u << width_) - 1 && width_ < 12) ++width_;
            if (nextFree_ < 4095) ++nextFree_;
        }
    }
    Bytes Finish() {
        Bytes out = out_;
        if (bits_ > 0) out.push_back(static_cast<std::uint8_t>(tiff_ ? acc_ << (8 - bits_) : acc_));
        return out;
    }
    unsigned NextFree() const { return nextFree_; }
    unsigned Clear() const { return clear_; }

private:
    void Reset() {
        width_ = 0;
        while ((1u << width_) <= clear_) ++width_;
        nextFree_ = clear_ + 2;
        first_ = true;
    }
    bool tiff_;
    unsigned clear_;
    unsigned width_ = 0;
    unsigned nextFree_ = 0;
    bool first_ = true;
    std::uint64_t acc_ = 0;
    unsigned bits_ = 0;
    Bytes out_;
};

// A plain LZW encoder; clearAt is the table size at which it starts afresh
// (0: never, the table then stays full).
Bytes Encode(const Bytes& data, bool tiff, unsigned codeSize, unsigned clearAt) {
    CodeWriter w(tiff, codeSize);
    const unsigned clear = w.Clear();
    std::map<std::pair<unsigned, std::uint8_t>, unsigned> dict;
    unsigned next = clear + 2;
    w.Put(clear);
    if (!data.empty()) {
        unsigned prefix = data[0];
        for (std::size_t i = 1; i < data.size(); ++i) {
            const auto key = std::make_pair(prefix, data[i]);
            if (const auto it = dict.find(key); it != dict.end()) {
                prefix = it->second;
                continue;
            }
            w.Put(prefix);
            if (next < 4095) dict[key] = next++;  // stop short of GIF's reused 4095
            if (clearAt && next >= clearAt) {
                w.Put(clear);
                dict.clear();
                next = clear + 2;
            }
            prefix = data[i];
        }
        w.Put(prefix);
    }
    w.Put(clear + 1, false);
    return w.Finish();
}

TEST(LZW, RandomRoundTrips) {
    std::mt19937 rng(11);
    for (int round = 0; round < 60; ++round) {
        const bool tiff = round % 2 == 0;
        const unsigned codeSize = tiff ? 8 : 1 + rng() % 8;
        const unsigned symbols = tiff ? 256 : 1u << codeSize;
        Bytes data(1 + rng() % 30000);
        const unsigned alphabet = 1 + rng() % symbols;
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = (i > 0 && rng() % 4 != 0) ? data[i - 1 - rng() % std::min<std::size_t>(i, 40)]
                                                : static_cast<std::uint8_t>(rng() % alphabet);
        const unsigned clearAt = round % 3 == 0 ? 0 : 4094;
        const Bytes packed = Encode(data, tiff, codeSize, clearAt);
        Bytes out;
        if (tiff) {
            TTIFFLZWDecoder d;
            out = DecodeInto(d, packed, data.size());
        } else {
            TGIFLZWDecoder d(static_cast<std::uint8_t>(codeSize));
            out = DecodeInto(d, packed, data.size());
        }
        const auto mismatch = std::mismatch(out.begin(), out.end(), data.begin()).first - out.begin();
        ASSERT_EQ(out, data) << "round " << round << " size " << codeSize << " len " << data.size() << " at " << mismatch << " clearAt " << clearAt << " alphabet " << alphabet;
    }
}

TEST(TIFFLZW, DecodesLibtiffStrips) {
    for (const char* name : {"lzw_rgb", "lzw_noise"}) {
        const Bytes packed = ReadData(std::string(name) + "_s0.packed");
        const Bytes rows = ReadData(std::string(name) + "_s0.rows");
        TTIFFLZWDecoder d;
        EXPECT_EQ(DecodeInto(d, packed, rows.size()), rows) << name;
        // A smaller destination receives exactly its share, the last string clipped.
        for (std::size_t size : {std::size_t{1}, std::size_t{777}, rows.size() - 1}) {
            const Bytes part = DecodeInto(d, packed, size);
            EXPECT_TRUE(std::equal(part.begin(), part.end(), rows.begin())) << name << " " << size;
        }
        // Truncated packed data decode a prefix.
        const Bytes cut(packed.begin(), packed.begin() + packed.size() / 2);
        const Bytes half = DecodeInto(d, cut, rows.size(), 0xEE);
        const auto n = std::find(half.begin(), half.end(), 0xEE) - half.begin();
        EXPECT_GT(n, 100);
        EXPECT_TRUE(std::equal(half.begin(), half.begin() + n, rows.begin()));
    }
}

// The coding written before TIFF 5.0 is GIF's with 8-bit symbols (codes least
// significant bit first, the width growing once entry 2^width - 1 is made),
// but its end code stops and its table stops growing at 4096.
TEST(TIFFLZW, OldStyleBlocksAreRecognisedAndDecoded) {
    std::mt19937 rng(5);
    for (const unsigned clearAt : {0u, 4094u}) {
        Bytes data(20000 + rng() % 20000);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = (i > 0 && rng() % 3 != 0) ? data[i - 1 - rng() % std::min<std::size_t>(i, 30)]
                                                : static_cast<std::uint8_t>(rng());
        Bytes packed = Encode(data, false, 8, clearAt);
        ASSERT_TRUE(TTIFFLZWDecoder::IsOldStyle(packed.data(), packed.size()));
        // Nothing after the end code is decoded.
        packed.insert(packed.end(), {0x12, 0x34, 0x56});
        TTIFFLZWDecoder d;
        EXPECT_EQ(DecodeInto(d, packed, data.size() + 2, 0xEE), [&] {
            Bytes want = data;
            want.insert(want.end(), {0xEE, 0xEE});
            return want;
        }()) << clearAt;
    }
    const Bytes current = Encode({1, 2, 3}, true, 8, 0);
    EXPECT_FALSE(TTIFFLZWDecoder::IsOldStyle(current.data(), current.size()));
}

// 9-bit codes, most significant bit first.
Bytes TiffCodes(std::initializer_list<unsigned> codes) {
    Bytes out;
    std::uint32_t acc = 0;
    int bits = 0;
    for (unsigned c : codes) {
        acc = (acc << 9) | c;
        bits += 9;
        while (bits >= 8) {
            out.push_back(static_cast<std::uint8_t>(acc >> (bits - 8)));
            bits -= 8;
        }
    }
    if (bits > 0) out.push_back(static_cast<std::uint8_t>(acc << (8 - bits)));
    return out;
}

TEST(TIFFLZW, HandMadeCodes) {
    TTIFFLZWDecoder d;
    // clear, 65, end: one byte and a stop (the 66 after the end is not decoded).
    EXPECT_EQ(DecodeInto(d, TiffCodes({256, 65, 257, 66}), 4, 0xEE), (Bytes{65, 0xEE, 0xEE, 0xEE}));
    // 258 is the code about to be made: "A" then "AA".
    EXPECT_EQ(DecodeInto(d, TiffCodes({256, 65, 258, 257}), 4, 0xEE), (Bytes{65, 65, 65, 0xEE}));
    // An undefined code right after a clear is skipped, as is a code above the next free one.
    EXPECT_EQ(DecodeInto(d, TiffCodes({256, 300, 66, 400, 67, 257}), 4, 0xEE), (Bytes{66, 67, 0xEE, 0xEE}));
}

TEST(GIFLZW, DecodesImageMagickData) {
    for (const char* name : {"two", "four", "full"}) {
        const Bytes file = ReadData(std::string("gif_") + name + ".lzw");
        const Bytes indices = ReadData(std::string("gif_") + name + ".indices");
        TGIFLZWDecoder d(file[0]);
        const Bytes packed(file.begin() + 1, file.end());
        EXPECT_EQ(DecodeInto(d, packed, indices.size()), indices) << name;
        const Bytes part = DecodeInto(d, packed, indices.size() / 3);
        EXPECT_TRUE(std::equal(part.begin(), part.end(), indices.begin())) << name;
    }
}

TEST(GIFLZW, CodeSizeIsChecked) {
    EXPECT_THROW(TGIFLZWDecoder(0), EDecoderError);
    EXPECT_THROW(TGIFLZWDecoder(12), EDecoderError);
    EXPECT_NO_THROW(TGIFLZWDecoder(1));
    EXPECT_NO_THROW(TGIFLZWDecoder(11));
}

TEST(GIFLZW, WidthGrowsAfterEntrySevenAndEndCodeIsIgnored) {
    // Code size 2: clear 4, end 5, first free 6, width 3.
    CodeWriter w(false, 2);
    w.Put(4);
    w.Put(1);
    w.Put(5, false);  // ignored: decoding goes on
    w.Put(2);         // entry 6 = 1,2
    w.Put(6);         // entry 7 = 2,1 -> width 4 from the next code
    w.Put(7);         // entry 8
    w.Put(3);
    TGIFLZWDecoder d(2);
    EXPECT_EQ(DecodeInto(d, w.Finish(), 9, 0xEE), (Bytes{1, 2, 1, 2, 2, 1, 3, 0xEE, 0xEE}));
}

TEST(GIFLZW, FullTableWithSelfReferenceEnds) {
    // Fill the table without a clear, then keep sending 4095: entry 4095 is
    // rewritten with itself as prefix, which must be skipped, not followed.
    CodeWriter w(false, 8);
    w.Put(256);
    w.Put(7);
    while (w.NextFree() < 4095) w.Put(7);
    for (int i = 0; i < 6; ++i) w.Put(4095);
    w.Put(9);
    w.Put(4095);
    w.Put(10);
    TGIFLZWDecoder d(8);
    const Bytes packed = w.Finish();
    const Bytes out = DecodeInto(d, packed, 20000000, 0xEE);
    const auto n = std::find(out.begin(), out.end(), 0xEE) - out.begin();
    ASSERT_GT(n, 4);
    EXPECT_EQ(out[static_cast<std::size_t>(n) - 1], 10);
    // Small destinations too.
    for (std::size_t size : {std::size_t{1}, static_cast<std::size_t>(n) / 2, static_cast<std::size_t>(n)}) {
        const Bytes part = DecodeInto(d, packed, size);
        EXPECT_TRUE(std::equal(part.begin(), part.end(), out.begin()));
    }
}

}  // namespace
}  // namespace orv
