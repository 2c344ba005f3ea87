// Paint Shop Pro files: the image attributes of the first block, a palette
// block and the first suitable layer of a layer bank, whose channels are
// decompressed and converted row by row.
#pragma once

#include <cstdint>

#include "formats/image_format.h"

namespace orv {

class TPSPGraphic : public TFormatGraphic {
public:
    TPSPGraphic();
    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }
    static const TFormatDescriptor Format;

    // More than 36 bytes follow, the signature matches in any letter case
    // and the major version is at least 3; the position is restored.
    static bool CanLoadStream(TStream& stream);
    // Fills ImageProperties from the file header and the first block and
    // leaves the stream at that block's end; false for a bad header or a
    // side outside 1..2^20.
    bool ReadImageProperties(TStream& stream, std::uint32_t imageIndex) override;

protected:
    void DecodeImage(TLoadContext& load) override;
};

}  // namespace orv
