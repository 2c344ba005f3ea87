#include "formats/codec_lzw.h"
#include "platform/graphics/messages.h"

#include <algorithm>
#include <array>
#include <bit>
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
// stream stops early are put back from `saved_`: before each move the 16
// bytes from where the garbage could start are kept there, by position
// modulo 32 (the garbage never reaches 16 bytes past the output).
//
// One object decodes one block, a local of Run below holding only scalars;
// its steps are inlined, so that its state stays in registers.
template <Variant V>
class LzwBlock {
public:
    [[gnu::always_inline]] LzwBlock(Table& table, std::uint8_t* saved, unsigned clear, const std::uint8_t* src,
                                    std::size_t packedSize, std::uint8_t* out, std::size_t unpackedSize)
        : table_(table), saved_(saved), clear_(clear), endCode_(clear + 1), firstFree_(clear + 2), src_(src),
          end_(src + packedSize), out_(out), unpackedSize_(unpackedSize),
          fast_(unpackedSize > kLongest + 64 && packedSize >= 8),
          fastEnd_(fast_ ? unpackedSize - (kLongest + 64) : 0), srcFastEnd_(fast_ ? end_ - 8 : src) {
        while ((1u << initialWidth_) <= clear) ++initialWidth_;  // log2(clear) + 1
        width_ = initialWidth_;
        nextFree_ = firstFree_;
        Table& t = table_;
        for (unsigned c = 0; c < clear; ++c) {
            // GIF codes of more than 8 bits give their low byte.
            t.from[c] = kLiterals.data() + (c & 0xFF);
            t.length[c] = 1;
        }
        t.from[clear] = t.from[endCode_] = kLiterals.data();
        t.length[clear] = t.length[endCode_] = 0;
    }

    [[gnu::always_inline]] void Run() {
        for (;;) {
            unsigned code = 0;
            if (!FastCodes(code)) {
                if (pos_ >= unpackedSize_ || !ReadCode(code)) break;
            }
            if (!Step(code)) break;
        }
        for (std::size_t a = pos_; a < dirtyEnd_; ++a) out_[a] = saved_[32 + (a & 31)];
    }

private:
    static constexpr bool kMsbFirst = V == Variant::Tiff;
    static constexpr bool kEndStops = V != Variant::Gif;

    // The next code from the bits taken in.
    [[gnu::always_inline]] unsigned Take() {
        unsigned code;
        if constexpr (kMsbFirst) {
            code = static_cast<unsigned>(bits_ >> (64 - width_));
            bits_ <<= width_;
        } else {
            code = static_cast<unsigned>(bits_ & ((1u << width_) - 1));
            bits_ >>= width_;
        }
        count_ -= width_;
        return code;
    }

    // The next code, taking in one byte at a time; false when the packed
    // data end first.
    [[gnu::always_inline]] bool ReadCode(unsigned& code) {
        while (count_ < width_ && src_ < end_) {
            if constexpr (kMsbFirst) bits_ |= std::uint64_t{*src_++} << (56 - count_);
            else bits_ |= std::uint64_t{*src_++} << count_;
            count_ += 8;
        }
        if (count_ < width_) return false;
        code = Take();
        return true;
    }

    // The new entry (old's string and the first byte of the string just
    // written at `start`, which lie together in the output), then code
    // becomes old.
    [[gnu::always_inline]] void Advance(unsigned code, std::size_t start, std::size_t length) {
        Table& t = table_;
        if (nextFree_ <= kLastEntry) {
            const unsigned entry = nextFree_;
            const bool endless = old_ == entry || t.length[old_] == 0;
            t.from[entry] = out_ + oldStart_;
            t.length[entry] = endless ? 0 : static_cast<std::uint16_t>(oldLength_ + 1);
            if constexpr (V == Variant::Tiff) {
                if (nextFree_ < kTableSize) ++nextFree_;
                if (nextFree_ == (1u << width_) - 1 && width_ < kMaxWidth) ++width_;
            } else if constexpr (V == Variant::OldTiff) {
                if (entry >= (1u << width_) - 1 && width_ < kMaxWidth) ++width_;
                ++nextFree_;  // 4096 once the table is full: no further entry
            } else {
                // ">=" rather than "==": with an initial code size of 1 the
                // first entry (4) is already past 2^2 - 1.
                if (entry >= (1u << width_) - 1 && width_ < kMaxWidth) ++width_;
                if (nextFree_ < kLastEntry) ++nextFree_;
            }
        }
        old_ = code;
        oldStart_ = start;
        oldLength_ = length;
    }

    // The fast mode: codes of ordinary strings while there is room. True
    // with `code` set when a code is left for the careful step.
    [[gnu::always_inline]] bool FastCodes(unsigned& code) {
        const Table& t = table_;
        while (fast_ && pos_ <= fastEnd_ && src_ <= srcFastEnd_) {
            if constexpr (kMsbFirst) bits_ |= Load64(src_, true) >> count_;
            else bits_ |= Load64(src_, false) << count_;
            src_ += (63 - count_) >> 3;
            count_ |= 56;
            code = Take();
            std::size_t n = 0;
            const std::uint8_t* from = nullptr;
            if (old_ != kNoCode) {
                if (code < nextFree_) [[likely]] {
                    n = t.length[code];
                    from = t.from[code];
                } else if (code == nextFree_ && t.length[old_] != 0) {
                    n = oldLength_ + 1;
                    from = out_ + oldStart_;
                }
            }
            if (n == 0 || n > kLongest) [[unlikely]]
                return true;
            const std::size_t start = pos_;
            const std::size_t q = std::max(dirtyEnd_, pos_ + n);
            Move16(saved_ + (q & 31), out_ + q);
            Move16(saved_ + (q & 31) + 32, out_ + q);
            if (code == nextFree_) {
                CopyMoves(out_ + pos_, from, n - 1);
                out_[pos_ + n - 1] = *from;
            } else {
                CopyMoves(out_ + pos_, from, n);
            }
            dirtyEnd_ = std::max(dirtyEnd_, pos_ + ((n + 15) & ~std::size_t{15}));
            pos_ += n;
            Advance(code, start, n);
        }
        return false;
    }

    // One code, exactly; pos_ < unpackedSize_. False when the stream ends.
    [[gnu::always_inline]] bool Step(unsigned code) {
        const Table& t = table_;
        if (code == endCode_) return !kEndStops;
        if (code == clear_) {
            width_ = initialWidth_;
            nextFree_ = firstFree_;
            old_ = kNoCode;
            return true;
        }
        if (code > nextFree_) return true;
        const std::size_t room = unpackedSize_ - pos_;
        if (old_ == kNoCode) {
            // Only single-byte codes are defined right after a clear.
            if (code >= clear_) return true;
            out_[pos_] = static_cast<std::uint8_t>(code);
            oldStart_ = pos_++;
            oldLength_ = 1;
            old_ = code;
            return true;
        }
        // The string of code, or old's string plus its first byte when code
        // is the one about to be made. Only what fits is written.
        const std::size_t start = pos_;
        std::size_t length;
        if (code == nextFree_) {
            if (t.length[old_] == 0) return true;
            length = oldLength_ + 1;
            const std::size_t n = std::min(oldLength_, room);
            std::memcpy(out_ + pos_, out_ + oldStart_, n);
            if (n < room) out_[pos_ + n] = out_[oldStart_];
        } else {
            length = t.length[code];
            if (length == 0) return true;
            std::memcpy(out_ + pos_, t.from[code], std::min(length, room));
        }
        pos_ += std::min(length, room);
        Advance(code, start, length);
        return true;
    }

    // The table and the bytes kept from past the output live outside the
    // object, which then holds scalars only.
    Table& table_;
    std::uint8_t* const saved_;
    const unsigned clear_;
    const unsigned endCode_;
    const unsigned firstFree_;
    unsigned initialWidth_ = 0;
    unsigned width_ = 0;
    unsigned nextFree_ = 0;
    unsigned old_ = kNoCode;
    std::size_t oldStart_ = 0;   // where old's string was written
    std::size_t oldLength_ = 0;
    // The next `count_` bits of the stream, at the top of `bits_` most
    // significant bit first, else at the bottom. src_ is the byte after
    // them; bits past them may hold the bytes that follow src_, as a refill
    // puts them again.
    std::uint64_t bits_ = 0;
    unsigned count_ = 0;
    const std::uint8_t* src_;
    const std::uint8_t* const end_;
    std::uint8_t* const out_;
    const std::size_t unpackedSize_;
    std::size_t pos_ = 0;  // bytes written
    const bool fast_;
    const std::size_t fastEnd_;
    const std::uint8_t* const srcFastEnd_;
    std::size_t dirtyEnd_ = 0;  // the moves have written nothing from here on
};

template <Variant V>
void Run(unsigned clear, const std::uint8_t* src, std::size_t packedSize, std::uint8_t* out,
         std::size_t unpackedSize) {
    // The table is 40 KB: kept off small thread stacks. Its entries are
    // written before they are read.
    const std::unique_ptr<Table> table(new Table);
    std::uint8_t saved[80] = {};
    LzwBlock<V>(*table, saved, clear, src, packedSize, out, unpackedSize).Run();
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
