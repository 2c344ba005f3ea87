// Run-length decoders with exactly sized buffers: byte 0 picks the decoder,
// bytes 1-2 the output size, the rest is packed data. The Targa decoder is
// also fed row by row and checked against its own encoder.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "formats/codec_rle.h"

using namespace orv;

namespace {

void DecodeExact(TDecoder& d, const std::uint8_t* data, std::size_t size, std::size_t outSize) {
    std::vector<std::uint8_t> packed(data, data + size);
    std::vector<std::uint8_t> out(outSize);
    const std::uint8_t* src = packed.data();
    std::uint8_t* dst = out.data();
    d.Decode(src, packed.size(), dst, out.size());
}

void TargaRows(const std::uint8_t* data, std::size_t size, int depth, std::size_t rowBytes) {
    TTargaRLEDecoder d(depth);
    d.DecodeInit();
    std::vector<std::uint8_t> packed(data, data + size);
    const std::uint8_t* src = packed.data();
    const std::uint8_t* const end = packed.data() + packed.size();
    for (int row = 0; row < 64 && src < end; ++row) {
        std::vector<std::uint8_t> out(rowBytes);
        std::uint8_t* dst = out.data();
        d.Decode(src, static_cast<std::size_t>(end - src), dst, out.size());
        if (src > end) __builtin_trap();
    }
}

void TargaRoundTrip(const std::uint8_t* data, std::size_t size, int depth) {
    TTargaRLEDecoder d(depth);
    const std::size_t p = d.PixelSize();
    const auto count = static_cast<std::uint32_t>(size / p);
    std::vector<std::uint8_t> pixels(data, data + count * p);
    std::vector<std::uint8_t> packed(d.MaxEncodedSize(count));
    std::uint32_t stored = 0;
    d.Encode(pixels.data(), packed.data(), packed.size(), count, stored);
    std::vector<std::uint8_t> back(pixels.size());
    const std::uint8_t* src = packed.data();
    std::uint8_t* dst = back.data();
    d.Decode(src, stored, dst, back.size());
    if (back != pixels) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::uint8_t which = data[0] % 10;
    const std::size_t outSize = (static_cast<std::size_t>(data[1]) << 8 | data[2]) % 8192;
    data += 3;
    size -= 3;
    static const int kDepths[] = {8, 15, 16, 24, 32};
    switch (which) {
    case 0: {
        TTargaRLEDecoder d(kDepths[outSize % 5]);
        DecodeExact(d, data, size, outSize);
        break;
    }
    case 1: {
        TPackbitsRLEDecoder d;
        DecodeExact(d, data, size, outSize);
        break;
    }
    case 2: {
        TPCXRLEDecoder d;
        DecodeExact(d, data, size, outSize);
        break;
    }
    case 3: {
        TSGIRLEDecoder d(outSize & 1 ? 16 : 8);
        DecodeExact(d, data, size, outSize);
        break;
    }
    case 4: {
        TCUTRLEDecoder d;
        DecodeExact(d, data, size, outSize);
        break;
    }
    case 5: {
        TPSPRLEDecoder d;
        DecodeExact(d, data, size, outSize);
        break;
    }
    case 6: {
        TRLADecoder d;
        DecodeExact(d, data, size, outSize);
        break;
    }
    case 7:
        TargaRows(data, size, kDepths[outSize % 5], outSize % 700 + 1);
        break;
    default:
        TargaRoundTrip(data, size, kDepths[outSize % 5]);
        break;
    }
    return 0;
}
