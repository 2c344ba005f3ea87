// Portable bitmaps, graymaps and pixmaps, plain (P1-P3) and raw (P4-P6):
// a text header of the two-byte magic and white-space separated numbers
// with "#" comments, then the pixels, written straight into 1-, 8- or
// 24-bit rows. Samples are scaled from 0..maximum to 0..255; raw samples of
// a maximum above 255 take two bytes, most significant first.
#pragma once

#include <cstdint>

#include "formats/image_format.h"

namespace orv {

class TPPMGraphic : public TFormatGraphic {
public:
    TPPMGraphic();
    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }
    static const TFormatDescriptor Format;

    // More than 10 bytes follow, starting "P1" to "P6"; the position is restored.
    static bool CanLoadStream(TStream& stream);
    // Reads the magic (the first two bytes) and the header numbers and
    // leaves the stream at the first byte after them. False for a stream
    // that does not start with "P" and one more byte that is not white
    // space, a number above 2^31 - 1 or a maximum of 0 or above 65535;
    // kinds 0 and 7 to 9 answer true with no size. Any other non-digit after
    // "P" raises EConvertError.
    bool ReadImageProperties(TStream& stream, std::uint32_t imageIndex) override;

    // Maximum sample value of the last header read (0 for the bitmaps).
    std::uint32_t MaxValue() const { return maxValue_; }

protected:
    // Raises "Stream read error in PPM file." for data that end early.
    void DecodeImage(TLoadContext& load) override;

private:
    void LoadRows(TLoadContext& load);
    // Sets the pixel format and the gray palette for the kind of map.
    void PrepareTarget(int kind);

    std::uint32_t maxValue_ = 0;
    int kind_ = 0;  // the digit of the magic
};

}  // namespace orv
