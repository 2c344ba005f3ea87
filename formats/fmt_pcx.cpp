#include "formats/fmt_pcx.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "formats/codec_rle.h"
#include "formats/format_registry.h"
#include "platform/base/stream.h"
#include "platform/graphics/byte_order.h"
#include "platform/graphics/messages.h"

namespace orv {

namespace {

constexpr const char* kFormatName = "PCX or SCR";
// The name the colour-format error gives.
constexpr const char* kColorFormatName = "PCX";
constexpr std::size_t kHeaderSize = 128;
constexpr std::uint8_t kMaker = 10;
constexpr std::uint8_t kScreenMaker = 205;
// The 256-colour block at the end of 8-bit files: a marker byte and 768
// bytes of red, green, blue.
constexpr std::size_t kPaletteBlockSize = 769;
constexpr std::uint8_t kPaletteMarker = 12;
constexpr TFormatExtension kExtensions[] = {{"pcx"}, {"pcc"}, {"scr", "Word 5.x screen capture images"}};

struct PCXHeader {
    std::uint8_t Maker = 0;
    std::uint8_t Version = 0;
    std::uint8_t Encoding = 0;
    std::uint8_t BitsPerPlane = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::uint16_t XResolution = 0;
    std::uint16_t YResolution = 0;
    const std::uint8_t* Colors16 = nullptr;  // 48 bytes inside the parsed block
    std::uint8_t Planes = 0;
    std::uint16_t BytesPerLine = 0;
    std::uint16_t PaletteKind = 0;

    static PCXHeader Parse(const std::uint8_t* b) {
        PCXHeader h;
        h.Maker = b[0];
        h.Version = b[1];
        h.Encoding = b[2];
        h.BitsPerPlane = b[3];
        h.Width = std::int32_t{LittleWord(b + 8)} - LittleWord(b + 4) + 1;
        h.Height = std::int32_t{LittleWord(b + 10)} - LittleWord(b + 6) + 1;
        h.XResolution = LittleWord(b + 12);
        h.YResolution = LittleWord(b + 14);
        h.Colors16 = b + 16;
        h.Planes = b[65];
        h.BytesPerLine = LittleWord(b + 66);
        h.PaletteKind = LittleWord(b + 68);
        return h;
    }
};

// The layouts the row code knows (bits per plane x planes); any other one
// would make the colour manager's rows longer than the planes they come from.
bool IsKnownLayout(std::uint8_t bits, std::uint8_t planes) {
    if (planes == 1) return bits == 1 || bits == 2 || bits == 4 || bits == 8;
    return (planes == 4 && bits == 1) || (planes == 3 && bits == 8);
}

// Four planes of one bit into 4-bit pixels, plane 0 the lowest bit.
void MergeBitPlanes(const std::uint8_t* row, std::size_t lineLength, std::uint8_t* target, std::uint32_t width) {
    const std::size_t quarter = lineLength / 4;
    const std::uint8_t* plane[4] = {row, row + quarter, row + 2 * quarter, row + 3 * quarter};
    const std::size_t outBytes = PackedRowBytes(width, 4);
    std::uint8_t bits[4] = {};
    for (std::size_t i = 0; i < outBytes; ++i) {
        // Every plane byte gives eight pixels, four output bytes.
        if (i % 4 == 0)
            for (int k = 0; k < 4; ++k) bits[k] = plane[k][i / 4];
        std::uint8_t out = 0;
        for (int half = 0; half < 2; ++half) {
            unsigned pixel = 0;
            for (int k = 3; k >= 0; --k) {
                pixel = (pixel << 1) | (bits[k] >> 7);
                bits[k] = static_cast<std::uint8_t>(bits[k] << 1);
            }
            out = static_cast<std::uint8_t>((out << 4) | pixel);
        }
        target[i] = out;
    }
}

}  // namespace

TPCXGraphic::TPCXGraphic() : TFormatGraphic(kFormatName, THeaderRefusal::EmptyPicture) {}

const TGraphicClass& TPCXGraphic::ClassInfo() { return FormatClassInfo<TPCXGraphic>("TPCXGraphic"); }

const TFormatDescriptor TPCXGraphic::Format{&TPCXGraphic::ClassInfo, "ZSoft Paintbrush images", kExtensions,
                                            FormatRaster};

bool TPCXGraphic::CanLoadStream(TStream& stream) {
    std::uint8_t bytes[kHeaderSize];
    if (!PeekHeader(stream, bytes, sizeof bytes)) return false;
    const PCXHeader h = PCXHeader::Parse(bytes);
    // The same maker bytes the reader takes.
    return (h.Maker == kMaker || h.Maker == kScreenMaker) &&
           (h.Version == 0 || h.Version == 2 || h.Version == 3 || h.Version == 5) && h.Encoding <= 1;
}

bool TPCXGraphic::ReadImageProperties(TStream& stream, std::uint32_t imageIndex) {
    TFormatGraphic::ReadImageProperties(stream, imageIndex);
    std::uint8_t bytes[kHeaderSize];
    if (stream.Read(bytes, sizeof bytes) != sizeof bytes) return false;
    const PCXHeader h = PCXHeader::Parse(bytes);
    if (h.Maker != kMaker && h.Maker != kScreenMaker) return false;
    if (h.Width <= 0 || h.Height <= 0) return false;

    TImageProperties& p = ImageProperties;
    p.Width = static_cast<std::uint32_t>(h.Width);
    p.Height = static_cast<std::uint32_t>(h.Height);
    p.SamplesPerPixel = h.Planes;
    p.BitsPerSample = h.BitsPerPlane;
    p.BitsPerPixel = static_cast<std::uint8_t>(h.Planes * h.BitsPerPlane);
    p.ColorScheme = p.BitsPerPixel <= 8 ? TColorModel::cmIndexed : TColorModel::cmRGB;
    p.Compression = h.Encoding == 1 ? ctRLE : ctNone;
    p.XResolution = h.XResolution;
    p.YResolution = h.YResolution;
    // Each plane line must hold the row's pixels.
    return h.BytesPerLine >= PackedRowBytes(p.Width, h.BitsPerPlane);
}

namespace {

// The palette of a file of 8 bits or fewer, none for one without: the
// standard colours of a version 3 file, gray for one bit, the header's 16
// colours, or the 256-colour block at the file's end (the stream is put
// back to dataStart after reading it).
std::optional<TPalette> ReadPalette(TStream& stream, const PCXHeader& h, TPixelFormat format, bool paletteBlock,
                                    std::int64_t dataStart, TColorManager& colors) {
    if (format == TPixelFormat::pf24bit) return std::nullopt;
    if (h.Version == 3 && format != TPixelFormat::pf1bit) return TPalette::DefaultFor(TPixelFormat::pf4bit);
    if (format == TPixelFormat::pf1bit) return colors.BuildGrayPalette(false);
    if (format == TPixelFormat::pf4bit) {
        if (h.PaletteKind == 2) return colors.BuildGrayPalette(false);
        return colors.BuildIndexedPalette({{h.Colors16, 48}}, cmf8Interleaved, 16, false);
    }
    if (paletteBlock) {
        stream.SetPosition(stream.Size() - static_cast<std::int64_t>(kPaletteBlockSize));
        std::uint8_t block[kPaletteBlockSize];
        stream.ReadBuffer(block, sizeof block);
        stream.SetPosition(dataStart);
        if (block[0] == kPaletteMarker) return colors.BuildIndexedPalette({{block + 1, 768}}, cmf8Interleaved, 256, false);
    }
    if (h.PaletteKind == 2) return colors.BuildGrayPalette(false);
    return std::nullopt;
}

// The rows are H lines of L bytes (imageBytes in all); only the part the
// dataSize bytes of data can fill is held, the lines past it read as zero.
std::vector<std::uint8_t> ReadLines(TStream& stream, bool rle, std::uint64_t dataSize, std::uint64_t imageBytes) {
    if (!rle) {
        std::vector<std::uint8_t> data = AllocateWorkBuffer(std::min(imageBytes, dataSize), kFormatName);
        stream.ReadBuffer(data.data(), data.size());
        return data;
    }
    std::vector<std::uint8_t> packed = AllocateWorkBuffer(dataSize, kFormatName);
    stream.ReadBuffer(packed.data(), packed.size());
    // A two-byte packet gives at most 63 bytes.
    const std::uint64_t reachable = (dataSize / 2 + 1) * 63;
    std::vector<std::uint8_t> data = AllocateWorkBuffer(std::min(imageBytes, reachable), kFormatName);
    TPCXRLEDecoder decoder;
    decoder.DecodeInit();
    const std::uint8_t* source = packed.data();
    std::uint8_t* dest = data.data();
    decoder.Decode(source, packed.size(), dest, data.size());
    decoder.DecodeEnd();
    return data;
}

}  // namespace

void TPCXGraphic::DecodeImage(TLoadContext& load) {
    TStream& stream = load.Stream;
    stream.SetPosition(load.StartPosition);
    // The area spans the bitmap as it stands, not sized yet.
    load.Progress.Area.Right = Width();
    load.Progress.Start(msg::Preparing);
    std::uint8_t bytes[kHeaderSize];
    stream.ReadBuffer(bytes, sizeof bytes);
    const PCXHeader h = PCXHeader::Parse(bytes);
    if (h.Maker != kMaker && h.Maker != kScreenMaker) RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    const std::int64_t dataStart = stream.Position();
    const std::uint64_t dataLeft = static_cast<std::uint64_t>(std::max<std::int64_t>(stream.Remaining(), 0));
    std::uint64_t dataSize = dataLeft;

    const TImageProperties& props = ImageProperties;
    if (!IsKnownLayout(h.BitsPerPlane, h.Planes)) RaiseImageErrorFmt(msg::InvalidColorFormat, kColorFormatName);
    const bool bitPlanes = h.Planes == 4;
    const TPixelFormat format = PrepareColors(bitPlanes);
    SetPixelFormat(format);
    const bool paletteBlock = format == TPixelFormat::pf8bit && dataLeft >= kPaletteBlockSize;
    if (paletteBlock) dataSize -= kPaletteBlockSize;
    if (auto palette = ReadPalette(stream, h, format, paletteBlock, dataStart, ColorManager))
        SetPalette(std::move(*palette));

    SetImageSize(props.Width, props.Height);
    const std::size_t lineLength = static_cast<std::size_t>(h.Planes) * h.BytesPerLine;
    const std::uint64_t imageBytes = static_cast<std::uint64_t>(lineLength) * props.Height;
    const std::vector<std::uint8_t> data = ReadLines(stream, props.Compression == ctRLE, dataSize, imageBytes);

    load.Progress.End();
    load.Progress.Start(msg::Transfering);
    TransferLines(load, data, lineLength, bitPlanes);
}

TPixelFormat TPCXGraphic::PrepareColors(bool bitPlanes) {
    const TImageProperties& props = ImageProperties;
    const bool indexed = props.ColorScheme == TColorModel::cmIndexed;
    ColorManager.SetSourceModel(props.ColorScheme);
    ColorManager.SetSourceBits(props.BitsPerSample);
    ColorManager.SetSourceSamples(props.SamplesPerPixel);
    ColorManager.SetTargetModel(indexed ? TColorModel::cmIndexed : TColorModel::cmBGR);
    ColorManager.SetTargetBits(props.BitsPerPixel == 2 ? 4 : props.BitsPerSample);
    ColorManager.SetTargetSamples(props.SamplesPerPixel);
    return bitPlanes ? TPixelFormat::pf4bit : ColorManager.PixelFormatFor(1);
}

void TPCXGraphic::TransferLines(TLoadContext& load, const std::vector<std::uint8_t>& data, std::size_t lineLength,
                                bool bitPlanes) {
    const std::uint32_t width = ImageProperties.Width, height = ImageProperties.Height;
    const bool threePlanes = PixelFormat() == TPixelFormat::pf24bit;
    std::vector<std::uint8_t> partial;  // a line the data end inside of
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint64_t offset = static_cast<std::uint64_t>(y) * lineLength;
        const std::uint8_t* line;
        if (offset + lineLength <= data.size()) {
            line = data.data() + offset;
        } else {
            partial.assign(lineLength, 0);
            if (offset < data.size())
                std::memcpy(partial.data(), data.data() + offset, data.size() - static_cast<std::size_t>(offset));
            line = partial.data();
        }
        std::uint8_t* target = ScanLine(static_cast<int>(y));
        if (bitPlanes) {
            MergeBitPlanes(line, lineLength, target, width);
        } else if (threePlanes) {
            const std::size_t third = lineLength / 3;
            ColorManager.ConvertLine({{line, third}, {line + third, third}, {line + 2 * third, third}}, target,
                                     RowBytes(), width);
        } else {
            ColorManager.ConvertLine(line, lineLength, target, RowBytes(), width);
        }
        load.Progress.RowDone(y, height);
    }
}

}  // namespace orv
