#include "formats/codec_lzw.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>

#include "platform/graphics/messages.h"

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
// chain; single-byte strings point into kLiterals. length 0 marks the clear
// and end codes, and an entry whose chain would never end (GIF's entry 4095
// made its own prefix once the table is full, or made from such an entry):
// its code is invalid. Entries at and past the next free code are not read.
struct Table {
    std::array<const std::uint8_t*, kTableSize> from;
    std::array<std::uint16_t, kTableSize> length;
};

// Every byte value, and 16 bytes more so that a 16-byte move from any of
// them stays inside.
constexpr std::array<std::uint8_t, 256 + 16> MakeLiterals() {
    std::array<std::uint8_t, 256 + 16> bytes{};
    for (unsigned i = 0; i < 256; ++i) bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}
constexpr std::array<std::uint8_t, 256 + 16> kLiterals = MakeLiterals();

inline void Move16(std::uint8_t* to, const std::uint8_t* from) {
    std::uint8_t chunk[16];
    std::memcpy(chunk, from, 16);
    std::memcpy(to, chunk, 16);
}

// Copies n > 0 bytes in 16-byte moves, writing up to 15 bytes past n. The
// string lies before `to` (it ends at `to` at the latest), so no move reads a
// byte that an earlier move of the same copy wrote.
inline void CopyMoves(std::uint8_t* to, const std::uint8_t* from, std::size_t n) {
    std::size_t i = 0;
    do {
        Move16(to + i, from + i);
        i += 16;
    } while (i < n);
}

inline std::uint64_t Load64(const std::uint8_t* p, bool bigEndian) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::little) {
        if (bigEndian) v = __builtin_bswap64(v);
    } else {
        if (!bigEndian) v = __builtin_bswap64(v);
    }
    return v;
}

// Strings longer than this go the careful way (none are: a string grows by
// at most one byte per code since the last clear).
constexpr std::size_t kLongest = 4352;

// Decoding runs in two modes. While the output has room for the longest
// string and 8 packed bytes remain, codes are read 8 bytes at a time and
// strings copied in 16-byte moves that may write past the string's end (the
// next string overwrites those bytes). Everything else, and every unusual
// code (clear, end, one right after a clear, an invalid one), goes through
// the careful step, which writes exactly and clips the last string to the
// room left. Bytes that the moves wrote past the output's end when the
// stream stops early are put back from `saved`: before each move the 16
// bytes from where the garbage could start are kept there, by position
// modulo 32 (the garbage never reaches 16 bytes past the output).
template <Variant V>
void Run(unsigned clear, const std::uint8_t* src, std::size_t packedSize, std::uint8_t* out,
         std::size_t unpackedSize) {
    // The table is 40 KB: keep it off small thread stacks. Its entries are
    // written before they are read.
    const std::unique_ptr<Table> table(new Table);
    Table& t = *table;
    const unsigned endCode = clear + 1;
    const unsigned firstFree = clear + 2;
    unsigned initialWidth = 0;
    while ((1u << initialWidth) <= clear) ++initialWidth;  // width after a clear: log2(clear) + 1
    for (unsigned c = 0; c < clear; ++c) {
        // GIF codes of more than 8 bits give their low byte.
        t.from[c] = kLiterals.data() + (c & 0xFF);
        t.length[c] = 1;
    }
    t.from[clear] = t.from[endCode] = kLiterals.data();
    t.length[clear] = t.length[endCode] = 0;

    unsigned width = initialWidth;
    unsigned nextFree = firstFree;
    unsigned old = kNoCode;
    std::size_t oldStart = 0;   // where old's string was written
    std::size_t oldLength = 0;
    std::size_t pos = 0;        // bytes written
    const std::uint8_t* const end = src + packedSize;

    constexpr bool msbFirst = V == Variant::Tiff;
    constexpr bool endStops = V != Variant::Gif;
    // The next `count` bits of the stream, at the top of `bits` most
    // significant bit first, else at the bottom. src is the byte after them;
    // bits past them may hold the bytes that follow src, as a refill puts
    // them again.
    std::uint64_t bits = 0;
    unsigned count = 0;
    auto take = [&]() -> unsigned {
        unsigned code;
        if constexpr (msbFirst) {
            code = static_cast<unsigned>(bits >> (64 - width));
            bits <<= width;
        } else {
            code = static_cast<unsigned>(bits & ((1u << width) - 1));
            bits >>= width;
        }
        count -= width;
        return code;
    };

    // The new entry (old's string and the first byte of the string just
    // written at `start`, which lie together in the output), then code
    // becomes old.
    auto advance = [&](unsigned code, std::size_t start, std::size_t length) {
        if (nextFree <= kLastEntry) {
            const unsigned entry = nextFree;
            const bool endless = old == entry || t.length[old] == 0;
            t.from[entry] = out + oldStart;
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
    };

    // One code, exactly; pos < unpackedSize. False when the stream ends.
    auto step = [&](unsigned code) -> bool {
        if (code == endCode) return !endStops;
        if (code == clear) {
            width = initialWidth;
            nextFree = firstFree;
            old = kNoCode;
            return true;
        }
        if (code > nextFree) return true;
        const std::size_t room = unpackedSize - pos;
        if (old == kNoCode) {
            // Only single-byte codes are defined right after a clear.
            if (code >= clear) return true;
            out[pos] = static_cast<std::uint8_t>(code);
            oldStart = pos++;
            oldLength = 1;
            old = code;
            return true;
        }
        // The string of code, or old's string plus its first byte when code
        // is the one about to be made. Only what fits is written.
        const std::size_t start = pos;
        std::size_t length;
        if (code == nextFree) {
            if (t.length[old] == 0) return true;
            length = oldLength + 1;
            const std::size_t n = std::min(oldLength, room);
            std::memcpy(out + pos, out + oldStart, n);
            if (n < room) out[pos + n] = out[oldStart];
        } else {
            length = t.length[code];
            if (length == 0) return true;
            std::memcpy(out + pos, t.from[code], std::min(length, room));
        }
        pos += std::min(length, room);
        advance(code, start, length);
        return true;
    };

    std::uint8_t saved[80] = {};
    std::size_t dirtyEnd = 0;  // the moves have written nothing from here on
    const bool fast = unpackedSize > kLongest + 64 && packedSize >= 8;
    const std::size_t fastEnd = fast ? unpackedSize - (kLongest + 64) : 0;
    const std::uint8_t* const srcFastEnd = fast ? end - 8 : src;
    for (;;) {
        unsigned code = 0;
        bool pending = false;
        while (fast && pos <= fastEnd && src <= srcFastEnd) {
            if constexpr (msbFirst) bits |= Load64(src, true) >> count;
            else bits |= Load64(src, false) << count;
            src += (63 - count) >> 3;
            count |= 56;
            code = take();
            std::size_t n = 0;
            const std::uint8_t* from = nullptr;
            if (old != kNoCode) {
                if (code < nextFree) {
                    n = t.length[code];
                    from = t.from[code];
                } else if (code == nextFree && t.length[old] != 0) {
                    n = oldLength + 1;
                    from = out + oldStart;
                }
            }
            if (n == 0 || n > kLongest) {
                pending = true;
                break;
            }
            const std::size_t start = pos;
            const std::size_t q = std::max(dirtyEnd, pos + n);
            Move16(saved + (q & 31), out + q);
            Move16(saved + (q & 31) + 32, out + q);
            if (code == nextFree) {
                CopyMoves(out + pos, from, n - 1);
                out[pos + n - 1] = *from;
            } else {
                CopyMoves(out + pos, from, n);
            }
            dirtyEnd = std::max(dirtyEnd, pos + ((n + 15) & ~std::size_t{15}));
            pos += n;
            advance(code, start, n);
        }
        if (!pending) {
            if (pos >= unpackedSize) break;
            while (count < width && src < end) {
                if constexpr (msbFirst) bits |= std::uint64_t{*src++} << (56 - count);
                else bits |= std::uint64_t{*src++} << count;
                count += 8;
            }
            if (count < width) break;
            code = take();
        }
        if (!step(code)) break;
    }
    for (std::size_t a = pos; a < dirtyEnd; ++a) out[a] = saved[32 + (a & 31)];
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
    if (initialCodeSize < 1 || initialCodeSize > 11) RaiseDecoderError(msg::GIFCodeSize);
}

void TGIFLZWDecoder::Decode(const std::uint8_t*& source, std::size_t packedSize,
                            std::uint8_t*& dest, std::size_t unpackedSize) {
    Run<Variant::Gif>(1u << initialCodeSize_, source, packedSize, dest, unpackedSize);
}

}  // namespace orv
