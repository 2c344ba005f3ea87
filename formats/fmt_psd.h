// Photoshop files: only the merged (composite) image at the end of the file
// is read; layers, masks and image resources are skipped.
#pragma once

#include <cstdint>

#include "formats/image_format.h"

namespace orv {

class TPSDGraphic : public TFormatGraphic {
public:
    TPSDGraphic();
    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }
    static const TFormatDescriptor Format;

    // More than 26 bytes follow, the signature matches "8BPS" in any letter
    // case and the version is 1; the position is restored.
    static bool CanLoadStream(TStream& stream);
    // Fills ImageProperties from the header and leaves the stream after the
    // image data's compression code; false unless the signature is exactly
    // "8BPS".
    bool ReadImageProperties(TStream& stream, std::uint32_t imageIndex) override;

protected:
    // Bitmap, gray, duotone and indexed images load into 1- or 8-bit
    // bitmaps, RGB, CMYK and Lab into 24-bit ones (32-bit with alpha).
    void DecodeImage(TLoadContext& load) override;
};

}  // namespace orv
