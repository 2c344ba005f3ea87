// Autodesk animator cels and pictures: a 32-byte header, a palette of 256
// six-bit colours and uncompressed rows of palette indices.
#pragma once

#include <cstdint>

#include "formats/image_format.h"

namespace orv {

class TAutodeskGraphic : public TFormatGraphic {
public:
    TAutodeskGraphic();
    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }
    static const TFormatDescriptor Format;

    // More than 32 bytes follow, with the magic, 8 bits per pixel and no
    // compression; the position is restored.
    static bool CanLoadStream(TStream& stream);
    // True for the magic and a whole 32-byte header (depth and compression
    // are not looked at).
    bool ReadImageProperties(TStream& stream, std::uint32_t imageIndex) override;

protected:
    // Raises EInvalidGraphic for a size over the gate. A file that ends
    // early is no error: the palette entries and pixels it does not reach
    // stay black (index 0).
    void DecodeImage(TLoadContext& load) override;
};

}  // namespace orv
