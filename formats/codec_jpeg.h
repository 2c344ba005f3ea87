// JPEG-in-TIFF decoder (TIFF compression 7) on the system's libjpeg.
#pragma once

#include <memory>
#include <vector>

#include "formats/codec_base.h"

namespace orv {

// What the decoder needs of the TIFF image; the reader fills it from its
// image properties and updates RowIndex and RowBytes before each strip.
struct TTIFFJPEGImage {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint32_t RowsPerStrip = 0;     // the first entry of RowsPerStrip
    std::uint32_t SamplesPerPixel = 1;
    std::uint32_t BitsPerSample = 8;
    std::uint32_t PlanarLayout = 1;     // 1 interleaved, 2 separate planes
    bool YCbCr = false;                 // the colour scheme is YCbCr
    std::uint16_t SubsamplingH = 1;     // YCbCrSubSampling, 1 and 1 without it
    std::uint16_t SubsamplingV = 1;
    std::vector<std::uint8_t> JPEGTables;  // tag 347; empty without
    std::uint32_t RowIndex = 0;         // rows already loaded
    std::uint32_t RowBytes = 0;         // bytes of one decoded row
};

// Three components decode to 8-bit B, G, R (blue first), one component to
// 8-bit gray, other counts as stored. Strips that do not match the image
// raise EDecoderError; libjpeg's own errors raise the invalid-graphic error
// "JPEG error #<code>". A strip that ends early is finished with an end of
// image after the warning "JPEG decompression error. Unexpected end of input."
// (see SetJpegWarningHandler). Source and dest are left as they were.
class TTIFFJPEGDecoder : public TDecoder {
public:
    explicit TTIFFJPEGDecoder(TTIFFJPEGImage image);
    ~TTIFFJPEGDecoder() override;

    TTIFFJPEGImage& Image() { return image_; }

    void DecodeInit() override;
    void Decode(const std::uint8_t*& source, std::size_t packedSize,
                std::uint8_t*& dest, std::size_t unpackedSize) override;
    void DecodeEnd() override;

    struct State;  // libjpeg's records, kept at a fixed address

private:
    void Check(bool ok);
    void FlushWarnings();
    void Release() noexcept;

    TTIFFJPEGImage image_;
    std::unique_ptr<State> state_;
};

}  // namespace orv
