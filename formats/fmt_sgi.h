// Silicon Graphics image files: 8- or 16-bit samples, one to four channels,
// stored channel by channel, bottom row first, raw or run-length coded.
#pragma once

#include <cstdint>

#include "formats/image_format.h"

namespace orv {

class TSGIGraphic : public TFormatGraphic {
public:
    TSGIGraphic();
    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }
    static const TFormatDescriptor Format;

    // More than 512 bytes follow, with the magic, 1 or 2 bytes per sample
    // and a dimension of 1 to 3; the position is restored.
    static bool CanLoadStream(TStream& stream);
    // Fills ImageProperties from the 512-byte header; false for a wrong
    // magic, a sample size other than 1 or 2 bytes, or a channel count
    // outside 1..4.
    bool ReadImageProperties(TStream& stream, std::uint32_t imageIndex) override;

protected:
    // One or two channels load as an 8-bit gray picture (channel 0), three
    // as 24-bit and four as 32-bit with alpha.
    void DecodeImage(TLoadContext& load) override;
};

}  // namespace orv
