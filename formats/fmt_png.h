// Portable Network Graphics pictures: chunk walk with CRC checks, image
// data inflated row by row across IDAT chunks, row filters, Adam7
// interlacing, rows converted into the bitmap through the colour manager.
// Reading only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/image_format.h"

namespace orv {

// Undoes a row filter in place on n bytes; previous holds the restored row
// above (zeros for the first row of a pass). Unknown filter types leave the
// row as it is.
void UnfilterRow(std::uint8_t filterType, std::uint8_t* row, const std::uint8_t* previous, std::size_t pixelBytes,
                 std::size_t n);

class TPNGGraphic : public TFormatGraphic {
public:
    static constexpr TColor kNoTransparency = 0x1FFFFFFF;

    TPNGGraphic();
    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }
    static const TFormatDescriptor Format;

    // The PNG signature follows (more than 8 bytes remain); the position is
    // restored.
    static bool CanLoadStream(TStream& stream);
    // Reads the signature, IHDR and (when one comes before the image data)
    // gAMA, and leaves the stream at the chunk after IHDR; false when the
    // stream holds no acceptable PNG header.
    bool ReadImageProperties(TStream& stream, std::uint32_t imageIndex) override;

    // Background colour from bKGD (white without one), as the last load found it.
    TColor BackgroundValue = clWhite;
    // Transparent colour from tRNS of gray and RGB images; Transparent tells
    // whether the picture has one.
    TColor TransparentColor = kNoTransparency;
    bool Transparent = false;

protected:
    void DecodeImage(TLoadContext& load) override;

private:
    class TChunkLoad;

    // IHDR values the load works from beyond ImageProperties.
    std::uint8_t colorType_ = 0;
    std::uint8_t interlaceMethod_ = 0;
};

}  // namespace orv
