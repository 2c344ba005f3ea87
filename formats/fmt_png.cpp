#include "formats/fmt_png.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "formats/codec_deflate.h"
#include "formats/format_registry.h"
#include "platform/base/stream.h"
#include "platform/graphics/byte_order.h"
#include "platform/graphics/messages.h"

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
constexpr TFormatExtension kExtensions[] = {{"png"}};

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

// --- Chunks --------------------------------------------------------------------

namespace {

// The chunk walk over one stream: the current chunk's length, type and CRC,
// and the data of the last chunk read.
class ChunkReader {
public:
    explicit ChunkReader(TStream& stream) : stream_(stream) {}

    // Reads a chunk's length and type. A length no file can hold would
    // otherwise be allocated, or taken as a step backwards.
    void ReadHeader() {
        std::uint8_t bytes[8];
        stream_.ReadBuffer(bytes, sizeof bytes);
        length_ = BigLong(bytes);
        type_ = BigLong(bytes + 4);
        if (length_ > kMaxChunkLength || length_ > static_cast<std::uint64_t>(stream_.Remaining()))
            RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
        crc_ = static_cast<std::uint32_t>(crc32(0, bytes + 4, 4));
    }

    // Reads the chunk's data and its CRC, which must match.
    void ReadData() {
        data_.resize(length_);
        stream_.ReadBuffer(data_.data(), length_);
        std::uint8_t stored[4];
        stream_.ReadBuffer(stored, sizeof stored);
        crc_ = static_cast<std::uint32_t>(crc32(crc_, data_.data(), length_));
        if (crc_ != BigLong(stored)) RaiseImageErrorFmt(msg::CRCError, kFormatName);
    }

    // Moves forward over the chunk's data and CRC, unchecked.
    void Skip() {
        const std::int64_t step = std::min<std::int64_t>(std::int64_t{length_} + 4, stream_.Remaining());
        stream_.Seek(step, SeekOrigin::Current);
    }

    bool Is(std::uint32_t type) const { return ((type_ ^ type) & kCaseMask) == 0; }
    bool IsCritical() const { return (type_ & kAncillaryBit) == 0; }
    std::uint32_t Length() const { return length_; }
    const std::uint8_t* Data() const { return data_.data(); }
    TStream& Stream() const { return stream_; }

private:
    TStream& stream_;
    std::uint32_t length_ = 0;
    std::uint32_t type_ = 0;
    std::uint32_t crc_ = 0;
    std::vector<std::uint8_t> data_;
};

}  // namespace

// --- Class ---------------------------------------------------------------------

TPNGGraphic::TPNGGraphic() : TFormatGraphic(kFormatName) {}

const TGraphicClass& TPNGGraphic::ClassInfo() { return FormatClassInfo<TPNGGraphic>("TPNGGraphic"); }

const TFormatDescriptor TPNGGraphic::Format{&TPNGGraphic::ClassInfo, "Portable network graphic images", kExtensions,
                                            FormatRaster};

bool TPNGGraphic::CanLoadStream(TStream& stream) {
    std::uint8_t bytes[sizeof kSignature];
    return PeekHeader(stream, bytes, sizeof bytes) && std::memcmp(bytes, kSignature, sizeof bytes) == 0;
}

bool TPNGGraphic::ReadImageProperties(TStream& stream, std::uint32_t imageIndex) {
    TFormatGraphic::ReadImageProperties(stream, imageIndex);

    std::uint8_t signature[8];
    if (stream.Read(signature, sizeof signature) != sizeof signature ||
        std::memcmp(signature, kSignature, sizeof signature) != 0)
        return false;
    if (stream.Remaining() < 8) return false;
    ChunkReader chunks(stream);
    chunks.ReadHeader();
    if (!chunks.Is(kIHDR) || chunks.Length() < 13) return false;
    TImageProperties& p = ImageProperties;
    p.Options |= OptionBigEndian;
    chunks.ReadData();

    const std::uint8_t* ihdr = chunks.Data();
    p.Width = BigLong(ihdr);
    p.Height = BigLong(ihdr + 4);
    if (p.Width == 0 || p.Height == 0) return false;
    const std::uint8_t depth = ihdr[8];
    colorType_ = ihdr[9];
    interlaceMethod_ = ihdr[12];
    switch (colorType_) {
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
    p.Interlaced = interlaceMethod_ != 0;
    p.AlphaPresent = p.ColorScheme == TColorModel::cmGrayAlpha || p.ColorScheme == TColorModel::cmRGBA ||
                     p.ColorScheme == TColorModel::cmBGRA;

    // The file's gamma, when it comes before the image data. A load goes on
    // from the chunk after IHDR.
    const std::int64_t afterHeader = stream.Position();
    while (stream.Remaining() >= 8) {
        chunks.ReadHeader();
        if (chunks.Is(kGAMA)) {
            chunks.ReadData();
            if (chunks.Length() >= 4) {
                p.Gamma = static_cast<float>(BigLong(chunks.Data()) / 100000.0);
                break;
            }
            continue;  // too short to hold a gamma: ignored
        }
        const bool last = chunks.Is(kIDAT) || chunks.Is(kIEND);
        chunks.Skip();
        if (last) break;
    }
    stream.SetPosition(afterHeader);
    return true;
}

// --- Loading -------------------------------------------------------------------

// The working state of one load: the chunk walk, the inflater fed from the
// IDAT chunks, and what the chunks before the image data set up.
class TPNGGraphic::TChunkLoad {
public:
    TChunkLoad(TPNGGraphic& png, TLoadContext& load)
        : png_(png), load_(load), chunks_(load.Stream), width_(png.ImageProperties.Width),
          height_(png.ImageProperties.Height), bitDepth_(png.ImageProperties.BitsPerSample) {
        inflate_.DecodeInit();
    }

    // Walks the chunks from the one after IHDR to IEND.
    void Run();

private:
    std::size_t ConfigureColors();
    void DecodeRows();
    void InflateRow(std::uint8_t* buffer, std::size_t n);
    void ReadBackground();
    void ReadTransparency();

    TPNGGraphic& png_;
    TLoadContext& load_;
    ChunkReader chunks_;
    const std::uint32_t width_;
    const std::uint32_t height_;
    const std::uint8_t bitDepth_;

    TLZ77Decoder inflate_{Z_SYNC_FLUSH, false};
    const std::uint8_t* inflatePosition_ = nullptr;
    std::size_t idatLeft_ = 0;

    std::size_t pixelBytes_ = 1;
    TPalette palette_;
    TColor transparentValue_ = kNoTransparency;
    // Colours are configured once per load, by PLTE of a palette image or
    // at the first image data.
    bool colorsConfigured_ = false;
};

void TPNGGraphic::DecodeImage(TLoadContext& load) {
    load.Progress.Start(msg::Preparing);
    BackgroundValue = clWhite;
    TransparentColor = kNoTransparency;
    Transparent = false;
    if (ImageProperties.Compression != ctLZ77)
        RaiseImageErrorFmt(msg::NotSupported, msg::CompressionScheme, kFormatName);
    TChunkLoad(*this, load).Run();
}

void TPNGGraphic::TChunkLoad::Run() {
    const std::uint8_t colorType = png_.colorType_;
    bool decoded = false;
    chunks_.ReadHeader();
    for (;;) {
        if (chunks_.Is(kIDAT) && !decoded) {
            load_.Progress.End();
            DecodeRows();  // leaves the header of the chunk after the image data read
            decoded = true;
        } else if (chunks_.Is(kPLTE)) {
            if (chunks_.Length() % 3 != 0) RaiseImageErrorFmt(msg::InvalidPalette, kFormatName);
            chunks_.ReadData();
            if (colorType == 3) {
                pixelBytes_ = ConfigureColors();
                palette_ = png_.ColorManager.BuildIndexedPalette({{chunks_.Data(), chunks_.Length()}},
                                                                 cmf8Interleaved, chunks_.Length() / 3, false);
            }
            chunks_.ReadHeader();
            continue;
        } else if (chunks_.Is(kGAMA)) {
            chunks_.ReadData();
            if (chunks_.Length() >= 4) {
                png_.ColorManager.SetGammaCorrection(static_cast<float>(BigLong(chunks_.Data()) / 100000.0), 2.2f);
                png_.ColorManager.TargetFlags |= cfGamma;
                png_.ImageProperties.Options |= OptionGamma;
            }
            chunks_.ReadHeader();
            continue;
        } else if (chunks_.Is(kBKGD)) {
            ReadBackground();
            chunks_.ReadHeader();
            continue;
        } else if (chunks_.Is(kTRNS)) {
            ReadTransparency();
            chunks_.ReadHeader();
            continue;
        }

        // Passed over unchecked: ancillary chunks, image data after the
        // image, the chunk that follows the image data, IEND.
        if (chunks_.Is(kIEND)) {
            // An end before any image data is no picture.
            if (!decoded) RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
            chunks_.Skip();
            break;
        }
        if (!chunks_.Is(kIDAT) && chunks_.IsCritical()) RaiseImageError(msg::UnknownCriticalChunk);
        chunks_.Skip();
        chunks_.ReadHeader();
    }
}

std::size_t TPNGGraphic::TChunkLoad::ConfigureColors() {
    TColorModel source = TColorModel::cmUnknown;
    std::uint8_t samples = 1;
    std::size_t pixelBytes = 1;
    const std::uint8_t depth = bitDepth_;
    const bool wide = depth == 8 || depth == 16;
    const bool small = depth == 1 || depth == 2 || depth == 4;
    switch (png_.colorType_) {
        case 0:
            if (!small && !wide) break;
            source = TColorModel::cmGray;
            pixelBytes = (depth + 7u) / 8u;
            break;
        case 2:
            if (!wide) break;
            source = TColorModel::cmRGB;
            samples = 3;
            pixelBytes = 3u * depth / 8u;
            break;
        case 3:
            if (!small && depth != 8) break;
            source = TColorModel::cmIndexed;
            break;
        case 4:
            if (!wide) break;
            // The alpha is dropped: the picture is its gray.
            source = TColorModel::cmGrayAlpha;
            samples = 2;
            pixelBytes = 2u * depth / 8u;
            break;
        case 6:
            if (!wide) break;
            source = TColorModel::cmRGBA;
            samples = 4;
            pixelBytes = 4u * depth / 8u;
            break;
        default: break;
    }
    if (source == TColorModel::cmUnknown) RaiseImageErrorFmt(msg::InvalidColorFormat, kFormatName);
    png_.SetUpDisplay(source, depth, samples, cfByteSwap);  // 16-bit samples are big-endian
    colorsConfigured_ = true;
    return pixelBytes;
}

void TPNGGraphic::TChunkLoad::InflateRow(std::uint8_t* buffer, std::size_t n) {
    std::uint8_t* out = buffer;
    std::size_t wanted = n;
    while (wanted > 0) {
        // A stream that ended with an earlier row leaves the rest as it is.
        if (inflate_.InflateResult() == Z_STREAM_END) return;
        while (idatLeft_ == 0) {
            if (!chunks_.Is(kIDAT)) return;  // data ran out: the rest of the row stays
            chunks_.ReadData();
            inflatePosition_ = chunks_.Data();
            idatLeft_ = chunks_.Length();
            chunks_.ReadHeader();
        }
        const std::uint8_t* in = inflatePosition_;
        std::uint8_t* written = out;
        inflate_.Decode(in, idatLeft_, written, wanted);
        idatLeft_ -= static_cast<std::size_t>(in - inflatePosition_);
        inflatePosition_ = in;
        wanted -= static_cast<std::size_t>(written - out);
        out = written;

        const int result = inflate_.InflateResult();
        if (result == Z_STREAM_END) {
            // Bytes after the end of the compressed data are dropped (their
            // chunks' CRCs are still checked); a stream that ends before the
            // image does is an error.
            if (wanted != 0) RaiseImageErrorFmt(msg::ExtraCompressedData, kFormatName);
            idatLeft_ = 0;
            return;
        }
        if (result != Z_OK) RaiseImageErrorFmt(msg::CompressionError, kFormatName);
    }
}

void TPNGGraphic::TChunkLoad::DecodeRows() {
    load_.Progress.Start(msg::Transfering);
    if (!colorsConfigured_) pixelBytes_ = ConfigureColors();
    const std::size_t samples = bitDepth_ == 16 ? pixelBytes_ / 2 : pixelBytes_;
    if (!palette_.Empty()) png_.SetPalette(palette_);
    // Deflate packs at most about 1032 bytes into one: a file too short to
    // hold the image data is refused before the picture is allocated.
    const std::uint64_t rowSize = PackedRowBytes(width_, bitDepth_) * samples + 1;
    CheckImageSize(width_, height_, kFormatName);
    if (static_cast<std::uint64_t>(load_.Stream.Remaining()) * kMaxDeflateRatio + kMaxDeflateRatio <
        rowSize * height_)
        RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    png_.SetImageSize(width_, height_);
    // Every pixel is written by the rows (the Adam7 passes cover them all),
    // so the canvas is not filled with the background first.
    if (transparentValue_ != kNoTransparency) {
        png_.TransparentColor = transparentValue_;
        png_.Transparent = true;
    }

    std::vector<std::uint8_t> current = AllocateWorkBuffer(rowSize, kFormatName);
    std::vector<std::uint8_t> previous = AllocateWorkBuffer(rowSize, kFormatName);
    const std::size_t targetSize = png_.RowBytes();

    auto decodeRow = [&](std::uint32_t y, std::size_t bytes, std::uint8_t mask) {
        InflateRow(current.data(), bytes);
        UnfilterRow(current[0], current.data() + 1, previous.data() + 1, pixelBytes_, bytes - 1);
        png_.ColorManager.ConvertLine(current.data() + 1, bytes - 1, png_.ScanLine(static_cast<int>(y)), targetSize,
                                      width_, mask);
        std::swap(current, previous);
    };

    if (png_.interlaceMethod_ == 1) {
        for (std::size_t pass = 0; pass < 7; ++pass) {
            const Adam7Pass& a = kPasses[pass];
            if (a.firstColumn >= width_) continue;
            const std::uint64_t columns = (std::uint64_t{width_} + a.columnStep - 1 - a.firstColumn) / a.columnStep;
            const std::size_t passRowSize = static_cast<std::size_t>(PackedRowBytes(columns, bitDepth_) * samples + 1);
            std::fill_n(previous.begin(), passRowSize, std::uint8_t{0});
            for (std::uint32_t y = a.firstRow; y < height_; y += a.rowStep) {
                decodeRow(y, passRowSize, a.mask);
                if (pass == 6) load_.Progress.RowDone(std::uint64_t{y} + 2, height_);
            }
        }
    } else {
        for (std::uint32_t y = 0; y < height_; ++y) {
            decodeRow(y, static_cast<std::size_t>(rowSize), 0xFF);
            load_.Progress.RowDone(y, height_);
        }
    }

    // The rest of the image data is read, checked and dropped.
    while (chunks_.Is(kIDAT)) {
        chunks_.ReadData();
        chunks_.ReadHeader();
    }
}

void TPNGGraphic::TChunkLoad::ReadBackground() {
    chunks_.ReadData();
    const std::uint8_t* d = chunks_.Data();
    const std::uint32_t length = chunks_.Length();
    TColor& background = png_.BackgroundValue;
    switch (png_.colorType_) {
        case 2:
        case 6:
            if (length >= 6) background = RGBSampleColor(d, bitDepth_);
            break;
        case 0:
        case 4:
            // The first sample itself, as the file's own reader took it.
            if (length >= 2) background = bitDepth_ == 2 ? BigWord(d) * 5u : BigWord(d);
            break;
        case 3:
            if (length >= 1) background = d[0];
            break;
        default: break;
    }
}

void TPNGGraphic::TChunkLoad::ReadTransparency() {
    chunks_.ReadData();
    const std::uint8_t* d = chunks_.Data();
    const std::uint32_t length = chunks_.Length();
    switch (png_.colorType_) {
        case 0:
            if (length >= 2) {
                std::uint32_t v = BigWord(d);
                if (bitDepth_ == 16) v = v * 255u / 65535u;
                else if (bitDepth_ == 2) v *= 5u;
                const auto g = static_cast<std::uint8_t>(v);
                transparentValue_ = RGBColor(g, g, g);
            }
            break;
        case 2:
            if (length >= 6) transparentValue_ = RGBSampleColor(d, bitDepth_);
            break;
        default: break;  // palette and alpha images: no transparent colour
    }
}

}  // namespace orv
