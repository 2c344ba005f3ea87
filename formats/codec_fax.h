// One-dimensional CCITT (T.4 modified Huffman) decoders: TIFF compression 3
// (rows introduced by end-of-line codes) and 2 / 32771 (byte- or word-aligned
// rows without end-of-line codes). Output: one bit per pixel, first pixel in
// the top bit, 0 white and 1 black; row r starts at r * ((width + 7) / 8).
// dest is cleared to white first; a row cut short stays white where its runs
// did not reach. Source and dest are left as they were, and the packed bytes
// are not changed (bit reversal happens while reading).
#pragma once

#include "formats/codec_base.h"

namespace orv {

class TCCITTDecoder : public TDecoder {
public:
    // options: the T4Options value (kept; only one-dimensional coding is
    // decoded). swapBits: the packed bytes hold their first bit in bit 0
    // (fill order 2). wordAligned: every row of packed data starts on a 16-bit
    // boundary of the block (compression 32771).
    TCCITTDecoder(std::uint32_t options, bool swapBits, bool wordAligned, std::uint32_t width);

    std::uint32_t Options() const { return options_; }

protected:
    struct BitReader;
    struct RowWriter;

    std::uint32_t options_;
    bool swapBits_;
    bool wordAligned_;
    std::uint32_t width_;
};

class TCCITTFax3Decoder : public TCCITTDecoder {
public:
    using TCCITTDecoder::TCCITTDecoder;
    void Decode(const std::uint8_t*& source, std::size_t packedSize,
                std::uint8_t*& dest, std::size_t unpackedSize) override;
};

class TCCITTMHDecoder : public TCCITTDecoder {
public:
    using TCCITTDecoder::TCCITTDecoder;
    void Decode(const std::uint8_t*& source, std::size_t packedSize,
                std::uint8_t*& dest, std::size_t unpackedSize) override;
};

}  // namespace orv
