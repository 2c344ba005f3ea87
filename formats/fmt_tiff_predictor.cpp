#include "formats/fmt_tiff_predictor.h"

#include <algorithm>

#include "formats/image_format.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#include <tmmintrin.h>
#endif

namespace orv {

namespace {

// Running sums of the bytes [from, end) with the given stride.
void UndoBytes(std::uint8_t* row, std::size_t from, std::size_t end, std::size_t stride) {
    for (std::size_t i = std::max(from, stride); i < end; ++i)
        row[i] = static_cast<std::uint8_t>(row[i] + row[i - stride]);
}

#if defined(__SSE2__)
// Each block is summed within its register by shifted additions (the prefix
// sums), then the last pixel of the rows so far, kept broadcast in a
// register, is added. That carry grows by the broadcast last pixel of each
// block's prefix sums, so the blocks depend on each other through one
// addition only. Blocks are loaded before the block ahead of them is stored,
// so no load waits for a store. Answers the index of the first byte not done.
__m128i Broadcast1(__m128i x) {
    __m128i t = _mm_srli_si128(x, 15);
    t = _mm_unpacklo_epi8(t, t);
    t = _mm_unpacklo_epi16(t, t);
    return _mm_shuffle_epi32(t, 0);
}

// Bytes 12..14 of x repeated over the register (byte j holds byte 12 + j % 3).
__m128i Broadcast3SSE2(__m128i x) {
    __m128i t = _mm_and_si128(_mm_srli_si128(x, 12), _mm_cvtsi32_si128(0x00FFFFFF));
    t = _mm_or_si128(t, _mm_slli_si128(t, 3));
    t = _mm_or_si128(t, _mm_slli_si128(t, 6));
    return _mm_or_si128(t, _mm_slli_si128(t, 12));
}

__attribute__((target("ssse3"))) __m128i Broadcast3SSSE3(__m128i x) {
    return _mm_shuffle_epi8(x, _mm_setr_epi8(12, 13, 14, 12, 13, 14, 12, 13, 14, 12, 13, 14, 12, 13, 14, 12));
}

inline __m128i Load(const std::uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }
inline void Store(std::uint8_t* at, __m128i x) { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), x); }

// Five pixels (15 bytes) a block: the sixteenth byte of each store is
// overwritten by the next block, or put back after the last one. Starts at
// byte 3 with at least 16 bytes from there.
template <__m128i (*Broadcast3)(__m128i)>
inline std::size_t UndoBlocks3(std::uint8_t* row, std::size_t end) {
    std::size_t i = 3;
    __m128i carry = Broadcast3(_mm_slli_si128(_mm_cvtsi32_si128(row[0] | (row[1] << 8) | (row[2] << 16)), 12));
    __m128i x = Load(row + i);
    for (;;) {
        const bool more = i + 15 + 16 <= end;
        const __m128i following = more ? Load(row + i + 15) : _mm_setzero_si128();
        const auto sixteenth = static_cast<std::uint8_t>(_mm_cvtsi128_si32(_mm_srli_si128(x, 15)));
        __m128i y = _mm_add_epi8(x, _mm_slli_si128(x, 3));
        y = _mm_add_epi8(y, _mm_slli_si128(y, 6));
        y = _mm_add_epi8(y, _mm_slli_si128(y, 12));
        Store(row + i, _mm_add_epi8(y, carry));
        carry = _mm_add_epi8(carry, Broadcast3(y));
        i += 15;
        if (!more) {
            row[i] = sixteenth;
            break;
        }
        x = following;
    }
    return i;
}

__attribute__((target("ssse3"), flatten)) std::size_t UndoBlocks3SSSE3(std::uint8_t* row, std::size_t end) {
    return UndoBlocks3<Broadcast3SSSE3>(row, end);
}

bool HasSSSE3() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}

std::size_t UndoBlocks(std::uint8_t* row, std::size_t end, std::size_t stride) {
    std::size_t i = stride;  // the first pixel stays as stored
    if (i + 16 > end) return i;
    if (stride == 1) {
        __m128i carry = _mm_set1_epi8(static_cast<char>(row[0]));
        for (; i + 16 <= end; i += 16) {
            __m128i x = Load(row + i);
            x = _mm_add_epi8(x, _mm_slli_si128(x, 1));
            x = _mm_add_epi8(x, _mm_slli_si128(x, 2));
            x = _mm_add_epi8(x, _mm_slli_si128(x, 4));
            x = _mm_add_epi8(x, _mm_slli_si128(x, 8));
            Store(row + i, _mm_add_epi8(x, carry));
            carry = _mm_add_epi8(carry, Broadcast1(x));
        }
    } else if (stride == 4) {
        __m128i carry = _mm_shuffle_epi32(Load(row), 0);
        for (; i + 16 <= end; i += 16) {
            __m128i x = Load(row + i);
            x = _mm_add_epi8(x, _mm_slli_si128(x, 4));
            x = _mm_add_epi8(x, _mm_slli_si128(x, 8));
            Store(row + i, _mm_add_epi8(x, carry));
            carry = _mm_add_epi8(carry, _mm_shuffle_epi32(x, 0xFF));
        }
    } else if (stride == 3) {
        i = HasSSSE3() ? UndoBlocks3SSSE3(row, end) : UndoBlocks3<Broadcast3SSE2>(row, end);
    }
    return i;
}
#endif

}  // namespace

void UndoTIFFPredictor(std::uint8_t* row, std::size_t rowBytes, std::uint32_t width, unsigned samplesPerPixel,
                       unsigned bitsPerSample, bool bigEndian) {
    if (bitsPerSample != 8 || row == nullptr || width == 0 || samplesPerPixel == 0) {
        UndoHorizontalDifferencing(row, rowBytes, width, samplesPerPixel, bitsPerSample, bigEndian);
        return;
    }
    const std::size_t end = static_cast<std::size_t>(
        std::min<std::uint64_t>(rowBytes, std::uint64_t{width} * samplesPerPixel));
    std::size_t done = samplesPerPixel;
#if defined(__SSE2__)
    if (samplesPerPixel == 1 || samplesPerPixel == 3 || samplesPerPixel == 4)
        done = UndoBlocks(row, end, samplesPerPixel);
#endif
    UndoBytes(row, done, end, samplesPerPixel);
}

}  // namespace orv
