// ThunderScan 4-bit decoder (TIFF compression 32809). Output rows hold two
// pixels per byte, first pixel in the high half; each row is
// (width + 1) / 2 bytes and starts its decoding afresh. Source and dest are
// left as they were.
#pragma once

#include "formats/codec_base.h"

namespace orv {

class TThunderDecoder : public TDecoder {
public:
    explicit TThunderDecoder(std::uint32_t width);
    void Decode(const std::uint8_t*& source, std::size_t packedSize,
                std::uint8_t*& dest, std::size_t unpackedSize) override;

private:
    std::uint32_t width_;
};

}  // namespace orv
