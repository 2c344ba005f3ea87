// The row converters of the colour manager. ConvertLine has checked every
// buffer against the configuration before one of these runs, so they walk
// their rows without further tests. 16-bit samples are little-endian words
// unless the source flags ask for a byte swap.
#include <array>
#include <cmath>
#include <cstring>
#include <utility>
#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#endif

#include "formats/color_manager.h"

namespace orv {

namespace {

// Calls body(i) for every pixel i of the row that the mask selects (bit 7
// stands for pixel 0 of each group of eight).
template <class Body>
inline void ForEachSelected(std::uint32_t count, std::uint8_t mask, Body&& body) {
    if (mask == 0xFF) {
        for (std::uint32_t i = 0; i < count; ++i) body(i);
        return;
    }
    unsigned bit = 0x80;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (mask & bit) body(i);
        bit = bit == 1 ? 0x80 : bit >> 1;
    }
}

inline std::uint16_t ReadWord(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline void WriteWord(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline std::uint16_t ReadSample16(const std::uint8_t* p, bool swap) {
    const std::uint16_t w = ReadWord(p);
    return swap ? SwapWord(w) : w;
}

inline std::uint8_t WordToByte(std::uint32_t w) {
    return static_cast<std::uint8_t>(w * 255u / 65535u);
}

inline std::uint16_t Widen(std::uint32_t b) {
    return static_cast<std::uint16_t>(b * 257u);
}

inline std::uint16_t ClampToWord(double v) {
    if (!(v > 0.0)) return 0;  // also NaN
    if (v >= 65535.0) return 65535;
    return static_cast<std::uint16_t>(std::lrint(v));
}

const std::array<std::uint8_t, 256> kIdentity = [] {
    std::array<std::uint8_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) t[i] = static_cast<std::uint8_t>(i);
    return t;
}();

// Writes three 8- or 16-bit components in RGB or BGR order.
template <bool BGR>
inline void PutColor(std::uint8_t* q, bool wide, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    const std::uint32_t first = BGR ? b : r;
    const std::uint32_t last = BGR ? r : b;
    if (wide) {
        WriteWord(q, static_cast<std::uint16_t>(first));
        WriteWord(q + 2, static_cast<std::uint16_t>(g));
        WriteWord(q + 4, static_cast<std::uint16_t>(last));
    } else {
        q[0] = static_cast<std::uint8_t>(first);
        q[1] = static_cast<std::uint8_t>(g);
        q[2] = static_cast<std::uint8_t>(last);
    }
}

}  // namespace


// ---------------------------------------------------------------------------
// Fast row kernels. Each covers one common configuration of a converter below
// (whole rows, mask 0xFF) with the per-pixel decisions made once per row; they
// give exactly the bytes of the general loops, which serve every other case.

namespace {

using RowKernel = void (*)(const std::uint8_t* const* source, std::uint8_t* target, std::uint32_t count,
                           const std::uint8_t* lut);

// A table of kernels K<I>::Run for I = 0 .. N-1; I encodes the configuration.
template <template <unsigned> class K, std::size_t... I>
constexpr auto KernelTable(std::index_sequence<I...>) {
    return std::array{&K<static_cast<unsigned>(I)>::Run...};
}

// x * 255 div 65535 equals x div 257, and for every 16-bit x that equals
// (x * 0xFF01) >> 24 (the error of the factor stays below 1/257 of a unit).
inline std::uint8_t NarrowWord(std::uint32_t w) {
    return static_cast<std::uint8_t>((w * 0xFF01u) >> 24);
}

template <bool Swap>
inline std::uint16_t LoadWord(const std::uint8_t* p) {
    return Swap ? static_cast<std::uint16_t>((p[0] << 8) | p[1]) : static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// One colour component (through the lookup table where the source is or
// becomes 8 bits) and one alpha component, for each pair of sample widths.
template <unsigned SB, unsigned TB, bool Swap>
inline void PutComponent(const std::uint8_t* p, std::uint8_t* q, const std::uint8_t* lut) {
    if constexpr (SB == 1 && TB == 1) *q = lut[*p];
    else if constexpr (SB == 1) WriteWord(q, Widen(lut[*p]));  // x * 257 reads the same in both byte orders
    else if constexpr (TB == 1) *q = lut[NarrowWord(LoadWord<Swap>(p))];
    else WriteWord(q, LoadWord<Swap>(p));
}

template <unsigned SB, unsigned TB, bool Swap>
inline void PutAlpha(const std::uint8_t* p, std::uint8_t* q) {
    if constexpr (SB == 1 && TB == 1) *q = *p;
    else if constexpr (SB == 1) WriteWord(q, Widen(*p));
    else if constexpr (TB == 1) *q = NarrowWord(LoadWord<Swap>(p));
    else WriteWord(q, LoadWord<Swap>(p));
}

// Interleaved red, green, blue (and alpha). I: bit 0 16-bit source, bit 1
// 16-bit target, bit 2 source alpha, bit 3 target alpha, bit 4 exchange red
// and blue, bit 5 byte swap.
template <unsigned I>
struct InterleavedRGB {
    static constexpr unsigned SB = (I & 1) ? 2 : 1, TB = (I & 2) ? 2 : 1;
    static constexpr unsigned SS = (I & 4) ? 4 : 3, TS = (I & 8) ? 4 : 3;
    static constexpr bool X = (I & 16) != 0, Swap = (I & 32) != 0, Carry = SS == 4 && TS == 4;
    static void Run(const std::uint8_t* const* source, std::uint8_t* q, std::uint32_t count, const std::uint8_t* lut) {
        const std::uint8_t* p = source[0];
        for (std::uint32_t i = 0; i < count; ++i, p += SS * SB, q += TS * TB) {
            PutComponent<SB, TB, Swap>(p, q + (X ? 2 : 0) * TB, lut);
            PutComponent<SB, TB, Swap>(p + SB, q + TB, lut);
            PutComponent<SB, TB, Swap>(p + 2 * SB, q + (X ? 0 : 2) * TB, lut);
            if constexpr (Carry) PutAlpha<SB, TB, Swap>(p + 3 * SB, q + 3 * TB);
        }
    }
};
constexpr auto kInterleavedRGB = KernelTable<InterleavedRGB>(std::make_index_sequence<64>{});

// 8-bit planes. I: bit 0 target alpha, bit 1 carry the alpha plane, bit 2
// exchange red and blue.
template <unsigned I>
struct PlanarRGB8 {
    static constexpr unsigned TS = (I & 1) ? 4 : 3;
    static constexpr bool Carry = (I & 2) != 0, X = (I & 4) != 0;
    static void Run(const std::uint8_t* const* source, std::uint8_t* q, std::uint32_t count, const std::uint8_t* lut) {
        const std::uint8_t *r = source[0], *g = source[1], *b = source[2];
        const std::uint8_t* a = Carry ? source[3] : nullptr;
        for (std::uint32_t i = 0; i < count; ++i, q += TS) {
            q[X ? 2 : 0] = lut[r[i]];
            q[1] = lut[g[i]];
            q[X ? 0 : 2] = lut[b[i]];
            if constexpr (Carry) q[3] = a[i];
        }
    }
};
constexpr auto kPlanarRGB8 = KernelTable<PlanarRGB8>(std::make_index_sequence<8>{});

#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
#define ORV_X86_KERNELS 1

bool HasSSSE3() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}

// Reorders groups of four pixels with one byte shuffle; returns the pixels
// done. Each store writes 16 bytes of which the last four belong to pixels
// that a later store or the caller's tail writes again, so the loop stops
// while at least two pixels remain and never writes past the row.
template <unsigned SS>
__attribute__((target("ssse3"))) std::uint32_t ShuffleRowSSSE3(const std::uint8_t* p, std::uint8_t* q,
                                                               std::uint32_t count, __m128i order) {
    std::uint32_t i = 0;
    for (; i + 6 <= count; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + SS * static_cast<std::size_t>(i)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q + 3 * static_cast<std::size_t>(i)), _mm_shuffle_epi8(v, order));
    }
    return i;
}

bool HasAVX2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// Swaps red and blue of three-byte pixels, four a step: lanes 12..15 copy
// the next pixel's bytes unchanged (see above). Each block is loaded before
// the one behind it is stored, so the row may be converted in place.
__attribute__((target("ssse3"))) std::uint32_t ExchangeRedBlue3(const std::uint8_t* p, std::uint8_t* q,
                                                                std::uint32_t count) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
    if (count < 6) return 0;
    std::uint32_t i = 0;
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    for (; i + 10 <= count; i += 4) {
        const __m128i next =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * static_cast<std::size_t>(i) + 12));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q + 3 * static_cast<std::size_t>(i)), _mm_shuffle_epi8(v, order));
        v = next;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q + 3 * static_cast<std::size_t>(i)), _mm_shuffle_epi8(v, order));
    return i + 4;
}

// The same, eight pixels a step: the 32 bytes loaded are spread so that each
// 128-bit lane holds four pixels, swapped, packed back, and the last eight
// bytes of the store carry the next pixels' bytes unchanged. Loads run one
// step ahead of stores, as above; stops while at least three pixels remain.
__attribute__((target("avx2"))) std::uint32_t ExchangeRedBlue3AVX2(const std::uint8_t* p, std::uint8_t* q,
                                                                   std::uint32_t count) {
    const __m256i order = _mm256_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15, 2, 1, 0, 5, 4, 3, 8,
                                           7, 6, 11, 10, 9, 12, 13, 14, 15);
    const __m256i spread = _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6);
    const __m256i pack = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    if (count < 11) return 0;
    std::uint32_t i = 0;
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    for (;;) {
        const bool more = i + 19 <= count;
        const __m256i next =
            more ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 3 * static_cast<std::size_t>(i) + 24))
                 : v;
        __m256i w = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(v, spread), order);
        w = _mm256_blend_epi32(_mm256_permutevar8x32_epi32(w, pack), v, 0xC0);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(q + 3 * static_cast<std::size_t>(i)), w);
        i += 8;
        if (!more) break;
        v = next;
    }
    return i;
}

__attribute__((target("ssse3"))) std::uint32_t DropAlpha(const std::uint8_t* p, std::uint8_t* q, std::uint32_t count,
                                                         bool exchange) {
    const __m128i order = exchange ? _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1)
                                   : _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    return ShuffleRowSSSE3<4>(p, q, count, order);
}

// Swaps bytes 0 and 2 of every 32-bit pixel (SSE2, always present on x86-64).
std::uint32_t ExchangeRedBlue4(const std::uint8_t* p, std::uint8_t* q, std::uint32_t count) {
    const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF00FF00u));
    const __m128i low = _mm_set1_epi32(0xFF);
    const __m128i third = _mm_set1_epi32(0xFF0000);
    std::uint32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * static_cast<std::size_t>(i)));
        const __m128i w = _mm_or_si128(_mm_and_si128(v, keep),
                                       _mm_or_si128(_mm_and_si128(_mm_srli_epi32(v, 16), low),
                                                    _mm_and_si128(_mm_slli_epi32(v, 16), third)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q + 4 * static_cast<std::size_t>(i)), w);
    }
    return i;
}
#endif

// Whole-row 8-bit copies and reorders without gamma; false when the
// configuration has no such kernel. Rows whose pixels keep their size are
// always done here, and may be converted in place.
bool ReorderRow8(const std::uint8_t* p, std::uint8_t* q, std::uint32_t count, unsigned ss, unsigned ts, bool exchange) {
    if (ss == ts && !exchange) {
        std::memmove(q, p, static_cast<std::size_t>(count) * ss);
        return true;
    }
    std::uint32_t done = 0;
#ifdef ORV_X86_KERNELS
    if (ss == 3 && ts == 3 && HasAVX2()) done = ExchangeRedBlue3AVX2(p, q, count);
    if (ss == 3 && ts == 3 && HasSSSE3()) {
        const std::size_t at = static_cast<std::size_t>(done) * 3;
        done += ExchangeRedBlue3(p + at, q + at, count - done);
    } else if (ss == 4 && ts == 3 && HasSSSE3()) {
        done = DropAlpha(p, q, count, exchange);
    } else if (ss == 4 && ts == 4) {
        done = ExchangeRedBlue4(p, q, count);
    }
#endif
    if (ss == ts) {
        // Each pixel is read whole before it is written.
        for (std::uint32_t i = done; i < count; ++i) {
            const std::size_t at = static_cast<std::size_t>(i) * ss;
            const std::uint8_t first = p[at];
            q[at] = p[at + 2];
            q[at + 1] = p[at + 1];
            q[at + 2] = first;
            if (ss == 4) q[at + 3] = p[at + 3];
        }
        return true;
    }
    if (done == 0) return false;
    if (done < count) {
        const std::uint8_t* rest = p + static_cast<std::size_t>(done) * ss;
        const unsigned index = (ss == 4 ? 4u : 0u) | (ts == 4 ? 8u : 0u) | (exchange ? 16u : 0u);
        kInterleavedRGB[index](&rest, q + static_cast<std::size_t>(done) * ts, count - done, kIdentity.data());
    }
    return true;
}

}  // namespace

template <bool Exchange>
bool TColorManager::FastRGBRow(const std::uint8_t* const* source, std::size_t sources, std::uint8_t* target,
                               std::uint32_t count) {
    const bool srcAlpha = SourceFlags & cfAlpha;
    const bool tgtAlpha = TargetFlags & cfAlpha;
    const bool swap = SourceFlags & cfByteSwap;
    const bool gamma = TargetFlags & cfGamma;
    const bool wideSource = sourceBits_ == 16, wideTarget = targetBits_ == 16;
    const std::uint8_t* lut = gamma ? gammaTable8_.data() : kIdentity.data();
    if (sources == 1) {
        if (!wideSource && !wideTarget && !gamma &&
            ReorderRow8(source[0], target, count, srcAlpha ? 4 : 3, tgtAlpha ? 4 : 3, Exchange))
            return true;
        const unsigned index = (wideSource ? 1u : 0u) | (wideTarget ? 2u : 0u) | (srcAlpha ? 4u : 0u) |
                               (tgtAlpha ? 8u : 0u) | (Exchange ? 16u : 0u) | (swap && wideSource ? 32u : 0u);
        kInterleavedRGB[index](source, target, count, lut);
        return true;
    }
    if (wideSource || wideTarget) return false;
    const bool carry = srcAlpha && tgtAlpha;
    kPlanarRGB8[(tgtAlpha ? 1u : 0u) | (carry ? 2u : 0u) | (Exchange ? 4u : 0u)](source, target, count, lut);
    return true;
}

bool TColorManager::ConvertsInPlace() {
    EnsureConverter();
    // ConvertRGBFamily then takes FastRGBRow, whose ReorderRow8 does every
    // row of pixels that keep their size.
    const bool srcAlpha = SourceFlags & cfAlpha;
    const bool tgtAlpha = TargetFlags & cfAlpha;
    return family_ == Family::RGB && fastPaths_ && sourceBits_ == 8 && targetBits_ == 8 &&
           !(TargetFlags & cfGamma) && srcAlpha == tgtAlpha;
}

// Red/green/blue in either order, with or without alpha, 8 or 16 bits.
template <bool Exchange>
void TColorManager::ConvertRGBFamily(const std::uint8_t* const* source, std::size_t sources, std::uint8_t* target,
                                     std::uint32_t count, std::uint8_t mask) {
    if (fastPaths_ && mask == 0xFF && FastRGBRow<Exchange>(source, sources, target, count)) return;
    const bool srcAlpha = SourceFlags & cfAlpha;
    const bool tgtAlpha = TargetFlags & cfAlpha;
    const bool carry = srcAlpha && tgtAlpha;
    const bool swap = SourceFlags & cfByteSwap;
    const bool gamma = TargetFlags & cfGamma;
    const std::size_t sb = sourceBits_ == 16 ? 2 : 1;
    const std::size_t tb = targetBits_ == 16 ? 2 : 1;
    const std::size_t srcStep = (srcAlpha ? 4 : 3) * sb;
    const std::size_t tgtStep = (tgtAlpha ? 4 : 3) * tb;
    const std::size_t o0 = (Exchange ? 2 : 0) * tb, o1 = tb, o2 = (Exchange ? 0 : 2) * tb, o3 = 3 * tb;
    const std::uint8_t* lut = gamma ? gammaTable8_.data() : kIdentity.data();

    auto run = [&](auto color, auto alpha) {
        if (sources == 1) {
            const std::uint8_t* p = source[0];
            ForEachSelected(count, mask, [&](std::uint32_t i) {
                std::uint8_t* q = target + i * tgtStep;
                color(p, q + o0);
                color(p + sb, q + o1);
                color(p + 2 * sb, q + o2);
                if (carry) alpha(p + 3 * sb, q + o3);
                p += srcStep;
            });
        } else {
            const std::uint8_t *p0 = source[0], *p1 = source[1], *p2 = source[2];
            const std::uint8_t* p3 = carry ? source[3] : nullptr;
            ForEachSelected(count, mask, [&](std::uint32_t i) {
                std::uint8_t* q = target + i * tgtStep;
                color(p0, q + o0);
                color(p1, q + o1);
                color(p2, q + o2);
                p0 += sb;
                p1 += sb;
                p2 += sb;
                if (carry) {
                    alpha(p3, q + o3);
                    p3 += sb;
                }
            });
        }
    };

    if (sb == 1 && tb == 1) {
        run([&](const std::uint8_t* p, std::uint8_t* q) { *q = lut[*p]; },
            [](const std::uint8_t* p, std::uint8_t* q) { *q = *p; });
    } else if (sb == 1) {
        // 16-bit output follows the source byte order as well.
        run([&](const std::uint8_t* p, std::uint8_t* q) {
                const std::uint16_t w = Widen(lut[*p]);
                WriteWord(q, swap ? SwapWord(w) : w);
            },
            [&](const std::uint8_t* p, std::uint8_t* q) {
                const std::uint16_t w = Widen(*p);
                WriteWord(q, swap ? SwapWord(w) : w);
            });
    } else if (tb == 1) {
        run([&](const std::uint8_t* p, std::uint8_t* q) {
                const std::uint8_t v = WordToByte(ReadSample16(p, swap));
                *q = gamma ? lut[v] : v;
            },
            [&](const std::uint8_t* p, std::uint8_t* q) { *q = WordToByte(ReadSample16(p, swap)); });
    } else {
        auto copy = [&](const std::uint8_t* p, std::uint8_t* q) { WriteWord(q, ReadSample16(p, swap)); };
        run(copy, copy);
    }
}

template void TColorManager::ConvertRGBFamily<false>(const std::uint8_t* const*, std::size_t, std::uint8_t*,
                                                     std::uint32_t, std::uint8_t);
template void TColorManager::ConvertRGBFamily<true>(const std::uint8_t* const*, std::size_t, std::uint8_t*,
                                                    std::uint32_t, std::uint8_t);

namespace {

// The chroma tables of the manager, read by the YCbCr kernels.
struct ChromaTables {
    const std::int32_t* crToRed;
    const std::int32_t* cbToBlue;
    const std::int32_t* crToGreen;
    const std::int32_t* cbToGreen;
};

// YCbCr or Photo-CD YCC to 8 bits. I: bit 0 BGR order, bit 1 planes, bit 2
// target alpha, bit 3 16-bit source, bit 4 byte swap.
template <unsigned I>
struct YCbCrTo8 {
    static constexpr bool BGR = (I & 1) != 0, Planar = (I & 2) != 0, Swap = (I & 16) != 0;
    static constexpr unsigned TS = (I & 4) ? 4 : 3, SB = (I & 8) ? 2 : 1, Step = Planar ? SB : 3 * SB;
    static void Run(const std::uint8_t* const* source, std::uint8_t* q, std::uint32_t count, const ChromaTables& t) {
        const std::uint8_t* py = source[0];
        const std::uint8_t* pb = Planar ? source[1] : source[0] + SB;
        const std::uint8_t* pr = Planar ? source[2] : source[0] + 2 * SB;
        auto sample = [](const std::uint8_t* p) -> std::int32_t {
            if constexpr (SB == 1) return *p;
            else return NarrowWord(LoadWord<Swap>(p));
        };
        for (std::uint32_t i = 0; i < count; ++i, py += Step, pb += Step, pr += Step, q += TS) {
            const std::int32_t y = sample(py), cb = sample(pb), cr = sample(pr);
            const std::uint8_t r = ClampToByte(y + t.crToRed[cr]);
            const std::uint8_t g = ClampToByte(y + t.cbToGreen[cb] + t.crToGreen[cr]);
            const std::uint8_t b = ClampToByte(y + t.cbToBlue[cb]);
            q[0] = BGR ? b : r;
            q[1] = g;
            q[2] = BGR ? r : b;
        }
    }
};
constexpr auto kYCbCrTo8 = KernelTable<YCbCrTo8>(std::make_index_sequence<32>{});

// 8-bit CMYK to 8 bits. I: bit 0 BGR order, bit 1 planes, bit 2 target alpha.
template <unsigned I>
struct CMYK8 {
    static constexpr bool BGR = (I & 1) != 0, Planar = (I & 2) != 0;
    static constexpr unsigned TS = (I & 4) ? 4 : 3, Step = Planar ? 1 : 4;
    static void Run(const std::uint8_t* const* source, std::uint8_t* q, std::uint32_t count) {
        const std::uint8_t* pc = source[0];
        const std::uint8_t* pm = Planar ? source[1] : source[0] + 1;
        const std::uint8_t* py = Planar ? source[2] : source[0] + 2;
        const std::uint8_t* pk = Planar ? source[3] : source[0] + 3;
        for (std::uint32_t i = 0; i < count; ++i, q += TS) {
            const std::size_t at = static_cast<std::size_t>(i) * Step;
            const std::uint32_t k = pk[at];
            auto ink = [k](std::uint32_t x) {
                return ClampToByte(255 - static_cast<std::int32_t>(x - x * k / 255 + k));
            };
            const std::uint8_t r = ink(pc[at]), g = ink(pm[at]), b = ink(py[at]);
            q[0] = BGR ? b : r;
            q[1] = g;
            q[2] = BGR ? r : b;
        }
    }
};
constexpr auto kCMYK8 = KernelTable<CMYK8>(std::make_index_sequence<8>{});

#ifdef ORV_X86_KERNELS
// Interleaved 8-bit CMYK to three bytes, four pixels a step in 16-bit lanes:
// x * k <= 65025 fits a lane, (n + 1 + (n >> 8)) >> 8 is n div 255 for such
// n, and 255 - (x - t + k) stays within 0..255, so the saturating pack gives
// what the clamp gives. Stores follow the convention of ShuffleRowSSSE3.
__attribute__((target("ssse3"))) std::uint32_t CMYKToRGB3(const std::uint8_t* p, std::uint8_t* q,
                                                          std::uint32_t count, bool bgr) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi16(1);
    const __m128i full = _mm_set1_epi16(255);
    const __m128i order = bgr ? _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1)
                              : _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    auto convert = [&](__m128i x) {
        const __m128i k = _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0xFF), 0xFF);
        const __m128i n = _mm_mullo_epi16(x, k);
        const __m128i t = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(n, one), _mm_srli_epi16(n, 8)), 8);
        return _mm_sub_epi16(full, _mm_add_epi16(_mm_sub_epi16(x, t), k));
    };
    std::uint32_t i = 0;
    for (; i + 6 <= count; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * static_cast<std::size_t>(i)));
        const __m128i rgb = _mm_packus_epi16(convert(_mm_unpacklo_epi8(v, zero)), convert(_mm_unpackhi_epi8(v, zero)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q + 3 * static_cast<std::size_t>(i)), _mm_shuffle_epi8(rgb, order));
    }
    return i;
}
#endif

}  // namespace

template <bool BGR>
bool TColorManager::FastYCbCrRow(const std::uint8_t* const* source, std::size_t sources, std::uint8_t* target,
                                 std::uint32_t count) {
    if (targetBits_ != 8) return false;
    const bool wide = sourceBits_ == 16;
    const unsigned index = (BGR ? 1u : 0u) | (sources > 1 ? 2u : 0u) | ((TargetFlags & cfAlpha) ? 4u : 0u) |
                           (wide ? 8u : 0u) | (wide && (SourceFlags & cfByteSwap) ? 16u : 0u);
    kYCbCrTo8[index](source, target, count,
                     ChromaTables{crToRed_.data(), cbToBlue_.data(), crToGreen_.data(), cbToGreen_.data()});
    return true;
}

template <bool BGR>
bool TColorManager::FastCMYKRow(const std::uint8_t* const* source, std::size_t sources, std::uint8_t* target,
                                std::uint32_t count) {
    if (sourceBits_ != 8 || targetBits_ != 8) return false;
    const bool planar = sources == 4, alpha = TargetFlags & cfAlpha;
    const auto kernel = kCMYK8[(BGR ? 1u : 0u) | (planar ? 2u : 0u) | (alpha ? 4u : 0u)];
    std::uint32_t done = 0;
#ifdef ORV_X86_KERNELS
    if (!planar && !alpha && HasSSSE3()) done = CMYKToRGB3(source[0], target, count, BGR);
#endif
    const std::uint8_t* rest = source[0] + 4 * static_cast<std::size_t>(done);
    kernel(planar ? source : &rest, target + 3 * static_cast<std::size_t>(done), count - done);
    return true;
}

// Cyan, magenta, yellow, black: four planes or four interleaved samples.
template <bool BGR>
void TColorManager::ConvertCMYK(const std::uint8_t* const* source, std::size_t sources, std::uint8_t* target,
                                std::uint32_t count, std::uint8_t mask) {
    if (fastPaths_ && mask == 0xFF && FastCMYKRow<BGR>(source, sources, target, count)) return;
    const bool planar = sources == 4;
    const bool swap = SourceFlags & cfByteSwap;
    const std::size_t sb = sourceBits_ == 16 ? 2 : 1;
    const bool wide = targetBits_ == 16;
    const std::size_t tgtStep = ((TargetFlags & cfAlpha) ? 4 : 3) * (wide ? 2 : 1);
    std::array<const std::uint8_t*, 4> p{source[0], source[0] + sb, source[0] + 2 * sb, source[0] + 3 * sb};
    if (planar) p = {source[0], source[1], source[2], source[3]};
    const std::size_t step = planar ? sb : 4 * sb;

    ForEachSelected(count, mask, [&](std::uint32_t i) {
        std::uint8_t* q = target + i * tgtStep;
        std::array<std::uint32_t, 3> rgb{};
        if (sb == 1) {
            const std::int32_t k = p[3][0];
            for (int c = 0; c < 3; ++c) {
                const std::int32_t x = p[c][0];
                const std::int32_t t = MulDivWord(x, k, 255);
                const std::uint8_t v = ClampToByte(255 - (x - t + k));
                rgb[c] = wide ? Widen(v) : v;
            }
        } else {
            const std::uint32_t k = ReadSample16(p[3], swap);
            for (int c = 0; c < 3; ++c) {
                const std::uint32_t x = ReadSample16(p[c], swap);
                const std::uint32_t t = MulDivWord(x, k, 65535);
                const std::uint32_t s = (x - t + k) & 0xFFFFu;
                if (wide) rgb[c] = (65535u - s) & 0xFFFFu;
                else rgb[c] = ClampToByte(255 - static_cast<std::int32_t>(s * 255u / 65535u));
            }
        }
        PutColor<BGR>(q, wide, rgb[0], rgb[1], rgb[2]);
        for (auto& ptr : p) ptr += step;
    });
}

template void TColorManager::ConvertCMYK<false>(const std::uint8_t* const*, std::size_t, std::uint8_t*,
                                                std::uint32_t, std::uint8_t);
template void TColorManager::ConvertCMYK<true>(const std::uint8_t* const*, std::size_t, std::uint8_t*,
                                               std::uint32_t, std::uint8_t);

// CIE L*a*b* to RGB, computed in extended precision.
template <bool BGR>
void TColorManager::ConvertLab(const std::uint8_t* const* source, std::size_t sources, std::uint8_t* target,
                               std::uint32_t count, std::uint8_t mask) {
    const bool planar = sources > 1;
    const bool scaledL = SourceFlags & cfLabScaledL;
    const bool offsetAB = SourceFlags & cfLabOffsetAB;
    const bool swap = SourceFlags & cfByteSwap;
    const std::size_t sb = sourceBits_ == 16 ? 2 : 1;
    const bool wide = targetBits_ == 16;
    const std::size_t tgtStep = ((TargetFlags & cfAlpha) ? 4 : 3) * (wide ? 2 : 1);
    std::array<const std::uint8_t*, 3> p{source[0], source[0] + sb, source[0] + 2 * sb};
    if (planar) p = {source[0], source[1], source[2]};
    const std::size_t step = planar ? sb : 3 * sb;

    ForEachSelected(count, mask, [&](std::uint32_t i) {
        long double L, A, B;
        if (sb == 1) {
            L = p[0][0];
            if (scaledL) L /= 2.55L;
            A = offsetAB ? static_cast<long double>(p[1][0]) - 128 : static_cast<std::int8_t>(p[1][0]);
            B = offsetAB ? static_cast<long double>(p[2][0]) - 128 : static_cast<std::int8_t>(p[2][0]);
        } else {
            // 16-bit samples: L* spans the whole word range for 0..100, a* and
            // b* carry 8 fraction bits (signed, or offset by 32768).
            const std::uint16_t l = ReadSample16(p[0], swap);
            const std::uint16_t a = ReadSample16(p[1], swap);
            const std::uint16_t b = ReadSample16(p[2], swap);
            L = l * 100.0L / 65535.0L;
            A = (offsetAB ? static_cast<long double>(a) - 32768 : static_cast<std::int16_t>(a)) / 256.0L;
            B = (offsetAB ? static_cast<long double>(b) - 32768 : static_cast<std::int16_t>(b)) / 256.0L;
        }
        long double X, Y, Z;
        if (L < 7.9996L) {
            Y = L / 903.3L;
            X = Y + A / 3893.5L;
            Z = Y - B / 1557.4L;
        } else {
            const long double F = (L + 16) / 116;
            const long double fx = F + A / 500;
            const long double fz = F - B / 200;
            X = fx * fx * fx;
            Y = F * F * F;
            Z = fz * fz * fz;
        }
        auto toByte = [](long double v) {
            v *= 255;
            if (!(v > -1.0L)) return std::uint8_t{0};
            if (v > 1000.0L) return std::uint8_t{255};
            // lrint rounds halves to even like nearbyint, without its slow
            // floating-point environment handling.
            return ClampToByte(static_cast<std::int32_t>(std::lrint(v)));
        };
        const std::uint8_t blue = toByte(0.099L * X - 0.198L * Y + 1.099L * Z);
        const std::uint8_t green = toByte(-0.952L * X + 1.893L * Y + 0.059L * Z);
        const std::uint8_t red = toByte(2.998L * X - 1.458L * Y - 0.541L * Z);
        std::uint8_t* q = target + i * tgtStep;
        if (wide) PutColor<BGR>(q, true, Widen(red), Widen(green), Widen(blue));
        else PutColor<BGR>(q, false, red, green, blue);
        for (auto& ptr : p) ptr += step;
    });
}

template void TColorManager::ConvertLab<false>(const std::uint8_t* const*, std::size_t, std::uint8_t*,
                                               std::uint32_t, std::uint8_t);
template void TColorManager::ConvertLab<true>(const std::uint8_t* const*, std::size_t, std::uint8_t*,
                                              std::uint32_t, std::uint8_t);

// Luma and two chroma samples (YCbCr or Photo-CD YCC) to RGB through the
// chroma tables; one Cb and one Cr per pixel.
template <bool BGR>
void TColorManager::ConvertYCbCr(const std::uint8_t* const* source, std::size_t sources, std::uint8_t* target,
                                 std::uint32_t count, std::uint8_t mask) {
    if (fastPaths_ && mask == 0xFF && FastYCbCrRow<BGR>(source, sources, target, count)) return;
    const bool planar = sources > 1;
    const bool swap = SourceFlags & cfByteSwap;
    const std::size_t sb = sourceBits_ == 16 ? 2 : 1;
    const bool wide = targetBits_ == 16;
    const bool photo = sourceModel_ == TColorModel::cmPhotoYCC;
    const std::size_t tgtStep = ((TargetFlags & cfAlpha) ? 4 : 3) * (wide ? 2 : 1);
    std::array<const std::uint8_t*, 3> p{source[0], source[0] + sb, source[0] + 2 * sb};
    if (planar) p = {source[0], source[1], source[2]};
    const std::size_t step = planar ? sb : 3 * sb;
    const std::int32_t* crToRed = crToRed_.data();
    const std::int32_t* cbToBlue = cbToBlue_.data();
    const std::int32_t* crToGreen = crToGreen_.data();
    const std::int32_t* cbToGreen = cbToGreen_.data();

    ForEachSelected(count, mask, [&](std::uint32_t i) {
        std::uint8_t* q = target + i * tgtStep;
        if (sb == 2 && wide) {
            // Full 16-bit precision; results clamp to the word range.
            const double y = ReadSample16(p[0], swap);
            const double cb = ReadSample16(p[1], swap);
            const double cr = ReadSample16(p[2], swap);
            double r, g, b;
            if (photo) {
                const double luma = y * 1.3584;
                b = luma + 2.2179 * (cb - 40092);
                r = luma + 1.8215 * (cr - 35209);
                g = luma - 0.9271435 * (cr - 35209) - 0.4302726 * (cb - 40092);
            } else {
                const auto finite = [](float f) { return std::isfinite(f) ? static_cast<double>(f) : 0.0; };
                r = y + finite(redFactor_) * (cr - 32768);
                b = y + finite(blueFactor_) * (cb - 32768);
                g = y - finite(greenFromCr_) * (cr - 32768) - finite(greenFromCb_) * (cb - 32768);
            }
            PutColor<BGR>(q, true, ClampToWord(r), ClampToWord(g), ClampToWord(b));
        } else {
            std::int32_t y, cb, cr;
            if (sb == 1) {
                y = p[0][0];
                cb = p[1][0];
                cr = p[2][0];
            } else {
                y = WordToByte(ReadSample16(p[0], swap));
                cb = WordToByte(ReadSample16(p[1], swap));
                cr = WordToByte(ReadSample16(p[2], swap));
            }
            const std::uint8_t r = ClampToByte(y + crToRed[cr]);
            const std::uint8_t g = ClampToByte(y + cbToGreen[cb] + crToGreen[cr]);
            const std::uint8_t b = ClampToByte(y + cbToBlue[cb]);
            if (wide) PutColor<BGR>(q, true, Widen(r), Widen(g), Widen(b));
            else PutColor<BGR>(q, false, r, g, b);
        }
        for (auto& ptr : p) ptr += step;
    });
}

template void TColorManager::ConvertYCbCr<false>(const std::uint8_t* const*, std::size_t, std::uint8_t*,
                                                 std::uint32_t, std::uint8_t);
template void TColorManager::ConvertYCbCr<true>(const std::uint8_t* const*, std::size_t, std::uint8_t*,
                                                std::uint32_t, std::uint8_t);

namespace {

// Gray, or gray with alpha, with a 16-bit side. I: bit 0 16-bit source,
// bit 1 16-bit target, bit 2 source alpha, bit 3 byte swap.
template <unsigned I>
struct GrayRow {
    static constexpr unsigned SB = (I & 1) ? 2 : 1, TB = (I & 2) ? 2 : 1, Step = ((I & 4) ? 2 : 1) * SB;
    static constexpr bool Swap = (I & 8) != 0;
    static void Run(const std::uint8_t* p, std::uint8_t* q, std::uint32_t count) {
        for (std::uint32_t i = 0; i < count; ++i, p += Step, q += TB) PutAlpha<SB, TB, Swap>(p, q);
    }
};
constexpr auto kGrayRow = KernelTable<GrayRow>(std::make_index_sequence<16>{});

// For 1, 2 and 4 bits: the 8-bit values of the fields of each source byte.
template <unsigned Bits>
constexpr std::array<std::uint8_t, 256 * (8 / Bits)> MakeExpansion() {
    constexpr unsigned per = 8 / Bits, max = (1u << Bits) - 1u;
    std::array<std::uint8_t, 256 * per> table{};
    for (unsigned b = 0; b < 256; ++b)
        for (unsigned k = 0; k < per; ++k)
            table[b * per + k] = static_cast<std::uint8_t>(((b >> (8 - Bits * (k + 1))) & max) * 255u / max);
    return table;
}

template <unsigned Bits>
void ExpandTo8(const std::uint8_t* p, std::uint8_t* q, std::uint32_t count) {
    static constexpr auto table = MakeExpansion<Bits>();
    constexpr unsigned per = 8 / Bits;
    const std::uint32_t whole = count / per;
    for (std::uint32_t i = 0; i < whole; ++i, q += per) std::memcpy(q, &table[p[i] * per], per);
    if (const unsigned rest = count % per; rest != 0) std::memcpy(q, &table[p[whole] * per], rest);
}

}  // namespace

// Gray with a 16-bit side, and gray with alpha (the alpha is dropped).
void TColorManager::ConvertGray(const std::uint8_t* const* source, std::size_t, std::uint8_t* target,
                                std::uint32_t count, std::uint8_t mask) {
    const bool swap = SourceFlags & cfByteSwap;
    const std::size_t sb = sourceBits_ == 16 ? 2 : 1;
    const std::size_t tb = targetBits_ == 16 ? 2 : 1;
    if (fastPaths_ && mask == 0xFF) {
        const unsigned index = (sb == 2 ? 1u : 0u) | (tb == 2 ? 2u : 0u) | ((SourceFlags & cfAlpha) ? 4u : 0u) |
                               (swap && sb == 2 ? 8u : 0u);
        kGrayRow[index](source[0], target, count);
        return;
    }
    const std::size_t step = ((SourceFlags & cfAlpha) ? 2 : 1) * sb;
    const std::uint8_t* p = source[0];
    ForEachSelected(count, mask, [&](std::uint32_t i) {
        std::uint8_t* q = target + i * tb;
        if (sb == 1 && tb == 1) *q = *p;
        else if (sb == 1) WriteWord(q, Widen(*p));  // never swapped
        else if (tb == 1) *q = WordToByte(ReadSample16(p, swap));
        else WriteWord(q, ReadSample16(p, swap));
        p += step;
    });
}

namespace {

// Reads consecutive fields of `bits` bits, most significant first.
class BitReader {
public:
    BitReader(const std::uint8_t* data, unsigned bits) : p_(data), bits_(bits), mask_((1u << bits) - 1u) {}
    unsigned Next() {
        shift_ -= static_cast<int>(bits_);
        const unsigned v = (*p_ >> shift_) & mask_;
        if (shift_ == 0) {
            shift_ = 8;
            ++p_;
        }
        return v;
    }

private:
    const std::uint8_t* p_;
    unsigned bits_;
    unsigned mask_;
    int shift_ = 8;
};

// Stores fields of `bits` bits into a packed row, leaving other bits alone.
inline void PutField(std::uint8_t* row, std::uint32_t index, unsigned bits, unsigned value) {
    const unsigned perByte = 8 / bits;
    std::uint8_t* q = row + index / perByte;
    const unsigned shift = 8 - bits * (index % perByte + 1);
    const unsigned fieldMask = ((1u << bits) - 1u) << shift;
    *q = static_cast<std::uint8_t>((*q & ~fieldMask) | ((value << shift) & fieldMask));
}

}  // namespace

// Indexed or gray samples of 1, 2, 4 or 8 bits, rescaled to the target depth.
void TColorManager::ConvertIndexed(const std::uint8_t* const* source, std::size_t, std::uint8_t* target,
                                   std::uint32_t count, std::uint8_t mask) {
    const unsigned s = sourceBits_, t = targetBits_;
    if (s == t && mask == 0xFF) {
        std::memcpy(target, source[0], (static_cast<std::size_t>(count) * s + 7) / 8);
        return;
    }
    if (fastPaths_ && mask == 0xFF && t == 8) {
        if (s == 1) return ExpandTo8<1>(source[0], target, count);
        if (s == 2) return ExpandTo8<2>(source[0], target, count);
        if (s == 4) return ExpandTo8<4>(source[0], target, count);
    }
    const unsigned sMax = (1u << s) - 1u, tMax = (1u << t) - 1u;
    BitReader in(source[0], s);
    if (t == 8) {
        ForEachSelected(count, mask, [&](std::uint32_t i) { target[i] = static_cast<std::uint8_t>(MulDivWord(in.Next(), tMax, sMax)); });
    } else {
        ForEachSelected(count, mask, [&](std::uint32_t i) { PutField(target, i, t, MulDivWord(in.Next(), tMax, sMax)); });
    }
}

void TColorManager::ConvertIndexedWordToWord(const std::uint8_t* const* source, std::size_t, std::uint8_t* target,
                                             std::uint32_t count, std::uint8_t mask) {
    const bool swap = SourceFlags & cfByteSwap;
    if (!swap && mask == 0xFF) {
        std::memcpy(target, source[0], static_cast<std::size_t>(count) * 2);
        return;
    }
    const std::uint8_t* p = source[0];
    ForEachSelected(count, mask, [&](std::uint32_t i) {
        WriteWord(target + 2 * static_cast<std::size_t>(i), ReadSample16(p, swap));
        p += 2;
    });
}

void TColorManager::ConvertIndexedWordToBits(const std::uint8_t* const* source, std::size_t, std::uint8_t* target,
                                             std::uint32_t count, std::uint8_t mask) {
    const bool swap = SourceFlags & cfByteSwap;
    const unsigned t = targetBits_;
    const unsigned tMax = (1u << t) - 1u;
    const std::uint8_t* p = source[0];
    if (fastPaths_ && mask == 0xFF && t == 8) {
        kGrayRow[1u | (swap ? 8u : 0u)](p, target, count);  // the same narrowing as 16-bit gray
        return;
    }
    ForEachSelected(count, mask, [&](std::uint32_t i) {
        const unsigned v = ReadSample16(p, swap) * tMax / 65535u;
        p += 2;
        if (t == 8) target[i] = static_cast<std::uint8_t>(v);
        else PutField(target, i, t, v);
    });
}

void TColorManager::ConvertIndexedBitsToWord(const std::uint8_t* const* source, std::size_t, std::uint8_t* target,
                                             std::uint32_t count, std::uint8_t mask) {
    const bool swap = SourceFlags & cfByteSwap;
    const unsigned s = sourceBits_;
    const unsigned sMax = (1u << s) - 1u;
    BitReader in(source[0], s);
    ForEachSelected(count, mask, [&](std::uint32_t i) {
        const std::uint16_t w = MulDivWord(in.Next(), 65535, sMax);
        WriteWord(target + 2 * static_cast<std::size_t>(i), swap ? SwapWord(w) : w);
    });
}

}  // namespace orv
