// Photoshop files: only the merged (composite) image at the end of the file
// is read; layers, masks and image resources are skipped.
#pragma once

#include <cstdint>

#include "formats/image_format.h"

namespace orv {

class TPackbitsRLEDecoder;

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

private:
    // Sets the colour conversion (or a plain 24-bit bitmap for modes with no
    // pixels moved) and the size.
    void PrepareTarget(const TImageProperties& props);
    // Reads the colour-mode data (the palette of indexed images) and passes
    // over the image resources and the layers up to the image data.
    void ReadSectionsBeforeImage(TStream& stream, TColorModel scheme);
    // The merged image of bitmap, gray, duotone and indexed files, row by
    // row; `decoder` is null for uncompressed data.
    void ReadPaletteImage(TLoadContext& load, const TImageProperties& props, TPackbitsRLEDecoder* decoder);
    // The merged image of RGB, CMYK and Lab files, all planes at once.
    void ReadColorImage(TLoadContext& load, const TImageProperties& props, TPackbitsRLEDecoder* decoder);
};

}  // namespace orv
