// Set-up of the colour manager: settings, gamma and chroma tables, choice of
// the row converter and the buffer checks that guard every converted row.
#include "formats/color_manager.h"

#include <bit>
#include <cmath>
#include <utility>

#include "platform/graphics/messages.h"

namespace orv {

void RaiseColorError(const char* message) {
    throw EColorConversionError(message);
}

std::uint64_t SelectedPixelCount(std::uint32_t count, std::uint8_t mask) {
    const std::uint64_t perGroup = static_cast<unsigned>(std::popcount(static_cast<unsigned>(mask)));
    const unsigned rest = count % 8;
    const unsigned restMask = rest == 0 ? 0u : (mask & (0xFFu << (8 - rest)) & 0xFFu);
    return static_cast<std::uint64_t>(count / 8) * perGroup + static_cast<unsigned>(std::popcount(restMask));
}

namespace {

// Rounds to the nearest integer, halves to the even one.
std::int32_t RoundEven(double value) {
    return static_cast<std::int32_t>(std::nearbyint(value));
}

bool IsOneSampleSource(TColorModel m) {
    return m == TColorModel::cmIndexed || m == TColorModel::cmGray || m == TColorModel::cmGrayAlpha;
}
bool IsOneSampleTarget(TColorModel m) {
    return m == TColorModel::cmIndexed || m == TColorModel::cmGray;
}
bool HasAlpha(TColorModel m) {
    return m == TColorModel::cmGrayAlpha || m == TColorModel::cmRGBA || m == TColorModel::cmBGRA;
}
bool IsRGBGroup(TColorModel m) {
    return m == TColorModel::cmRGB || m == TColorModel::cmRGBA;
}
bool IsBGRGroup(TColorModel m) {
    return m == TColorModel::cmBGR || m == TColorModel::cmBGRA;
}
bool IsPackedDepth(unsigned bits) {
    return bits == 1 || bits == 2 || bits == 4 || bits == 8;
}
bool IsWordOrByte(unsigned bits) {
    return bits == 8 || bits == 16;
}

}  // namespace

TColorManager::TColorManager() {
    // Every picture load makes a manager: the default tables (512 powers)
    // are computed once and copied.
    static const auto defaults = [this] {
        SetGammaCorrection(1.0f, 2.2f);
        return std::make_pair(gammaTable_, gammaTable8_);
    }();
    gammaTable_ = defaults.first;
    gammaTable8_ = defaults.second;
}

void TColorManager::SetSourceBits(std::uint8_t bits) {
    if (bits < 1 || bits > 16) RaiseColorError(msg::InvalidColorDepth);
    if (bits != sourceBits_) {
        sourceBits_ = bits;
        changed_ = true;
    }
}

void TColorManager::SetTargetBits(std::uint8_t bits) {
    if (bits < 1 || bits > 16) RaiseColorError(msg::InvalidColorDepth);
    if (bits != targetBits_) {
        targetBits_ = bits;
        changed_ = true;
    }
}

void TColorManager::SetSourceSamples(std::uint8_t samples) {
    if (samples < 1 || samples > 4) RaiseColorError(msg::InvalidSampleCount);
    if (samples != sourceSamples_) {
        sourceSamples_ = samples;
        changed_ = true;
    }
}

void TColorManager::SetTargetSamples(std::uint8_t samples) {
    if (samples < 1 || samples > 4) RaiseColorError(msg::InvalidSampleCount);
    if (samples != targetSamples_) {
        targetSamples_ = samples;
        changed_ = true;
    }
}

void TColorManager::SetSourceModel(TColorModel model) {
    if (model != sourceModel_) {
        sourceModel_ = model;
        changed_ = true;
    }
}

void TColorManager::SetTargetModel(TColorModel model) {
    if (model != targetModel_) {
        targetModel_ = model;
        changed_ = true;
    }
}

void TColorManager::SetGammaCorrection(float fileGamma, float displayGamma) {
    // NaN fails the comparison too and takes the default.
    fileGamma_ = fileGamma > 0.0f ? fileGamma : 1.0f;
    displayGamma_ = displayGamma > 0.0f ? displayGamma : 2.2f;
    const float exponent = 1.0f / (fileGamma_ * displayGamma_);
    auto corrected = [&](unsigned i, unsigned sourceMax, unsigned targetMax) {
        const double base = static_cast<double>(i) / sourceMax;
        const double value = targetMax * std::pow(base, static_cast<double>(exponent));
        // An infinite exponent (gamma product near 0) would give NaN or inf.
        return ClampToByte(std::isfinite(value) ? RoundEven(value) : 0);
    };
    const unsigned sourceMax = sourceBits_ >= 8 ? 255u : (1u << sourceBits_) - 1u;
    const unsigned targetMax = targetBits_ >= 8 ? 255u : (1u << targetBits_) - 1u;
    for (unsigned i = 0; i <= sourceMax; ++i) gammaTable_[i] = corrected(i, sourceMax, targetMax);
    // Converters and palettes always look up 8-bit components; they use a
    // table made for 8 bits whatever depth was set when this ran (the same
    // table as above for depths of 8 and more).
    for (unsigned i = 0; i < 256; ++i) gammaTable8_[i] = corrected(i, 255, 255);
}

void TColorManager::SetChromaParameters(std::span<const float> weights, std::uint8_t horz, std::uint8_t vert) {
    for (std::size_t i = 0; i < weights.size() && i < lumaWeights_.size(); ++i) lumaWeights_[i] = weights[i];
    auto valid = [](std::uint8_t f) { return f == 1 || f == 2 || f == 4; };
    if (!valid(horz) || !valid(vert)) RaiseColorError(msg::InvalidSubsampling);
    if (horz < vert) RaiseColorError(msg::VerticalSubsampling);
    horzSubsampling_ = horz;
    vertSubsampling_ = vert;
}

TPixelFormat TColorManager::PixelFormatFor(std::uint8_t side) const {
    const unsigned samples = side == 0 ? sourceSamples_ : targetSamples_;
    const unsigned bits = side == 0 ? sourceBits_ : targetBits_;
    switch (samples) {
        case 1:
            if (bits == 1) return TPixelFormat::pf1bit;
            if (bits >= 2 && bits <= 4) return TPixelFormat::pf4bit;
            if (bits >= 8 && bits <= 16) return TPixelFormat::pf8bit;
            return TPixelFormat::pfCustom;
        case 3:
            return bits <= 5 ? TPixelFormat::pf15bit : TPixelFormat::pf24bit;
        case 4:
            return bits >= 8 ? TPixelFormat::pf32bit : TPixelFormat::pfCustom;
        default:
            return TPixelFormat::pfCustom;
    }
}

void TColorManager::BuildChromaTables() {
    const float kr = lumaWeights_[0];
    const float kg = lumaWeights_[1];
    const float kb = lumaWeights_[2];
    redFactor_ = 2.0f - 2.0f * kr;
    greenFromCr_ = kr * redFactor_ / kg;
    blueFactor_ = 2.0f - 2.0f * kb;
    greenFromCb_ = kb * blueFactor_ / kg;
    // A green weight of 0 (a damaged file) makes the green factors infinite.
    auto factor = [](float f) { return std::isfinite(f) ? static_cast<double>(f) : 0.0; };
    const double rf = factor(redFactor_), bf = factor(blueFactor_);
    const double gcr = factor(greenFromCr_), gcb = factor(greenFromCb_);
    // Entries are clamped well inside 32 bits; with sane weights they stay
    // within a few hundred.
    auto entry = [](double v) { return RoundEven(v < -1e6 ? -1e6 : (v > 1e6 ? 1e6 : v)); };

    crToRed_.assign(256, 0);
    cbToBlue_.assign(256, 0);
    crToGreen_.assign(256, 0);
    cbToGreen_.assign(256, 0);
    const bool ycbcr = sourceModel_ == TColorModel::cmYCbCr;
    for (int i = 0; i < 256; ++i) {
        const double dr = ycbcr ? i - 128 : i - 137;
        const double db = ycbcr ? i - 128 : i - 156;
        crToRed_[i] = entry(dr * rf);
        cbToBlue_[i] = entry(db * bf);
        crToGreen_[i] = -entry(dr * gcr);
        cbToGreen_[i] = -entry(db * gcb);
    }
}

void TColorManager::SelectConverter() {
    rowConverter_ = nullptr;
    family_ = Family::None;
    if (IsOneSampleSource(sourceModel_) != IsOneSampleTarget(targetModel_)) RaiseColorError(msg::IndexedNotSupported);

    if (HasAlpha(sourceModel_)) SourceFlags |= cfAlpha;
    else SourceFlags &= static_cast<TConversionFlags>(~cfAlpha);
    if (HasAlpha(targetModel_)) TargetFlags |= cfAlpha;
    else TargetFlags &= static_cast<TConversionFlags>(~cfAlpha);

    const bool s16 = sourceBits_ == 16;
    const bool t16 = targetBits_ == 16;
    const bool toRGB = IsRGBGroup(targetModel_);
    const bool toBGR = IsBGRGroup(targetModel_);
    switch (sourceModel_) {
        case TColorModel::cmIndexed:
            family_ = Family::Indexed;
            if (s16 && t16) rowConverter_ = &TColorManager::ConvertIndexedWordToWord;
            else if (s16) rowConverter_ = &TColorManager::ConvertIndexedWordToBits;
            else if (t16) rowConverter_ = &TColorManager::ConvertIndexedBitsToWord;
            else rowConverter_ = &TColorManager::ConvertIndexed;
            break;
        case TColorModel::cmGray:
            if (!s16 && !t16) {
                family_ = Family::Indexed;
                rowConverter_ = &TColorManager::ConvertIndexed;
            } else if (sourceBits_ >= 8 && targetBits_ >= 8) {
                family_ = Family::Gray;
                rowConverter_ = &TColorManager::ConvertGray;
            }
            break;
        case TColorModel::cmGrayAlpha:
            if (IsWordOrByte(sourceBits_) && IsWordOrByte(targetBits_)) {
                family_ = Family::Gray;
                rowConverter_ = &TColorManager::ConvertGray;
            }
            break;
        case TColorModel::cmRGB:
        case TColorModel::cmRGBA:
            family_ = Family::RGB;
            if (toRGB) rowConverter_ = &TColorManager::ConvertRGBFamily<false>;
            else if (toBGR) rowConverter_ = &TColorManager::ConvertRGBFamily<true>;
            break;
        case TColorModel::cmBGR:
        case TColorModel::cmBGRA:
            family_ = Family::RGB;
            if (toRGB) rowConverter_ = &TColorManager::ConvertRGBFamily<true>;
            else if (toBGR) rowConverter_ = &TColorManager::ConvertRGBFamily<false>;
            break;
        case TColorModel::cmCMYK:
            family_ = Family::CMYK;
            if (toRGB) rowConverter_ = &TColorManager::ConvertCMYK<false>;
            else if (toBGR) rowConverter_ = &TColorManager::ConvertCMYK<true>;
            break;
        case TColorModel::cmCIELab:
            family_ = Family::Lab;
            if (toRGB) rowConverter_ = &TColorManager::ConvertLab<false>;
            else if (toBGR) rowConverter_ = &TColorManager::ConvertLab<true>;
            break;
        case TColorModel::cmYCbCr:
        case TColorModel::cmPhotoYCC:
            family_ = Family::YCbCr;
            BuildChromaTables();
            if (toRGB) rowConverter_ = &TColorManager::ConvertYCbCr<false>;
            else if (toBGR) rowConverter_ = &TColorManager::ConvertYCbCr<true>;
            break;
        default:
            break;
    }
    if (rowConverter_ == nullptr) family_ = Family::None;
    changed_ = false;
}

bool TColorManager::DepthsSupported() const {
    const unsigned s = sourceBits_, t = targetBits_;
    if (family_ == Family::Indexed) {
        // The bit packing is defined for 1, 2, 4 and 8 bits; 16 are words.
        return (IsPackedDepth(s) || s == 16) && (IsPackedDepth(t) || t == 16);
    }
    return IsWordOrByte(s) && IsWordOrByte(t);
}

void TColorManager::EnsureConverter() {
    if (changed_) SelectConverter();
    if (rowConverter_ == nullptr) RaiseColorError(msg::NoConversionFound);
    // Depths the setters let through but no converter handles would make the
    // packing run past the row; refuse them instead of guessing.
    if (!DepthsSupported()) RaiseColorError(msg::InvalidColorDepth);
}

std::size_t TColorManager::RequiredSourceBytes(std::size_t sourceBuffers, std::uint32_t count, std::uint8_t mask) {
    EnsureConverter();
    const std::uint64_t pixels = SelectedPixelCount(count, mask);
    const std::uint64_t sampleBytes = sourceBits_ == 16 ? 2 : 1;
    const bool planar = sourceBuffers > 1;
    switch (family_) {
        case Family::Indexed:
            if (sourceBits_ == 16) return pixels * 2;
            return (pixels * sourceBits_ + 7) / 8;
        case Family::Gray:
            return pixels * ((SourceFlags & cfAlpha) ? 2 : 1) * sampleBytes;
        case Family::RGB:
            if (planar) return pixels * sampleBytes;
            return pixels * ((SourceFlags & cfAlpha) ? 4 : 3) * sampleBytes;
        case Family::CMYK:
            if (sourceBuffers == 4) return pixels * sampleBytes;
            return pixels * 4 * sampleBytes;
        case Family::Lab:
        case Family::YCbCr:
            if (planar) return pixels * sampleBytes;
            return pixels * 3 * sampleBytes;
        case Family::None:
            break;
    }
    return 0;
}

std::size_t TColorManager::RequiredTargetBytes(std::uint32_t count) {
    EnsureConverter();
    const std::uint64_t sampleBytes = targetBits_ == 16 ? 2 : 1;
    switch (family_) {
        case Family::Indexed:
            if (targetBits_ == 16) return static_cast<std::uint64_t>(count) * 2;
            return (static_cast<std::uint64_t>(count) * targetBits_ + 7) / 8;
        case Family::Gray:
            return count * sampleBytes;
        case Family::RGB:
        case Family::CMYK:
        case Family::Lab:
        case Family::YCbCr:
            return count * ((TargetFlags & cfAlpha) ? 4 : 3) * sampleBytes;
        case Family::None:
            break;
    }
    return 0;
}

void TColorManager::ConvertLine(std::span<const TRowBuffer> source, void* target, std::size_t targetSize,
                                std::uint32_t count, std::uint8_t mask) {
    EnsureConverter();
    // A row, or a mask, that selects no pixel writes nothing.
    if (SelectedPixelCount(count, mask) == 0) return;
    if (source.empty()) RaiseColorError(msg::InvalidSampleCount);

    // How many buffers the converter reads, and whether they are planes.
    std::size_t used = 1;
    const std::size_t given = source.size();
    switch (family_) {
        case Family::RGB:
            if (given > 1) {
                const bool carryAlpha = (SourceFlags & cfAlpha) && (TargetFlags & cfAlpha);
                used = carryAlpha ? 4 : 3;
                if (given < used) RaiseColorError(msg::InvalidSampleCount);
            }
            break;
        case Family::CMYK:
            used = given == 4 ? 4 : 1;
            break;
        case Family::Lab:
        case Family::YCbCr:
            if (given > 1) {
                used = 3;
                if (given < used) RaiseColorError(msg::InvalidSampleCount);
            }
            break;
        default:
            break;
    }

    const std::size_t needSource = RequiredSourceBytes(used, count, mask);
    std::array<const std::uint8_t*, 4> planes{};
    for (std::size_t i = 0; i < used; ++i) {
        if (source[i].Size < needSource || (needSource > 0 && source[i].Data == nullptr))
            RaiseColorError(msg::InvalidSampleCount);
        planes[i] = static_cast<const std::uint8_t*>(source[i].Data);
    }
    if (targetSize < RequiredTargetBytes(count) || target == nullptr) RaiseColorError(msg::InvalidSampleCount);

    (this->*rowConverter_)(planes.data(), used, static_cast<std::uint8_t*>(target), count, mask);
}

}  // namespace orv
