#include "formats/fmt_pcd.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "formats/format_registry.h"
#include "platform/base/stream.h"
#include "platform/graphics/messages.h"

namespace orv {

namespace {

constexpr const char* kFormatName = "PCD";
constexpr std::size_t kSector = 2048;
constexpr std::size_t kProbeSize = 3 * kSector;
constexpr std::size_t kOverviewOffset = 0;
constexpr std::size_t kSignatureOffset = kSector;
constexpr std::size_t kImageCountOffset = 10;
constexpr std::size_t kOrientationOffset = 3586;
constexpr std::int64_t kBaseImageOffset = 96 * kSector;
constexpr int kBaseIndex = 2;
constexpr int kMaxIndex = 5;
constexpr std::uint32_t kBaseWidth = 768;
constexpr std::uint32_t kBaseHeight = 512;
constexpr std::uint32_t kChromaWidth = kBaseWidth / 2;
constexpr std::uint32_t kChromaHeight = kBaseHeight / 2;
constexpr TFormatExtension kExtensions[] = {{"pcd"}};

bool IsOverview(const std::uint8_t* bytes) { return std::memcmp(bytes + kOverviewOffset, "PCD_OPA", 7) == 0; }
bool IsImagePack(const std::uint8_t* bytes) { return std::memcmp(bytes + kSignatureOffset, "PCD", 3) == 0; }

}  // namespace

TPCDGraphic::TPCDGraphic() : TFormatGraphic(kFormatName, THeaderRefusal::EmptyPicture) {}

const TGraphicClass& TPCDGraphic::ClassInfo() { return FormatClassInfo<TPCDGraphic>("TPCDGraphic"); }

const TFormatDescriptor TPCDGraphic::Format{&TPCDGraphic::ClassInfo, "Kodak Photo-CD images", kExtensions,
                                            FormatRaster};

bool TPCDGraphic::CanLoadStream(TStream& stream) {
    if (stream.Remaining() <= static_cast<std::int64_t>(kProbeSize)) return false;
    std::uint8_t bytes[kSignatureOffset + 3];
    return PeekHeader(stream, bytes, sizeof bytes) && (IsOverview(bytes) || IsImagePack(bytes));
}

bool TPCDGraphic::ReadImageProperties(TStream& stream, std::uint32_t imageIndex) {
    TFormatGraphic::ReadImageProperties(stream, imageIndex);
    // Callers pass the index as a signed number; a negative one is the first
    // resolution rather than a shift by a negative amount.
    const std::int32_t signedIndex = static_cast<std::int32_t>(imageIndex);
    int index = std::clamp<std::int32_t>(signedIndex, 0, kMaxIndex);

    std::vector<std::uint8_t> bytes(kProbeSize);
    stream.ReadBuffer(bytes.data(), bytes.size());
    TImageProperties& p = ImageProperties;
    p.Overview = IsOverview(bytes.data());
    if (!p.Overview && !IsImagePack(bytes.data())) return false;
    p.Rotation = bytes[kOrientationOffset] & 3;
    if (p.Overview) index = 0;
    p.Width = 192u << index;
    p.Height = 128u << index;
    if (p.Rotation == 1 || p.Rotation == 3) std::swap(p.Width, p.Height);
    p.ColorScheme = TColorModel::cmPhotoYCC;
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 3;
    p.BitsPerPixel = 24;
    p.Compression = index > kBaseIndex ? ctPCDHuffmann : ctNone;
    p.ImageCount = static_cast<std::uint16_t>((bytes[kImageCountOffset] << 8) | bytes[kImageCountOffset + 1]);
    return true;
}

void TPCDGraphic::DecodeImage(TLoadContext& load) {
    // An overview pack holds small thumbnails, not the base image: what the
    // base image's place would give is unrelated bytes.
    if (ImageProperties.Overview) return;

    TStream& stream = load.Stream;
    const std::uint8_t rotation = ImageProperties.Rotation;
    const bool turned = rotation == 1 || rotation == 3;
    // The base image as reported, before any turn; from here the record
    // describes it as stored.
    load.Progress.Area.Right = static_cast<int>(turned ? kBaseHeight : kBaseWidth);
    load.Progress.Start(msg::Preparing);
    ImageProperties.Width = kBaseWidth;
    ImageProperties.Height = kBaseHeight;

    // Three planes of 768 x 512; the chroma planes hold 256 rows of 384
    // samples at a row distance of 768 until they are doubled in place.
    const std::size_t planeSize = std::size_t{kBaseWidth} * kBaseHeight;
    const std::uint64_t imageBytes = std::uint64_t{kBaseWidth} * kBaseHeight * 3 / 2;
    stream.SetPosition(load.StartPosition + kBaseImageOffset);
    if (static_cast<std::uint64_t>(stream.Remaining()) < imageBytes) throw EReadError();
    std::vector<std::uint8_t> luma = AllocateWorkBuffer(planeSize, kFormatName);
    std::vector<std::uint8_t> chroma1 = AllocateWorkBuffer(planeSize, kFormatName);
    std::vector<std::uint8_t> chroma2 = AllocateWorkBuffer(planeSize, kFormatName);

    SetUpDisplay(TColorModel::cmPhotoYCC, 8, 3, 0);
    ColorManager.SetChromaParameters({0.2125f, 0.7154f, 0.0721f}, 2, 2);
    load.Progress.End();

    load.Progress.Start(msg::LoadingData);
    // Each group: two luminance rows, one row of each chroma component.
    std::vector<std::uint8_t> group(2 * kBaseWidth + 2 * kChromaWidth);
    for (std::uint32_t row = 0; row < kBaseHeight; row += 2) {
        load.Progress.Running(ProgressPercent(row, kBaseHeight));
        stream.ReadBuffer(group.data(), group.size());
        std::memcpy(luma.data() + std::size_t{row} * kBaseWidth, group.data(), 2 * kBaseWidth);
        const std::size_t chromaRow = std::size_t{row / 2} * kBaseWidth;
        std::memcpy(chroma1.data() + chromaRow, group.data() + 2 * kBaseWidth, kChromaWidth);
        std::memcpy(chroma2.data() + chromaRow, group.data() + 2 * kBaseWidth + kChromaWidth, kChromaWidth);
    }
    load.Progress.End();

    load.Progress.Start(msg::Upsampling);
    load.Progress.Running(80);
    Upsample2x(kChromaWidth, kChromaHeight, kBaseWidth, chroma1.data(), chroma1.size());
    load.Progress.Running(100);
    Upsample2x(kChromaWidth, kChromaHeight, kBaseWidth, chroma2.data(), chroma2.size());
    load.Progress.End();

    load.Progress.Start(msg::Transfering);
    if (turned) {
        load.Progress.Area.Right = static_cast<int>(kBaseHeight);
        SetImageSize(kBaseHeight, kBaseWidth);
    } else {
        SetImageSize(kBaseWidth, kBaseHeight);
    }
    std::vector<std::uint8_t> line(turned ? std::size_t{kBaseWidth} * 3 : 0);
    for (std::uint32_t y = 0; y < kBaseHeight; ++y) {
        const std::size_t at = std::size_t{y} * kBaseWidth;
        const TRowBuffer planes[3] = {
            {luma.data() + at, kBaseWidth}, {chroma1.data() + at, kBaseWidth}, {chroma2.data() + at, kBaseWidth}};
        if (!turned) {
            ColorManager.ConvertLine(planes, ScanLine(static_cast<int>(y)), RowBytes(), kBaseWidth);
        } else {
            ColorManager.ConvertLine(planes, line.data(), line.size(), kBaseWidth);
            for (std::uint32_t x = 0; x < kBaseWidth; ++x) {
                // Rotation 1 turns anticlockwise, 3 clockwise.
                const std::uint32_t targetRow = rotation == 1 ? kBaseWidth - 1 - x : x;
                const std::uint32_t targetColumn = rotation == 1 ? y : kBaseHeight - 1 - y;
                std::memcpy(ScanLine(static_cast<int>(targetRow)) + std::size_t{targetColumn} * 3,
                            line.data() + std::size_t{x} * 3, 3);
            }
        }
        load.Progress.RowDone(y, kBaseHeight);
    }
}

}  // namespace orv
