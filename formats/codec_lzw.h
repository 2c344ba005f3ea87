// LZW decoders for TIFF (compression 5) and GIF image data. Each Decode call
// starts a fresh string table; source and dest are left as they were.
#pragma once

#include "formats/codec_base.h"

namespace orv {

// Codes most significant bit first, clear 256, end 257 (ends the call), the
// code width grows one code early. A block that starts with the bytes 00 01
// is of the coding written before TIFF 5.0: codes least significant bit
// first, the width growing once entry 2^width - 1 has been made.
class TTIFFLZWDecoder : public TDecoder {
public:
    // Whether a block is of the older coding.
    static bool IsOldStyle(const std::uint8_t* source, std::size_t packedSize);
    void Decode(const std::uint8_t*& source, std::size_t packedSize,
                std::uint8_t*& dest, std::size_t unpackedSize) override;
};

// Codes least significant bit first, clear 2^k, end 2^k + 1 (ignored).
// Raises EDecoderError for an initial code size outside 1..11.
class TGIFLZWDecoder : public TDecoder {
public:
    explicit TGIFLZWDecoder(std::uint8_t initialCodeSize);
    void Decode(const std::uint8_t*& source, std::size_t packedSize,
                std::uint8_t*& dest, std::size_t unpackedSize) override;

private:
    std::uint8_t initialCodeSize_;
};

}  // namespace orv
