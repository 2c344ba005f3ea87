// Photo-CD residual decoder: adds Huffman-coded deltas to luminance and
// chrominance planes already filled from a lower resolution. It reads its
// stream itself, from the current position.
#pragma once

#include "formats/codec_base.h"
#include "platform/base/stream.h"

namespace orv {

// The three planes and their sizes in bytes.
struct TPCDPlanes {
    std::uint8_t* Data[3] = {nullptr, nullptr, nullptr};  // luminance, chroma 1, chroma 2
    std::size_t Size[3] = {0, 0, 0};
};

enum class TPCDStop {
    StopRow,     // the sync header of the stop row was reached
    EndOfData,   // the stream ended, or a table was bad or missing
    Aborted,     // a header named plane 1: the load is to be abandoned silently
};

class TPCDDecoder : public TDecoder {
public:
    explicit TPCDDecoder(TStream& stream);

    // rowLength: bytes per plane row (the image width); stopRow: the row whose
    // sync header ends the decoding. Every write is checked against its plane.
    TPCDStop DecodePlanes(const TPCDPlanes& planes, std::size_t rowLength, std::uint32_t stopRow);

    // The byte-block form does not apply to this decoder (its input is the
    // stream and its output three planes): it does nothing.
    void Decode(const std::uint8_t*& source, std::size_t packedSize,
                std::uint8_t*& dest, std::size_t unpackedSize) override;

private:
    TStream& stream_;
};

}  // namespace orv
