// The decoder family of the image-format library: one small class per
// compression scheme that the format readers meet.
//
// Calling contract: a reader creates the decoder that fits the file, calls
// DecodeInit once, Decode once per block (a row, a strip or the whole image, as
// the reader chooses), DecodeEnd once, and destroys it.
//
// Decode(source, packedSize, dest, unpackedSize):
//   source/packedSize  the packed bytes; a decoder never reads past
//                      source + packedSize, whatever the packets claim.
//   dest/unpackedSize  the output buffer and its capacity in BYTES; a decoder
//                      never writes past dest + unpackedSize. Output that does
//                      not fit is dropped; bytes a short stream does not reach
//                      keep what the caller put there.
//   Both pointers are passed by reference. Most decoders leave them as they
//   were; a decoder that advances one for the caller says so in its header.
// Bad data give wrong pixels or an early stop; only the Deflate and the
// JPEG-in-TIFF decoders raise EDecoderError for bad data (besides a GIF code
// size out of range and a Targa encoding that does not fit its buffer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/base/errors.h"

namespace orv {

class EDecoderError : public Exception {
public:
    using Exception::Exception;
};

class TDecoder {
public:
    TDecoder() = default;
    virtual ~TDecoder() = default;
    TDecoder(const TDecoder&) = delete;
    TDecoder& operator=(const TDecoder&) = delete;

    virtual void DecodeInit() {}
    virtual void Decode(const std::uint8_t*& source, std::size_t packedSize,
                        std::uint8_t*& dest, std::size_t unpackedSize) = 0;
    virtual void DecodeEnd() {}

    // Only the Targa decoder encodes; for every other decoder this does
    // nothing and leaves bytesStored as it was.
    virtual void Encode(const std::uint8_t* source, std::uint8_t* dest, std::size_t destCapacity,
                        std::uint32_t count, std::uint32_t& bytesStored);
};

// The family's one way to report a failure.
[[noreturn]] void RaiseDecoderError(const std::string& message);

}  // namespace orv
