#include "formats/fmt_ppm.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/format_messages.h"
#include "platform/base/errors.h"
#include "platform/base/stream.h"

namespace orv {

namespace {

constexpr const char* kFormatName = "PBM, PGM or PPM";
constexpr const char* kShortName = "PPM";
constexpr std::uint32_t kMaxNumber = 0x7FFFFFFFu;
// Raw samples are one byte up to this maximum and two bytes (big-endian) above it.
constexpr std::uint32_t kMaxByteSample = 255;
constexpr std::uint32_t kMaxWordSample = 65535;

bool IsDigit(std::uint8_t b) { return b >= '0' && b <= '9'; }
bool IsSpace(std::uint8_t b) { return b == ' ' || (b >= '\t' && b <= '\r'); }

[[noreturn]] void RaiseShortData() { RaiseImageErrorFmt(msg::StreamReadError, kShortName); }

// Numbers a kind's header holds after the magic, and the samples per pixel.
struct KindInfo {
    bool HasMaximum;
    std::uint8_t Samples;
    std::uint8_t Bits;
    TColorModel Model;
};

bool KnownKind(int kind) { return kind >= 1 && kind <= 6; }

KindInfo InfoFor(int kind) {
    switch (kind) {
        case 1:
        case 4:
            return {false, 1, 1, TColorModel::cmIndexed};
        case 2:
        case 5:
            return {true, 1, 8, TColorModel::cmIndexed};
        default:
            return {true, 3, 8, TColorModel::cmRGB};
    }
}

// Maps a sample to a byte: maxima up to 255 keep the value as it comes (its
// low byte), larger ones scale to 0..255 like the 16-to-8-bit colour code.
struct SampleScale {
    std::uint32_t Maximum;
    std::uint8_t operator()(std::uint32_t value) const {
        if (Maximum <= kMaxByteSample) return static_cast<std::uint8_t>(value);
        if (value >= Maximum) return 255;
        return static_cast<std::uint8_t>(std::uint64_t{value} * 255 / Maximum);
    }
};

}  // namespace

const TGraphicClass& TPPMGraphic::ClassInfo() {
    static const TGraphicClass info{"TPPMGraphic",
                                    []() -> std::unique_ptr<TGraphic> { return std::make_unique<TPPMGraphic>(); },
                                    &TPPMGraphic::CanLoadStream, &TFormatGraphic::ClassInfo()};
    return info;
}

bool TPPMGraphic::CanLoadStream(TStream& stream) {
    std::uint8_t bytes[10];
    return PeekHeader(stream, bytes, sizeof bytes) && bytes[0] == 'P' && bytes[1] >= '1' && bytes[1] <= '6';
}

// --- Block reader --------------------------------------------------------------

void TPPMGraphic::ResetBlock() {
    blockIndex_ = 0;
    blockCount_ = 0;
}

bool TPPMGraphic::FillBlock() {
    if (SourceStream == nullptr) return false;
    blockIndex_ = 0;
    blockCount_ = SourceStream->Read(block_.data(), block_.size());
    return blockCount_ > 0;
}

std::uint8_t TPPMGraphic::NextByte() {
    if (blockIndex_ >= blockCount_ && !FillBlock()) RaiseShortData();
    return block_[blockIndex_++];
}

void TPPMGraphic::ReadBytes(std::uint8_t* dest, std::size_t count) {
    while (count > 0) {
        if (blockIndex_ >= blockCount_ && !FillBlock()) RaiseShortData();
        const std::size_t n = std::min(count, blockCount_ - blockIndex_);
        std::memcpy(dest, block_.data() + blockIndex_, n);
        blockIndex_ += n;
        dest += n;
        count -= n;
    }
}

std::uint64_t TPPMGraphic::BytesLeft() {
    const std::uint64_t inBlock = blockCount_ - std::min(blockIndex_, blockCount_);
    const std::int64_t inStream = SourceStream != nullptr ? SourceStream->Remaining() : 0;
    return inBlock + static_cast<std::uint64_t>(std::max<std::int64_t>(inStream, 0));
}

void TPPMGraphic::SkipComment() {
    // A comment may run to the end of the file.
    for (;;) {
        if (blockIndex_ >= blockCount_ && !FillBlock()) return;
        const std::uint8_t b = block_[blockIndex_++];
        if (b == '\n' || b == '\r') return;
    }
}

bool TPPMGraphic::ReadNumber(std::uint32_t& value) {
    std::uint8_t b = NextByte();
    while (!IsDigit(b)) {
        if (b == '#') SkipComment();
        b = NextByte();
    }
    std::uint64_t v = 0;
    for (;;) {
        v = v * 10 + static_cast<std::uint64_t>(b - '0');
        if (v > kMaxNumber) return false;
        // The byte after the digits ends the number; the file may end there.
        if (blockIndex_ >= blockCount_ && !FillBlock()) break;
        b = block_[blockIndex_++];
        if (!IsDigit(b)) {
            if (b == '#') SkipComment();
            break;
        }
    }
    value = static_cast<std::uint32_t>(v);
    return true;
}

std::uint8_t TPPMGraphic::ReadBit() {
    for (;;) {
        const std::uint8_t b = NextByte();
        if (IsDigit(b)) return b & 1;
        if (b == '#') SkipComment();
    }
}

// --- Header --------------------------------------------------------------------

bool TPPMGraphic::ReadImageProperties(TStream& stream, std::uint32_t imageIndex) {
    TFormatGraphic::ReadImageProperties(stream, imageIndex);
    maxValue_ = 0;
    kind_ = 0;
    // Outside a load the stream is only borrowed for this call.
    struct StreamRestore {
        TStream*& held;
        TStream* previous;
        ~StreamRestore() { held = previous; }
    } restore{SourceStream, SourceStream};
    SourceStream = &stream;
    ResetBlock();
    if (BytesLeft() < 2) return false;
    if (NextByte() != 'P') return false;
    const std::uint8_t digit = NextByte();
    // A magic that ends after the "P" is no magic at all.
    if (IsSpace(digit)) return false;
    if (!IsDigit(digit))
        throw EConvertError("'" + std::string(1, static_cast<char>(digit)) + "' is not a valid integer value");
    ImageProperties.Compression = ctNone;
    const int kind = digit - '0';
    kind_ = kind;
    if (!KnownKind(kind)) return true;

    const KindInfo info = InfoFor(kind);
    std::uint32_t width = 0, height = 0, maximum = 0;
    if (!ReadNumber(width) || !ReadNumber(height)) return false;
    if (info.HasMaximum && (!ReadNumber(maximum) || maximum > kMaxWordSample)) return false;
    TImageProperties& p = ImageProperties;
    p.Width = width;
    p.Height = height;
    p.BitsPerSample = info.Bits;
    p.SamplesPerPixel = info.Samples;
    p.ColorScheme = info.Model;
    p.BitsPerPixel = static_cast<std::uint8_t>(info.Samples * info.Bits);
    maxValue_ = maximum;
    return true;
}

// --- Loading -------------------------------------------------------------------

void TPPMGraphic::LoadFromStream(TStream& stream) {
    Clear();
    StartPosition = stream.Position();
    const TSourceStreamScope sourceScope(*this, stream);
    // The header read leaves the block reader at the first data byte.
    if (!ReadImageProperties(stream, 0)) RaiseInvalidImageFormat(kFormatName);
    const int kind = kind_;

    ProgressArea = MakeRect(0, 0, static_cast<int>(std::min<std::uint32_t>(ImageProperties.Width, 0x7FFFFFFF)), 1);
    ReportProgress(TProgressStage::Starting, 0, false, msg::Transfering);
    try {
        if (KnownKind(kind)) LoadRows(kind);
    } catch (...) {
        ReportProgress(TProgressStage::Ending, 0, false, "");
        throw;
    }
    ReportProgress(TProgressStage::Ending, 0, false, "");
}

void TPPMGraphic::LoadRows(int kind) {
    const TImageProperties& p = ImageProperties;
    const std::uint64_t width = p.Width, height = p.Height;
    const SampleScale scale{maxValue_};
    const std::uint64_t sampleBytes = maxValue_ > kMaxByteSample ? 2 : 1;
    const std::uint64_t rowSamples = width * p.SamplesPerPixel;

    // What the rows need at the least, against what the file still holds,
    // before the bitmap is sized: raw rows their exact bytes, plain rows one
    // character per sample.
    std::uint64_t rowBytesInFile = 0;
    switch (kind) {
        case 4: rowBytesInFile = (width + 7) / 8; break;
        case 5:
        case 6: rowBytesInFile = rowSamples * sampleBytes; break;
        default: rowBytesInFile = rowSamples; break;
    }
    CheckImageSize(static_cast<std::int64_t>(width), static_cast<std::int64_t>(height), kFormatName);
    if (rowBytesInFile * height > BytesLeft()) RaiseShortData();

    switch (kind) {
        case 1:
        case 4:
            SetPixelFormat(TPixelFormat::pf1bit);
            ColorManager.SetTargetSamples(1);
            ColorManager.SetTargetBits(1);
            SetPalette(ColorManager.BuildGrayPalette(true));
            break;
        case 2:
        case 5:
            SetPixelFormat(TPixelFormat::pf8bit);
            ColorManager.SetTargetSamples(1);
            ColorManager.SetTargetBits(8);
            SetPalette(ColorManager.BuildGrayPalette(false));
            break;
        default:
            SetPixelFormat(TPixelFormat::pf24bit);
            break;
    }
    SetImageSize(static_cast<std::int64_t>(width), static_cast<std::int64_t>(height), kFormatName);

    std::vector<std::uint8_t> raw;
    if (kind == 5 || kind == 6) raw.resize(static_cast<std::size_t>(rowBytesInFile));
    const auto w = static_cast<std::size_t>(width);
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = ScanLine(static_cast<int>(y));
        switch (kind) {
            case 1: {
                std::uint8_t accumulator = 0;
                std::size_t out = 0;
                for (std::size_t x = 1; x <= w; ++x) {
                    accumulator = static_cast<std::uint8_t>((accumulator << 1) | ReadBit());
                    if (x % 8 == 0) {
                        row[out++] = accumulator;
                        accumulator = 0;
                    }
                }
                if (w % 8 != 0) row[out] = static_cast<std::uint8_t>(accumulator << (8 - w % 8));
                break;
            }
            case 2:
                for (std::size_t x = 0; x < w; ++x) {
                    std::uint32_t v = 0;
                    if (!ReadNumber(v)) RaiseInvalidImageFormat(kFormatName);
                    row[x] = scale(v);
                }
                break;
            case 3:
                for (std::size_t x = 0; x < w; ++x) {
                    std::uint32_t rgb[3] = {};
                    for (std::uint32_t& v : rgb)
                        if (!ReadNumber(v)) RaiseInvalidImageFormat(kFormatName);
                    row[3 * x] = scale(rgb[2]);
                    row[3 * x + 1] = scale(rgb[1]);
                    row[3 * x + 2] = scale(rgb[0]);
                }
                break;
            case 4:
                ReadBytes(row, static_cast<std::size_t>(rowBytesInFile));
                break;
            default: {
                ReadBytes(raw.data(), raw.size());
                const std::size_t samples = static_cast<std::size_t>(rowSamples);
                auto sample = [&](std::size_t i) -> std::uint8_t {
                    if (sampleBytes == 1) return raw[i];
                    return scale(static_cast<std::uint32_t>(raw[2 * i] << 8 | raw[2 * i + 1]));
                };
                if (kind == 5) {
                    for (std::size_t i = 0; i < samples; ++i) row[i] = sample(i);
                } else {
                    for (std::size_t i = 0; i < samples; i += 3) {
                        row[i] = sample(i + 2);
                        row[i + 1] = sample(i + 1);
                        row[i + 2] = sample(i);
                    }
                }
                break;
            }
        }
        ReportRowDone(y, height);
    }
}

}  // namespace orv
