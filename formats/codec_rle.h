// The byte-oriented run-length decoders and the Targa run-length encoder.
#pragma once

#include <array>

#include "formats/codec_base.h"

namespace orv {

// Truevision packets. unpackedSize is the capacity of dest in bytes; whole
// pixels are written (depth 8: 1 byte, 15/16: 2, 24: 3, 32: 4; any other depth
// decodes nothing). A packet that reaches past the capacity is kept and its
// remaining pixels (up to 128) start the next call, so packets may cross rows.
// source is advanced past the packets read; dest is left as it was.
class TTargaRLEDecoder : public TDecoder {
public:
    explicit TTargaRLEDecoder(std::int32_t colorDepth);

    void DecodeInit() override;
    void Decode(const std::uint8_t*& source, std::size_t packedSize,
                std::uint8_t*& dest, std::size_t unpackedSize) override;
    // Packs count pixels. Raises EDecoderError when destCapacity is smaller
    // than the packets need; MaxEncodedSize(count) always suffices.
    void Encode(const std::uint8_t* source, std::uint8_t* dest, std::size_t destCapacity,
                std::uint32_t count, std::uint32_t& bytesStored) override;

    std::int32_t ColorDepth() const { return colorDepth_; }
    std::size_t PixelSize() const { return pixelSize_; }
    std::size_t MaxEncodedSize(std::uint32_t count) const;
    // Pixels of a packet cut by the last call, still to be written.
    std::size_t PendingPixels() const { return pendingCount_; }

private:
    std::size_t WritePending(std::uint8_t* out, std::size_t pixels);

    std::int32_t colorDepth_;
    std::size_t pixelSize_;
    // The unwritten rest of a packet that crossed the end of the last call's
    // output: a run repeats pending_[0..pixelSize), a raw packet lists them.
    std::array<std::uint8_t, 128 * 4> pending_{};
    std::size_t pendingCount_ = 0;
    std::size_t pendingOffset_ = 0;
    bool pendingRun_ = false;
};

// TIFF/Macintosh PackBits (also Photoshop). Source is left as it was; dest
// is advanced to the first byte not written.
class TPackbitsRLEDecoder : public TDecoder {
public:
    void Decode(const std::uint8_t*& source, std::size_t packedSize,
                std::uint8_t*& dest, std::size_t unpackedSize) override;
};

// PCX packets: a byte with both top bits set repeats the next byte (b and 63) times.
class TPCXRLEDecoder : public TDecoder {
public:
    void Decode(const std::uint8_t*& source, std::size_t packedSize,
                std::uint8_t*& dest, std::size_t unpackedSize) override;
};

// SGI packets of 8- or 16-bit samples (16-bit samples stay big-endian); a
// packet with count 0 ends the row.
class TSGIRLEDecoder : public TDecoder {
public:
    explicit TSGIRLEDecoder(std::uint8_t sampleSize);
    void Decode(const std::uint8_t*& source, std::size_t packedSize,
                std::uint8_t*& dest, std::size_t unpackedSize) override;

private:
    std::uint8_t sampleSize_;
};

// One CUT row per call: two leading bytes, packets, a closing 0. source is
// advanced past the closing 0 (the start of the next row), also when the row
// held more pixels than dest takes; dest is left as it was.
class TCUTRLEDecoder : public TDecoder {
public:
    void Decode(const std::uint8_t*& source, std::size_t packedSize,
                std::uint8_t*& dest, std::size_t unpackedSize) override;
};

// Paint Shop Pro channel packets. Source and dest are left as they were.
class TPSPRLEDecoder : public TDecoder {
public:
    void Decode(const std::uint8_t*& source, std::size_t packedSize,
                std::uint8_t*& dest, std::size_t unpackedSize) override;
};

// RLA channel packets. Source and dest are left as they were.
class TRLADecoder : public TDecoder {
public:
    void Decode(const std::uint8_t*& source, std::size_t packedSize,
                std::uint8_t*& dest, std::size_t unpackedSize) override;
};

}  // namespace orv
