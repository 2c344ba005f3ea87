#include "formats/fmt_png.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "formats/codec_deflate.h"
#include "formats/format_messages.h"
#include "platform/base/stream.h"
#include "platform/graphics/byte_order.h"

namespace orv {

namespace {

constexpr const char* kFormatName = "PNG";
constexpr std::uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

constexpr std::uint32_t ChunkId(const char (&name)[5]) {
    return (static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[3]));
}

constexpr std::uint32_t kIHDR = ChunkId("IHDR");
constexpr std::uint32_t kIDAT = ChunkId("IDAT");
constexpr std::uint32_t kIEND = ChunkId("IEND");
constexpr std::uint32_t kPLTE = ChunkId("PLTE");
constexpr std::uint32_t kGAMA = ChunkId("GAMA");
constexpr std::uint32_t kBKGD = ChunkId("BKGD");
constexpr std::uint32_t kTRNS = ChunkId("TRNS");
// Bit 5 of each type byte is the case bit; of the first byte it marks an
// ancillary chunk.
constexpr std::uint32_t kCaseMask = 0xDFDFDFDFu;
constexpr std::uint32_t kAncillaryBit = 0x20000000u;
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFFu;
constexpr std::uint64_t kMaxDeflateRatio = 1032;

// The colour of three 16-bit samples (red, green, blue) of a background or
// transparency chunk, 16-bit depths scaled to 8 bits.
TColor RGBSampleColor(const std::uint8_t* d, std::uint8_t bitDepth) {
    auto component = [&](std::size_t i) {
        const std::uint16_t v = BigWord(d + 2 * i);
        return static_cast<std::uint8_t>(bitDepth == 16 ? v * 255u / 65535u : v & 0xFFu);
    };
    return RGBColor(component(0), component(1), component(2));
}

struct Adam7Pass {
    std::uint32_t firstRow, rowStep, firstColumn, columnStep;
    std::uint8_t mask;
};

constexpr Adam7Pass kPasses[7] = {
    {0, 8, 0, 8, 0x80}, {0, 8, 4, 8, 0x08}, {4, 8, 0, 4, 0x88}, {0, 4, 2, 4, 0x22},
    {2, 4, 0, 2, 0xAA}, {0, 2, 1, 2, 0x55}, {1, 2, 0, 1, 0xFF},
};

}  // namespace

// --- Row filters -----------------------------------------------------------------

namespace {

inline int PaethOf(int a, int b, int c) {
    // |p - a|, |p - b|, |p - c| with p = a + b - c.
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
}

// Sub, Average and Paeth over whole pixels of Bytes bytes. The restored
// left pixel and the upper-left one stay in registers, so a byte does not
// wait for the store of the one before it.
template <int filterType, std::size_t Bytes>
void UnfilterPixels(std::uint8_t* row, const std::uint8_t* previous, std::size_t n) {
    int a[Bytes] = {}, c[Bytes] = {};
    std::size_t i = 0;
    for (; i + Bytes <= n; i += Bytes) {
        for (std::size_t k = 0; k < Bytes; ++k) {
            const int b = previous[i + k];
            int x = row[i + k];
            if constexpr (filterType == 1) x += a[k];
            else if constexpr (filterType == 3) x += (a[k] + b) >> 1;
            else x += PaethOf(a[k], b, c[k]);
            a[k] = x & 0xFF;
            c[k] = b;
            row[i + k] = static_cast<std::uint8_t>(x);
        }
    }
    // Bytes after the last whole pixel (never in a well-formed row).
    for (; i < n; ++i) {
        const int left = row[i - Bytes], b = previous[i], upLeft = previous[i - Bytes];
        const int x = filterType == 1 ? left : (filterType == 3 ? (left + b) >> 1 : PaethOf(left, b, upLeft));
        row[i] = static_cast<std::uint8_t>(row[i] + x);
    }
}

template <std::size_t Bytes>
void UnfilterWithPixelSize(std::uint8_t filterType, std::uint8_t* row, const std::uint8_t* previous, std::size_t n) {
    if (filterType == 1) UnfilterPixels<1, Bytes>(row, previous, n);
    else if (filterType == 3) UnfilterPixels<3, Bytes>(row, previous, n);
    else UnfilterPixels<4, Bytes>(row, previous, n);
}

}  // namespace

void UnfilterRow(std::uint8_t filterType, std::uint8_t* row, const std::uint8_t* previous, std::size_t pixelBytes,
                 std::size_t n) {
    if (filterType == 2) {  // Up
        for (std::size_t i = 0; i < n; ++i) row[i] = static_cast<std::uint8_t>(row[i] + previous[i]);
        return;
    }
    // None, and unknown types: the row stays as it is.
    if (filterType != 1 && filterType != 3 && filterType != 4) return;
    switch (pixelBytes) {
        case 1: UnfilterWithPixelSize<1>(filterType, row, previous, n); break;
        case 2: UnfilterWithPixelSize<2>(filterType, row, previous, n); break;
        case 3: UnfilterWithPixelSize<3>(filterType, row, previous, n); break;
        case 4: UnfilterWithPixelSize<4>(filterType, row, previous, n); break;
        case 6: UnfilterWithPixelSize<6>(filterType, row, previous, n); break;
        case 8: UnfilterWithPixelSize<8>(filterType, row, previous, n); break;
        default: break;  // no colour type has other pixel sizes
    }
}

// --- Class ---------------------------------------------------------------------

TPNGGraphic::TPNGGraphic() = default;
TPNGGraphic::~TPNGGraphic() = default;

const TGraphicClass& TPNGGraphic::ClassInfo() {
    static const TGraphicClass info{"TPNGGraphic",
                                    []() -> std::unique_ptr<TGraphic> { return std::make_unique<TPNGGraphic>(); },
                                    &TPNGGraphic::CanLoadStream, &TFormatGraphic::ClassInfo()};
    return info;
}

bool TPNGGraphic::CanLoadStream(TStream& stream) {
    std::uint8_t bytes[sizeof kSignature];
    return PeekHeader(stream, bytes, sizeof bytes) && std::memcmp(bytes, kSignature, sizeof bytes) == 0;
}

// --- Chunks --------------------------------------------------------------------

bool TPNGGraphic::IsChunk(std::uint32_t type) const { return ((chunkType_ ^ type) & kCaseMask) == 0; }

void TPNGGraphic::ReadChunkHeader() {
    std::uint8_t bytes[8];
    SourceStream->ReadBuffer(bytes, sizeof bytes);
    chunkLength_ = BigLong(bytes);
    chunkType_ = BigLong(bytes + 4);
    // A length no file can hold would otherwise be allocated, or taken as a
    // step backwards.
    if (chunkLength_ > kMaxChunkLength || chunkLength_ > static_cast<std::uint64_t>(SourceStream->Remaining()))
        RaiseInvalidImageFormat(kFormatName);
    chunkCRC_ = static_cast<std::uint32_t>(crc32(0, bytes + 4, 4));
}

void TPNGGraphic::ReadChunkData() {
    chunkData_.resize(chunkLength_);
    SourceStream->ReadBuffer(chunkData_.data(), chunkLength_);
    std::uint8_t stored[4];
    SourceStream->ReadBuffer(stored, sizeof stored);
    chunkCRC_ = static_cast<std::uint32_t>(crc32(chunkCRC_, chunkData_.data(), chunkLength_));
    if (chunkCRC_ != BigLong(stored)) RaiseImageErrorFmt(msg::CRCError, kFormatName);
}

void TPNGGraphic::SkipChunk() {
    const std::int64_t step = std::min<std::int64_t>(std::int64_t{chunkLength_} + 4, SourceStream->Remaining());
    SourceStream->Seek(step, SeekOrigin::Current);
}

// --- Header --------------------------------------------------------------------

bool TPNGGraphic::ReadImageProperties(TStream& stream, std::uint32_t imageIndex) {
    TFormatGraphic::ReadImageProperties(stream, imageIndex);
    SourceStream = &stream;

    std::uint8_t signature[8];
    if (stream.Read(signature, sizeof signature) != sizeof signature ||
        std::memcmp(signature, kSignature, sizeof signature) != 0)
        return false;
    if (stream.Remaining() < 8) return false;
    ReadChunkHeader();
    if (!IsChunk(kIHDR) || chunkLength_ < 13) return false;
    TImageProperties& p = ImageProperties;
    p.Options |= OptionBigEndian;
    ReadChunkData();

    const std::uint8_t* ihdr = chunkData_.data();
    p.Width = BigLong(ihdr);
    p.Height = BigLong(ihdr + 4);
    if (p.Width == 0 || p.Height == 0) return false;
    const std::uint8_t depth = ihdr[8], colorType = ihdr[9];
    switch (colorType) {
        case 0: p.ColorScheme = TColorModel::cmGray; p.SamplesPerPixel = 1; break;
        case 2: p.ColorScheme = TColorModel::cmRGB; p.SamplesPerPixel = 3; break;
        case 3: p.ColorScheme = TColorModel::cmIndexed; p.SamplesPerPixel = 1; break;
        case 4: p.ColorScheme = TColorModel::cmGrayAlpha; p.SamplesPerPixel = 2; break;
        case 6: p.ColorScheme = TColorModel::cmRGBA; p.SamplesPerPixel = 4; break;
        default: p.ColorScheme = TColorModel::cmUnknown; p.SamplesPerPixel = 1; break;
    }
    p.BitsPerSample = depth;
    p.BitsPerPixel = static_cast<std::uint8_t>(p.SamplesPerPixel * depth);
    p.Compression = ihdr[10] == 0 ? ctLZ77 : ctUnknown;
    p.FilterMethod = ihdr[11];
    p.IsInterlaced = ihdr[12] != 0;
    p.AlphaPresent = p.ColorScheme == TColorModel::cmGrayAlpha || p.ColorScheme == TColorModel::cmRGBA ||
                     p.ColorScheme == TColorModel::cmBGRA;

    // The file's gamma, when it comes before the image data.
    while (stream.Remaining() >= 8) {
        ReadChunkHeader();
        if (IsChunk(kGAMA)) {
            ReadChunkData();
            if (chunkLength_ >= 4) {
                p.Gamma = static_cast<float>(BigLong(chunkData_.data()) / 100000.0);
                break;
            }
            continue;  // too short to hold a gamma: ignored
        }
        const bool last = IsChunk(kIDAT) || IsChunk(kIEND);
        SkipChunk();
        if (last) break;
    }
    return true;
}

// --- Loading -------------------------------------------------------------------

std::size_t TPNGGraphic::ConfigureColors(std::uint8_t colorType, std::uint8_t bitDepth) {
    TColorModel source = TColorModel::cmUnknown, target = TColorModel::cmUnknown;
    std::uint8_t samples = 1, targetBits = 8;
    std::size_t pixelBytes = 1;
    bool grayPalette = false;
    const bool wide = bitDepth == 8 || bitDepth == 16;
    switch (colorType) {
        case 0:
            if (bitDepth != 1 && bitDepth != 2 && bitDepth != 4 && !wide) break;
            source = target = TColorModel::cmGray;
            targetBits = bitDepth == 2 ? 4 : (bitDepth == 16 ? 8 : bitDepth);
            pixelBytes = (bitDepth + 7u) / 8u;
            grayPalette = true;
            break;
        case 2:
            if (!wide) break;
            source = TColorModel::cmRGB;
            target = TColorModel::cmBGR;
            samples = 3;
            pixelBytes = 3u * bitDepth / 8u;
            break;
        case 3:
            if (bitDepth != 1 && bitDepth != 2 && bitDepth != 4 && bitDepth != 8) break;
            source = target = TColorModel::cmIndexed;
            targetBits = bitDepth == 2 ? 4 : bitDepth;
            break;
        case 4:
            if (!wide) break;
            // The alpha is dropped: the target is a gray palette image.
            source = TColorModel::cmGrayAlpha;
            target = TColorModel::cmIndexed;
            pixelBytes = 2u * bitDepth / 8u;
            grayPalette = true;
            break;
        case 6:
            if (!wide) break;
            source = TColorModel::cmRGBA;
            target = TColorModel::cmBGRA;
            samples = 4;
            pixelBytes = 4u * bitDepth / 8u;
            break;
        default: break;
    }
    if (source == TColorModel::cmUnknown) RaiseImageErrorFmt(msg::InvalidColorFormat, kFormatName);

    ColorManager.SetSourceModel(source);
    ColorManager.SetTargetModel(target);
    ColorManager.SetSourceSamples(samples);
    ColorManager.SetTargetSamples(samples);
    ColorManager.SetSourceBits(bitDepth);
    ColorManager.SetTargetBits(targetBits);
    SetPixelFormat(ColorManager.PixelFormatFor(1));
    if (grayPalette) paletteHandle_ = ColorManager.BuildGrayPalette(false);
    colorsConfigured_ = true;
    return pixelBytes;
}

void TPNGGraphic::InflateRow(std::uint8_t* buffer, std::size_t n) {
    std::uint8_t* out = buffer;
    std::size_t wanted = n;
    while (wanted > 0) {
        // A stream that ended with an earlier row leaves the rest as it is.
        if (inflateDecoder_->InflateResult() == Z_STREAM_END) return;
        while (idatLeft_ == 0) {
            if (!IsChunk(kIDAT)) return;  // data ran out: the rest of the row stays
            ReadChunkData();
            inflatePosition_ = chunkData_.data();
            idatLeft_ = chunkLength_;
            ReadChunkHeader();
        }
        const std::uint8_t* in = inflatePosition_;
        std::uint8_t* written = out;
        inflateDecoder_->Decode(in, idatLeft_, written, wanted);
        idatLeft_ -= static_cast<std::size_t>(in - inflatePosition_);
        inflatePosition_ = in;
        wanted -= static_cast<std::size_t>(written - out);
        out = written;

        const int result = inflateDecoder_->InflateResult();
        if (result == Z_STREAM_END) {
            if (wanted != 0 || idatLeft_ != 0) RaiseImageErrorFmt(msg::ExtraCompressedData, kFormatName);
            return;
        }
        if (result != Z_OK) RaiseImageErrorFmt(msg::CompressionError, kFormatName);
    }
}

void TPNGGraphic::DecodeImage() {
    ReportProgress(TProgressStage::Starting, 0, false, msg::Transfering);
    if (!colorsConfigured_) pixelBytes_ = ConfigureColors(colorType_, bitDepth_);
    const std::size_t samples = bitDepth_ == 16 ? pixelBytes_ / 2 : pixelBytes_;
    if (!paletteHandle_.Empty()) SetPalette(paletteHandle_);
    // Deflate packs at most about 1032 bytes into one: a file too short to
    // hold the image data is refused before the picture is allocated.
    const std::uint64_t rowSize = PackedRowBytes(width_, bitDepth_) * samples + 1;
    CheckImageSize(width_, height_, kFormatName);
    if (static_cast<std::uint64_t>(SourceStream->Remaining()) * kMaxDeflateRatio + kMaxDeflateRatio <
        rowSize * height_)
        RaiseInvalidImageFormat(kFormatName);
    SetImageSize(width_, height_, kFormatName);
    // Every pixel is written by the rows (the Adam7 passes cover them all),
    // so the canvas is not filled with the background first.
    if (transparentValue_ != kNoTransparency) {
        TransparentColor = transparentValue_;
        Transparent = true;
    }

    std::vector<std::uint8_t> current = AllocateWorkBuffer(rowSize, kFormatName);
    std::vector<std::uint8_t> previous = AllocateWorkBuffer(rowSize, kFormatName);
    const std::size_t targetSize = RowBytes();

    auto decodeRow = [&](std::uint32_t y, std::size_t bytes, std::uint8_t mask) {
        InflateRow(current.data(), bytes);
        UnfilterRow(current[0], current.data() + 1, previous.data() + 1, pixelBytes_, bytes - 1);
        ColorManager.ConvertLine(current.data() + 1, bytes - 1, ScanLine(static_cast<int>(y)), targetSize, width_,
                                 mask);
        std::swap(current, previous);
    };

    if (interlace_ == 1) {
        for (std::size_t pass = 0; pass < 7; ++pass) {
            const Adam7Pass& a = kPasses[pass];
            if (a.firstColumn >= width_) continue;
            const std::uint64_t columns = (std::uint64_t{width_} + a.columnStep - 1 - a.firstColumn) / a.columnStep;
            const std::size_t passRowSize = static_cast<std::size_t>(PackedRowBytes(columns, bitDepth_) * samples + 1);
            std::fill_n(previous.begin(), passRowSize, std::uint8_t{0});
            for (std::uint32_t y = a.firstRow; y < height_; y += a.rowStep) {
                decodeRow(y, passRowSize, a.mask);
                if (pass == 6) ReportRowDone(std::uint64_t{y} + 2, height_);
            }
        }
    } else {
        for (std::uint32_t y = 0; y < height_; ++y) {
            decodeRow(y, static_cast<std::size_t>(rowSize), 0xFF);
            ReportRowDone(y, height_);
        }
    }

    // The rest of the image data is read, checked and dropped.
    while (IsChunk(kIDAT)) {
        ReadChunkData();
        ReadChunkHeader();
    }
}

void TPNGGraphic::ReadBackground() {
    ReadChunkData();
    const std::uint8_t* d = chunkData_.data();
    switch (colorType_) {
        case 2:
        case 6:
            if (chunkLength_ >= 6) BackgroundValue = RGBSampleColor(d, bitDepth_);
            break;
        case 0:
        case 4:
            // The first sample itself, as the file's own reader took it.
            if (chunkLength_ >= 2) BackgroundValue = bitDepth_ == 2 ? BigWord(d) * 5u : BigWord(d);
            break;
        case 3:
            if (chunkLength_ >= 1) BackgroundValue = d[0];
            break;
        default: break;
    }
}

void TPNGGraphic::ReadTransparency() {
    ReadChunkData();
    const std::uint8_t* d = chunkData_.data();
    switch (colorType_) {
        case 0:
            if (chunkLength_ >= 2) {
                std::uint32_t v = BigWord(d);
                if (bitDepth_ == 16) v = v * 255u / 65535u;
                else if (bitDepth_ == 2) v *= 5u;
                const auto g = static_cast<std::uint8_t>(v);
                transparentValue_ = RGBColor(g, g, g);
            }
            break;
        case 2:
            if (chunkLength_ >= 6) transparentValue_ = RGBSampleColor(d, bitDepth_);
            break;
        default: break;  // palette and alpha images: no transparent colour
    }
}

void TPNGGraphic::ReleaseLoadState() {
    inflateDecoder_.reset();  // ends the stream
    inflatePosition_ = nullptr;
    idatLeft_ = 0;
    std::vector<std::uint8_t>().swap(chunkData_);
    SourceStream = nullptr;
}

void TPNGGraphic::LoadFromStream(TStream& stream) {
    Clear();
    StartPosition = stream.Position();
    ReleaseLoadState();
    SourceStream = &stream;
    try {
        if (!ReadImageProperties(stream, 0)) RaiseInvalidImageFormat(kFormatName);
        stream.SetPosition(StartPosition + 8);
        ProgressArea = MakeRect(0, 0, static_cast<int>(std::min<std::uint32_t>(ImageProperties.Width, 1u << 30)), 1);
        ReportProgress(TProgressStage::Starting, 0, false, msg::Preparing);

        // Nothing of an earlier load carries over: colours, gamma, flags.
        paletteHandle_ = TPalette();
        BackgroundValue = clWhite;
        transparentValue_ = kNoTransparency;
        TransparentColor = kNoTransparency;
        Transparent = false;
        colorsConfigured_ = false;
        pixelBytes_ = 1;
        ColorManager = TColorManager();
        ColorManager.SourceFlags = cfByteSwap;  // 16-bit samples are big-endian

        ReadChunkHeader();
        if (chunkLength_ < 13) RaiseInvalidImageFormat(kFormatName);
        ReadChunkData();
        const std::uint8_t* ihdr = chunkData_.data();
        width_ = BigLong(ihdr);
        height_ = BigLong(ihdr + 4);
        bitDepth_ = ihdr[8];
        colorType_ = ihdr[9];
        interlace_ = ihdr[12];
        if (ImageProperties.Compression != ctLZ77)
            RaiseImageErrorFmt(msg::NotSupported, msg::CompressionScheme, kFormatName);

        inflateDecoder_ = std::make_unique<TLZ77Decoder>(Z_SYNC_FLUSH, false);
        inflateDecoder_->DecodeInit();

        bool decoded = false;
        ReadChunkHeader();
        for (;;) {
            if (IsChunk(kIDAT) && !decoded) {
                ReportProgress(TProgressStage::Ending, 0, false, "");
                DecodeImage();  // leaves the header of the chunk after the image data read
                decoded = true;
            } else if (IsChunk(kPLTE)) {
                if (chunkLength_ % 3 != 0) RaiseImageErrorFmt(msg::InvalidPalette, kFormatName);
                ReadChunkData();
                if (colorType_ == 3) {
                    pixelBytes_ = ConfigureColors(colorType_, bitDepth_);
                    paletteHandle_ = ColorManager.BuildIndexedPalette({{chunkData_.data(), chunkData_.size()}},
                                                                      cmf8Interleaved, chunkLength_ / 3, false);
                }
                ReadChunkHeader();
                continue;
            } else if (IsChunk(kGAMA)) {
                ReadChunkData();
                if (chunkLength_ >= 4) {
                    ColorManager.SetGammaCorrection(static_cast<float>(BigLong(chunkData_.data()) / 100000.0),
                                                    2.2f);
                    ColorManager.TargetFlags |= cfGamma;
                    ImageProperties.Options |= OptionGamma;
                }
                ReadChunkHeader();
                continue;
            } else if (IsChunk(kBKGD)) {
                ReadBackground();
                ReadChunkHeader();
                continue;
            } else if (IsChunk(kTRNS)) {
                ReadTransparency();
                ReadChunkHeader();
                continue;
            }

            // Passed over unchecked: ancillary chunks, image data after the
            // image, the chunk that follows the image data, IEND.
            if (IsChunk(kIEND)) {
                // An end before any image data is no picture.
                if (!decoded) RaiseInvalidImageFormat(kFormatName);
                SkipChunk();
                break;
            }
            if (!IsChunk(kIDAT) && (chunkType_ & kAncillaryBit) == 0)
                RaiseImageError(msg::UnknownCriticalChunk);
            SkipChunk();
            ReadChunkHeader();
        }
    } catch (...) {
        ReleaseLoadState();
        try {
            ReportProgress(TProgressStage::Ending, 0, false, "");
        } catch (...) {
        }
        throw;
    }
    ReleaseLoadState();
    ReportProgress(TProgressStage::Ending, 0, false, "");
}

}  // namespace orv
