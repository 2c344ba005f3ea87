// CCITT decoders with exactly sized buffers: byte 0 picks the decoder and its
// options, bytes 1-2 the width, byte 3 the rows, the rest is packed data.
#include <cstdint>
#include <vector>

#include "formats/codec_fax.h"

using namespace orv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::uint8_t mode = data[0];
    const std::uint32_t width = (static_cast<std::uint32_t>(data[1]) << 8 | data[2]) % 5000;
    const std::size_t rows = data[3];
    // Some sizes not a whole number of rows.
    const std::size_t outSize = (width + 7) / 8 * rows + (mode & 8 ? 3 : 0);
    std::vector<std::uint8_t> packed(data + 4, data + size);
    const std::vector<std::uint8_t> before = packed;
    std::vector<std::uint8_t> out(outSize);
    const std::uint8_t* src = packed.data();
    std::uint8_t* dst = out.data();
    const bool swap = mode & 2;
    const bool word = mode & 4;
    if (mode & 1) {
        TCCITTFax3Decoder d(0, swap, word, width);
        d.Decode(src, packed.size(), dst, out.size());
    } else {
        TCCITTMHDecoder d(0, swap, word, width);
        d.Decode(src, packed.size(), dst, out.size());
    }
    if (packed != before) __builtin_trap();
    return 0;
}
