#include "search/engine/signature.h"

#include <algorithm>
#include <cstring>
#include <cfloat>
#include <exception>

#include "platform/base/stream.h"
#include "search/engine/image_utils.h"
#include "search/engine/signature_kernel.h"

namespace orv {

// ---- making a signature

bool ReduceToSignature(TBitmap& bitmap, std::string& fileBytes) {
    if (bitmap.Width() > kSignatureSide || bitmap.Height() > kSignatureSide)
        AvgResize(bitmap, kSignatureSide, kSignatureSide);
    GrayScaleBitmap(bitmap);
    try {
        TMemoryStream stream;
        bitmap.SaveToStream(stream);
        fileBytes.assign(reinterpret_cast<const char*>(stream.Memory()), stream.Bytes().size());
        return true;
    } catch (const std::exception&) {
        fileBytes.clear();
        return false;
    }
}

std::uint64_t SignatureChecksum(std::string_view bytes) {
    constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;
    auto mix = [](std::uint64_t h, std::uint64_t word) {
        h = (h ^ word) * kMul;
        return h ^ (h >> 32);
    };
    auto word = [&bytes](std::size_t at, std::size_t n) {
        std::uint64_t w = 0;
        std::memcpy(&w, bytes.data() + at, n);
        return w;
    };
    // Four lanes side by side, so the multiplications overlap.
    std::uint64_t lane[4] = {0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull,
                             0x082EFA98EC4E6C89ull};
    std::size_t at = 0;
    for (; at + 32 <= bytes.size(); at += 32)
        for (std::size_t k = 0; k < 4; ++k) lane[k] = mix(lane[k], word(at + 8 * k, 8));
    std::uint64_t h = bytes.size();
    for (const std::uint64_t l : lane) h = mix(h, l);
    for (; at < bytes.size(); at += 8) h = mix(h, word(at, std::min<std::size_t>(8, bytes.size() - at)));
    return mix(h, h >> 29);
}

TPreparedSignature PrepareSignature(const std::string& path) {
    TPreparedSignature prepared;
    try {
        auto bitmap = std::make_unique<TBitmap>();
        prepared.Loaded = LoadPictureToBitmap(path, *bitmap);
        if (!prepared.Loaded) return prepared;
        prepared.Width = bitmap->Width();
        prepared.Height = bitmap->Height();
        if (prepared.Width <= 0 || prepared.Height <= 0) return prepared;
        ReduceToSignature(*bitmap, prepared.FileBytes);
        prepared.Signature = std::move(bitmap);
    } catch (const std::exception&) {
        prepared.Raised = true;
    }
    return prepared;
}

// ---- the score

namespace {

#if LDBL_MANT_DIG != 64
// Where long double has no 64-bit mantissa the score is taken from exact
// integers. The rounded arithmetic differs from them only where the ratio is
// exactly one of these percentages: the rounded quotient lies just below it,
// and so does the rounded product (checked against 80-bit arithmetic by the
// tests for every total up to 80 x 80).
constexpr bool IsRoundedDownPercent(std::int64_t percent) { return percent == 53 || percent == 59; }
#endif

}  // namespace

int ScoreFromCounts(std::int64_t agree, std::int64_t total) {
    if (total <= 0 || agree <= 0) return 0;
#if LDBL_MANT_DIG == 64
    // Each operation rounds to the 64-bit mantissa (see the header).
    const long double quotient = static_cast<long double>(agree) / static_cast<long double>(total);
    const long double product = quotient * 100.0L;
    const auto score = static_cast<std::int64_t>(product);
#else
    auto score = agree * 100 / total;
    if (agree * 100 % total == 0 && IsRoundedDownPercent(score)) --score;
#endif
    return static_cast<int>(std::clamp<std::int64_t>(score, 0, 100));
}

TNeedTable::TNeedTable(int par) : par_(par), need_(static_cast<std::size_t>(kTableTotal) + 1) {
    for (std::int64_t total = 0; total <= kTableTotal; ++total)
        need_[static_cast<std::size_t>(total)] = static_cast<std::int32_t>(Compute(par, total));
}

std::int64_t TNeedTable::Compute(int par, std::int64_t total) {
    if (total <= 0) return par <= 0 ? 0 : 1;
    if (par <= 0) return 0;
    if (par > 100) return total + 1;
    // The score never decreases with the count; start from the exact ratio
    // and step to the first count that reaches par.
    std::int64_t agree = std::min(total, (static_cast<std::int64_t>(par) * total + 99) / 100);
    while (agree > 0 && ScoreFromCounts(agree - 1, total) >= par) --agree;
    while (agree <= total && ScoreFromCounts(agree, total) < par) ++agree;
    return agree;
}

std::int64_t TNeedTable::Need(std::int64_t total) const {
    if (total >= 0 && total <= kTableTotal) return need_[static_cast<std::size_t>(total)];
    return Compute(par_, total);
}

std::int64_t CountAgreePlain(const TGrayView& source, const TGrayView& target) {
    if (source.Empty() || target.Empty()) return 0;
    // Only the part the target covers can agree.
    const int width = std::min(source.width, target.width);
    const int height = std::min(source.height, target.height);
    std::int64_t agree = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (GrayBand(source.Gray(x, y)) == GrayBand(target.Gray(x, y))) ++agree;
    return agree;
}

int CompareBitmaps(const TGrayView& source, const TGrayView& target) {
    if (source.Empty()) return 0;
    const std::int64_t total = static_cast<std::int64_t>(source.width) * source.height;
    return ScoreFromCounts(CountAgreePlain(source, target), total);
}

// ---- the compact form

// The kernels compare three planes.
static_assert(kBandBits == 3);

TCompactSignature::TCompactSignature(const TGrayView& view) {
    if (view.Empty()) return;
    width_ = view.width;
    height_ = view.height;
    const auto pixels = static_cast<std::size_t>(PixelCount());
    planeWords_ = (pixels + 63) / 64;
    // Padding bits stay 0 in every signature; the counts subtract them.
    words_.assign(planeWords_ * kBandBits, 0);
    std::uint64_t* p0 = words_.data();
    std::uint64_t* p1 = p0 + planeWords_;
    std::uint64_t* p2 = p1 + planeWords_;
    // Each word of the three planes is gathered in registers and stored once.
    std::uint64_t w0 = 0, w1 = 0, w2 = 0;
    unsigned bit = 0;
    std::size_t word = 0;
    for (int y = 0; y < height_; ++y) {
        const std::uint8_t* p = view.pixels + static_cast<std::ptrdiff_t>(y) * view.stride;
        for (int x = 0; x < width_; ++x, p += view.bytesPerPixel) {
            const std::uint64_t band = GrayBand(*p);
            w0 |= (band & 1u) << bit;
            w1 |= ((band >> 1) & 1u) << bit;
            w2 |= (band >> 2) << bit;
            if (++bit == 64) {
                p0[word] = w0;
                p1[word] = w1;
                p2[word] = w2;
                ++word;
                bit = 0;
                w0 = w1 = w2 = 0;
            }
        }
    }
    if (bit != 0) {
        p0[word] = w0;
        p1[word] = w1;
        p2[word] = w2;
    }
}

int TCompactSignature::Band(int x, int y) const {
    const auto index = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x);
    const std::size_t word = index / 64;
    const unsigned bit = static_cast<unsigned>(index % 64);
    const std::uint64_t* w = words_.data();
    return static_cast<int>(((w[word] >> bit) & 1u) | (((w[planeWords_ + word] >> bit) & 1u) << 1) |
                            (((w[2 * planeWords_ + word] >> bit) & 1u) << 2));
}

TCompactSignature CompactFromBitmap(TBitmap& bitmap) {
    if (bitmap.Empty()) return {};
    if (bitmap.PixelFormat() != TPixelFormat::pf24bit) bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    return TCompactSignature(TGrayView{bitmap.Bits(), bitmap.Width(), bitmap.Height(),
                                       static_cast<std::ptrdiff_t>(bitmap.RowBytes()), 3});
}

// ---- the score of compact signatures

namespace {

bool SameLayout(const TCompactSignature& a, const TCompactSignature& b) {
    return a.Width() == b.Width() && a.Height() == b.Height();
}

std::int64_t PaddingBits(const TCompactSignature& s) {
    return static_cast<std::int64_t>(s.PlaneWords()) * 64 - s.PixelCount();
}

// Signatures of different sizes: the covered part row by row (need as for
// KernelCountRows).
std::int64_t CountAgreeByRows(const TCompactSignature& source, const TCompactSignature& target, std::int64_t need) {
    const int width = std::min(source.Width(), target.Width());
    const int height = std::min(source.Height(), target.Height());
    return KernelCountRows(source.Words(), source.PlaneWords(), source.Width(), target.Words(), target.PlaneWords(),
                           target.Width(), width, height, need);
}

}  // namespace

std::int64_t CountAgree(const TCompactSignature& source, const TCompactSignature& target) {
    if (source.Empty() || target.Empty()) return 0;
    if (!SameLayout(source, target)) return CountAgreeByRows(source, target, -1);
    const auto agree = KernelCountAgree(source.Words(), target.Words(), source.PlaneWords());
    return static_cast<std::int64_t>(agree) - PaddingBits(source);
}

bool ScoreReaches(const TCompactSignature& source, const TCompactSignature& target, const TNeedTable& need) {
    const std::int64_t total = source.PixelCount();
    const std::int64_t required = need.Need(total);
    if (required <= 0) return true;
    if (required > total || target.Empty()) return false;
    if (!SameLayout(source, target)) return CountAgreeByRows(source, target, required) >= required;
    // Padding bits always agree; ask for them on top.
    const auto bits = static_cast<std::uint64_t>(required + PaddingBits(source));
    return KernelReaches(source.Words(), target.Words(), source.PlaneWords(), bits);
}

int CompareBitmaps(const TCompactSignature& source, const TCompactSignature& target) {
    return ScoreFromCounts(CountAgree(source, target), source.PixelCount());
}

}  // namespace orv
