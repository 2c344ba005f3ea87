#include "formats/codec_lzw.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace orv {

namespace {

constexpr unsigned kTableSize = 4096;
constexpr unsigned kMaxWidth = 12;
constexpr unsigned kNoCode = kTableSize;

// The variants differ in bit order (TIFF most significant bit first; GIF and
// the TIFF coding written before TIFF 5.0 least significant bit first), in
// what the end code does (TIFF stops, GIF ignores it), in when the width grows
// (TIFF one code early, the other two once the entry 2^width - 1 is made) and
// in how far the table grows (TIFF makes no entry past 4095, GIF keeps
// overwriting 4095); the rest is shared. The variant is a template parameter
// so that the hot loop carries no tests for it.
enum class Variant { Tiff, OldTiff, Gif };
constexpr unsigned kLastEntry = kTableSize - 1;

// The string of an entry is kept as a place in the output: entry k (made from
// the previous string plus the first byte of the next one) is exactly the
// output from where the previous string was written, one byte longer. Strings
// are then copied from the output instead of walked back through a prefix
// chain. length 0 marks an entry whose chain would never end (GIF's entry 4095
// made its own prefix once the table is full, or made from such an entry):
// its code is invalid.
struct Table {
    std::array<std::size_t, kTableSize> start;
    std::array<std::uint16_t, kTableSize> length;
};

// Copies a string of the output to its end; the two never overlap. Short
// strings (the common case) go as two fixed-size moves that may overlap each
// other but never touch a byte outside the string.
inline void CopyString(std::uint8_t* to, const std::uint8_t* from, std::size_t n) {
    if (n >= 8 && n <= 16) {
        std::uint64_t a, b;
        std::memcpy(&a, from, 8);
        std::memcpy(&b, from + n - 8, 8);
        std::memcpy(to, &a, 8);
        std::memcpy(to + n - 8, &b, 8);
    } else if (n >= 4 && n < 8) {
        std::uint32_t a, b;
        std::memcpy(&a, from, 4);
        std::memcpy(&b, from + n - 4, 4);
        std::memcpy(to, &a, 4);
        std::memcpy(to + n - 4, &b, 4);
    } else if (n < 4) {
        for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
    } else {
        std::memcpy(to, from, n);
    }
}

template <Variant V>
void Run(unsigned clear, const std::uint8_t* src, std::size_t packedSize, std::uint8_t* out,
         std::size_t unpackedSize) {
    // The table is 40 KB: keep it off small thread stacks.
    auto table = std::make_unique<Table>();
    Table& t = *table;
    const unsigned endCode = clear + 1;
    const unsigned firstFree = clear + 2;
    unsigned initialWidth = 0;
    while ((1u << initialWidth) <= clear) ++initialWidth;  // width after a clear: log2(clear) + 1
    for (unsigned c = 0; c < clear; ++c) t.length[c] = 1;

    unsigned width = initialWidth;
    unsigned nextFree = firstFree;
    unsigned old = kNoCode;
    std::size_t oldStart = 0;   // where old's string was written
    std::size_t oldLength = 0;
    std::uint32_t bits = 0;
    unsigned bitCount = 0;
    const std::uint8_t* const end = src + packedSize;
    std::size_t pos = 0;  // bytes written

    constexpr bool msbFirst = V == Variant::Tiff;
    constexpr bool endStops = V != Variant::Gif;
    while (src < end && pos < unpackedSize) {
        if constexpr (msbFirst) {
            bits = (bits << 8) | *src++;
        } else {
            bits |= static_cast<std::uint32_t>(*src++) << bitCount;
        }
        bitCount += 8;
        while (bitCount >= width && pos < unpackedSize) {
            const std::uint32_t mask = (1u << width) - 1;
            unsigned code;
            if constexpr (msbFirst) {
                code = (bits >> (bitCount - width)) & mask;
            } else {
                code = bits & mask;
                bits >>= width;
            }
            bitCount -= width;

            if (code == endCode) {
                if constexpr (endStops) return;
                continue;
            }
            if (code == clear) {
                width = initialWidth;
                nextFree = firstFree;
                old = kNoCode;
                continue;
            }
            if (code > nextFree) continue;
            const std::size_t room = unpackedSize - pos;
            if (old == kNoCode) {
                // Only single-byte codes are defined right after a clear.
                if (code >= clear) continue;
                out[pos] = static_cast<std::uint8_t>(code);
                oldStart = pos++;
                oldLength = 1;
                old = code;
                continue;
            }

            // The string of code, or old's string plus its first byte when code
            // is the one about to be made. Only what fits is written.
            const std::size_t start = pos;
            std::size_t length;
            if (code == nextFree) {
                if (t.length[old] == 0) continue;
                length = oldLength + 1;
                const std::size_t n = std::min(oldLength, room);
                CopyString(out + pos, out + oldStart, n);
                if (n < room) out[pos + n] = out[oldStart];
            } else if (code < clear) {
                length = 1;
                out[pos] = static_cast<std::uint8_t>(code);
            } else {
                length = t.length[code];
                if (length == 0) continue;
                CopyString(out + pos, out + t.start[code], std::min(length, room));
            }
            pos += std::min(length, room);

            // The new entry: old's string and this string's first byte, which
            // lie together in the output.
            if (nextFree <= kLastEntry) {
                const unsigned entry = nextFree;
                const bool endless = old == entry || t.length[old] == 0;
                t.start[entry] = oldStart;
                t.length[entry] = endless ? 0 : static_cast<std::uint16_t>(oldLength + 1);
                if constexpr (V == Variant::Tiff) {
                    if (nextFree < kTableSize) ++nextFree;
                    if (nextFree == (1u << width) - 1 && width < kMaxWidth) ++width;
                } else if constexpr (V == Variant::OldTiff) {
                    if (entry >= (1u << width) - 1 && width < kMaxWidth) ++width;
                    ++nextFree;  // 4096 once the table is full: no further entry
                } else {
                    // ">=" rather than "==": with an initial code size of 1 the
                    // first entry (4) is already past 2^2 - 1.
                    if (entry >= (1u << width) - 1 && width < kMaxWidth) ++width;
                    if (nextFree < kLastEntry) ++nextFree;
                }
            }
            old = code;
            oldStart = start;
            oldLength = length;
        }
    }
}

}  // namespace

bool TTIFFLZWDecoder::IsOldStyle(const std::uint8_t* source, std::size_t packedSize) {
    // The first code is a clear (256): least significant bit first it gives
    // the bytes 00 01, most significant bit first 80 00.
    return packedSize >= 2 && source[0] == 0 && (source[1] & 1) != 0;
}

void TTIFFLZWDecoder::Decode(const std::uint8_t*& source, std::size_t packedSize,
                             std::uint8_t*& dest, std::size_t unpackedSize) {
    if (IsOldStyle(source, packedSize))
        Run<Variant::OldTiff>(256, source, packedSize, dest, unpackedSize);
    else
        Run<Variant::Tiff>(256, source, packedSize, dest, unpackedSize);
}

TGIFLZWDecoder::TGIFLZWDecoder(std::uint8_t initialCodeSize) : initialCodeSize_(initialCodeSize) {
    if (initialCodeSize < 1 || initialCodeSize > 11) RaiseDecoderError("Invalid GIF LZW code size.");
}

void TGIFLZWDecoder::Decode(const std::uint8_t*& source, std::size_t packedSize,
                            std::uint8_t*& dest, std::size_t unpackedSize) {
    Run<Variant::Gif>(1u << initialCodeSize_, source, packedSize, dest, unpackedSize);
}

}  // namespace orv
