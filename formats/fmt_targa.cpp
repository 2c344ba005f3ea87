#include "formats/fmt_targa.h"

#include <algorithm>
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

constexpr const char* kFormatName = "Targa";
constexpr std::uint8_t kTopDownBit = 0x20;
constexpr std::uint8_t kRightToLeftBit = 0x10;
constexpr std::uint32_t kMaxSide = 65535;
constexpr TFormatExtension kExtensions[] = {{"win"}, {"vst"}, {"vda"}, {"tga"}, {"icb"}};

void PutWord(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

bool IsKnownImageType(std::uint8_t type) {
    return type <= 3 || (type >= 9 && type <= 11);
}

bool IsRunLength(std::uint8_t type) { return type >= 9 && type <= 11; }
bool IsGray(std::uint8_t type) { return type == 3 || type == 11; }

bool IsKnownDepth(std::uint8_t depth) {
    return depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
}

bool IsKnownEntrySize(std::uint8_t size) { return size == 15 || size == 16 || size == 24 || size == 32; }

// Bytes of a pixel or colour-map entry of the given bit size.
std::size_t BytesFor(std::uint8_t bits) { return (static_cast<std::size_t>(bits) + 7) / 8; }

// Turns a row of `count` pixels of `bytes` bytes each end for end.
void ReversePixels(std::uint8_t* row, std::size_t count, std::size_t bytes) {
    for (std::size_t left = 0, right = count; left + 1 < right; ++left, --right)
        std::swap_ranges(row + left * bytes, row + (left + 1) * bytes, row + (right - 1) * bytes);
}

// A colour map of 15- or 16-bit entries: red in bits 10-14, green 5-9, blue
// 0-4, each widened by a plain shift.
TPalette PaletteFrom16BitMap(const std::vector<std::uint8_t>& map, std::size_t entries) {
    std::vector<TPaletteEntry> colours(std::min(entries, TPalette::kMaxEntries));
    for (std::size_t i = 0; i < colours.size(); ++i) {
        const std::uint16_t v = LittleWord(map.data() + 2 * i);
        colours[i] = TPaletteEntry{static_cast<std::uint8_t>((v & 0x7C00u) >> 7),
                                   static_cast<std::uint8_t>((v & 0x03E0u) >> 2),
                                   static_cast<std::uint8_t>((v & 0x001Fu) << 3), 0};
    }
    return TPalette(std::move(colours));
}

}  // namespace

// --- Header --------------------------------------------------------------------

TTargaHeader TTargaHeader::Parse(const std::uint8_t (&b)[kSize]) {
    TTargaHeader h;
    h.IDLength = b[0];
    h.ColorMapType = b[1];
    h.ImageType = b[2];
    h.ColorMapStart = LittleWord(b + 3);
    h.ColorMapLength = LittleWord(b + 5);
    h.ColorMapEntrySize = b[7];
    h.XOrigin = LittleWord(b + 8);
    h.YOrigin = LittleWord(b + 10);
    h.Width = LittleWord(b + 12);
    h.Height = LittleWord(b + 14);
    h.PixelDepth = b[16];
    h.Descriptor = b[17];
    return h;
}

void TTargaHeader::Store(std::uint8_t (&b)[kSize]) const {
    b[0] = IDLength;
    b[1] = ColorMapType;
    b[2] = ImageType;
    PutWord(b + 3, ColorMapStart);
    PutWord(b + 5, ColorMapLength);
    b[7] = ColorMapEntrySize;
    PutWord(b + 8, XOrigin);
    PutWord(b + 10, YOrigin);
    PutWord(b + 12, Width);
    PutWord(b + 14, Height);
    b[16] = PixelDepth;
    b[17] = Descriptor;
}

// --- Class ---------------------------------------------------------------------

TTargaGraphic::TTargaGraphic() : TFormatGraphic(kFormatName) {}

const TGraphicClass& TTargaGraphic::ClassInfo() { return FormatClassInfo<TTargaGraphic>("TTargaGraphic"); }

const TFormatDescriptor TTargaGraphic::Format{&TTargaGraphic::ClassInfo, "Truevision images", kExtensions,
                                              FormatRaster};

bool TTargaGraphic::CanLoadStream(TStream& stream) {
    std::uint8_t bytes[TTargaHeader::kSize];
    if (!PeekHeader(stream, bytes, sizeof bytes)) return false;
    const TTargaHeader h = TTargaHeader::Parse(bytes);
    // The entry size is tested also when there is no colour map.
    return IsKnownImageType(h.ImageType) && h.ColorMapType <= 1 && IsKnownEntrySize(h.ColorMapEntrySize) &&
           IsKnownDepth(h.PixelDepth);
}

bool TTargaGraphic::ReadImageProperties(TStream& stream, std::uint32_t imageIndex) {
    TFormatGraphic::ReadImageProperties(stream, imageIndex);
    std::uint8_t bytes[TTargaHeader::kSize];
    stream.ReadBuffer(bytes, sizeof bytes);
    const TTargaHeader h = TTargaHeader::Parse(bytes);

    TImageProperties& p = ImageProperties;
    switch (h.PixelDepth) {
        case 8:
            p.ColorScheme = IsGray(h.ImageType) ? TColorModel::cmGray : TColorModel::cmIndexed;
            p.BitsPerSample = 8;
            p.SamplesPerPixel = 1;
            break;
        case 16:
            if (IsGray(h.ImageType)) {
                // Gray and alpha, one byte each.
                p.ColorScheme = TColorModel::cmGrayAlpha;
                p.BitsPerSample = 8;
                p.SamplesPerPixel = 2;
                break;
            }
            [[fallthrough]];
        case 15:
            p.ColorScheme = TColorModel::cmRGB;
            p.BitsPerSample = 5;
            p.SamplesPerPixel = 3;
            break;
        case 24:
            p.ColorScheme = TColorModel::cmRGB;
            p.BitsPerSample = 8;
            p.SamplesPerPixel = 3;
            break;
        case 32:
            p.ColorScheme = TColorModel::cmRGBA;
            p.BitsPerSample = 8;
            p.SamplesPerPixel = 4;
            break;
        default:
            p.ColorScheme = TColorModel::cmUnknown;
            p.BitsPerSample = 8;
            p.SamplesPerPixel = 0;
            break;
    }
    p.BitsPerPixel = static_cast<std::uint8_t>(p.SamplesPerPixel * p.BitsPerSample);
    p.Compression = IsRunLength(h.ImageType) ? ctRLE : ctNone;
    p.Width = h.Width;
    p.Height = h.Height;
    // Any other image type is not a Targa picture; taking it as a blank one
    // would make every such file match every other blank.
    return IsKnownImageType(h.ImageType);
}

namespace {

// Pixel data the file cannot hold are refused before the picture is
// allocated: raw rows fail as the first short row would; run-length data
// shorter than the densest packets (128 pixels each) of the whole image
// cannot be a damaged copy of it (short data otherwise end it).
void CheckPixelDataFits(TStream& stream, const TTargaHeader& h) {
    const std::size_t pixelBytes = BytesFor(h.PixelDepth);
    const std::uint64_t pixels = std::uint64_t{h.Width} * h.Height;
    const auto bytesLeft = static_cast<std::uint64_t>(stream.Remaining());
    if (h.ImageType >= 1 && h.ImageType <= 3 && bytesLeft < pixels * pixelBytes) throw EReadError();
    if (IsRunLength(h.ImageType) && bytesLeft < (pixels + 127) / 128 * (1 + pixelBytes))
        RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
}

// Raw rows of rowSize bytes: each read into targetRow(r), then rowDone(r).
template <class TargetRow, class RowDone>
void ReadRawRows(TStream& stream, int height, std::size_t rowSize, TargetRow&& targetRow, RowDone&& rowDone) {
    for (int r = 0; r < height; ++r) {
        stream.ReadBuffer(targetRow(r), rowSize);
        rowDone(r);
    }
}

// Run-length rows: each decoded into targetRow(r), then rowDone(r). Data
// that end early end the image; the rows not reached stay black.
template <class TargetRow, class RowDone>
void DecodeRunLengthRows(TStream& stream, const TTargaHeader& h, std::size_t rowSize, TargetRow&& targetRow,
                         RowDone&& rowDone) {
    const std::size_t pixelBytes = BytesFor(h.PixelDepth);
    TTargaRLEDecoder decoder(h.PixelDepth);
    decoder.DecodeInit();
    // Two rows of data, plus room for one whole packet that starts near
    // the end of them, so a packet is never cut by the buffer's end.
    std::vector<std::uint8_t> buffer =
        AllocateWorkBuffer(2 * static_cast<std::uint64_t>(rowSize) + 128 * pixelBytes + 1, kFormatName);
    for (int r = 0; r < h.Height; ++r) {
        const std::int64_t position = stream.Position();
        const std::size_t arrived = stream.Read(buffer.data(), buffer.size());
        if (arrived == 0 && decoder.PendingPixels() == 0) break;
        const std::uint8_t* packed = buffer.data();
        std::uint8_t* row = targetRow(r);
        decoder.Decode(packed, arrived, row, rowSize);
        stream.SetPosition(position + (packed - buffer.data()));
        rowDone(r);
    }
    decoder.DecodeEnd();
}

}  // namespace

void TTargaGraphic::DecodeImage(TLoadContext& load) {
    TStream& stream = load.Stream;
    stream.SetPosition(load.StartPosition);
    const TImageProperties& props = ImageProperties;
    load.Progress.Start(msg::Preparing);

    std::uint8_t bytes[TTargaHeader::kSize];
    stream.ReadBuffer(bytes, sizeof bytes);
    const TTargaHeader h = TTargaHeader::Parse(bytes);
    stream.Seek(h.IDLength, SeekOrigin::Current);
    SetUpDisplay(props.ColorScheme, props.BitsPerSample, props.SamplesPerPixel, 0);
    ReadColorMap(stream, h);
    CheckPixelDataFits(stream, h);
    SetImageSize(h.Width, h.Height);

    load.Progress.End();
    load.Progress.Start(msg::Transfering);
    TransferRows(load, h);
    // Image type 0 holds no pixels: the picture keeps its size, black.
}

void TTargaGraphic::ReadColorMap(TStream& stream, const TTargaHeader& h) {
    const std::size_t mapBytes = BytesFor(h.ColorMapEntrySize) * h.ColorMapLength;
    if (IsGray(h.ImageType)) {
        SetPalette(ColorManager.BuildGrayPalette(false));
        // A colour map in a gray file is passed over so the pixels are found.
        if (h.ColorMapType == 1) stream.Seek(static_cast<std::int64_t>(mapBytes), SeekOrigin::Current);
        return;
    }
    if (h.ColorMapType != 1) return;
    // The whole map is read whatever its entry size, so that the pixel
    // data start right after it.
    std::vector<std::uint8_t> map(mapBytes);
    stream.ReadBuffer(map.data(), map.size());
    switch (h.ColorMapEntrySize) {
        case 15:
        case 16: SetPalette(PaletteFrom16BitMap(map, h.ColorMapLength)); break;
        case 24:
            SetPalette(ColorManager.BuildIndexedPalette({{map.data(), map.size()}}, cmf8Interleaved, h.ColorMapLength,
                                                        true));
            break;
        case 32:
            SetPalette(ColorManager.BuildIndexedPalette({{map.data(), map.size()}}, cmf8Interleaved4,
                                                        h.ColorMapLength, true));
            break;
        default: break;
    }
}

void TTargaGraphic::TransferRows(TLoadContext& load, const TTargaHeader& h) {
    const bool topDown = (h.Descriptor & kTopDownBit) != 0;
    const bool rightToLeft = (h.Descriptor & kRightToLeftBit) != 0;
    // Rows are stored as the bitmap keeps them, except gray with alpha: its
    // rows are converted into an 8-bit gray bitmap, the alpha passed over as
    // in the other readers' gray images.
    const bool grayAlpha = ImageProperties.ColorScheme == TColorModel::cmGrayAlpha;
    const std::size_t pixelBytes = BytesFor(h.PixelDepth);
    const std::size_t rowSize = static_cast<std::size_t>(h.Width) * pixelBytes;
    if (rowSize == 0) return;

    const int height = h.Height;
    auto bitmapRow = [&](int r) { return ScanLine(topDown ? r : height - 1 - r); };
    std::vector<std::uint8_t> fileRow(grayAlpha ? rowSize : 0);
    // Where file row r goes before rowDone(r); a row the data do not fill
    // stays black either way.
    auto targetRow = [&](int r) {
        if (!grayAlpha) return bitmapRow(r);
        std::fill(fileRow.begin(), fileRow.end(), std::uint8_t{0});
        return fileRow.data();
    };
    // Bytes of a pixel in the bitmap's row.
    const std::size_t shownBytes = grayAlpha ? 1 : pixelBytes;
    auto rowDone = [&](int r) {
        if (grayAlpha) ColorManager.ConvertLine(fileRow.data(), rowSize, bitmapRow(r), h.Width, h.Width);
        if (rightToLeft) ReversePixels(bitmapRow(r), h.Width, shownBytes);
        load.Progress.RowDone(static_cast<std::uint64_t>(r), h.Height);
    };

    if (h.ImageType >= 1 && h.ImageType <= 3)
        ReadRawRows(load.Stream, height, rowSize, targetRow, rowDone);
    else if (IsRunLength(h.ImageType))
        DecodeRunLengthRows(load.Stream, h, rowSize, targetRow, rowDone);
}

void TTargaGraphic::SaveTarga(TStream& stream, bool compressed) {
    TProgressScope progress(*this);
    progress.Area = MakeRect(0, 0, Width(), 1);
    progress.Start(msg::Preparing);

    const TPixelFormat format = PixelFormat();
    // Indexed bitmaps are written as 8-bit indices; formats without a Targa
    // layout of their own (5-6-5, device, custom) as 24-bit colours.
    std::size_t p = 3;
    switch (format) {
        case TPixelFormat::pf1bit:
        case TPixelFormat::pf4bit:
        case TPixelFormat::pf8bit: p = 1; break;
        case TPixelFormat::pf15bit: p = 2; break;
        case TPixelFormat::pf32bit: p = 4; break;
        default: p = 3; break;
    }
    if (Empty()) return;
    if (static_cast<std::uint32_t>(Width()) > kMaxSide || static_cast<std::uint32_t>(Height()) > kMaxSide)
        RaiseImageError(msg::TargaSideTooLarge);

    TTargaHeader h;
    h.ColorMapType = p == 1 ? 1 : 0;
    h.ImageType = static_cast<std::uint8_t>(p == 1 ? (compressed ? 9 : 1) : (compressed ? 10 : 2));
    h.ColorMapLength = 256;
    h.ColorMapEntrySize = 24;
    h.Width = static_cast<std::uint16_t>(Width());
    h.Height = static_cast<std::uint16_t>(Height());
    h.PixelDepth = static_cast<std::uint8_t>(8 * p);
    // Our rows lie top-down in memory and are written in that order.
    h.Descriptor = kTopDownBit;
    std::uint8_t header[TTargaHeader::kSize];
    h.Store(header);
    stream.WriteBuffer(header, sizeof header);

    if (p == 1) {
        const TPalette palette = EffectivePalette();
        std::uint8_t map[256 * 3] = {};  // entries the palette lacks stay black
        for (std::size_t i = 0; i < std::min<std::size_t>(palette.Count(), 256); ++i) {
            const TPaletteEntry e = palette.Entry(i);
            map[3 * i] = e.Blue;
            map[3 * i + 1] = e.Green;
            map[3 * i + 2] = e.Red;
        }
        stream.WriteBuffer(map, sizeof map);
    }

    const auto width = static_cast<std::uint32_t>(Width());
    const std::size_t rowSize = static_cast<std::size_t>(width) * p;
    progress.End();
    progress.Start(msg::Transfering);

    // Rows whose stored layout is not the file's are converted into this
    // buffer; the picture itself is never changed.
    const bool direct = format == TPixelFormat::pf8bit || format == TPixelFormat::pf15bit ||
                        format == TPixelFormat::pf24bit || format == TPixelFormat::pf32bit;
    std::vector<std::uint8_t> converted(direct ? 0 : rowSize);
    TTargaRLEDecoder encoder(static_cast<std::int32_t>(8 * p));
    std::vector<std::uint8_t> packed(compressed ? encoder.MaxEncodedSize(width) : 0);

    for (int y = 0; y < Height(); ++y) {
        const std::uint8_t* row = ScanLine(y);
        if (!direct) {
            if (p == 1) {
                for (std::uint32_t x = 0; x < width; ++x)
                    converted[x] = static_cast<std::uint8_t>(RawPixel(row, static_cast<int>(x)));
            } else {
                for (std::uint32_t x = 0; x < width; ++x) {
                    const TColor c = GetPixel(static_cast<int>(x), y);
                    converted[3 * x] = ColorBlue(c);
                    converted[3 * x + 1] = ColorGreen(c);
                    converted[3 * x + 2] = ColorRed(c);
                }
            }
            row = converted.data();
        }
        if (compressed) {
            std::uint32_t stored = 0;
            encoder.Encode(row, packed.data(), packed.size(), width, stored);
            stream.WriteBuffer(packed.data(), stored);
        } else {
            stream.WriteBuffer(row, rowSize);
        }
        progress.Running(0);
        progress.Area.Offset(0, 1);
    }
    progress.End();
}

}  // namespace orv
