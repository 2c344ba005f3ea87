// ThunderScan decoder with exactly sized buffers: bytes 0-1 the width, 2-3
// the output size, the rest is packed data.
#include <cstdint>
#include <vector>

#include "formats/codec_thunder.h"

using namespace orv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::uint32_t width = static_cast<std::uint32_t>(data[0]) << 8 | data[1];
    const std::size_t outSize = static_cast<std::size_t>(data[2]) << 8 | data[3];
    std::vector<std::uint8_t> packed(data + 4, data + size);
    std::vector<std::uint8_t> out(outSize);
    const std::uint8_t* src = packed.data();
    std::uint8_t* dst = out.data();
    TThunderDecoder d(width);
    d.Decode(src, packed.size(), dst, out.size());
    return 0;
}
