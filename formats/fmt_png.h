// Portable Network Graphics pictures: chunk walk with CRC checks, image
// data inflated row by row across IDAT chunks, row filters, Adam7
// interlacing, rows converted into the bitmap through the colour manager.
// Reading only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "formats/image_format.h"

namespace orv {

class TLZ77Decoder;

// The predictor of the Paeth filter.
constexpr std::uint8_t PaethPick(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = p > a ? p - a : a - p;
    const int pb = p > b ? p - b : b - p;
    const int pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
    return static_cast<std::uint8_t>(pb <= pc ? b : c);
}

// Undoes a row filter in place on n bytes; previous holds the restored row
// above (zeros for the first row of a pass). Unknown filter types leave the
// row as it is.
void UnfilterRow(std::uint8_t filterType, std::uint8_t* row, const std::uint8_t* previous, std::size_t pixelBytes,
                 std::size_t n);

class TPNGGraphic : public TFormatGraphic {
public:
    static constexpr TColor kNoTransparency = 0x1FFFFFFF;

    TPNGGraphic();
    ~TPNGGraphic() override;

    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }

    // The PNG signature follows (more than 8 bytes remain); the position is
    // restored.
    static bool CanLoadStream(TStream& stream);
    // Reads the signature, IHDR and (when one comes before the image data)
    // gAMA; false when the stream holds no acceptable PNG header.
    bool ReadImageProperties(TStream& stream, std::uint32_t imageIndex) override;
    void LoadFromStream(TStream& stream) override;

    // Background colour from bKGD (white without one), as the last load found it.
    TColor BackgroundValue = clWhite;
    // Transparent colour from tRNS of gray and RGB images; Transparent tells
    // whether the picture has one.
    TColor TransparentColor = kNoTransparency;
    bool Transparent = false;

private:
    void ReadChunkHeader();
    void ReadChunkData();
    // Moves forward over the current chunk's data and CRC.
    void SkipChunk();
    bool IsChunk(std::uint32_t type) const;
    std::size_t ConfigureColors(std::uint8_t colorType, std::uint8_t bitDepth);
    void DecodeImage();
    void InflateRow(std::uint8_t* buffer, std::size_t n);
    void ReadBackground();
    void ReadTransparency();
    void ReleaseLoadState();

    // IHDR fields of the load in progress.
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::uint8_t bitDepth_ = 0;
    std::uint8_t colorType_ = 0;
    std::uint8_t interlace_ = 0;

    // Chunk state.
    std::uint32_t chunkLength_ = 0;
    std::uint32_t chunkType_ = 0;
    std::uint32_t chunkCRC_ = 0;
    std::vector<std::uint8_t> chunkData_;

    // Inflating.
    std::unique_ptr<TLZ77Decoder> inflateDecoder_;
    const std::uint8_t* inflatePosition_ = nullptr;
    std::size_t idatLeft_ = 0;

    std::size_t pixelBytes_ = 1;
    TPalette paletteHandle_;
    TColor transparentValue_ = kNoTransparency;
    // Colours are configured once per load, by PLTE of a palette image or
    // at the first image data.
    bool colorsConfigured_ = false;
};


}  // namespace orv
