#include "search/engine/signature_kernel.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>

#if defined(__x86_64__) || defined(__i386__)
#define ORV_KERNEL_X86 1
#include <immintrin.h>
#endif

namespace orv {
namespace {

// Words per plane between two early-exit tests: 1,024 pixels, so an 80 x 80
// pair is decided in at most seven steps.
constexpr std::size_t kBlockWords = 16;

inline std::uint64_t AgreeWord(const std::uint64_t* a, const std::uint64_t* b, std::size_t words, std::size_t i) {
    return ~((a[i] ^ b[i]) | (a[words + i] ^ b[words + i]) | (a[2 * words + i] ^ b[2 * words + i]));
}

// Agreeing bits in words [start, start + n) of every plane.
using RangeFn = std::uint64_t (*)(const std::uint64_t*, const std::uint64_t*, std::size_t, std::size_t, std::size_t);

std::uint64_t RangePortable(const std::uint64_t* a, const std::uint64_t* b, std::size_t words, std::size_t start,
                            std::size_t n) {
    std::uint64_t count = 0;
    for (std::size_t i = start; i < start + n; ++i)
        count += static_cast<std::uint64_t>(std::popcount(AgreeWord(a, b, words, i)));
    return count;
}

#ifdef ORV_KERNEL_X86

__attribute__((target("popcnt"))) std::uint64_t RangePopcnt(const std::uint64_t* a, const std::uint64_t* b,
                                                             std::size_t words, std::size_t start, std::size_t n) {
    std::uint64_t count = 0;
    for (std::size_t i = start; i < start + n; ++i)
        count += static_cast<std::uint64_t>(__builtin_popcountll(AgreeWord(a, b, words, i)));
    return count;
}

__attribute__((target("avx2,popcnt"))) inline __m256i Load256(const std::uint64_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

__attribute__((target("avx2,popcnt"))) inline __m256i AgreeVec256(const std::uint64_t* a, const std::uint64_t* b,
                                                                  std::size_t words, std::size_t i) {
    const auto load = Load256;
    const __m256i d0 = _mm256_xor_si256(load(a + i), load(b + i));
    const __m256i d1 = _mm256_xor_si256(load(a + words + i), load(b + words + i));
    const __m256i d2 = _mm256_xor_si256(load(a + 2 * words + i), load(b + 2 * words + i));
    const __m256i any = _mm256_or_si256(_mm256_or_si256(d0, d1), d2);
    return _mm256_andnot_si256(any, _mm256_set1_epi64x(-1));
}

// Bits set per byte (0..8) by nibble table look-up.
__attribute__((target("avx2,popcnt"))) inline __m256i ByteCounts256(__m256i v) {
    const __m256i table = _mm256_setr_epi8(0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4,  //
                                           0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4);
    const __m256i low = _mm256_set1_epi8(0x0f);
    const __m256i lo = _mm256_and_si256(v, low);
    const __m256i hi = _mm256_and_si256(_mm256_srli_epi16(v, 4), low);
    return _mm256_add_epi8(_mm256_shuffle_epi8(table, lo), _mm256_shuffle_epi8(table, hi));
}

__attribute__((target("avx2,popcnt"))) std::uint64_t RangeAvx2(const std::uint64_t* a, const std::uint64_t* b,
                                                               std::size_t words, std::size_t start, std::size_t n) {
    __m256i total = _mm256_setzero_si256();
    std::size_t i = start;
    const std::size_t end = start + n;
    // Up to four vectors add at most 32 per byte before widening.
    while (i + 4 <= end) {
        __m256i bytes = _mm256_setzero_si256();
        const std::size_t groupEnd = std::min(end, i + 16);
        for (; i + 4 <= groupEnd; i += 4) bytes = _mm256_add_epi8(bytes, ByteCounts256(AgreeVec256(a, b, words, i)));
        total = _mm256_add_epi64(total, _mm256_sad_epu8(bytes, _mm256_setzero_si256()));
    }
    alignas(32) std::uint64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), total);
    std::uint64_t count = lanes[0] + lanes[1] + lanes[2] + lanes[3];
    for (; i < end; ++i) count += static_cast<std::uint64_t>(__builtin_popcountll(AgreeWord(a, b, words, i)));
    return count;
}

__attribute__((target("avx512f,avx512vpopcntdq,popcnt"))) std::uint64_t RangeAvx512(const std::uint64_t* a,
                                                                                     const std::uint64_t* b,
                                                                                     std::size_t words,
                                                                                     std::size_t start,
                                                                                     std::size_t n) {
    __m512i total = _mm512_setzero_si512();
    std::size_t i = start;
    const std::size_t end = start + n;
    for (; i + 8 <= end; i += 8) {
        const __m512i d0 = _mm512_xor_si512(_mm512_loadu_si512(a + i), _mm512_loadu_si512(b + i));
        const __m512i d1 = _mm512_xor_si512(_mm512_loadu_si512(a + words + i), _mm512_loadu_si512(b + words + i));
        const __m512i d2 =
            _mm512_xor_si512(_mm512_loadu_si512(a + 2 * words + i), _mm512_loadu_si512(b + 2 * words + i));
        // 0x01: set where all three differences are clear.
        total = _mm512_add_epi64(total, _mm512_popcnt_epi64(_mm512_ternarylogic_epi64(d0, d1, d2, 0x01)));
    }
    if (i < end) {
        // Masked loads never touch the words past the end.
        const __mmask8 m = static_cast<__mmask8>((1u << (end - i)) - 1u);
        const __m512i d0 = _mm512_xor_si512(_mm512_maskz_loadu_epi64(m, a + i), _mm512_maskz_loadu_epi64(m, b + i));
        const __m512i d1 = _mm512_xor_si512(_mm512_maskz_loadu_epi64(m, a + words + i),
                                            _mm512_maskz_loadu_epi64(m, b + words + i));
        const __m512i d2 = _mm512_xor_si512(_mm512_maskz_loadu_epi64(m, a + 2 * words + i),
                                            _mm512_maskz_loadu_epi64(m, b + 2 * words + i));
        total = _mm512_add_epi64(total, _mm512_maskz_popcnt_epi64(m, _mm512_ternarylogic_epi64(d0, d1, d2, 0x01)));
    }
    alignas(64) std::uint64_t lanes[8];
    _mm512_store_si512(lanes, total);
    std::uint64_t count = 0;
    for (std::uint64_t lane : lanes) count += lane;
    return count;
}

#endif  // ORV_KERNEL_X86

// ---- signatures of different sizes

// count (1..64) bits of a plane from bit offset on, in the low bits.
inline std::uint64_t BitsAt(const std::uint64_t* plane, std::size_t planeWords, std::size_t offset, unsigned count) {
    const std::size_t word = offset / 64;
    const unsigned shift = static_cast<unsigned>(offset % 64);
    std::uint64_t bits = plane[word] >> shift;
    if (shift != 0 && shift + count > 64 && word + 1 < planeWords) bits |= plane[word + 1] << (64 - shift);
    return count == 64 ? bits : bits & ((std::uint64_t{1} << count) - 1);
}

// The row walk; inlined into each level's function, whose target options
// decide how the popcount compiles.
__attribute__((always_inline)) inline std::int64_t RowsBody(const std::uint64_t* s, std::size_t sw, int sWidth,
                                                             const std::uint64_t* t, std::size_t tw, int tWidth,
                                                             int width, int height, std::int64_t need) {
    std::int64_t agree = 0;
    for (int y = 0; y < height; ++y) {
        const std::size_t sRow = static_cast<std::size_t>(y) * static_cast<std::size_t>(sWidth);
        const std::size_t tRow = static_cast<std::size_t>(y) * static_cast<std::size_t>(tWidth);
        for (int x = 0; x < width; x += 64) {
            const auto count = static_cast<unsigned>(std::min(64, width - x));
            const std::size_t so = sRow + static_cast<std::size_t>(x), to = tRow + static_cast<std::size_t>(x);
            const std::uint64_t differ = (BitsAt(s, sw, so, count) ^ BitsAt(t, tw, to, count)) |
                                         (BitsAt(s + sw, sw, so, count) ^ BitsAt(t + tw, tw, to, count)) |
                                         (BitsAt(s + 2 * sw, sw, so, count) ^ BitsAt(t + 2 * tw, tw, to, count));
            agree += static_cast<std::int64_t>(count) - __builtin_popcountll(differ);
        }
        if (need >= 0) {
            const std::int64_t left = static_cast<std::int64_t>(height - 1 - y) * width;
            if (agree >= need || agree + left < need) return agree;
        }
    }
    return agree;
}

using RowsFn = std::int64_t (*)(const std::uint64_t*, std::size_t, int, const std::uint64_t*, std::size_t, int, int,
                                int, std::int64_t);

std::int64_t RowsPortable(const std::uint64_t* s, std::size_t sw, int sWidth, const std::uint64_t* t, std::size_t tw,
                          int tWidth, int width, int height, std::int64_t need) {
    return RowsBody(s, sw, sWidth, t, tw, tWidth, width, height, need);
}

#ifdef ORV_KERNEL_X86
__attribute__((target("popcnt"))) std::int64_t RowsPopcnt(const std::uint64_t* s, std::size_t sw, int sWidth,
                                                          const std::uint64_t* t, std::size_t tw, int tWidth,
                                                          int width, int height, std::int64_t need) {
    return RowsBody(s, sw, sWidth, t, tw, tWidth, width, height, need);
}
#endif

// Every level above the portable one has the popcount instruction.
RowsFn RowsFor(TKernelLevel level) {
#ifdef ORV_KERNEL_X86
    if (level != TKernelLevel::Portable) return RowsPopcnt;
#else
    (void)level;
#endif
    return RowsPortable;
}

RangeFn RangeFor(TKernelLevel level) {
#ifdef ORV_KERNEL_X86
    switch (level) {
    case TKernelLevel::Popcnt: return RangePopcnt;
    case TKernelLevel::Avx2: return RangeAvx2;
    case TKernelLevel::Avx512: return RangeAvx512;
    case TKernelLevel::Portable: break;
    }
#else
    (void)level;
#endif
    return RangePortable;
}

bool DetectLevel(TKernelLevel level) {
#ifdef ORV_KERNEL_X86
    __builtin_cpu_init();
    switch (level) {
    case TKernelLevel::Portable: return true;
    case TKernelLevel::Popcnt: return __builtin_cpu_supports("popcnt");
    case TKernelLevel::Avx2: return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    case TKernelLevel::Avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vpopcntdq") &&
               __builtin_cpu_supports("popcnt");
    }
    return false;
#else
    return level == TKernelLevel::Portable;
#endif
}

bool LevelSupported(TKernelLevel level) {
    static const std::array<bool, 4> supported = {DetectLevel(TKernelLevel::Portable),
                                                  DetectLevel(TKernelLevel::Popcnt), DetectLevel(TKernelLevel::Avx2),
                                                  DetectLevel(TKernelLevel::Avx512)};
    const auto index = static_cast<std::size_t>(level);
    return index < supported.size() && supported[index];
}

TKernelLevel BestLevel() {
    const auto levels = SupportedKernelLevels();
    return levels.back();
}

std::atomic<TKernelLevel>& ActiveLevelRef() {
    static std::atomic<TKernelLevel> level{BestLevel()};
    return level;
}

bool ReachesWith(RangeFn range, const std::uint64_t* a, const std::uint64_t* b, std::size_t words,
                 std::uint64_t need) {
    const std::uint64_t bits = static_cast<std::uint64_t>(words) * 64;
    if (need == 0) return true;
    if (need > bits) return false;
    const std::uint64_t maxDisagree = bits - need;
    std::uint64_t agree = 0;
    for (std::size_t start = 0; start < words; start += kBlockWords) {
        const std::size_t n = std::min(kBlockWords, words - start);
        agree += range(a, b, words, start, n);
        if (agree >= need) return true;
        const std::uint64_t seen = static_cast<std::uint64_t>(start + n) * 64;
        if (seen - agree > maxDisagree) return false;
    }
    return agree >= need;
}

}  // namespace

std::string_view KernelLevelName(TKernelLevel level) {
    switch (level) {
    case TKernelLevel::Portable: return "portable";
    case TKernelLevel::Popcnt: return "popcnt";
    case TKernelLevel::Avx2: return "avx2";
    case TKernelLevel::Avx512: return "avx512";
    }
    return "unknown";
}

std::vector<TKernelLevel> SupportedKernelLevels() {
    std::vector<TKernelLevel> levels;
    for (TKernelLevel level : {TKernelLevel::Portable, TKernelLevel::Popcnt, TKernelLevel::Avx2, TKernelLevel::Avx512})
        if (LevelSupported(level)) levels.push_back(level);
    return levels;
}

TKernelLevel ActiveKernelLevel() { return ActiveLevelRef().load(std::memory_order_relaxed); }

bool SetKernelLevel(TKernelLevel level) {
    if (!LevelSupported(level)) return false;
    ActiveLevelRef().store(level, std::memory_order_relaxed);
    return true;
}

std::uint64_t KernelCountAgree(TKernelLevel level, const std::uint64_t* a, const std::uint64_t* b,
                               std::size_t words) {
    if (words == 0) return 0;
    if (!LevelSupported(level)) level = TKernelLevel::Portable;
    return RangeFor(level)(a, b, words, 0, words);
}

bool KernelReaches(TKernelLevel level, const std::uint64_t* a, const std::uint64_t* b, std::size_t words,
                   std::uint64_t need) {
    if (!LevelSupported(level)) level = TKernelLevel::Portable;
    return ReachesWith(RangeFor(level), a, b, words, need);
}

std::int64_t KernelCountRows(TKernelLevel level, const std::uint64_t* s, std::size_t sWords, int sWidth,
                             const std::uint64_t* t, std::size_t tWords, int tWidth, int width, int height,
                             std::int64_t need) {
    if (!LevelSupported(level)) level = TKernelLevel::Portable;
    return RowsFor(level)(s, sWords, sWidth, t, tWords, tWidth, width, height, need);
}

std::int64_t KernelCountRows(const std::uint64_t* s, std::size_t sWords, int sWidth, const std::uint64_t* t,
                             std::size_t tWords, int tWidth, int width, int height, std::int64_t need) {
    return RowsFor(ActiveKernelLevel())(s, sWords, sWidth, t, tWords, tWidth, width, height, need);
}

// The active level was checked when it was set.
std::uint64_t KernelCountAgree(const std::uint64_t* a, const std::uint64_t* b, std::size_t words) {
    if (words == 0) return 0;
    return RangeFor(ActiveKernelLevel())(a, b, words, 0, words);
}

bool KernelReaches(const std::uint64_t* a, const std::uint64_t* b, std::size_t words, std::uint64_t need) {
    return ReachesWith(RangeFor(ActiveKernelLevel()), a, b, words, need);
}

}  // namespace orv
