// Deflate decoder: byte 0 picks flush mode, auto reset and the block sizes;
// the rest is the stream, handed in pieces as the PNG reader does.
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
    return 0;
}
