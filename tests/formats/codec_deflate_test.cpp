#include "formats/codec_deflate.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "codec_test_data.h"

namespace orv {
namespace {

using codec_test::Bytes;
using codec_test::ReadData;

TEST(LZ77, TiffStripsEachAStreamOfTheirOwn) {
    TLZ77Decoder d(Z_SYNC_FLUSH, true);
    d.DecodeInit();
    for (int strip = 0; strip < 2; ++strip) {
        const Bytes packed = ReadData("zip_rgb_s" + std::to_string(strip) + ".packed");
        const Bytes rows = ReadData("zip_rgb_s" + std::to_string(strip) + ".rows");
        Bytes out(rows.size());
        const std::uint8_t* src = packed.data();
        std::uint8_t* dst = out.data();
        d.Decode(src, packed.size(), dst, out.size());
        EXPECT_EQ(out, rows);
        EXPECT_EQ(d.InflateResult(), Z_STREAM_END);
        EXPECT_EQ(src, packed.data() + packed.size());  // advanced for the caller
        EXPECT_EQ(dst, out.data() + out.size());
    }
    d.DecodeEnd();
    d.DecodeEnd();  // a second end does nothing
}

// What zlib's streaming inflate leaves in a buffer of `size` bytes filled
// with 0xAA, and how many input bytes it consumed.
std::pair<Bytes, std::size_t> StreamingInflate(const Bytes& packed, std::size_t size) {
    Bytes out(size, 0xAA);
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return {};
    z.next_in = const_cast<Bytef*>(packed.data());
    z.avail_in = static_cast<uInt>(packed.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    inflate(&z, Z_SYNC_FLUSH);
    const std::size_t used = packed.size() - z.avail_in;
    inflateEnd(&z);
    return {out, used};
}

// Whole strips take the one-shot inflate; damaged or oversized ones must
// still give exactly the bytes and positions of the streaming inflate.
TEST(LZ77, WholeStripsGiveTheStreamingResultAlsoWhenDamaged) {
    const Bytes packed = ReadData("zip_rgb_s0.packed");
    const std::size_t rows = ReadData("zip_rgb_s0.rows").size();
    std::vector<std::pair<Bytes, std::size_t>> cases = {
        {packed, rows},                                                      // clean
        {packed, rows / 2},                                                  // output larger than the strip
        {packed, rows + 7},                                                  // strip larger than the output
        {Bytes(packed.begin(), packed.begin() + packed.size() / 2), rows},  // cut short
    };
    // Damage at every place: a wrong code, a distance too far back, a wrong
    // checksum, a bad header.
    for (std::size_t at = 0; at < packed.size(); ++at) {
        Bytes b = packed;
        b[at] ^= 0x5A;
        cases.emplace_back(std::move(b), rows);
    }
    TLZ77Decoder d(Z_SYNC_FLUSH, true);
    d.DecodeInit();
    for (std::size_t c = 0; c < cases.size(); ++c) {
        const auto& [in, size] = cases[c];
        const auto [expected, used] = StreamingInflate(in, size);
        Bytes out(size, 0xAA);
        const std::uint8_t* src = in.data();
        std::uint8_t* dst = out.data();
        d.Decode(src, in.size(), dst, out.size());
        EXPECT_EQ(out, expected) << "case " << c;
        EXPECT_EQ(static_cast<std::size_t>(src - in.data()), used) << "case " << c;
        EXPECT_EQ(d.PackedLeft(), in.size() - used) << "case " << c;
    }
}

TEST(LZ77, StreamAcrossBlocksThenIgnoresFurtherBlocks) {
    const Bytes packed = ReadData("zip_rgb_s0.packed");
    const Bytes rows = ReadData("zip_rgb_s0.rows");
    TLZ77Decoder d(Z_SYNC_FLUSH, false);
    d.DecodeInit();
    Bytes out(rows.size());
    std::uint8_t* dst = out.data();
    // Input in pieces of 100 bytes, output in rows of 240 bytes; input that
    // a call left unconsumed is handed in again.
    const std::uint8_t* src = packed.data();
    const std::uint8_t* const end = packed.data() + packed.size();
    std::uint8_t* const outEnd = out.data() + out.size();
    while (d.InflateResult() == Z_OK && dst < outEnd) {
        const std::size_t n = d.PackedLeft() > 0 ? d.PackedLeft() : std::min<std::size_t>(100, end - src);
        d.Decode(src, n, dst, std::min<std::size_t>(240, outEnd - dst));
    }
    EXPECT_EQ(out, rows);
    // A finished stream does nothing more.
    Bytes more(10, 0xEE);
    std::uint8_t* moreDst = more.data();
    const std::uint8_t* again = packed.data();
    d.Decode(again, packed.size(), moreDst, more.size());
    EXPECT_EQ(moreDst, more.data());
    EXPECT_EQ(more, Bytes(10, 0xEE));
}

TEST(LZ77, ErrorsAreReportedNotRaisedAndCleanupIsSafe) {
    TLZ77Decoder d(Z_FINISH, false);
    Bytes out(16);
    std::uint8_t* dst = out.data();
    const Bytes garbage = {0x12, 0x34, 0x56, 0x78};
    const std::uint8_t* src = garbage.data();
    EXPECT_THROW(d.Decode(src, garbage.size(), dst, out.size()), EDecoderError);  // no DecodeInit
    d.DecodeInit();
    d.Decode(src, garbage.size(), dst, out.size());
    EXPECT_LT(d.InflateResult(), 0);
    // Never initialised or already ended: destruction is quiet.
    TLZ77Decoder idle(Z_SYNC_FLUSH, true);
    idle.DecodeEnd();
}

}  // namespace
}  // namespace orv
