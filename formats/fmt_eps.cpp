#include "formats/fmt_eps.h"

#include "formats/format_registry.h"
#include "platform/base/stream.h"
#include "platform/graphics/byte_order.h"
#include "platform/graphics/messages.h"

namespace orv {

namespace {

constexpr const char* kFormatName = "EPS";
constexpr std::size_t kHeaderSize = 30;
constexpr std::uint8_t kMagic[4] = {0xC5, 0xD0, 0xD3, 0xC6};
constexpr TFormatExtension kExtensions[] = {{"eps"}};

struct TEPSHeader {
    std::uint32_t TIFFOffset = 0;
    std::uint32_t TIFFLength = 0;
    bool MagicMatches = false;
};

TEPSHeader ParseHeader(const std::uint8_t (&b)[kHeaderSize]) {
    TEPSHeader h;
    h.MagicMatches = b[0] == kMagic[0] && b[1] == kMagic[1] && b[2] == kMagic[2] && b[3] == kMagic[3];
    h.TIFFOffset = LittleLong(b + 20);
    h.TIFFLength = LittleLong(b + 24);
    return h;
}

}  // namespace

const TGraphicClass& TEPSGraphic::ClassInfo() { return FormatClassInfo<TEPSGraphic, TTIFFGraphic>("TEPSGraphic"); }

const TFormatDescriptor TEPSGraphic::Format{&TEPSGraphic::ClassInfo, "Encapsulated Postscript images", kExtensions,
                                            FormatRaster};

bool TEPSGraphic::CanLoadStream(TStream& stream) {
    const std::int64_t start = stream.Position();
    std::uint8_t bytes[kHeaderSize];
    if (!PeekHeader(stream, bytes, sizeof bytes)) return false;
    const TEPSHeader h = ParseHeader(bytes);
    return h.MagicMatches && start + static_cast<std::int64_t>(kHeaderSize) < static_cast<std::int64_t>(h.TIFFOffset) &&
           h.TIFFLength > 0;
}

void TEPSGraphic::LoadFromStream(TStream& stream) {
    std::uint8_t bytes[kHeaderSize];
    stream.ReadBuffer(bytes, sizeof bytes);
    const TEPSHeader h = ParseHeader(bytes);
    // A section offset inside the header would send the reader backwards.
    if (!h.MagicMatches || h.TIFFOffset < kHeaderSize) RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    stream.Seek(static_cast<std::int64_t>(h.TIFFOffset - kHeaderSize), SeekOrigin::Current);
    TTIFFGraphic::LoadFromStream(stream);
}

}  // namespace orv
