// TIFF loading: colour set-up, palette, decoder choice and the strip loop.
#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "formats/codec_deflate.h"
#include "formats/codec_fax.h"
#include "formats/codec_jpeg.h"
#include "formats/codec_lzw.h"
#include "formats/codec_rle.h"
#include "formats/codec_thunder.h"
#include "formats/fmt_eps.h"
#include "formats/fmt_tiff_predictor.h"
#include "formats/fmt_tiff.h"
#include "formats/format_messages.h"
#include "formats/library.h"
#include "platform/base/stream.h"

namespace orv {

namespace {

constexpr const char* kFormatName = "TIF/TIFF";

constexpr std::uint32_t tagStripOffsets = 273;
constexpr std::uint32_t tagStripByteCounts = 279;
constexpr std::uint32_t tagT4Options = 292;
constexpr std::uint32_t tagColorMap = 320;
constexpr std::uint32_t tagJPEGTables = 347;

// Runs a callable when the scope ends, whatever ends it.
template <class F>
class ScopeExit {
public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ~ScopeExit() { f_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F f_;
};

bool IsSupportedDepth(std::uint32_t bits) { return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16; }

// Sample counts a photometric interpretation allows; a count that does not
// fit would make the converter read past the row.
bool SamplesFit(std::uint32_t photometric, std::uint32_t samples, bool alpha) {
    switch (photometric) {
        case 0:
        case 1: return samples == 1 || (samples == 2 && alpha);
        case 2: return samples >= 3;
        case 3: return samples >= 1;
        case 5: return samples == 4;
        case 6:
        case 8: return samples == 3;
        default: return false;
    }
}

}  // namespace

const TGraphicClass& TTIFFGraphic::ClassInfo() {
    static const TGraphicClass info{"TTIFFGraphic",
                                    []() -> std::unique_ptr<TGraphic> { return std::make_unique<TTIFFGraphic>(); },
                                    &TTIFFGraphic::CanLoadStream, &TFormatGraphic::ClassInfo()};
    return info;
}

void RegisterTiffFormats() {
    AddFormatClass(TTIFFGraphic::ClassInfo());
    AddFormatClass(TEPSGraphic::ClassInfo());
}

void TTIFFGraphic::LoadFromStream(TStream& stream) {
    Clear();
    StartPosition = stream.Position();
    if (!ReadImageProperties(stream, 0)) RaiseInvalidImageFormat(kFormatName);
    TImageProperties& p = ImageProperties;
    SourceStream = &stream;

    std::unique_ptr<TDecoder> decoder;
    ScopeExit guard([&]() {
        SourceStream = nullptr;
        try {
            if (decoder) decoder->DecodeEnd();
        } catch (...) {
        }
        try {
            ReportProgress(TProgressStage::Ending, 0, false, "");
        } catch (...) {
        }
    });

    // Tiles are not decoded: such an image loads as an empty picture.
    if (p.Options & OptionTiled) return;

    ProgressArea = MakeRect(0, 0, 0, 1);
    ReportProgress(TProgressStage::Starting, 0, false, msg::Preparing);

    if (!IsSupportedDepth(bitsPerSample_) || !SamplesFit(photometric_, samplesPerPixel_, p.AlphaPresent))
        RaiseInvalidImageFormat(kFormatName);
    std::vector<std::uint32_t> stripOffsets, stripByteCounts;
    TagCardinals(stream, tagStripOffsets, stripOffsets);
    TagCardinals(stream, tagStripByteCounts, stripByteCounts);
    // Without strips there is no picture to show.
    if (stripOffsets.empty()) RaiseInvalidImageFormat(kFormatName);

    const bool jpeg = p.Compression == ctJPEG || p.Compression == ctOJPEG;
    const bool bigEndian = p.Options & OptionBigEndian;
    const auto bits = static_cast<std::uint8_t>(bitsPerSample_);
    // Counts above 4 are refused by the manager; keep them from wrapping.
    const auto samples = static_cast<std::uint8_t>(std::min<std::uint32_t>(samplesPerPixel_, 255));

    // A fresh manager: nothing of an earlier load carries over.
    ColorManager = TColorManager();
    TColorManager& cm = ColorManager;
    cm.SourceFlags = bigEndian ? cfByteSwap : 0;
    cm.SetSourceBits(bits);
    // 16 bits are shown with 8; 2-bit samples have no bitmap of their own
    // and are widened to 4.
    cm.SetTargetBits(bits == 16 ? 8 : (bits == 2 ? 4 : bits));
    // The JPEG decoder delivers blue, green, red for three components and
    // gray for one.
    TColorModel source = p.ColorScheme;
    if (jpeg && samples == 3) source = TColorModel::cmBGR;
    else if (jpeg && samples == 1) source = TColorModel::cmGray;
    TColorModel target = source;
    switch (source) {
        case TColorModel::cmIndexed:
        case TColorModel::cmGray:
            // An alpha sample is passed over, like a PNG gray image with alpha.
            if (p.AlphaPresent) source = TColorModel::cmGrayAlpha;
            break;
        case TColorModel::cmRGB: target = TColorModel::cmBGR; break;
        case TColorModel::cmRGBA: target = TColorModel::cmBGRA; break;
        case TColorModel::cmReserved:
        case TColorModel::cmCMYK:
        case TColorModel::cmCIELab:
        case TColorModel::cmYCbCr: target = TColorModel::cmBGR; break;
        default: break;
    }
    cm.SetSourceModel(source);
    cm.SetTargetModel(target);
    cm.SetSourceSamples(samples);
    cm.SetTargetSamples(source == TColorModel::cmCMYK ? 3 : (source == TColorModel::cmGrayAlpha ? 1 : samples));
    if (source == TColorModel::cmCIELab) cm.SourceFlags |= cfLabScaledL;
    SetPixelFormat(source == TColorModel::cmGrayAlpha ? TPixelFormat::pf8bit : cm.PixelFormatFor(1));
    SetImageSize(p.Width, p.Height, kFormatName);
    ProgressArea.Right = static_cast<int>(p.Width);

    if (target == TColorModel::cmIndexed) {
        std::uint32_t count = 0;
        const std::uint32_t offset = TagIntegerAndCount(tagColorMap, count, 0);
        std::size_t index = 0;
        if (count > 0 && LocateTag(tagColorMap, index) && std::uint64_t{count} * 2 > 4) {
            // The map is as long as the file says, but never longer than the
            // bytes that follow its offset.
            const std::int64_t position = StartPosition + static_cast<std::int64_t>(offset);
            const std::int64_t total = stream.Size();
            const std::uint64_t left = position < total ? static_cast<std::uint64_t>(total - position) : 0;
            std::vector<std::uint8_t> map(static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t{count} * 2, left)));
            if (!map.empty()) {
                stream.SetPosition(position);
                stream.ReadBuffer(map.data(), map.size());
            }
            const std::uint32_t colours = count / 3;
            auto plane = [&](std::uint64_t firstValue) {
                const std::uint64_t start = firstValue * 2;
                if (start >= map.size()) return TRowBuffer{nullptr, 0};
                return TRowBuffer{map.data() + start,
                                  static_cast<std::size_t>(std::min<std::uint64_t>(map.size() - start, std::uint64_t{colours} * 2))};
            };
            // The manager fits the entries to the target depth (2-bit
            // indices widened to 4 bits).
            SetPalette(cm.BuildIndexedPalette({plane(0), plane(count / 3), plane(2 * std::uint64_t{count} / 3)},
                                              cmf16Planar, colours, false));
        }
    } else if (target == TColorModel::cmGray) {
        SetPalette(cm.BuildGrayPalette(p.Options & OptionMinIsWhite));
    } else if (source == TColorModel::cmYCbCr) {
        cm.SetChromaParameters(std::span<const float>(YCbCrCoefficients), p.YCbCrSubSampling[0],
                               p.YCbCrSubSampling[1]);
    }

    const std::uint64_t rowBytes = PackedRowBytes(p.Width, std::uint64_t{bitsPerSample_} * samplesPerPixel_);
    p.RowBytes = static_cast<std::uint32_t>(rowBytes);
    const bool predictor = p.Compression != ctNone && p.Predictor == 2;

    const bool reversedBits = p.Options & OptionReversedBits;
    TTIFFJPEGDecoder* jpegDecoder = nullptr;
    switch (p.Compression) {
        case ctNone: break;
        case ctPackedBits: decoder = std::make_unique<TPackbitsRLEDecoder>(); break;
        case ctLZW: decoder = std::make_unique<TTIFFLZWDecoder>(); break;
        case ctFax3:
            decoder = std::make_unique<TCCITTFax3Decoder>(TagInteger(tagT4Options, 0), reversedBits, false, p.Width);
            break;
        case ctFaxRLE:
            decoder = std::make_unique<TCCITTMHDecoder>(TagInteger(tagT4Options, 0), reversedBits, false, p.Width);
            break;
        case ctFaxRLEW:
            decoder = std::make_unique<TCCITTMHDecoder>(TagInteger(tagT4Options, 0), reversedBits, true, p.Width);
            break;
        case ctLZ77: decoder = std::make_unique<TLZ77Decoder>(Z_SYNC_FLUSH, true); break;
        case ctJPEG: {
            TagBytes(stream, tagJPEGTables, p.JPEGTables);
            TTIFFJPEGImage image;
            image.Width = p.Width;
            image.Height = p.Height;
            image.RowsPerStrip = p.RowsPerStrip[0];
            image.SamplesPerPixel = samplesPerPixel_;
            image.BitsPerSample = bitsPerSample_;
            image.PlanarLayout = p.PlanarLayout;
            image.YCbCr = p.ColorScheme == TColorModel::cmYCbCr;
            if (p.YCbCrSubSampling.size() >= 2) {
                image.SubsamplingH = p.YCbCrSubSampling[0];
                image.SubsamplingV = p.YCbCrSubSampling[1];
            }
            image.JPEGTables = p.JPEGTables;
            image.RowBytes = p.RowBytes;
            auto made = std::make_unique<TTIFFJPEGDecoder>(std::move(image));
            jpegDecoder = made.get();
            decoder = std::move(made);
            break;
        }
        case ctThunderscan: decoder = std::make_unique<TThunderDecoder>(p.Width); break;
        default: RaiseImageErrorFmt(msg::NotSupported, msg::CompressionScheme, kFormatName);
    }
    if (decoder) decoder->DecodeInit();

    ReportProgress(TProgressStage::Ending, 0, false, "");
    ReportProgress(TProgressStage::Starting, 0, false, msg::Transfering);

    const std::int64_t streamSize = stream.Size();
    const std::size_t targetBytes = RowBytes();
    // Strips may share their bytes (some writers store one blank strip for
    // many), but a directory that makes every row's strip span the whole
    // file would read it once per row. Sane files stay far below this.
    const std::uint64_t readBudget = 4 * static_cast<std::uint64_t>(std::max<std::int64_t>(streamSize, 0)) + (64u << 20);
    std::uint64_t bytesRead = 0;
    p.RowIndex = 0;
    p.StripIndex = 0;
    p.StripTotal = static_cast<std::uint32_t>(stripOffsets.size());
    // Strips past the image's last row are not decoded.
    for (; p.StripIndex < p.StripTotal && p.RowIndex < p.Height; ++p.StripIndex) {
        const std::uint32_t i = p.StripIndex;
        const std::uint64_t rowsLeft = p.Height - p.RowIndex;
        const std::uint64_t rows =
            std::min<std::uint64_t>(p.RowsPerStrip[std::min<std::size_t>(i, p.RowsPerStrip.size() - 1)], rowsLeft);
        const std::uint64_t size = rows * rowBytes;
        const std::int64_t position = StartPosition + static_cast<std::int64_t>(stripOffsets[i]);
        const std::uint64_t left = position < streamSize ? static_cast<std::uint64_t>(streamSize - position) : 0;

        if (rows == 0) continue;  // a strip of no rows adds nothing
        std::vector<std::uint8_t> strip;
        std::uint64_t usableRows = rows;
        if (decoder) {
            // A compressed strip needs its length.
            if (i >= stripByteCounts.size()) RaiseInvalidImageFormat(kFormatName);
            const std::uint64_t packedSize = std::min<std::uint64_t>(stripByteCounts[i], left);
            bytesRead += packedSize;
            if (bytesRead > readBudget) RaiseInvalidImageFormat(kFormatName);
            std::vector<std::uint8_t> packed = AllocateWorkBuffer(packedSize, kFormatName);
            if (packedSize > 0) {
                stream.SetPosition(position);
                stream.ReadBuffer(packed.data(), packed.size());
            }
            strip = AllocateWorkBuffer(size, kFormatName);
            if (jpegDecoder != nullptr) {
                jpegDecoder->Image().RowIndex = p.RowIndex;
                jpegDecoder->Image().RowsPerStrip = static_cast<std::uint32_t>(rows);
                jpegDecoder->Image().RowBytes = p.RowBytes;
            }
            if (size > 0) {
                const std::uint8_t* in = packed.data();
                std::uint8_t* out = strip.data();
                decoder->Decode(in, packed.size(), out, strip.size());
            }
        } else {
            // Stored rows: only those the stream reaches at least in part are
            // read; the rest of the last one stays zero.
            const std::uint64_t have = std::min(size, left);
            usableRows = rowBytes == 0 ? 0 : (have + rowBytes - 1) / rowBytes;
            strip = AllocateWorkBuffer(usableRows * rowBytes, kFormatName);
            if (have > 0) {
                stream.SetPosition(position);
                stream.ReadBuffer(strip.data(), static_cast<std::size_t>(have));
            }
        }

        for (std::uint64_t r = 0; r < usableRows; ++r) {
            std::uint8_t* row = strip.data() + r * rowBytes;
            if (predictor) UndoTIFFPredictor(row, rowBytes, p.Width, samplesPerPixel_, bitsPerSample_, bigEndian);
            cm.ConvertLine(row, rowBytes, ScanLine(static_cast<int>(p.RowIndex)), targetBytes, p.Width);
            ++p.RowIndex;
            ReportRowDone(p.RowIndex, p.Height);
        }
        // Rows of a strip the file does not reach keep the new picture's
        // pixels; the next strip still lands on its own rows.
        p.RowIndex += static_cast<std::uint32_t>(rows - usableRows);
        ProgressArea.Offset(0, static_cast<int>(rows - usableRows));
    }
}

}  // namespace orv
