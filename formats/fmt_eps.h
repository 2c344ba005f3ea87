// Encapsulated PostScript files with a binary header: the TIFF preview they
// carry is shown; the PostScript itself is not interpreted.
#pragma once

#include "formats/fmt_tiff.h"

namespace orv {

class TEPSGraphic : public TTIFFGraphic {
public:
    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }
    static const TFormatDescriptor Format;

    // More than 30 bytes remain, the magic matches, the TIFF section starts
    // after the header and is not empty; the position is restored.
    static bool CanLoadStream(TStream& stream);
    // Loads the TIFF section; its offsets count from the section's start.
    void LoadFromStream(TStream& stream) override;
};

}  // namespace orv
