#include "formats/fmt_psd.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <vector>

#include "formats/codec_rle.h"
#include "formats/format_registry.h"
#include "platform/base/stream.h"
#include "platform/graphics/byte_order.h"
#include "platform/graphics/messages.h"

namespace orv {

namespace {

constexpr const char* kFormatName = "PSD or PDD";
constexpr const char* kShortName = "PSD";
constexpr std::size_t kHeaderSize = 26;
constexpr TFormatExtension kExtensions[] = {{"psd"}, {"pdd"}};

std::uint32_t ReadBigLong(TStream& stream) {
    std::uint8_t b[4];
    stream.ReadBuffer(b, sizeof b);
    return BigLong(b);
}

// Moves past a section of `length` bytes that must lie inside the stream.
void SkipBytes(TStream& stream, std::uint64_t length) {
    CheckBytesLeft(stream, length, kFormatName);
    stream.Seek(static_cast<std::int64_t>(length), SeekOrigin::Current);
}

// Fewest PackBits bytes that fill a row of rowBytes bytes: one two-byte run
// packet per 128 bytes. Rows given less cannot be whole, and accepting them
// would let a tiny file claim a huge picture.
std::uint64_t MinPackedRow(std::uint64_t rowBytes) { return 2 * ((rowBytes + 127) / 128); }

bool IsPaletteScheme(TColorModel model) { return model == TColorModel::cmGray || model == TColorModel::cmIndexed; }
bool IsColorScheme(TColorModel model) {
    return model == TColorModel::cmRGB || model == TColorModel::cmRGBA || model == TColorModel::cmCMYK ||
           model == TColorModel::cmCIELab;
}

// Samples per pixel the colour path converts: the channels the scheme needs,
// further channels (alpha of CMYK and Lab, spot colours) are ignored.
std::uint8_t ColorSamples(TColorModel model) {
    switch (model) {
        case TColorModel::cmRGBA:
        case TColorModel::cmCMYK:
            return 4;
        default:
            return 3;
    }
}

// PackBits row data: the row-count table and the packed bytes of the first
// `rows` rows, read after checking they are whole and inside the stream.
struct PackedRows {
    std::vector<std::uint16_t> counts;
    std::vector<std::uint8_t> data;
    std::vector<std::size_t> offsets;  // start of each row in data

    void Read(TStream& stream, std::uint64_t tableEntries, std::uint64_t rows, std::uint64_t rowBytes) {
        CheckBytesLeft(stream, tableEntries * 2, kFormatName);
        std::vector<std::uint8_t> table = AllocateWorkBuffer(tableEntries * 2, kFormatName);
        stream.ReadBuffer(table.data(), table.size());
        counts.resize(static_cast<std::size_t>(rows));
        offsets.resize(static_cast<std::size_t>(rows));
        std::uint64_t total = 0;
        for (std::size_t r = 0; r < counts.size(); ++r) {
            counts[r] = BigWord(table.data() + 2 * r);
            offsets[r] = static_cast<std::size_t>(total);
            total += counts[r];
        }
        if (total < rows * MinPackedRow(rowBytes)) RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
        CheckBytesLeft(stream, total, kFormatName);
        data = AllocateWorkBuffer(total, kFormatName);
        stream.ReadBuffer(data.data(), data.size());
    }

    // Row r into dest (capacity bytes, zero-filled first).
    void Decode(TPackbitsRLEDecoder& decoder, std::size_t r, std::uint8_t* dest, std::size_t capacity) const {
        std::memset(dest, 0, capacity);
        const std::uint8_t* source = data.data() + offsets[r];
        decoder.Decode(source, counts[r], dest, capacity);
    }
};

}  // namespace

TPSDGraphic::TPSDGraphic() : TFormatGraphic(kFormatName) {}

const TGraphicClass& TPSDGraphic::ClassInfo() { return FormatClassInfo<TPSDGraphic>("TPSDGraphic"); }

const TFormatDescriptor TPSDGraphic::Format{&TPSDGraphic::ClassInfo, "Photoshop images", kExtensions,
                                            FormatLayers | FormatRaster};

bool TPSDGraphic::CanLoadStream(TStream& stream) {
    std::uint8_t b[kHeaderSize];
    if (!PeekHeader(stream, b, sizeof b)) return false;
    static constexpr char kSignature[] = "8BPS";
    for (int i = 0; i < 4; ++i)
        if (std::toupper(b[i]) != kSignature[i]) return false;
    return BigWord(b + 4) == 1;
}

bool TPSDGraphic::ReadImageProperties(TStream& stream, std::uint32_t imageIndex) {
    TFormatGraphic::ReadImageProperties(stream, imageIndex);
    std::uint8_t b[kHeaderSize];
    if (stream.Read(b, sizeof b) != sizeof b) return false;
    if (std::memcmp(b, "8BPS", 4) != 0) return false;

    TImageProperties& p = ImageProperties;
    p.Options = OptionBigEndian;
    p.BitsPerSample = b[23];
    p.ChannelCount = b[13];
    p.SamplesPerPixel = std::min<std::uint8_t>(p.ChannelCount, 4);
    p.BitsPerPixel = static_cast<std::uint8_t>(p.SamplesPerPixel * p.BitsPerSample);
    switch (BigWord(b + 24)) {
        case 0:
            p.ColorScheme = TColorModel::cmGray;
            p.Options |= OptionMinIsWhite;
            break;
        case 1:
        case 8:
            p.ColorScheme = TColorModel::cmGray;
            break;
        case 2:
            p.ColorScheme = TColorModel::cmIndexed;
            break;
        case 3:
        case 7:
            p.ColorScheme = p.ChannelCount == 3 ? TColorModel::cmRGB : TColorModel::cmRGBA;
            break;
        case 4:
            p.ColorScheme = TColorModel::cmCMYK;
            break;
        case 9:
            p.ColorScheme = TColorModel::cmCIELab;
            break;
        default:
            p.ColorScheme = TColorModel::cmUnknown;
            break;
    }
    p.Height = BigLong(b + 14);
    p.Width = BigLong(b + 18);
    for (int section = 0; section < 3; ++section) SkipBytes(stream, ReadBigLong(stream));
    std::uint8_t code[2];
    stream.ReadBuffer(code, sizeof code);
    p.Compression = BigWord(code) == 1 ? ctPackedBits : ctNone;
    return true;
}

namespace {

// Rows move at the file's size, so only depths whose rows the transfer
// knows are taken; the scheme's planes must all be in the file.
void CheckDepthAndChannels(const TImageProperties& props) {
    const TColorModel scheme = props.ColorScheme;
    const std::uint8_t bits = props.BitsPerSample;
    if (IsPaletteScheme(scheme)) {
        const bool depthOk = scheme == TColorModel::cmIndexed ? bits == 8 : (bits == 1 || bits == 8 || bits == 16);
        if (!depthOk) RaiseImageErrorFmt(msg::InvalidColorFormat, kShortName);
        if (props.ChannelCount < 1) RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    } else if (IsColorScheme(scheme)) {
        if (bits != 8 && bits != 16) RaiseImageErrorFmt(msg::InvalidColorFormat, kShortName);
        if (props.ChannelCount < ColorSamples(scheme)) RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    }
}

}  // namespace

void TPSDGraphic::DecodeImage(TLoadContext& load) {
    TStream& stream = load.Stream;
    load.Progress.SetEndNotice(100, true);
    const TImageProperties props = ImageProperties;
    CheckImageSize(props.Width, props.Height, kFormatName);
    CheckDepthAndChannels(props);

    stream.SetPosition(load.StartPosition);
    load.Progress.Start(msg::Preparing);
    std::uint8_t header[kHeaderSize];
    stream.ReadBuffer(header, sizeof header);
    PrepareTarget(props);
    ReadSectionsBeforeImage(stream, props.ColorScheme);
    load.Progress.End();
    if (props.Width == 0 || props.Height == 0) return;  // no rows to move

    std::unique_ptr<TPackbitsRLEDecoder> decoder;
    if (props.Compression == ctPackedBits) {
        decoder = std::make_unique<TPackbitsRLEDecoder>();
        decoder->DecodeInit();
    }
    if (IsPaletteScheme(props.ColorScheme))
        ReadPaletteImage(load, props, decoder.get());
    else if (IsColorScheme(props.ColorScheme))
        ReadColorImage(load, props, decoder.get());
    if (decoder) decoder->DecodeEnd();
}

void TPSDGraphic::PrepareTarget(const TImageProperties& props) {
    const TColorModel scheme = props.ColorScheme;
    if (IsPaletteScheme(scheme) || IsColorScheme(scheme)) {
        // Gray and indexed images with extra channels (alpha) still show
        // their first channel alone.
        const std::uint8_t samples = IsPaletteScheme(scheme) ? 1 : ColorSamples(scheme);
        const TConversionFlags lab = scheme == TColorModel::cmCIELab ? cfLabScaledL | cfLabOffsetAB : 0;
        SetUpDisplay(scheme, props.BitsPerSample, samples, cfByteSwap | lab, props.Options & OptionMinIsWhite);
    } else {
        // Other modes give a picture of their size with no pixels moved.
        SetPixelFormat(TPixelFormat::pf24bit);
    }
    SetImageSize(props.Width, props.Height);
}

void TPSDGraphic::ReadSectionsBeforeImage(TStream& stream, TColorModel scheme) {
    // Colour-mode data: the palette of indexed images as three planes.
    const std::uint32_t modeLength = ReadBigLong(stream);
    if (scheme == TColorModel::cmIndexed) {
        CheckBytesLeft(stream, modeLength, kFormatName);
        std::vector<std::uint8_t> table = AllocateWorkBuffer(modeLength, kFormatName);
        stream.ReadBuffer(table.data(), table.size());
        const std::size_t planeLength = table.size() / 3;
        const std::size_t colors = std::min<std::size_t>(planeLength, 256);
        const std::uint8_t* base = table.data();
        SetPalette(ColorManager.BuildIndexedPalette(
            {TRowBuffer{base, colors}, TRowBuffer{base + planeLength, colors}, TRowBuffer{base + 2 * planeLength, colors}},
            cmf8Planar, static_cast<std::uint32_t>(colors), false));
    } else {
        SkipBytes(stream, modeLength);
    }
    SkipBytes(stream, ReadBigLong(stream));                    // image resources
    SkipBytes(stream, std::uint64_t{ReadBigLong(stream)} + 2);  // layers and masks, compression code
}

void TPSDGraphic::ReadPaletteImage(TLoadContext& load, const TImageProperties& props, TPackbitsRLEDecoder* decoder) {
    TStream& stream = load.Stream;
    const std::uint8_t bits = props.BitsPerSample;
    const std::uint32_t width = props.Width, height = props.Height;
    load.Progress.Start(msg::Transfering);
    const std::uint64_t rowBytes = PackedRowBytes(width, bits);
    PackedRows rows;
    if (decoder) {
        const std::int64_t tableStart = stream.Position();
        try {
            rows.Read(stream, std::uint64_t{height} * props.ChannelCount, height, rowBytes);
        } catch (const EInvalidGraphic&) {
            // Some writers give gray and indexed images with alpha a
            // row-count table and data for the first channel only.
            if (props.ChannelCount < 2) throw;
            stream.SetPosition(tableStart);
            rows.Read(stream, height, height, rowBytes);
        }
    } else CheckBytesLeft(stream, rowBytes * height, kFormatName);
    std::vector<std::uint8_t> row = AllocateWorkBuffer(rowBytes, kFormatName);
    for (std::uint32_t y = 0; y < height; ++y) {
        if (decoder) rows.Decode(*decoder, y, row.data(), row.size());
        else stream.ReadBuffer(row.data(), row.size());
        std::uint8_t* target = ScanLine(static_cast<int>(y));
        if (bits == 16) ColorManager.ConvertLine(row.data(), row.size(), target, RowBytes(), width);
        else std::memcpy(target, row.data(), std::min<std::size_t>(row.size(), RowBytes()));
        load.Progress.RowDone(y, height);
    }
}

void TPSDGraphic::ReadColorImage(TLoadContext& load, const TImageProperties& props, TPackbitsRLEDecoder* decoder) {
    TStream& stream = load.Stream;
    const TColorModel scheme = props.ColorScheme;
    const std::uint32_t width = props.Width, height = props.Height;
    load.Progress.Start(msg::LoadingData);
    const std::uint8_t planes = ColorSamples(scheme);
    const std::uint64_t rowBytes = std::uint64_t{width} * (props.BitsPerSample / 8);
    const std::uint64_t planeBytes = rowBytes * height;
    std::vector<std::uint8_t> planar;
    if (decoder) {
        PackedRows rows;
        rows.Read(stream, std::uint64_t{height} * props.ChannelCount, std::uint64_t{height} * planes, rowBytes);
        planar = AllocateWorkBuffer(planeBytes * planes, kFormatName);
        for (std::size_t r = 0; r < rows.counts.size(); ++r)
            rows.Decode(*decoder, r, planar.data() + r * rowBytes, static_cast<std::size_t>(rowBytes));
    } else {
        CheckBytesLeft(stream, planeBytes * planes, kFormatName);
        planar = AllocateWorkBuffer(planeBytes * planes, kFormatName);
        stream.ReadBuffer(planar.data(), planar.size());
    }
    // Stored ink is inverted: 0 means full ink. The complement of
    // every byte is the complement of each 16-bit sample too.
    if (scheme == TColorModel::cmCMYK)
        for (std::uint8_t& v : planar) v = static_cast<std::uint8_t>(255 - v);

    load.Progress.End();
    load.Progress.Start(msg::Transfering);
    TRowBuffer sources[4];
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::size_t k = 0; k < planes; ++k)
            sources[k] = {planar.data() + k * planeBytes + y * rowBytes, static_cast<std::size_t>(rowBytes)};
        ColorManager.ConvertLine(std::span<const TRowBuffer>(sources, planes), ScanLine(static_cast<int>(y)),
                                 RowBytes(), width);
        load.Progress.RowDone(y, height);
    }
}

}  // namespace orv
