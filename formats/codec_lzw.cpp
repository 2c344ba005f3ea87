#include "formats/codec_lzw.h"

#include <array>
#include <memory>

namespace orv {

namespace {

constexpr unsigned kTableSize = 4096;
constexpr unsigned kMaxWidth = 12;
constexpr unsigned kNoCode = kTableSize;

enum class BitOrder { MsbFirst, LsbFirst };

// The two variants differ in bit order, in what the end code does, in when the
// width grows and in how far the table grows; the rest is shared.
struct Variant {
    BitOrder order;
    unsigned clearCode;
    bool endCodeStops;   // TIFF returns at the end code, GIF ignores it
    bool earlyChange;    // TIFF widens one code early
    unsigned lastEntry;  // TIFF: no entry past 4095; GIF keeps overwriting 4095
};

// A string entry. length 0 marks an entry whose chain would never end (GIF's
// entry 4095 can be made its own prefix once the table is full); such a
// string is treated as an invalid code.
struct Table {
    std::array<std::uint16_t, kTableSize> prefix;
    std::array<std::uint16_t, kTableSize> length;
    std::array<std::uint8_t, kTableSize> suffix;
    std::array<std::uint8_t, kTableSize> first;
};

void Run(const Variant& v, const std::uint8_t* src, std::size_t packedSize, std::uint8_t* out,
         std::size_t unpackedSize) {
    // The table is 16 KB: keep it off small thread stacks.
    auto table = std::make_unique<Table>();
    Table& t = *table;
    const unsigned clear = v.clearCode;
    const unsigned endCode = clear + 1;
    const unsigned firstFree = clear + 2;
    unsigned initialWidth = 0;
    while ((1u << initialWidth) <= clear) ++initialWidth;  // width after a clear: log2(clear) + 1
    for (unsigned c = 0; c < clear; ++c) {
        t.prefix[c] = kNoCode;
        t.length[c] = 1;
        t.suffix[c] = static_cast<std::uint8_t>(c);
        t.first[c] = static_cast<std::uint8_t>(c);
    }

    unsigned width = initialWidth;
    unsigned nextFree = firstFree;
    unsigned old = kNoCode;
    std::uint32_t bits = 0;
    unsigned bitCount = 0;
    const std::uint8_t* const end = src + packedSize;
    std::size_t room = unpackedSize;

    while (src < end && room > 0) {
        if (v.order == BitOrder::MsbFirst) {
            bits = (bits << 8) | *src++;
        } else {
            bits |= static_cast<std::uint32_t>(*src++) << bitCount;
        }
        bitCount += 8;
        while (bitCount >= width && room > 0) {
            const std::uint32_t mask = (1u << width) - 1;
            unsigned code;
            if (v.order == BitOrder::MsbFirst) {
                code = (bits >> (bitCount - width)) & mask;
            } else {
                code = bits & mask;
                bits >>= width;
            }
            bitCount -= width;

            if (code == endCode) {
                if (v.endCodeStops) return;
                continue;
            }
            if (code == clear) {
                width = initialWidth;
                nextFree = firstFree;
                old = kNoCode;
                continue;
            }
            if (code > nextFree) continue;
            if (old == kNoCode) {
                // Only single-byte codes are defined right after a clear.
                if (code >= clear) continue;
                *out++ = static_cast<std::uint8_t>(code);
                --room;
                old = code;
                continue;
            }

            // The string of code, or old's string plus its first byte when code
            // is the one about to be made.
            const bool pending = code == nextFree;
            const unsigned base = pending ? old : code;
            if (t.length[base] == 0) continue;
            const std::size_t length = t.length[base] + (pending ? 1u : 0u);
            const std::uint8_t firstByte = t.first[base];

            // Write the string back to front, dropping what does not fit.
            std::size_t pos = length;
            unsigned c = base;
            if (pending) {
                --pos;
                if (pos < room) out[pos] = firstByte;
            }
            if (pos > room) {
                // Skip the tail that falls past the end of dest.
                while (pos > room) {
                    c = t.prefix[c];
                    --pos;
                }
            }
            while (pos > 0) {
                out[--pos] = t.suffix[c];
                c = t.prefix[c];
            }
            const std::size_t written = length < room ? length : room;
            out += written;
            room -= written;

            // The new entry is made after the output: GIF's entry 4095 may be
            // the very string just written.
            if (nextFree <= v.lastEntry) {
                const unsigned entry = nextFree;
                t.prefix[entry] = static_cast<std::uint16_t>(old);
                t.suffix[entry] = firstByte;
                t.first[entry] = t.first[old];
                const unsigned oldLength = t.length[old];
                t.length[entry] = (old == entry || oldLength == 0) ? 0 : static_cast<std::uint16_t>(oldLength + 1);
                if (v.earlyChange) {
                    if (nextFree < kTableSize) ++nextFree;
                    if (nextFree == (1u << width) - 1 && width < kMaxWidth) ++width;
                } else {
                    if (entry == (1u << width) - 1 && width < kMaxWidth) ++width;
                    if (nextFree < v.lastEntry) ++nextFree;
                }
            }
            old = code;
        }
    }
}

}  // namespace

void TTIFFLZWDecoder::Decode(const std::uint8_t*& source, std::size_t packedSize,
                             std::uint8_t*& dest, std::size_t unpackedSize) {
    static constexpr Variant kTiff{BitOrder::MsbFirst, 256, true, true, kTableSize - 1};
    Run(kTiff, source, packedSize, dest, unpackedSize);
}

TGIFLZWDecoder::TGIFLZWDecoder(std::uint8_t initialCodeSize) : initialCodeSize_(initialCodeSize) {
    if (initialCodeSize < 1 || initialCodeSize > 11) RaiseDecoderError("Invalid GIF LZW code size.");
}

void TGIFLZWDecoder::Decode(const std::uint8_t*& source, std::size_t packedSize,
                            std::uint8_t*& dest, std::size_t unpackedSize) {
    const Variant gif{BitOrder::LsbFirst, 1u << initialCodeSize_, false, false, kTableSize - 1};
    Run(gif, source, packedSize, dest, unpackedSize);
}

}  // namespace orv
