// The colour manager: turns one row of decoded samples, in any colour model,
// sample width and plane layout a reader meets, into one row of the bitmap
// the reader fills, and builds the palettes of indexed and gray bitmaps.
// Every buffer it touches is passed with its byte length; a configuration
// that would need more bytes than given is refused, never overrun.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "formats/palettes.h"
#include "platform/base/errors.h"

namespace orv {

// Colour model of image data (one byte; shared with the colour-scheme field
// of the image properties). Values above cmPhotoYCC may be stored but no
// conversion exists for them.
enum class TColorModel : std::uint8_t {
    cmUnknown = 0,
    cmIndexed = 1,
    cmGray = 2,
    cmGrayAlpha = 3,  // source only
    cmRGB = 4,
    cmRGBA = 5,
    cmBGR = 6,  // the bitmap's own order
    cmBGRA = 7,
    cmReserved = 8,
    cmCMYK = 9,
    cmCIELab = 10,
    cmYCbCr = 11,
    cmPhotoYCC = 12,
};

// Conversion flags, a set stored in one byte. Readers assign the source and
// target flag sets of the manager directly.
using TConversionFlags = std::uint8_t;
inline constexpr TConversionFlags cfAlpha = 1u << 0;        // pixel carries alpha
inline constexpr TConversionFlags cfGamma = 1u << 1;        // target: apply the gamma table
inline constexpr TConversionFlags cfByteSwap = 1u << 2;     // source: 16-bit samples big-endian
inline constexpr TConversionFlags cfLabScaledL = 1u << 3;   // source: L* stored as 0..255
inline constexpr TConversionFlags cfLabOffsetAB = 1u << 4;  // source: a*, b* stored with 128 added

class EColorConversionError : public Exception {
public:
    using Exception::Exception;
};

[[noreturn]] void RaiseColorError(const char* message);

// One source or target buffer with its length in bytes.
struct TRowBuffer {
    const void* Data = nullptr;
    std::size_t Size = 0;
};

// Clamps to 0..255.
constexpr std::uint8_t ClampToByte(std::int32_t value) {
    return static_cast<std::uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

// value * numerator div denominator on 16-bit operands with a 32-bit product.
// Callers keep the quotient below 65536.
constexpr std::uint16_t MulDivWord(std::uint32_t value, std::uint32_t numerator, std::uint32_t denominator) {
    return static_cast<std::uint16_t>((value & 0xFFFFu) * (numerator & 0xFFFFu) / (denominator & 0xFFFFu));
}

constexpr std::uint16_t SwapWord(std::uint16_t value) {
    return static_cast<std::uint16_t>((value >> 8) | (value << 8));
}

// Pixels of a row of count pixels that a mask selects (pixel i when bit
// 7 - i mod 8 is set).
std::uint64_t SelectedPixelCount(std::uint32_t count, std::uint8_t mask);

class TColorManager {
public:
    TColorManager();

    std::uint8_t SourceBits() const { return sourceBits_; }
    std::uint8_t TargetBits() const { return targetBits_; }
    std::uint8_t SourceSamples() const { return sourceSamples_; }
    std::uint8_t TargetSamples() const { return targetSamples_; }
    TColorModel SourceModel() const { return sourceModel_; }
    TColorModel TargetModel() const { return targetModel_; }
    float FileGamma() const { return fileGamma_; }
    float DisplayGamma() const { return displayGamma_; }
    const std::array<std::uint8_t, 256>& GammaTable() const { return gammaTable_; }
    const std::array<float, 3>& LumaWeights() const { return lumaWeights_; }
    std::uint8_t HorzSubsampling() const { return horzSubsampling_; }
    std::uint8_t VertSubsampling() const { return vertSubsampling_; }
    // True while a setting changed since the converter was last chosen.
    bool Changed() const { return changed_; }

    // 1..16; anything else raises and keeps the old value. Depths that no
    // converter handles pass here (a reader may set 5 bits to ask for a
    // 15-bit pixel format) and are refused by the first ConvertLine.
    void SetSourceBits(std::uint8_t bits);
    void SetTargetBits(std::uint8_t bits);
    // 1..4; anything else raises and keeps the old value.
    void SetSourceSamples(std::uint8_t samples);
    void SetTargetSamples(std::uint8_t samples);
    void SetSourceModel(TColorModel model);
    void SetTargetModel(TColorModel model);

    // Values not above 0 take the defaults (1.0, 2.2). Refills the gamma
    // table for the bits in force now.
    void SetGammaCorrection(float fileGamma, float displayGamma);
    // Stores up to three luma weights (missing ones keep their values), then
    // checks and stores the subsampling factors.
    void SetChromaParameters(std::span<const float> weights, std::uint8_t horz, std::uint8_t vert);
    void SetChromaParameters(std::initializer_list<float> weights, std::uint8_t horz, std::uint8_t vert) {
        SetChromaParameters(std::span<const float>(weights.begin(), weights.size()), horz, vert);
    }

    // Pixel format for the source (side 0) or target (side 1 or more).
    TPixelFormat PixelFormatFor(std::uint8_t side) const;

    // Converts one row. source holds one buffer for interleaved samples or
    // one per plane; count is the number of target pixels; mask selects the
    // pixels written (bit 7 = pixel 0 of each group of eight), the source
    // holding only the selected ones. Raises EColorConversionError for a
    // configuration without converter, a depth the converter cannot handle,
    // or buffers shorter than the configuration needs.
    void ConvertLine(std::span<const TRowBuffer> source, void* target, std::size_t targetSize, std::uint32_t count,
                     std::uint8_t mask = 0xFF);
    void ConvertLine(std::initializer_list<TRowBuffer> source, void* target, std::size_t targetSize,
                     std::uint32_t count, std::uint8_t mask = 0xFF) {
        ConvertLine(std::span<const TRowBuffer>(source.begin(), source.size()), target, targetSize, count, mask);
    }
    void ConvertLine(const void* source, std::size_t sourceSize, void* target, std::size_t targetSize,
                     std::uint32_t count, std::uint8_t mask = 0xFF) {
        const TRowBuffer one{source, sourceSize};
        ConvertLine(std::span<const TRowBuffer>(&one, 1), target, targetSize, count, mask);
    }

    // Whether ConvertLine may be given one buffer as source and target for a
    // whole row (mask 0xFF): 8-bit RGB or BGR, with or without alpha, to
    // pixels of the same size without gamma. Chooses the converter first, so it may raise like ConvertLine.
    bool ConvertsInPlace();
    // Bytes a row needs on each side for the current configuration (chooses
    // the converter first when needed, so it may raise like ConvertLine).
    // sourceIndex picks the plane; with planar data every plane needs the same.
    std::size_t RequiredSourceBytes(std::size_t sourceBuffers, std::uint32_t count, std::uint8_t mask = 0xFF);
    std::size_t RequiredTargetBytes(std::uint32_t count);

    // Palette from a colour map read from the file; data holds one buffer
    // (interleaved layouts) or three planes. Never reads beyond a buffer:
    // entries the buffers do not hold stay black.
    TPalette BuildIndexedPalette(std::span<const TRowBuffer> data, std::uint8_t format, std::uint32_t colorCount,
                                    bool bgrOrder) const;
    TPalette BuildIndexedPalette(std::initializer_list<TRowBuffer> data, std::uint8_t format,
                                    std::uint32_t colorCount, bool bgrOrder) const {
        return BuildIndexedPalette(std::span<const TRowBuffer>(data.begin(), data.size()), format, colorCount,
                                   bgrOrder);
    }
    // Gray ramp for the target depth; with minimumIsWhite entry 0 is white.
    TPalette BuildGrayPalette(bool minimumIsWhite) const;

    TConversionFlags SourceFlags = 0;
    TConversionFlags TargetFlags = 0;

private:
    // Tests switch the fast row kernels off to compare them with the general
    // converters, which stay the reference for every configuration.
    friend struct TColorManagerTestAccess;

    enum class Family : std::uint8_t { None, RGB, CMYK, Lab, YCbCr, Gray, Indexed };
    using TRowConverter = void (TColorManager::*)(const std::uint8_t* const* source, std::size_t sources,
                                                  std::uint8_t* target, std::uint32_t count, std::uint8_t mask);

    void SelectConverter();
    void BuildChromaTables();
    bool DepthsSupported() const;
    void EnsureConverter();

    // Fast kernels for whole rows; false leaves the row to the general loop.
    template <bool Exchange>
    bool FastRGBRow(const std::uint8_t* const* source, std::size_t sources, std::uint8_t* target,
                    std::uint32_t count);

    template <bool BGR>
    bool FastYCbCrRow(const std::uint8_t* const* source, std::size_t sources, std::uint8_t* target,
                      std::uint32_t count);
    template <bool BGR>
    bool FastCMYKRow(const std::uint8_t* const* source, std::size_t sources, std::uint8_t* target,
                     std::uint32_t count);

    template <bool Exchange>
    void ConvertRGBFamily(const std::uint8_t* const* source, std::size_t sources, std::uint8_t* target,
                          std::uint32_t count, std::uint8_t mask);
    template <bool BGR>
    void ConvertCMYK(const std::uint8_t* const* source, std::size_t sources, std::uint8_t* target,
                     std::uint32_t count, std::uint8_t mask);
    template <bool BGR>
    void ConvertLab(const std::uint8_t* const* source, std::size_t sources, std::uint8_t* target,
                    std::uint32_t count, std::uint8_t mask);
    template <bool BGR>
    void ConvertYCbCr(const std::uint8_t* const* source, std::size_t sources, std::uint8_t* target,
                      std::uint32_t count, std::uint8_t mask);
    void ConvertGray(const std::uint8_t* const* source, std::size_t sources, std::uint8_t* target,
                     std::uint32_t count, std::uint8_t mask);
    void ConvertIndexed(const std::uint8_t* const* source, std::size_t sources, std::uint8_t* target,
                        std::uint32_t count, std::uint8_t mask);
    void ConvertIndexedWordToWord(const std::uint8_t* const* source, std::size_t sources, std::uint8_t* target,
                                  std::uint32_t count, std::uint8_t mask);
    void ConvertIndexedWordToBits(const std::uint8_t* const* source, std::size_t sources, std::uint8_t* target,
                                  std::uint32_t count, std::uint8_t mask);
    void ConvertIndexedBitsToWord(const std::uint8_t* const* source, std::size_t sources, std::uint8_t* target,
                                  std::uint32_t count, std::uint8_t mask);

    bool changed_ = true;
    std::uint8_t sourceBits_ = 8;
    std::uint8_t targetBits_ = 8;
    std::uint8_t sourceSamples_ = 3;
    std::uint8_t targetSamples_ = 3;
    float fileGamma_ = 1.0f;
    float displayGamma_ = 2.2f;
    std::array<std::uint8_t, 256> gammaTable_{};
    std::array<std::uint8_t, 256> gammaTable8_{};
    std::array<float, 3> lumaWeights_{0.299f, 0.587f, 0.114f};
    std::uint8_t horzSubsampling_ = 1;
    std::uint8_t vertSubsampling_ = 1;
    std::vector<std::int32_t> crToRed_;
    std::vector<std::int32_t> cbToBlue_;
    std::vector<std::int32_t> crToGreen_;
    std::vector<std::int32_t> cbToGreen_;
    // Factors behind the chroma tables, kept for 16-bit output.
    float redFactor_ = 0, blueFactor_ = 0, greenFromCr_ = 0, greenFromCb_ = 0;
    TColorModel sourceModel_ = TColorModel::cmRGB;
    TColorModel targetModel_ = TColorModel::cmBGR;
    TRowConverter rowConverter_ = nullptr;
    Family family_ = Family::None;
    bool fastPaths_ = true;
};

}  // namespace orv
