#include "formats/fmt_ppm.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/format_registry.h"
#include "platform/base/errors.h"
#include "platform/base/stream.h"
#include "platform/graphics/messages.h"

namespace orv {

namespace {

constexpr const char* kFormatName = "PBM, PGM or PPM";
constexpr const char* kShortName = "PPM";
constexpr std::uint32_t kMaxNumber = 0x7FFFFFFFu;
// Raw samples are one byte up to this maximum and two bytes (big-endian) above it.
constexpr std::uint32_t kMaxByteSample = 255;
constexpr std::uint32_t kMaxWordSample = 65535;
constexpr TFormatExtension kExtensions[] = {{"ppm", "Portable pixel map images"},
                                            {"pgm", "Portable gray map images"},
                                            {"pbm", "Portable bitmap images"}};

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

// Maps a sample of 0..maximum to 0..255, rounded to the nearest level as
// netpbm rescales; a value above the maximum counts as the maximum.
struct SampleScale {
    std::uint32_t Maximum;
    std::uint8_t operator()(std::uint32_t value) const {
        if (value >= Maximum) return 255;
        return static_cast<std::uint8_t>((std::uint64_t{value} * 255 + Maximum / 2) / Maximum);
    }
};

// Reads a stream a block at a time: the header's numbers and comments, the
// plain samples and the raw rows.
class PortableMapReader {
public:
    explicit PortableMapReader(TStream& stream) : stream_(stream) {}

    std::uint8_t NextByte() {
        if (index_ >= count_ && !FillBlock()) RaiseShortData();
        return block_[index_++];
    }

    // Copies count bytes to dest, raising the read error when they run out.
    void ReadBytes(std::uint8_t* dest, std::size_t count) {
        while (count > 0) {
            if (index_ >= count_ && !FillBlock()) RaiseShortData();
            const std::size_t n = std::min(count, count_ - index_);
            std::memcpy(dest, block_.data() + index_, n);
            index_ += n;
            dest += n;
            count -= n;
        }
    }

    // Bytes still to come: the rest of the block and of the stream.
    std::uint64_t BytesLeft() const {
        const std::uint64_t inBlock = count_ - std::min(index_, count_);
        return inBlock + static_cast<std::uint64_t>(std::max<std::int64_t>(stream_.Remaining(), 0));
    }

    // Skips white space, other non-digits and comments up to the next digit
    // and reads the number; false when it exceeds 2^31 - 1.
    bool ReadNumber(std::uint32_t& value) {
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
            if (index_ >= count_ && !FillBlock()) break;
            b = block_[index_++];
            if (!IsDigit(b)) {
                if (b == '#') SkipComment();
                break;
            }
        }
        value = static_cast<std::uint32_t>(v);
        return true;
    }

    // One "0" or "1" of a plain bitmap, white space and comments skipped.
    std::uint8_t ReadBit() {
        for (;;) {
            const std::uint8_t b = NextByte();
            if (IsDigit(b)) return b & 1;
            if (b == '#') SkipComment();
        }
    }

    // Puts the stream back to the first byte not taken from the block.
    void GiveBackUnread() {
        const std::size_t unread = count_ - std::min(index_, count_);
        if (unread > 0) stream_.Seek(-static_cast<std::int64_t>(unread), SeekOrigin::Current);
        index_ = count_ = 0;
    }

private:
    static constexpr std::size_t kBlockSize = 4096;

    bool FillBlock() {
        index_ = 0;
        count_ = stream_.Read(block_.data(), block_.size());
        return count_ > 0;
    }

    // Skips the rest of a comment line; a comment may run to the end of the file.
    void SkipComment() {
        for (;;) {
            if (index_ >= count_ && !FillBlock()) return;
            const std::uint8_t b = block_[index_++];
            if (b == '\n' || b == '\r') return;
        }
    }

    TStream& stream_;
    std::array<std::uint8_t, kBlockSize> block_{};
    std::size_t index_ = 0;
    std::size_t count_ = 0;
};

}  // namespace

TPPMGraphic::TPPMGraphic() : TFormatGraphic(kFormatName) {}

const TGraphicClass& TPPMGraphic::ClassInfo() { return FormatClassInfo<TPPMGraphic>("TPPMGraphic"); }

const TFormatDescriptor TPPMGraphic::Format{&TPPMGraphic::ClassInfo, "Portable map images", kExtensions, FormatRaster};

bool TPPMGraphic::CanLoadStream(TStream& stream) {
    std::uint8_t bytes[10];
    return PeekHeader(stream, bytes, sizeof bytes) && bytes[0] == 'P' && bytes[1] >= '1' && bytes[1] <= '6';
}

// --- Header --------------------------------------------------------------------

bool TPPMGraphic::ReadImageProperties(TStream& stream, std::uint32_t imageIndex) {
    TFormatGraphic::ReadImageProperties(stream, imageIndex);
    maxValue_ = 0;
    kind_ = 0;
    PortableMapReader reader(stream);
    if (reader.BytesLeft() < 2) return false;
    if (reader.NextByte() != 'P') return false;
    const std::uint8_t digit = reader.NextByte();
    // A magic that ends after the "P" is no magic at all.
    if (IsSpace(digit)) return false;
    if (!IsDigit(digit))
        throw EConvertError(FormatMessage(msg::NotAnInteger, std::string(1, static_cast<char>(digit))));
    ImageProperties.Compression = ctNone;
    const int kind = digit - '0';
    kind_ = kind;
    if (!KnownKind(kind)) return true;

    const KindInfo info = InfoFor(kind);
    std::uint32_t width = 0, height = 0, maximum = 0;
    if (!reader.ReadNumber(width) || !reader.ReadNumber(height)) return false;
    if (info.HasMaximum && (!reader.ReadNumber(maximum) || maximum == 0 || maximum > kMaxWordSample)) return false;
    // A load reads the pixels from the first byte after the header.
    reader.GiveBackUnread();
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

void TPPMGraphic::DecodeImage(TLoadContext& load) {
    load.Progress.Start(msg::Transfering);
    if (KnownKind(kind_)) LoadRows(load);
}

namespace {

// What a row needs of the file at the least: raw rows their exact bytes,
// plain rows one character per sample.
std::uint64_t RowBytesInFile(int kind, std::uint64_t width, std::uint64_t rowSamples, std::uint64_t sampleBytes) {
    switch (kind) {
        case 4: return (width + 7) / 8;
        case 5:
        case 6: return rowSamples * sampleBytes;
        default: return rowSamples;
    }
}

// A plain bitmap row ("0" and "1" characters) into packed bits.
void ReadPlainBitRow(PortableMapReader& reader, std::uint8_t* row, std::size_t w) {
    std::uint8_t accumulator = 0;
    std::size_t out = 0;
    for (std::size_t x = 1; x <= w; ++x) {
        accumulator = static_cast<std::uint8_t>((accumulator << 1) | reader.ReadBit());
        if (x % 8 == 0) {
            row[out++] = accumulator;
            accumulator = 0;
        }
    }
    if (w % 8 != 0) row[out] = static_cast<std::uint8_t>(accumulator << (8 - w % 8));
}

// A plain row of `samples` numbers per pixel (1 gray, 3 RGB) into 8-bit
// gray or BGR.
void ReadPlainRow(PortableMapReader& reader, std::uint8_t* row, std::size_t w, std::size_t samples,
                  const SampleScale& scale) {
    for (std::size_t x = 0; x < w; ++x) {
        std::uint32_t values[3] = {};
        for (std::size_t k = 0; k < samples; ++k)
            if (!reader.ReadNumber(values[k])) RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
        if (samples == 1) {
            row[x] = scale(values[0]);
        } else {
            row[3 * x] = scale(values[2]);
            row[3 * x + 1] = scale(values[1]);
            row[3 * x + 2] = scale(values[0]);
        }
    }
}

// Raw gray or RGB samples of one or two bytes.
struct RawRowConverter {
    SampleScale scale;
    std::uint64_t sampleBytes;
    std::array<std::uint8_t, 256> byteLevels{};  // one-byte samples' levels

    RawRowConverter(std::uint32_t maxValue, std::uint64_t bytes) : scale{maxValue}, sampleBytes(bytes) {
        if (sampleBytes == 1)
            for (std::uint32_t v = 0; v < byteLevels.size(); ++v) byteLevels[v] = scale(v);
    }

    std::uint8_t Sample(const std::vector<std::uint8_t>& raw, std::size_t i) const {
        if (sampleBytes == 1) return byteLevels[raw[i]];
        return scale(static_cast<std::uint32_t>(raw[2 * i] << 8 | raw[2 * i + 1]));
    }

    // Gray samples as they are, RGB ones into BGR.
    void Convert(const std::vector<std::uint8_t>& raw, std::uint8_t* row, std::size_t samples, bool gray) const {
        if (gray) {
            for (std::size_t i = 0; i < samples; ++i) row[i] = Sample(raw, i);
            return;
        }
        for (std::size_t i = 0; i < samples; i += 3) {
            row[i] = Sample(raw, i + 2);
            row[i + 1] = Sample(raw, i + 1);
            row[i + 2] = Sample(raw, i);
        }
    }
};

}  // namespace

void TPPMGraphic::LoadRows(TLoadContext& load) {
    const int kind = kind_;
    PortableMapReader reader(load.Stream);
    const TImageProperties& p = ImageProperties;
    const std::uint64_t width = p.Width, height = p.Height;
    const std::uint64_t sampleBytes = maxValue_ > kMaxByteSample ? 2 : 1;
    const std::uint64_t rowSamples = width * p.SamplesPerPixel;

    // What the rows need at the least, against what the file still holds,
    // before the bitmap is sized.
    const std::uint64_t rowBytesInFile = RowBytesInFile(kind, width, rowSamples, sampleBytes);
    CheckImageSize(static_cast<std::int64_t>(width), static_cast<std::int64_t>(height), kFormatName);
    if (rowBytesInFile * height > reader.BytesLeft()) RaiseShortData();
    PrepareTarget(kind);
    SetImageSize(static_cast<std::int64_t>(width), static_cast<std::int64_t>(height));

    std::vector<std::uint8_t> raw;
    if (kind == 5 || kind == 6) raw.resize(static_cast<std::size_t>(rowBytesInFile));
    const SampleScale scale{maxValue_};
    const RawRowConverter rawRows(maxValue_, sampleBytes);
    const auto w = static_cast<std::size_t>(width);
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = ScanLine(static_cast<int>(y));
        switch (kind) {
            case 1: ReadPlainBitRow(reader, row, w); break;
            case 2: ReadPlainRow(reader, row, w, 1, scale); break;
            case 3: ReadPlainRow(reader, row, w, 3, scale); break;
            case 4: reader.ReadBytes(row, static_cast<std::size_t>(rowBytesInFile)); break;
            default:
                reader.ReadBytes(raw.data(), raw.size());
                rawRows.Convert(raw, row, static_cast<std::size_t>(rowSamples), kind == 5);
                break;
        }
        load.Progress.RowDone(y, height);
    }
}

void TPPMGraphic::PrepareTarget(int kind) {
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
}

}  // namespace orv
