#include "formats/fmt_autodesk.h"

#include <vector>

#include "formats/format_registry.h"
#include "platform/base/stream.h"
#include "platform/graphics/byte_order.h"
#include "platform/graphics/messages.h"

namespace orv {

namespace {

constexpr const char* kFormatName = "Autodesk";
constexpr std::size_t kHeaderSize = 32;
constexpr std::uint16_t kMagic = 0x9119;
constexpr std::size_t kPaletteEntries = 256;
constexpr TFormatExtension kExtensions[] = {{"cel"}, {"pic"}};

}  // namespace

TAutodeskGraphic::TAutodeskGraphic() : TFormatGraphic(kFormatName) {}

const TGraphicClass& TAutodeskGraphic::ClassInfo() { return FormatClassInfo<TAutodeskGraphic>("TAutodeskGraphic"); }

const TFormatDescriptor TAutodeskGraphic::Format{&TAutodeskGraphic::ClassInfo, "Autodesk images", kExtensions,
                                                 FormatRaster};

bool TAutodeskGraphic::CanLoadStream(TStream& stream) {
    std::uint8_t header[kHeaderSize];
    return PeekHeader(stream, header, sizeof header) && LittleWord(header) == kMagic && header[10] == 8 &&
           header[11] == 0;
}

bool TAutodeskGraphic::ReadImageProperties(TStream& stream, std::uint32_t imageIndex) {
    TFormatGraphic::ReadImageProperties(stream, imageIndex);
    std::uint8_t header[kHeaderSize];
    if (stream.Read(header, 2) != 2 || LittleWord(header) != kMagic) return false;
    // A header cut short is no picture: its size would be made up.
    if (stream.Read(header + 2, kHeaderSize - 2) != kHeaderSize - 2) return false;
    TImageProperties& p = ImageProperties;
    p.ColorScheme = TColorModel::cmIndexed;
    p.Width = LittleWord(header + 2);
    p.Height = LittleWord(header + 4);
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 1;
    p.BitsPerPixel = 8;
    p.Compression = ctNone;
    return true;
}

void TAutodeskGraphic::DecodeImage(TLoadContext& load) {
    TStream& stream = load.Stream;
    const std::uint32_t width = ImageProperties.Width;
    const std::uint32_t height = ImageProperties.Height;
    CheckImageSize(width, height, kFormatName);

    load.Progress.Start(msg::Transfering);
    // The header was read whole by ReadImageProperties; the palette follows.
    std::uint8_t colors[kPaletteEntries * 3] = {};
    (void)stream.Read(colors, sizeof colors);
    std::vector<TPaletteEntry> entries(kPaletteEntries);
    for (std::size_t i = 0; i < kPaletteEntries; ++i) {
        // Six-bit values scaled by 4 and kept in a byte.
        entries[i].Red = static_cast<std::uint8_t>(colors[3 * i] << 2);
        entries[i].Green = static_cast<std::uint8_t>(colors[3 * i + 1] << 2);
        entries[i].Blue = static_cast<std::uint8_t>(colors[3 * i + 2] << 2);
    }
    SetPixelFormat(TPixelFormat::pf8bit);
    SetPalette(TPalette(std::move(entries)));
    SetImageSize(width, height);

    bool dataLeft = true;
    for (std::uint32_t y = 0; y < height; ++y) {
        // Rows past the end of a short file stay zero.
        if (dataLeft && stream.Read(ScanLine(static_cast<int>(y)), width) < width) dataLeft = false;
        load.Progress.RowDone(y, height);
    }
}

}  // namespace orv
