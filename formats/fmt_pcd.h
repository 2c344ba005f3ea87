// Photo-CD image packs: one photograph at six resolutions; the base
// resolution (768 x 512) is stored uncompressed as a luminance plane and two
// half-resolution chroma planes, converted from PhotoYCC and turned by a
// quarter turn when the pack says so.
#pragma once

#include <cstdint>

#include "formats/image_format.h"

namespace orv {

class TPCDGraphic : public TFormatGraphic {
public:
    TPCDGraphic();
    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }
    static const TFormatDescriptor Format;

    // More than 6144 bytes follow and the stream is an overview pack
    // ("PCD_OPA" at its start) or an image pack ("PCD" at byte 2048); the
    // position is restored.
    static bool CanLoadStream(TStream& stream);
    // Reports the size of resolution imageIndex (0 = 192 x 128 up to
    // 5 = 6144 x 4096; the index is taken as signed and clamped to 0..5; an
    // overview pack reports resolution 0). Raises EReadError for fewer than
    // 6144 bytes.
    bool ReadImageProperties(TStream& stream, std::uint32_t imageIndex) override;

protected:
    // Loads the base resolution of an image pack. Anything else, an
    // overview pack included, leaves the picture empty without an error; a
    // pack that ends early raises EReadError.
    void DecodeImage(TLoadContext& load) override;
};

}  // namespace orv
