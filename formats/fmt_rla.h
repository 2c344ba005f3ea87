// Run-length encoded RLA and RPF pictures: a 740-byte big-endian header, a
// table of row offsets, and per row one run-length packet for each of the
// red, green, blue and matte channels.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "formats/image_format.h"

namespace orv {

class TRLAGraphic : public TFormatGraphic {
public:
    TRLAGraphic();
    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }
    static const TFormatDescriptor Format;

    // More than 740 bytes follow, the revision is FFFE and the channel
    // description is "rgb" or "xyz" (any case); the position is restored.
    static bool CanLoadStream(TStream& stream);
    // Fills ImageProperties from the header. False for a short header, a
    // channel description "xyz" or an active window less than one pixel wide.
    bool ReadImageProperties(TStream& stream, std::uint32_t imageIndex) override;

    // The header's gamma text as a gamma: a finite number above 0 and at
    // most 10, else none.
    static std::optional<float> ParseGamma(std::string_view text);

protected:
    // A header ReadImageProperties refuses leaves the picture empty without
    // an error. Anything but three colour channels of 8 bits raises
    // "Invalid color format in RLA file."; a row table the file cannot hold
    // raises EInvalidGraphic before the picture is sized.
    void DecodeImage(TLoadContext& load) override;

private:
    std::uint16_t matteChannels_ = 0;  // of the last header read
};

}  // namespace orv
