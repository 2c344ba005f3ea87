#include "formats/fmt_rla.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/codec_rle.h"
#include "formats/format_registry.h"
#include "platform/base/paths.h"
#include "platform/base/stream.h"
#include "platform/graphics/byte_order.h"
#include "platform/graphics/messages.h"

namespace orv {

namespace {

constexpr const char* kFormatName = "RLA";
constexpr std::size_t kHeaderSize = 740;
constexpr std::uint16_t kRevision = 0xFFFE;
constexpr float kMaxGamma = 10.0f;
constexpr TFormatExtension kExtensions[] = {{"rpf"}, {"rla"}};

std::int16_t SignedWord(const std::uint8_t* p) { return static_cast<std::int16_t>(BigWord(p)); }

// A text field ends at its first zero byte or at its full width.
std::string_view TextField(const std::uint8_t* p, std::size_t width) {
    const auto* text = reinterpret_cast<const char*>(p);
    const void* zero = std::memchr(text, 0, width);
    return {text, zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - text) : width};
}

struct RLAHeader {
    std::int16_t Left, Right, Bottom, Top;
    std::uint16_t ColorChannels;
    std::uint16_t MatteChannels;
    std::uint16_t Revision;
    std::string_view Gamma;
    std::string Description;  // lower-cased
    std::uint16_t ChannelBits;

    static RLAHeader Parse(const std::uint8_t* b) {
        RLAHeader h{};
        h.Left = SignedWord(b + 8);
        h.Right = SignedWord(b + 10);
        h.Bottom = SignedWord(b + 12);
        h.Top = SignedWord(b + 14);
        h.ColorChannels = BigWord(b + 20);
        h.MatteChannels = BigWord(b + 22);
        h.Revision = BigWord(b + 26);
        h.Gamma = TextField(b + 28, 16);
        h.Description = LowerAscii(TextField(b + 580, 32));
        h.ChannelBits = BigWord(b + 658);
        return h;
    }
};

}  // namespace

TRLAGraphic::TRLAGraphic() : TFormatGraphic(kFormatName, THeaderRefusal::EmptyPicture) {}

const TGraphicClass& TRLAGraphic::ClassInfo() { return FormatClassInfo<TRLAGraphic>("TRLAGraphic"); }

const TFormatDescriptor TRLAGraphic::Format{&TRLAGraphic::ClassInfo, "Alias/Wavefront images", kExtensions,
                                            FormatRaster};

bool TRLAGraphic::CanLoadStream(TStream& stream) {
    std::uint8_t bytes[kHeaderSize];
    if (!PeekHeader(stream, bytes, sizeof bytes)) return false;
    const RLAHeader h = RLAHeader::Parse(bytes);
    return h.Revision == kRevision && (h.Description == "rgb" || h.Description == "xyz");
}

std::optional<float> TRLAGraphic::ParseGamma(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    // Anything else would reach the gamma table as nonsense.
    if (!std::isfinite(value) || value <= 0 || value > kMaxGamma) return std::nullopt;
    return static_cast<float>(value);
}

bool TRLAGraphic::ReadImageProperties(TStream& stream, std::uint32_t imageIndex) {
    TFormatGraphic::ReadImageProperties(stream, imageIndex);
    matteChannels_ = 0;
    std::uint8_t bytes[kHeaderSize];
    if (stream.Read(bytes, sizeof bytes) != sizeof bytes) return false;
    const RLAHeader h = RLAHeader::Parse(bytes);

    TImageProperties& p = ImageProperties;
    p.Options = OptionBigEndian;
    const bool matte = h.MatteChannels > 0;
    matteChannels_ = h.MatteChannels;
    p.SamplesPerPixel = h.ColorChannels <= 4 ? static_cast<std::uint8_t>(h.ColorChannels + (matte ? 1 : 0)) : 0;
    // Counts one byte cannot hold are kept as 0, so that no wrapped value
    // passes for a layout the loader takes.
    p.BitsPerSample = h.ChannelBits <= 0xFF ? static_cast<std::uint8_t>(h.ChannelBits) : 0;
    p.BitsPerPixel = static_cast<std::uint8_t>(p.SamplesPerPixel * p.BitsPerSample);
    if (h.Description == "rgb")
        p.ColorScheme = matte ? TColorModel::cmRGBA : TColorModel::cmRGB;
    else if (h.Description == "xyz")
        return false;
    if (const std::optional<float> gamma = ParseGamma(h.Gamma)) p.Gamma = *gamma;
    p.Compression = ctRLE;
    const std::int32_t width = std::int32_t{h.Right} - h.Left + 1;
    if (width < 1) return false;
    p.Width = static_cast<std::uint32_t>(width);
    p.Height = static_cast<std::uint32_t>(std::abs(std::int32_t{h.Bottom} - h.Top) + 1);
    p.BottomUp = h.Bottom < h.Top;
    return true;
}

void TRLAGraphic::DecodeImage(TLoadContext& load) {
    TStream& stream = load.Stream;
    TImageProperties& props = ImageProperties;
    // The first matte channel is the alpha; further ones are not read.
    const bool matte = matteChannels_ > 0;
    const unsigned colorSamples = props.SamplesPerPixel - (matte ? 1u : 0u);
    // The rows are decoded as one byte per sample of three colour channels.
    if (colorSamples != 3 || props.BitsPerSample != 8) RaiseImageErrorFmt(msg::InvalidColorFormat, kFormatName);

    const std::uint32_t width = props.Width;
    const std::uint32_t height = props.Height;
    load.Progress.Start(msg::Transfering);
    SetUpDisplay(props.ColorScheme, 8, props.SamplesPerPixel, 0);
    if (props.Gamma != 1.0f) {
        ColorManager.SetGammaCorrection(props.Gamma, 2.2f);
        ColorManager.TargetFlags |= cfGamma;
        props.Options |= OptionGamma;
    }

    // The row table first: the file must hold it before anything is sized.
    CheckImageSize(width, height, kFormatName);
    CheckBytesLeft(stream, std::uint64_t{height} * 4, kFormatName);
    std::vector<std::uint8_t> table = AllocateWorkBuffer(std::uint64_t{height} * 4, kFormatName);
    stream.ReadBuffer(table.data(), table.size());
    SetImageSize(width, height);

    const unsigned channels = matte ? 4 : 3;
    std::vector<std::uint8_t> planes[4];
    for (unsigned c = 0; c < channels; ++c) planes[c] = AllocateWorkBuffer(width, kFormatName);
    std::vector<std::uint8_t> packed;
    TRLADecoder decoder;
    decoder.DecodeInit();
    for (std::uint32_t y = 0; y < height; ++y) {
        stream.SetPosition(load.StartPosition + BigLong(table.data() + 4 * std::size_t{y}));
        const std::uint32_t target = props.BottomUp ? height - 1 - y : y;
        for (unsigned c = 0; c < channels; ++c) {
            std::uint8_t length[2];
            stream.ReadBuffer(length, sizeof length);
            packed.resize(BigWord(length));
            stream.ReadBuffer(packed.data(), packed.size());
            // Samples a short packet does not reach read as zero.
            std::fill(planes[c].begin(), planes[c].end(), 0);
            const std::uint8_t* source = packed.data();
            std::uint8_t* dest = planes[c].data();
            decoder.Decode(source, packed.size(), dest, planes[c].size());
        }
        const TRowBuffer rows[4] = {{planes[0].data(), width},
                                    {planes[1].data(), width},
                                    {planes[2].data(), width},
                                    {planes[3].data(), width}};
        ColorManager.ConvertLine(std::span<const TRowBuffer>(rows, channels), ScanLine(static_cast<int>(target)),
                                 RowBytes(), width);
        load.Progress.RowDone(y, height);
    }
    decoder.DecodeEnd();
}

}  // namespace orv
