#include "formats/fmt_psp.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <memory>
#include <vector>

#include "formats/codec_deflate.h"
#include "formats/codec_rle.h"
#include "formats/format_registry.h"
#include "platform/base/stream.h"
#include "platform/graphics/byte_order.h"
#include "platform/graphics/messages.h"

namespace orv {

namespace {

constexpr const char* kFormatName = "PSP";
constexpr TFormatExtension kExtensions[] = {{"psp"}};
constexpr std::size_t kFileHeaderSize = 36;
constexpr char kSignature[] = "Paint Shop Pro Image File";
constexpr std::size_t kSignatureLength = sizeof kSignature - 1;
constexpr std::size_t kAttributeSize = 42;
constexpr std::size_t kLayerInfoSize = 115;
constexpr std::size_t kVersion3NameSize = 256;
constexpr std::uint16_t kPaletteBlock = 2;
constexpr std::uint16_t kLayerBankBlock = 3;
constexpr std::uint16_t kLayerBlock = 4;
// Channel types with a buffer: composite, red, green, blue.
constexpr std::uint16_t kChannelTypes = 4;

std::uint16_t ReadWord(TStream& stream) {
    std::uint8_t b[2];
    stream.ReadBuffer(b, sizeof b);
    return LittleWord(b);
}

std::uint32_t ReadLong(TStream& stream) {
    std::uint8_t b[4];
    stream.ReadBuffer(b, sizeof b);
    return LittleLong(b);
}

bool SignatureMatches(const std::uint8_t* b) {
    for (std::size_t i = 0; i < kSignatureLength; ++i)
        if (std::toupper(b[i]) != std::toupper(static_cast<unsigned char>(kSignature[i]))) return false;
    return true;
}

struct BlockHeader {
    char Marker0 = 0;
    std::uint16_t Id = 0;
    std::uint64_t Start = 0;  // position of the header
    std::uint64_t Next = 0;   // position after the block
};

// False, reading nothing, at or past the end of the stream.
bool ReadBlockHeader(TStream& stream, std::uint32_t version, BlockHeader& header) {
    const std::int64_t position = stream.Position();
    if (position < 0 || position >= stream.Size()) return false;
    std::uint8_t marker[4];
    stream.ReadBuffer(marker, sizeof marker);
    header.Marker0 = static_cast<char>(marker[0]);
    header.Id = ReadWord(stream);
    if (version == 3) (void)ReadLong(stream);  // initial data length
    const std::uint32_t total = ReadLong(stream);
    header.Start = static_cast<std::uint64_t>(position);
    header.Next = static_cast<std::uint64_t>(stream.Position()) + total;
    return true;
}

void MoveTo(TStream& stream, std::uint64_t position) { stream.SetPosition(static_cast<std::int64_t>(position)); }

// Largest factor by which a compression scheme can grow its data; a channel
// whose packed bytes cannot fill its buffer is damaged, and accepting it
// would let a tiny file claim a huge picture.
std::uint64_t MaxExpansion(std::uint8_t compression) {
    switch (compression) {
        case ctNone: return 1;
        case ctRLE: return 64;     // a two-byte packet gives up to 127 bytes
        default: return 1032;      // Deflate's limit
    }
}

}  // namespace

TPSPGraphic::TPSPGraphic() : TFormatGraphic(kFormatName) {}

const TGraphicClass& TPSPGraphic::ClassInfo() { return FormatClassInfo<TPSPGraphic>("TPSPGraphic"); }

const TFormatDescriptor TPSPGraphic::Format{&TPSPGraphic::ClassInfo, "Paintshop Pro images", kExtensions,
                                            FormatRaster | FormatVector};

bool TPSPGraphic::CanLoadStream(TStream& stream) {
    std::uint8_t b[kFileHeaderSize];
    return PeekHeader(stream, b, sizeof b) && SignatureMatches(b) && LittleWord(b + 32) >= 3;
}

bool TPSPGraphic::ReadImageProperties(TStream& stream, std::uint32_t imageIndex) {
    TFormatGraphic::ReadImageProperties(stream, imageIndex);
    std::uint8_t b[kFileHeaderSize];
    if (stream.Read(b, sizeof b) != sizeof b) return false;
    if (!SignatureMatches(b) || LittleWord(b + 32) < 3) return false;

    TImageProperties& p = ImageProperties;
    p.Version = LittleWord(b + 32);
    BlockHeader block;
    if (!ReadBlockHeader(stream, p.Version, block)) return false;
    if (p.Version > 3) (void)ReadLong(stream);
    std::uint8_t a[kAttributeSize];
    stream.ReadBuffer(a, sizeof a);
    MoveTo(stream, block.Next);

    const std::uint16_t depth = LittleWord(a + 19);
    if (depth == 24) {
        p.BitsPerSample = 8;
        p.SamplesPerPixel = 3;
        p.ColorScheme = TColorModel::cmRGB;
    } else {
        p.BitsPerSample = static_cast<std::uint8_t>(depth);
        p.SamplesPerPixel = 1;
        p.ColorScheme = a[27] != 0 ? TColorModel::cmGray : TColorModel::cmIndexed;
    }
    p.BitsPerPixel = static_cast<std::uint8_t>(p.BitsPerSample * p.SamplesPerPixel);
    const auto width = static_cast<std::int32_t>(LittleLong(a));
    const auto height = static_cast<std::int32_t>(LittleLong(a + 4));
    switch (LittleWord(a + 17)) {
        case 0: p.Compression = ctNone; break;
        case 1: p.Compression = ctRLE; break;
        case 2: p.Compression = ctLZ77; break;
        case 3: p.Compression = ctJPEG; break;
        default: p.Compression = ctUnknown; break;
    }
    double resolution = 0;
    std::memcpy(&resolution, a + 8, sizeof resolution);
    p.XResolution = static_cast<float>(resolution);
    if (a[16] == 2) p.XResolution *= 2.54f;
    p.YResolution = p.XResolution;
    // The sides are signed in the file; only sizes a bitmap can take pass.
    if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide) return false;
    p.Width = static_cast<std::uint32_t>(width);
    p.Height = static_cast<std::uint32_t>(height);
    return true;
}

// The state of one decoding: the picture's layout and the channel buffers
// of the layer being read.
struct TPSPGraphic::Decoding {
    TLoadContext& Load;
    TStream& Stream;
    std::uint32_t Version;
    std::uint8_t Compression;
    std::uint32_t Width;
    std::uint32_t Height;
    bool Color;              // RGB, not indexed or gray
    std::uint64_t Stride;    // bytes of a channel row
    std::uint64_t ChannelBytes;
    std::array<std::vector<std::uint8_t>, kChannelTypes> Channels;
    std::vector<std::uint8_t> AbsentRow;  // a zero row for a channel the layer lacks
};

void TPSPGraphic::DecodeImage(TLoadContext& load) {
    TStream& stream = load.Stream;
    load.Progress.SetEndNotice(100, true);
    const TImageProperties props = ImageProperties;
    CheckImageSize(props.Width, props.Height, kFormatName);
    const std::uint8_t compression = props.Compression;
    if (compression != ctNone && compression != ctRLE && compression != ctLZ77)
        RaiseImageErrorFmt(msg::NotSupported, msg::CompressionScheme, kFormatName);
    const std::uint32_t version = props.Version;

    stream.SetPosition(load.StartPosition);
    load.Progress.Start(msg::Preparing);
    SkipAttributeBlock(stream, version);
    const std::uint64_t stride = PrepareTarget(props);
    load.Progress.End();

    Decoding d{load, stream, version, compression, props.Width, props.Height,
               props.ColorScheme == TColorModel::cmRGB, stride, stride * props.Height, {},
               AllocateWorkBuffer(stride, kFormatName)};
    for (;;) {
        BlockHeader block;
        if (!ReadBlockHeader(stream, version, block) || block.Marker0 != '~') break;
        if (block.Id == kPaletteBlock)
            ReadPaletteBlock(stream, version);
        else if (block.Id == kLayerBankBlock)
            ReadLayerBank(d, block.Next);
        MoveTo(stream, block.Next);
    }
}

void TPSPGraphic::SkipAttributeBlock(TStream& stream, std::uint32_t version) {
    std::uint8_t b[kFileHeaderSize];
    stream.ReadBuffer(b, sizeof b);
    BlockHeader first;
    if (!ReadBlockHeader(stream, version, first)) RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    MoveTo(stream, first.Next);
}

std::uint64_t TPSPGraphic::PrepareTarget(const TImageProperties& props) {
    ColorManager.SetSourceBits(props.BitsPerSample);
    ColorManager.SetTargetBits(props.BitsPerSample);
    ColorManager.SetSourceSamples(props.SamplesPerPixel);
    ColorManager.SetTargetSamples(props.SamplesPerPixel);
    ColorManager.SetSourceModel(props.ColorScheme);
    const bool color = props.ColorScheme == TColorModel::cmRGB;
    ColorManager.SetTargetModel(color ? TColorModel::cmBGR : props.ColorScheme);

    const std::uint32_t width = props.Width;
    std::uint64_t stride = 0;
    switch (props.BitsPerSample) {
        case 1: stride = (std::uint64_t{width} + 7) / 8; break;
        case 4: stride = width / 2 + 1; break;
        case 8: stride = width; break;
        default: RaiseImageErrorFmt(msg::InvalidColorFormat, kFormatName);
    }
    SetPixelFormat(ColorManager.PixelFormatFor(1));
    SetImageSize(width, props.Height);
    if (props.ColorScheme == TColorModel::cmGray) SetPalette(ColorManager.BuildGrayPalette(false));
    return stride;
}

void TPSPGraphic::ReadPaletteBlock(TStream& stream, std::uint32_t version) {
    if (version > 3) (void)ReadLong(stream);
    const std::uint32_t entries = ReadLong(stream);
    const std::uint32_t kept = std::min<std::uint32_t>(entries, 256);
    std::uint8_t table[256 * 4];
    stream.ReadBuffer(table, kept * 4);
    SetPalette(ColorManager.BuildIndexedPalette({TRowBuffer{table, kept * 4u}}, cmf8Interleaved4, kept, true));
}

void TPSPGraphic::ReadLayerBank(Decoding& d, std::uint64_t bankEnd) {
    TStream& stream = d.Stream;
    for (;;) {
        if (static_cast<std::uint64_t>(stream.Position()) >= bankEnd) return;
        BlockHeader layer;
        if (!ReadBlockHeader(stream, d.Version, layer)) return;
        d.Load.Progress.Start(msg::LoadingData);
        if (layer.Id != kLayerBlock) return;
        std::uint16_t channelCount = 0;
        if (!ReadLayerInfo(stream, d.Version, channelCount)) {
            MoveTo(stream, layer.Next);
            continue;
        }
        if (channelCount > 3 && d.Color) {
            ColorManager.SetSourceModel(TColorModel::cmRGBA);
            ColorManager.SetSourceSamples(4);
            ColorManager.SetTargetModel(TColorModel::cmBGRA);
            ColorManager.SetTargetSamples(4);
            SetPixelFormat(TPixelFormat::pf32bit);
        }
        for (std::uint16_t k = 0; k < channelCount; ++k)
            if (!ReadChannel(d)) break;
        TransferChannels(d);
        return;
    }
}

bool TPSPGraphic::ReadLayerInfo(TStream& stream, std::uint32_t version, std::uint16_t& channelCount) {
    std::uint8_t info[kLayerInfoSize];
    if (version <= 3) {
        stream.Seek(kVersion3NameSize, SeekOrigin::Current);
        stream.ReadBuffer(info, sizeof info);
        if (info[0] != 0) return false;
        (void)ReadWord(stream);  // bitmap count
        channelCount = ReadWord(stream);
        return true;
    }
    const std::uint64_t chunkStart = static_cast<std::uint64_t>(stream.Position());
    const std::uint32_t chunkLength = ReadLong(stream);
    const std::uint16_t nameLength = ReadWord(stream);
    stream.Seek(nameLength, SeekOrigin::Current);
    stream.ReadBuffer(info, sizeof info);
    MoveTo(stream, chunkStart + chunkLength);
    if (info[0] >= 2) return false;
    const std::uint64_t bitmapStart = static_cast<std::uint64_t>(stream.Position());
    const std::uint32_t bitmapLength = ReadLong(stream);
    (void)ReadWord(stream);  // bitmap count
    channelCount = ReadWord(stream);
    MoveTo(stream, bitmapStart + bitmapLength);
    return true;
}

bool TPSPGraphic::ReadChannel(Decoding& d) {
    TStream& stream = d.Stream;
    BlockHeader sub;
    if (!ReadBlockHeader(stream, d.Version, sub)) return false;
    if (d.Version > 3) (void)ReadLong(stream);
    std::uint8_t c[12];
    stream.ReadBuffer(c, sizeof c);
    const std::uint32_t packedLength = LittleLong(c);
    const std::uint16_t type = LittleWord(c + 10);
    if (type < kChannelTypes) {
        CheckBytesLeft(stream, packedLength, kFormatName);
        if (std::uint64_t{packedLength} * MaxExpansion(d.Compression) < d.ChannelBytes)
            RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
        std::vector<std::uint8_t>& buffer = d.Channels[type];
        buffer = AllocateWorkBuffer(d.ChannelBytes, kFormatName);
        if (d.Compression == ctNone) {
            stream.ReadBuffer(buffer.data(), std::min<std::size_t>(packedLength, buffer.size()));
        } else {
            std::vector<std::uint8_t> packed = AllocateWorkBuffer(packedLength, kFormatName);
            stream.ReadBuffer(packed.data(), packed.size());
            std::unique_ptr<TDecoder> decoder;
            if (d.Compression == ctRLE) decoder = std::make_unique<TPSPRLEDecoder>();
            else decoder = std::make_unique<TLZ77Decoder>(Z_FINISH, false);
            decoder->DecodeInit();
            const std::uint8_t* source = packed.data();
            std::uint8_t* dest = buffer.data();
            decoder->Decode(source, packed.size(), dest, buffer.size());
            decoder->DecodeEnd();
        }
    }
    // Whatever the channel held, the next one starts after its block.
    MoveTo(stream, sub.Next);
    return true;
}

void TPSPGraphic::TransferChannels(Decoding& d) {
    d.Load.Progress.End();
    d.Load.Progress.Start(msg::Transfering);
    // Channels the layer lacks read as zero rows.
    const bool fourSources = ColorManager.TargetModel() != TColorModel::cmIndexed &&
                             ColorManager.TargetModel() != TColorModel::cmGray;
    static constexpr int kColorOrder[] = {1, 2, 3, 0};
    const std::size_t count = fourSources ? ColorManager.SourceSamples() : 1;
    for (std::uint32_t y = 0; y < d.Height; ++y) {
        TRowBuffer sources[4];
        for (std::size_t k = 0; k < count; ++k) {
            const auto& buffer = d.Channels[static_cast<std::size_t>(fourSources ? kColorOrder[k] : 0)];
            const std::uint8_t* row = buffer.empty() ? d.AbsentRow.data() : buffer.data() + y * d.Stride;
            sources[k] = {row, static_cast<std::size_t>(d.Stride)};
        }
        ColorManager.ConvertLine(std::span<const TRowBuffer>(sources, count), ScanLine(static_cast<int>(y)),
                                 RowBytes(), d.Width);
        d.Load.Progress.RowDone(y, d.Height);
    }
    d.Load.Progress.End();
}

}  // namespace orv
