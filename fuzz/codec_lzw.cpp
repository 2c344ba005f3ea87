// LZW decoders with exactly sized buffers: byte 0 picks TIFF or GIF (and the
// GIF code size), bytes 1-3 the output size, the rest is packed data.
#include <cstdint>
#include <vector>

#include "formats/codec_lzw.h"

using namespace orv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::uint8_t mode = data[0];
    const std::size_t outSize = (static_cast<std::size_t>(data[1]) << 16 | data[2] << 8 | data[3]) % (1u << 20);
    std::vector<std::uint8_t> packed(data + 4, data + size);
    std::vector<std::uint8_t> out(outSize);
    const std::uint8_t* src = packed.data();
    std::uint8_t* dst = out.data();
    if (mode < 128) {
        TTIFFLZWDecoder d;
        d.Decode(src, packed.size(), dst, out.size());
    } else {
        try {
            TGIFLZWDecoder d(static_cast<std::uint8_t>(mode % 13));
            d.Decode(src, packed.size(), dst, out.size());
        } catch (const EDecoderError&) {
        }
    }
    return 0;
}
