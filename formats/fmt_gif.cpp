#include "formats/fmt_gif.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <vector>

#include "formats/codec_lzw.h"
#include "formats/format_registry.h"
#include "platform/base/errors.h"
#include "platform/base/stream.h"
#include "platform/graphics/byte_order.h"
#include "platform/graphics/messages.h"

namespace orv {

namespace {

constexpr const char* kFormatName = "GIF";
constexpr std::size_t kSignatureSize = 6;
constexpr std::int64_t kMinimumFileSize = 22;
constexpr std::size_t kScreenSize = 7;
constexpr std::size_t kDescriptorSize = 9;
constexpr std::uint8_t kImageSeparator = ',';
constexpr std::uint8_t kTrailer = ';';
constexpr std::uint8_t kExtensionIntroducer = '!';
constexpr std::uint8_t kPlainTextLabel = 1;
constexpr std::uint8_t kGraphicControlLabel = 249;
constexpr TFormatExtension kExtensions[] = {{"gif"}};

// The first three bytes read "GIF" in any letter case.
bool IsSignature(const std::uint8_t* b) {
    return std::toupper(b[0]) == 'G' && std::toupper(b[1]) == 'I' && std::toupper(b[2]) == 'F';
}

std::uint8_t ReadByte(TStream& stream) {
    std::uint8_t b = 0;
    stream.ReadBuffer(&b, 1);
    return b;
}

void Skip(TStream& stream, std::int64_t count) { stream.Seek(count, SeekOrigin::Current); }

void SkipSubBlocks(TStream& stream) {
    for (std::uint8_t size = ReadByte(stream); size != 0; size = ReadByte(stream)) Skip(stream, size);
}

// Entries of a colour table whose size code is `code`.
std::uint32_t TableEntries(std::uint8_t flags) { return 2u << (flags & 7); }

// Most pixels LZW data of `packedBytes` bytes can give: a code of w bits
// yields at most 2^w pixels, and w is at most 12.
std::uint64_t MaxLZWOutput(std::uint64_t packedBytes) { return packedBytes * 8 * 4096 / 12 + 4096; }

}  // namespace

TGIFGraphic::TGIFGraphic() : TFormatGraphic(kFormatName) {}

const TGraphicClass& TGIFGraphic::ClassInfo() { return FormatClassInfo<TGIFGraphic>("TGIFGraphic"); }

const TFormatDescriptor TGIFGraphic::Format{&TGIFGraphic::ClassInfo, "CompuServe images", kExtensions,
                                            FormatAnimated | FormatMultiPage | FormatRaster};

bool TGIFGraphic::CanLoadStream(TStream& stream) {
    if (stream.Remaining() <= kMinimumFileSize) return false;
    std::uint8_t b[kSignatureSize];
    return PeekHeader(stream, b, sizeof b) && IsSignature(b);
}

namespace {

// Reads past extension blocks and stray bytes up to an image separator ","
// or the trailer ";" and answers that byte.
std::uint8_t ScanExtensions(TStream& stream) {
    for (;;) {
        const std::uint8_t b = ReadByte(stream);
        if (b == kImageSeparator || b == kTrailer) return b;
        if (b != kExtensionIntroducer) continue;
        // Every extension is skipped whole, so that bytes inside one are
        // never taken for a separator.
        const std::uint8_t label = ReadByte(stream);
        if (label == kPlainTextLabel) {
            Skip(stream, ReadByte(stream));
            SkipSubBlocks(stream);
        } else if (label == kGraphicControlLabel) {
            Skip(stream, std::int64_t{ReadByte(stream)} + 1);
        } else {
            SkipSubBlocks(stream);
        }
    }
}

}  // namespace

bool TGIFGraphic::ReadImageProperties(TStream& stream, std::uint32_t imageIndex) {
    TFormatGraphic::ReadImageProperties(stream, imageIndex);
    std::uint8_t sig[kSignatureSize];
    if (stream.Read(sig, sizeof sig) != sizeof sig) return false;
    if (!IsSignature(sig)) return false;

    TImageProperties& p = ImageProperties;
    if (!std::isdigit(sig[3]) || !std::isdigit(sig[4]))
        throw EConvertError(FormatMessage(msg::NotAnInteger, std::string(reinterpret_cast<const char*>(sig + 3), 2)));
    p.Version = static_cast<std::uint32_t>((sig[3] - '0') * 10 + (sig[4] - '0'));
    p.ColorScheme = TColorModel::cmIndexed;
    p.SamplesPerPixel = 1;
    p.BitsPerSample = 8;
    p.Compression = ctLZW;

    std::uint8_t screen[kScreenSize];
    stream.ReadBuffer(screen, sizeof screen);
    if (screen[4] & 0x80) {
        p.BitsPerSample = static_cast<std::uint8_t>((screen[4] & 7) + 1);
        Skip(stream, std::int64_t{3} * TableEntries(screen[4]));
    }
    if (ScanExtensions(stream) == kImageSeparator) {
        std::uint8_t d[kDescriptorSize];
        stream.ReadBuffer(d, sizeof d);
        p.Width = LittleWord(d + 4) != 0 ? LittleWord(d + 4) : LittleWord(screen);
        p.Height = LittleWord(d + 6) != 0 ? LittleWord(d + 6) : LittleWord(screen + 2);
        p.LocalColorTable = (d[8] & 0x80) != 0;
        if (p.LocalColorTable) p.BitsPerSample = static_cast<std::uint8_t>((d[8] & 7) + 1);
        p.Interlaced = (d[8] & 0x40) != 0;
    }
    p.BitsPerPixel = static_cast<std::uint8_t>(p.SamplesPerPixel * p.BitsPerSample);
    return true;
}

void TGIFGraphic::DecodeImage(TLoadContext& load) {
    TStream& stream = load.Stream;
    load.Progress.SetEndNotice(100, true);
    const TImageProperties props = ImageProperties;
    CheckImageSize(props.Width, props.Height, kFormatName);
    stream.SetPosition(load.StartPosition);

    load.Progress.Start(msg::Preparing);
    std::uint8_t sig[kSignatureSize];
    stream.ReadBuffer(sig, sizeof sig);
    SetPixelFormat(TPixelFormat::pf8bit);

    std::uint8_t screen[kScreenSize];
    stream.ReadBuffer(screen, sizeof screen);
    // The logical palette: 256 entries, of which the last table read counts
    // its own; entries past that keep older values but lie outside it.
    std::vector<TPaletteEntry> entries(256);
    auto readTable = [&](std::uint8_t flags) {
        const std::uint32_t count = TableEntries(flags);
        std::uint8_t rgb[3 * 256];
        stream.ReadBuffer(rgb, 3 * count);
        for (std::uint32_t i = 0; i < count; ++i) entries[i] = {rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2], 0};
        SetPalette(TPalette(std::vector<TPaletteEntry>(entries.begin(), entries.begin() + count)));
    };
    if (screen[4] & 0x80) readTable(screen[4]);

    const std::uint8_t found = ScanExtensions(stream);
    load.Progress.End();
    if (found == kTrailer) return;

    load.Progress.Start(msg::LoadingData);
    std::uint8_t d[kDescriptorSize];
    stream.ReadBuffer(d, sizeof d);
    const std::uint32_t width = props.Width, height = props.Height;
    SetImageSize(width, height);
    if (d[8] & 0x80) readTable(d[8]);

    const std::uint8_t codeSize = ReadByte(stream);
    if (codeSize < 1 || codeSize > 11) RaiseImageErrorFmt(msg::InvalidImage, kFormatName);

    // The image's sub-blocks, as far as the stream holds them.
    std::vector<std::uint8_t> packed;
    for (;;) {
        std::uint8_t size = 0;
        if (stream.Read(&size, 1) == 0 || size == 0) break;
        const std::size_t at = packed.size();
        packed.resize(at + size);
        const std::size_t got = stream.Read(packed.data() + at, size);
        packed.resize(at + got);
        if (got < size) break;
    }

    // Pixels the data cannot reach stay zero without a buffer behind them.
    const std::uint64_t pixelCount = std::uint64_t{width} * height;
    std::vector<std::uint8_t> pixels =
        AllocateWorkBuffer(std::min(pixelCount, MaxLZWOutput(packed.size())), kFormatName);
    if (!packed.empty() && !pixels.empty()) {
        TGIFLZWDecoder decoder(codeSize);
        decoder.DecodeInit();
        const std::uint8_t* source = packed.data();
        std::uint8_t* dest = pixels.data();
        decoder.Decode(source, packed.size(), dest, pixels.size());
        decoder.DecodeEnd();
    }
    packed = {};

    load.Progress.End();
    load.Progress.Start(msg::Transfering);
    std::size_t next = 0;  // offset of the next source row
    auto copyRow = [&](std::uint32_t y) {
        if (next < pixels.size())
            std::memcpy(ScanLine(static_cast<int>(y)), pixels.data() + next,
                        std::min<std::size_t>(width, pixels.size() - next));
        next += width;
    };
    if (!props.Interlaced) {
        for (std::uint32_t y = 0; y < height; ++y) {
            copyRow(y);
            load.Progress.RowDone(y, height);
        }
    } else {
        static constexpr std::uint32_t kFirst[4] = {0, 4, 2, 1};
        static constexpr std::uint32_t kStep[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass) {
            for (std::uint32_t r = kFirst[pass]; r < height; r += kStep[pass]) {
                copyRow(r);
                if (pass == 3) load.Progress.RowDone(std::uint64_t{r} + kStep[pass], height);
            }
        }
    }
}

}  // namespace orv
