// ZSoft paintbrush pictures: 1, 2, 4 and 8 bits in one plane, 16 colours in
// four bit planes and 24-bit colour in three byte planes, raw or run-length
// coded, with the header's palette, the 256-colour block at the end of the
// file, a gray ramp or the default colours.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/image_format.h"

namespace orv {

class TPCXGraphic : public TFormatGraphic {
public:
    TPCXGraphic();
    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }
    static const TFormatDescriptor Format;

    // More than 128 bytes follow and the header has a known maker byte,
    // version and encoding; the position is restored.
    static bool CanLoadStream(TStream& stream);
    // Fills ImageProperties from the 128-byte header. False for a maker
    // byte other than 10 or 205, an empty or negative size, or lines too
    // short for the width.
    bool ReadImageProperties(TStream& stream, std::uint32_t imageIndex) override;

protected:
    // A header that ReadImageProperties refuses leaves the picture empty
    // without an error; a plane layout other than 1x1, 2x1, 4x1, 8x1, 1x4
    // and 8x3 (bits x planes) raises "Invalid color format in PCX file.".
    void DecodeImage(TLoadContext& load) override;

private:
    // Sets the colour conversion from the properties; answers the bitmap's
    // pixel format (4 bits for four bit planes).
    TPixelFormat PrepareColors(bool bitPlanes);
    // Moves the lines of `data` (lineLength bytes each, zero past its end)
    // into the bitmap's rows.
    void TransferLines(TLoadContext& load, const std::vector<std::uint8_t>& data, std::size_t lineLength,
                       bool bitPlanes);
};

}  // namespace orv
