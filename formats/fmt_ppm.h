// Portable bitmaps, graymaps and pixmaps, plain (P1-P3) and raw (P4-P6):
// a text header of the two-byte magic and white-space separated numbers
// with "#" comments, then the pixels, written straight into 1-, 8- or
// 24-bit rows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "formats/image_format.h"

namespace orv {

class TPPMGraphic : public TFormatGraphic {
public:
    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }

    // More than 10 bytes follow, starting "P1" to "P6"; the position is restored.
    static bool CanLoadStream(TStream& stream);
    // Reads the magic (the first two bytes) and the header numbers. False
    // for a stream that does not start with "P" and one more byte that is
    // not white space, a number above 2^31 - 1 or a maximum above 65535;
    // kinds 0 and 7 to 9 answer true with no size. Any other non-digit
    // after "P" raises EConvertError.
    bool ReadImageProperties(TStream& stream, std::uint32_t imageIndex) override;
    // Raises EInvalidGraphic for a header ReadImageProperties refuses and
    // "Stream read error in PPM file." for data that end early.
    void LoadFromStream(TStream& stream) override;

    // Maximum sample value of the last header read (0 for the bitmaps).
    std::uint32_t MaxValue() const { return maxValue_; }

private:
    static constexpr std::size_t kBlockSize = 4096;

    void ResetBlock();
    bool FillBlock();
    std::uint8_t NextByte();
    // Copies count bytes to dest, raising the read error when they run out.
    void ReadBytes(std::uint8_t* dest, std::size_t count);
    // Bytes still to come: the rest of the block and of the stream.
    std::uint64_t BytesLeft();
    // Skips the rest of a comment line.
    void SkipComment();
    // Skips white space, other non-digits and comments up to the next digit
    // and reads the number; false when it exceeds 2^31 - 1.
    bool ReadNumber(std::uint32_t& value);
    // One "0" or "1" of a plain bitmap, white space and comments skipped.
    std::uint8_t ReadBit();

    void LoadRows(int kind);

    std::array<std::uint8_t, kBlockSize> block_{};
    std::size_t blockIndex_ = 0;
    std::size_t blockCount_ = 0;
    std::uint32_t maxValue_ = 0;
    int kind_ = 0;  // the digit of the magic
};

}  // namespace orv
