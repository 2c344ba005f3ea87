// Deflate decoder: byte 0 picks flush mode, auto reset, the block sizes and
// whether the strip below has a scratch tail; the rest is the stream, handed
// in pieces as the PNG reader does. Then the whole stream as one strip must
// give what zlib's streaming inflate gives: the same bytes written and
// consumed for a stream zlib reads to its end, the same bytes as far as both
// wrote for a damaged one.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "formats/codec_deflate.h"

using namespace orv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t mode = data[0];
    const std::size_t piece = data[1] + 1u;
    std::vector<std::uint8_t> packed(data + 2, data + size);
    TLZ77Decoder d(mode & 1 ? Z_FINISH : Z_SYNC_FLUSH, mode & 2);
    d.DecodeInit();
    std::vector<std::uint8_t> out(1u << 16);
    const std::uint8_t* src = packed.data();
    const std::uint8_t* const end = packed.data() + packed.size();
    std::uint8_t* dst = out.data();
    for (int call = 0; call < 1000 && src < end; ++call) {
        const std::size_t n = std::min<std::size_t>(piece, static_cast<std::size_t>(end - src));
        const std::size_t room = static_cast<std::size_t>(out.data() + out.size() - dst);
        const std::size_t want = std::min<std::size_t>(piece * 3, room);
        d.Decode(src, n, dst, want);
        if (src > end || dst > out.data() + out.size()) __builtin_trap();
        if (d.InflateResult() != Z_OK && !(mode & 2)) break;
        if (dst == out.data() + out.size()) dst = out.data();
    }
    d.DecodeEnd();

    const std::size_t strip = piece * 64;
    std::vector<std::uint8_t> whole(strip, 0xAA), streamed(strip, 0xAA);
    TLZ77Decoder w(Z_SYNC_FLUSH, true);
    // With a scratch tail the bytes past the output may change.
    const bool scratchTail = mode & 4;
    w.SetScratchTail(scratchTail);
    w.DecodeInit();
    const std::uint8_t* in = packed.data();
    std::uint8_t* wdst = whole.data();
    w.Decode(in, packed.size(), wdst, whole.size());
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return 0;
    z.next_in = packed.data();
    z.avail_in = static_cast<uInt>(packed.size());
    z.next_out = streamed.data();
    z.avail_out = static_cast<uInt>(streamed.size());
    const int result = inflate(&z, Z_SYNC_FLUSH);
    const std::size_t zlibWrote = static_cast<std::size_t>(z.next_out - streamed.data());
    const std::size_t wrote = static_cast<std::size_t>(wdst - whole.data());
    // A stream zlib reads to its end must come out the same to the byte. On
    // a damaged one the one-shot inflate may read further than zlib (it
    // decodes some codes zlib calls invalid, as libtiff's inflate does), but
    // what both wrote must agree.
    const bool same = result == Z_STREAM_END
                          ? (scratchTail ? std::equal(whole.begin(), whole.begin() + wrote, streamed.begin())
                                         : whole == streamed) &&
                                z.next_in == in && zlibWrote == wrote
                          : std::equal(whole.begin(), whole.begin() + std::min(wrote, zlibWrote), streamed.begin());
    inflateEnd(&z);
    if (!same) __builtin_trap();
    return 0;
}
