// GIF files: the first image only, into an 8-bit bitmap with the file's
// colour table; further images, positions and transparency are ignored.
#pragma once

#include <cstdint>

#include "formats/image_format.h"

namespace orv {

class TGIFGraphic : public TFormatGraphic {
public:
    TGIFGraphic();
    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }
    static const TFormatDescriptor Format;

    // More than 22 bytes follow and the first three read "GIF" in any
    // letter case; the position is restored.
    static bool CanLoadStream(TStream& stream);
    // Fills ImageProperties from the screen descriptor and the first image
    // descriptor (Width and Height stay 0 when the trailer comes first).
    bool ReadImageProperties(TStream& stream, std::uint32_t imageIndex) override;

protected:
    void DecodeImage(TLoadContext& load) override;
};

}  // namespace orv
