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

private:
    struct Decoding;
    // Reads the file header and passes over the first (attribute) block.
    static void SkipAttributeBlock(TStream& stream, std::uint32_t version);
    // Sets the colour conversion, pixel format and size; answers the bytes
    // of a channel row.
    std::uint64_t PrepareTarget(const TImageProperties& props);
    // The palette block (at most 256 entries kept).
    void ReadPaletteBlock(TStream& stream, std::uint32_t version);
    // Loads the first accepted layer of the bank that ends at bankEnd.
    void ReadLayerBank(Decoding& d, std::uint64_t bankEnd);
    // Reads a layer's information and its channel count; false for a layer
    // that is passed over.
    static bool ReadLayerInfo(TStream& stream, std::uint32_t version, std::uint16_t& channelCount);
    // Reads and unpacks one channel block; false at the end of the stream.
    static bool ReadChannel(Decoding& d);
    // Converts the layer's channels into the bitmap's rows.
    void TransferChannels(Decoding& d);
};

}  // namespace orv
