// The signature of a picture and everything a run does with one: making it
// (a gray bitmap of at most kSignatureSide pixels square), holding it
// compactly in memory, and scoring a pair of them against the threshold.
// The signature store keeps signatures in files and the pair loop compares
// them; both go through this module alone.
//
// Similarity: the share of source pixels whose gray value agrees with the
// target pixel at the same place in its top three bits (its band). The score
// is truncated from a quotient and a product that are each rounded to a
// 64-bit mantissa, so a few exact ratios land one below the integer result
// (53/100 scores 52). Runs never recompute that per pair: a need table
// gives, per pixel total, the smallest agreeing count that reaches the
// threshold, and a pair matches when its count reaches it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture_loader.h"

namespace orv {

// ---- constants

// A picture larger than this in either direction becomes a signature of
// exactly this side square (the aspect is not kept); a smaller one keeps its
// size.
inline constexpr std::int32_t kSignatureSide = 80;
// Pixels of the largest signature.
inline constexpr std::int64_t kSignatureMaxPixels = std::int64_t{kSignatureSide} * kSignatureSide;
// Pixel bytes of the largest signature bitmap (three bytes a pixel).
inline constexpr std::size_t kSignatureBitmapBytes = static_cast<std::size_t>(kSignatureMaxPixels) * 3;

// Two gray values agree when they fall in the same of eight bands of 32
// levels: 0 to 31, 32 to 63, ... So 31 and 32 disagree, 0 and 31 agree.
inline constexpr unsigned kBandShift = 5;
inline constexpr unsigned kBandBits = 8 - kBandShift;
inline constexpr unsigned GrayBand(unsigned gray) { return gray >> kBandShift; }

// ---- making a signature

// The revision of kept signatures: it moves with the pictures' revision
// (kPictureRevision) and with every change to the making of a signature
// (reduction, gray conversion) that gives any picture another signature. A
// kept signature of another revision is made anew. Revision 1 was the first
// kept with the picture's stamp.
inline constexpr std::int32_t kSignatureMakingRevision = 0;
inline constexpr std::uint8_t kSignatureRevision =
    static_cast<std::uint8_t>(1 + kPictureRevision + kSignatureMakingRevision);

// The size the signature of a picture of width x height has.
inline void ExpectedSignatureSize(std::int32_t width, std::int32_t height, std::int32_t& sigWidth,
                                  std::int32_t& sigHeight) {
    if (width > kSignatureSide || height > kSignatureSide) {
        sigWidth = sigHeight = kSignatureSide;
    } else {
        sigWidth = width;
        sigHeight = height;
    }
}

// Turns a loaded bitmap into its signature in place (reduced when a side
// exceeds kSignatureSide, then gray) and gives the signature's bitmap file;
// false when no file could be made of it. A failed reduction or gray
// conversion does not stop it: the signature is the bitmap as it then stands.
bool ReduceToSignature(TBitmap& bitmap, std::string& fileBytes);

// A checksum of a signature file's bytes. The index keeps it with the
// file's record, so a file read again is known to be the one written for
// the record (its length is part of it).
std::uint64_t SignatureChecksum(std::string_view bytes);

// A picture loaded and reduced to its signature, ready to be stored. Made on
// any thread: it touches nothing of the run.
struct TPreparedSignature {
    bool Loaded = false;        // the loader answered true
    bool Raised = false;        // a failure was raised on the way
    std::int32_t Width = 0;     // as loaded
    std::int32_t Height = 0;
    std::unique_ptr<TBitmap> Signature;  // the signature bitmap
    std::string FileBytes;      // its bitmap file; empty when it could not be made
};
TPreparedSignature PrepareSignature(const std::string& path);

// ---- a signature's pixels

// A gray signature as pixels in memory: the first byte of each pixel holds
// the gray value (the signature bitmaps are 24-bit with three equal bytes).
struct TGrayView {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;  // bytes from one row to the next
    int bytesPerPixel = 3;

    std::uint8_t Gray(int x, int y) const {
        return pixels[static_cast<std::ptrdiff_t>(y) * stride + static_cast<std::ptrdiff_t>(x) * bytesPerPixel];
    }
    bool Empty() const { return pixels == nullptr || width <= 0 || height <= 0; }
};

// Cache-line aligned storage for the planes, so that no vector load of the
// kernel straddles two lines.
template <typename T>
struct TCacheLineAllocator {
    using value_type = T;
    static constexpr std::size_t kAlignment = 64;
    TCacheLineAllocator() = default;
    template <typename U>
    TCacheLineAllocator(const TCacheLineAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t{kAlignment}));
    }
    void deallocate(T* p, std::size_t) noexcept { ::operator delete(p, std::align_val_t{kAlignment}); }
    template <typename U>
    bool operator==(const TCacheLineAllocator<U>&) const noexcept { return true; }
};

// A signature held as its bands: kBandBits bit-planes (the band's lowest bit
// first), pixels in row order, 64 to a word: 2,400 bytes for 80 x 80 instead
// of the 19,200 of the bitmap, with identical scores.
class TCompactSignature {
public:
    TCompactSignature() = default;
    explicit TCompactSignature(const TGrayView& view);

    int Width() const { return width_; }
    int Height() const { return height_; }
    std::int64_t PixelCount() const { return static_cast<std::int64_t>(width_) * height_; }
    bool Empty() const { return PixelCount() == 0; }
    // Words per plane; the planes follow each other in Words().
    std::size_t PlaneWords() const { return planeWords_; }
    const std::uint64_t* Words() const { return words_.data(); }
    std::size_t MemoryBytes() const { return words_.capacity() * sizeof(std::uint64_t) + sizeof(*this); }
    // The band of pixel (x, y), 0..7.
    int Band(int x, int y) const;

private:
    int width_ = 0;
    int height_ = 0;
    std::size_t planeWords_ = 0;
    std::vector<std::uint64_t, TCacheLineAllocator<std::uint64_t>> words_;
};

// The compact form of a signature bitmap (set to 24 bits per pixel first);
// an empty bitmap gives an empty signature.
TCompactSignature CompactFromBitmap(TBitmap& bitmap);

// ---- the score

// Score 0..100 of agree agreeing pixels out of total: agree / total, then
// that times 100, each step rounded to a 64-bit mantissa, then truncated. So
// exactly 53 and 59 per cent score 52 and 58, on every machine alike.
// A total of 0 (an empty source signature) scores 0.
int ScoreFromCounts(std::int64_t agree, std::int64_t total);

// Smallest agreeing counts per pixel total for one threshold.
class TNeedTable {
public:
    // Largest total a signature can have.
    static constexpr std::int64_t kTableTotal = kSignatureMaxPixels;

    explicit TNeedTable(int par);

    int Par() const { return par_; }
    // Smallest agree count whose score reaches Par; total + 1 when no count
    // does (a threshold above 100, or an empty source with Par above 0).
    std::int64_t Need(std::int64_t total) const;
    bool Matches(std::int64_t agree, std::int64_t total) const { return agree >= Need(total); }

private:
    static std::int64_t Compute(int par, std::int64_t total);

    int par_;
    std::vector<std::int32_t> need_;  // index = total, 0..kTableTotal
};

// Agreeing source pixels; source pixels that the target does not cover count
// as disagreeing.
std::int64_t CountAgreePlain(const TGrayView& source, const TGrayView& target);
// The score of a pair (total = the source area).
int CompareBitmaps(const TGrayView& source, const TGrayView& target);

// Agreeing source pixels of two compact signatures (any sizes).
std::int64_t CountAgree(const TCompactSignature& source, const TCompactSignature& target);
// Whether the pair's score reaches the table's threshold. Equal sizes go
// through the SIMD kernel, which stops as soon as the answer is certain.
bool ScoreReaches(const TCompactSignature& source, const TCompactSignature& target, const TNeedTable& need);
// The score of two compact signatures.
int CompareBitmaps(const TCompactSignature& source, const TCompactSignature& target);

}  // namespace orv
