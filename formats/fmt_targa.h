// Truevision Targa pictures: reading colour-mapped, true-colour and gray
// images (gray with alpha shows its gray), raw or run-length, in any of the
// four pixel orders the descriptor's bits 4 and 5 name, and writing any
// bitmap as a Targa file.
#pragma once

#include <cstdint>

#include "formats/image_format.h"

namespace orv {

// The 18-byte file header as stored (little-endian).
struct TTargaHeader {
    std::uint8_t IDLength = 0;
    std::uint8_t ColorMapType = 0;
    std::uint8_t ImageType = 0;
    std::uint16_t ColorMapStart = 0;
    std::uint16_t ColorMapLength = 0;
    std::uint8_t ColorMapEntrySize = 0;
    std::uint16_t XOrigin = 0;
    std::uint16_t YOrigin = 0;
    std::uint16_t Width = 0;
    std::uint16_t Height = 0;
    std::uint8_t PixelDepth = 0;
    std::uint8_t Descriptor = 0;

    static constexpr std::size_t kSize = 18;
    static TTargaHeader Parse(const std::uint8_t (&bytes)[kSize]);
    void Store(std::uint8_t (&bytes)[kSize]) const;
};

class TTargaGraphic : public TFormatGraphic {
public:
    TTargaGraphic();
    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }
    static const TFormatDescriptor Format;

    // A plausible header follows (more than 18 bytes remain); the position
    // is restored.
    static bool CanLoadStream(TStream& stream);
    // Fills ImageProperties from the header; false for an image type the
    // format does not define.
    bool ReadImageProperties(TStream& stream, std::uint32_t imageIndex) override;
    // Writes a run-length Targa.
    void SaveToStream(TStream& stream) override { SaveTarga(stream, true); }
    // Writes the picture top row first: 8-bit colour-mapped for indexed
    // bitmaps, 16 bits for 15-bit ones, 32 bits for 32-bit ones and 24 bits
    // for everything else. Sides above 65535 raise EInvalidGraphic before
    // anything is written; an empty picture writes nothing.
    void SaveTarga(TStream& stream, bool compressed);

protected:
    void DecodeImage(TLoadContext& load) override;

private:
    // Sets the palette: gray for gray images (a colour map there is passed
    // over), else from the colour map of 15, 16, 24 or 32-bit entries.
    void ReadColorMap(TStream& stream, const TTargaHeader& h);
    // Moves the raw or run-length rows into the bitmap in the descriptor's
    // pixel order.
    void TransferRows(TLoadContext& load, const TTargaHeader& h);
};


}  // namespace orv
