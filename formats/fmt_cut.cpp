#include "formats/fmt_cut.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "formats/codec_rle.h"
#include "formats/format_registry.h"
#include "platform/base/file_system.h"
#include "platform/base/paths.h"
#include "platform/base/stream.h"
#include "platform/graphics/byte_order.h"
#include "platform/graphics/messages.h"

namespace orv {

namespace {

constexpr const char* kFormatName = "CUT";
constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kBlockSize = 512;
constexpr std::size_t kCountOffset = 12;
constexpr std::size_t kFirstEntry = 40;
constexpr std::size_t kEntrySize = 6;
constexpr TFormatExtension kExtensions[] = {{"cut"}};

}  // namespace

TCUTGraphic::TCUTGraphic() : TFormatGraphic(kFormatName, THeaderRefusal::EmptyPicture) {}

const TGraphicClass& TCUTGraphic::ClassInfo() { return FormatClassInfo<TCUTGraphic>("TCUTGraphic"); }

const TFormatDescriptor TCUTGraphic::Format{&TCUTGraphic::ClassInfo, "Dr. Halo images", kExtensions, FormatRaster};

bool TCUTGraphic::CanLoadStream(TStream&) { return false; }

void TCUTGraphic::LoadFromFile(const std::string& fileName) {
    paletteFileName_ = ChangeFileExt(fileName, ".pal");
    TFormatGraphic::LoadFromFile(fileName);
}

std::string TCUTGraphic::FindPaletteFile(const std::string& name) {
    if (name.empty()) return {};
    if (FileExists(name)) return name;
    const std::string folder = ExtractFilePath(name);
    const std::string wanted = ExtractFileName(name);
    for (const FolderEntry& entry : ListFolder(folder.empty() ? std::string(".") : folder))
        if (entry.isRegular && SameTextAscii(entry.name, wanted)) return folder + entry.name;
    return {};
}

TPalette TCUTGraphic::ReadPaletteFile(const std::string& path) {
    TFileStream file(path, FileMode::OpenRead);
    std::uint8_t block[kBlockSize];
    file.ReadBuffer(block, sizeof block);
    // The stored value is the highest index; the palette holds 256 at most.
    const std::size_t count = std::min<std::size_t>(std::size_t{LittleWord(block + kCountOffset)} + 1, 256);
    std::vector<TPaletteEntry> entries(count);
    std::size_t position = kFirstEntry;
    for (TPaletteEntry& entry : entries) {
        if (position > kBlockSize - kEntrySize) {
            file.ReadBuffer(block, sizeof block);
            position = 0;
        }
        // Sixteen-bit components of which the low byte counts.
        entry = TPaletteEntry{block[position], block[position + 2], block[position + 4], 0};
        position += kEntrySize;
    }
    return TPalette(std::move(entries));
}

bool TCUTGraphic::ReadImageProperties(TStream& stream, std::uint32_t imageIndex) {
    TFormatGraphic::ReadImageProperties(stream, imageIndex);
    SetPixelFormat(TPixelFormat::pf8bit);
    std::uint8_t bytes[4];
    if (stream.Read(bytes, sizeof bytes) != sizeof bytes) return false;
    TImageProperties& p = ImageProperties;
    p.Width = LittleWord(bytes);
    p.Height = LittleWord(bytes + 2);
    p.ColorScheme = TColorModel::cmIndexed;
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 1;
    p.BitsPerPixel = 8;
    p.Compression = ctRLE;
    return p.Width > 0 && p.Height > 0;
}

void TCUTGraphic::DecodeImage(TLoadContext& load) {
    TStream& stream = load.Stream;
    const TImageProperties& props = ImageProperties;
    stream.SetPosition(load.StartPosition + static_cast<std::int64_t>(kHeaderSize));
    load.Progress.Area.Bottom = 0;  // this reader reports an area of no height
    load.Progress.Start(msg::Transfering);
    SetPixelFormat(TPixelFormat::pf8bit);
    SetImageSize(props.Width, props.Height);
    const std::string paletteFile = FindPaletteFile(paletteFileName_);
    // Without a palette file index i shows as the gray (i, i, i).
    SetPalette(paletteFile.empty() ? TPalette::DefaultFor(TPixelFormat::pf8bit) : ReadPaletteFile(paletteFile));

    const std::uint64_t left = static_cast<std::uint64_t>(std::max<std::int64_t>(stream.Remaining(), 0));
    std::vector<std::uint8_t> data = AllocateWorkBuffer(left, kFormatName);
    stream.ReadBuffer(data.data(), data.size());

    TCUTRLEDecoder decoder;
    decoder.DecodeInit();
    const std::uint8_t* source = data.data();
    const std::uint8_t* const end = data.data() + data.size();
    for (std::uint32_t y = 0; y < props.Height; ++y) {
        // Rows past the end of the data stay zero.
        if (source >= end) break;
        std::uint8_t* row = ScanLine(static_cast<int>(y));
        decoder.Decode(source, static_cast<std::size_t>(end - source), row, props.Width);
        load.Progress.RowDone(y, props.Height);
    }
    decoder.DecodeEnd();
}

}  // namespace orv
