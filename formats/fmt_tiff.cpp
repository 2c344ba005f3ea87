// TIFF loading: colour set-up, palette, decoder choice and the loop over the
// image's bands of strips or tiles.
#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "formats/codec_deflate.h"
#include "formats/codec_fax.h"
#include "formats/codec_jpeg.h"
#include "formats/codec_lzw.h"
#include "formats/codec_rle.h"
#include "formats/codec_thunder.h"
#include "formats/fmt_tiff.h"
#include "formats/fmt_tiff_blocks.h"
#include "platform/graphics/messages.h"
#include "formats/format_registry.h"
#include "platform/base/stream.h"

namespace orv {

namespace {

constexpr const char* kFormatName = "TIF/TIFF";
constexpr TFormatExtension kExtensions[] = {
    {"tiff", "Macintosh TIFF images"}, {"tif", "PC TIF images"}, {"fax", "GFI fax images"}};

// Bytes of uncompressed rows read and converted at a time: they stay in the
// processor's cache in between.
constexpr std::size_t kPieceBytes = 256 * 1024;

constexpr std::uint32_t tagStripOffsets = 273;
constexpr std::uint32_t tagStripByteCounts = 279;
constexpr std::uint32_t tagT4Options = 292;
constexpr std::uint32_t tagColorMap = 320;
constexpr std::uint32_t tagTileOffsets = 324;
constexpr std::uint32_t tagTileByteCounts = 325;
constexpr std::uint32_t tagSampleFormat = 339;
constexpr std::uint32_t tagJPEGTables = 347;

// Strips of one plane that cover `height` rows, each strip holding the rows
// of its RowsPerStrip entry (the last entry standing for the strips after
// it); more than any file holds when the rows are never covered.
std::uint64_t StripsCovering(const std::vector<std::uint32_t>& rowsPerStrip, std::uint32_t height) {
    if (rowsPerStrip.empty()) return 1;
    std::uint64_t rows = 0;
    for (std::size_t i = 0; i + 1 < rowsPerStrip.size(); ++i) {
        if (rows >= height) return i;
        rows += rowsPerStrip[i];
    }
    const std::uint64_t strips = rowsPerStrip.size() - 1;
    if (rows >= height) return strips;
    const std::uint32_t last = rowsPerStrip.back();
    if (last == 0) return UINT64_MAX;
    return strips + (height - rows + last - 1) / last;
}

// The byte counts libtiff takes as bogus (written by a writer that did not
// know them) where each plane is one strip: none or 0, and for uncompressed
// data fewer bytes than the rows need. Such a strip runs as far as the file
// holds its data: an uncompressed one as far as its rows need (a count of 0
// tells the block reader so), a compressed one to the end of the file (its
// decoder stops at the end of its own data).
void DropBogusStripCounts(const TTIFFBlockLayout& layout, bool compressed, std::vector<std::uint32_t>& byteCounts) {
    if (layout.Tiled || layout.StripsPerPlane != 1) return;
    if (byteCounts.size() < layout.Planes) byteCounts.resize(layout.Planes, 0);
    const std::uint64_t rowsNeed = layout.DecodedBlockBytes(layout.ImageHeight);
    for (std::uint32_t plane = 0; plane < layout.Planes; ++plane) {
        std::uint32_t& count = byteCounts[plane];
        if (compressed && count == 0) count = UINT32_MAX;
        else if (!compressed && count < rowsNeed) count = 0;
    }
}

bool IsSupportedDepth(std::uint32_t bits) { return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16; }

// Sample counts a photometric interpretation allows; a count that does not
// fit would make the converter read past the row, or read an extra sample
// as a pixel. Of separate planes a gray or palette image reads the first.
bool SamplesFit(std::uint32_t photometric, std::uint32_t samples, bool alpha, bool planar) {
    switch (photometric) {
        case 0:
        case 1:
        case 3: return samples == 1 || (samples == 2 && alpha) || planar;
        case 2: return samples >= 3;
        case 5: return samples == 4;
        case 6:
        case 8: return samples == 3;
        default: return false;
    }
}

}  // namespace

TTIFFGraphic::TTIFFGraphic() : TFormatGraphic(kFormatName) {}

const TGraphicClass& TTIFFGraphic::ClassInfo() { return FormatClassInfo<TTIFFGraphic>("TTIFFGraphic"); }

const TFormatDescriptor TTIFFGraphic::Format{&TTIFFGraphic::ClassInfo, "Tagged image file format images", kExtensions,
                                             FormatMultiPage | FormatRaster};

void TTIFFGraphic::DecodeImage(TLoadContext& load) {
    TStream& stream = load.Stream;
    TImageProperties& p = ImageProperties;
    // The area gets its width once the picture is sized.
    load.Progress.Area.Right = 0;
    load.Progress.Start(msg::Preparing);

    const bool tiled = p.Options & OptionTiled;
    // Separate planes matter only when a pixel has more than one sample.
    const bool planar = p.PlanarLayout == 2 && samplesPerPixel_ > 1;
    CheckSampleLayout(stream, planar);
    std::vector<std::uint32_t> offsets, byteCounts;
    TagCardinals(stream, tiled ? tagTileOffsets : tagStripOffsets, offsets);
    TagCardinals(stream, tiled ? tagTileByteCounts : tagStripByteCounts, byteCounts);
    // Without strips or tiles there is no picture to show.
    if (offsets.empty()) RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    const bool differencing = CheckPredictor();

    const std::uint8_t usedSamples = ConfigureColours(stream, planar);
    const TColorModel source = ColorManager.SourceModel();
    const bool overwrite = SizeBitmap();
    // Colour rows are written whole by the conversion; the rows it does not
    // reach are cleared when the load ends, however it ends.
    struct ClearRowsLeft {
        TTIFFGraphic& picture;
        bool active;
        ~ClearRowsLeft() {
            if (!active) return;
            const std::size_t height = static_cast<std::size_t>(picture.Height());
            const std::size_t done = std::min<std::size_t>(picture.ImageProperties.RowIndex, height);
            if (done < height)
                std::memset(picture.Bits() + done * picture.RowBytes(), 0, (height - done) * picture.RowBytes());
        }
    } clearRowsLeft{*this, overwrite};
    load.Progress.Area.Right = static_cast<int>(p.Width);

    TTIFFBlockLayout layout = MakeBandLayout(planar, offsets.size(), differencing, source);
    DropBogusStripCounts(layout, p.Compression != ctNone, byteCounts);
    TTIFFJPEGDecoder* jpegDecoder = nullptr;
    const std::unique_ptr<TDecoder> decoder = MakeDecoder(stream, planar, layout.BlockWidth(), jpegDecoder);
    if (decoder) decoder->DecodeInit();

    load.Progress.End();
    load.Progress.Start(msg::Transfering);

    TTIFFBlockReader reader(std::move(layout), MakeBlockSource(stream, std::move(offsets), std::move(byteCounts),
                                                               decoder.get(), jpegDecoder, differencing));
    // Planes that the colour manager reads: the colour samples and alpha.
    TransferBands(load, reader, tiled, planar, overwrite, planar ? usedSamples : 1);
    if (decoder) decoder->DecodeEnd();
}

void TTIFFGraphic::CheckSampleLayout(TStream& stream, bool planar) {
    const TImageProperties& p = ImageProperties;
    if (!IsSupportedDepth(bitsPerSample_) || !SamplesFit(photometric_, samplesPerPixel_, p.AlphaPresent, planar))
        RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    // Floating-point samples would be shown as the bits of integers.
    std::vector<std::uint32_t> sampleFormats;
    TagCardinals(stream, tagSampleFormat, sampleFormats);
    if (std::find(sampleFormats.begin(), sampleFormats.end(), 3u) != sampleFormats.end())
        RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
}

bool TTIFFGraphic::CheckPredictor() const {
    const TImageProperties& p = ImageProperties;
    // Horizontal differencing belongs to LZW and Deflate data, as libtiff
    // has it, and is defined for 8- and 16-bit samples only.
    const bool lossless = p.Compression == ctLZW || p.Compression == ctLZ77;
    const bool differencing = lossless && p.Predictor == 2;
    if (differencing && bitsPerSample_ != 8 && bitsPerSample_ != 16) RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    if (lossless && p.Predictor == 3) RaiseImageErrorFmt(msg::NotSupported, msg::CompressionScheme, kFormatName);
    return differencing;
}

bool TTIFFGraphic::SizeBitmap() {
    TImageProperties& p = ImageProperties;
    // Colour rows need no clearing first: the conversion writes them whole.
    const bool overwrite = PixelFormat() == TPixelFormat::pf24bit || PixelFormat() == TPixelFormat::pf32bit;
    if (overwrite) {
        CheckImageSize(p.Width, p.Height, kFormatName);
        SetSizeForOverwrite(static_cast<int>(p.Width), static_cast<int>(p.Height));
    } else {
        SetImageSize(p.Width, p.Height);
    }
    p.RowIndex = 0;
    return overwrite;
}

TTIFFBlockLayout TTIFFGraphic::MakeBandLayout(bool planar, std::size_t blockCount, bool differencing,
                                              TColorModel source) {
    TImageProperties& p = ImageProperties;
    TTIFFBlockLayout layout = MakeLayout(planar, blockCount);
    // Uncompressed and losslessly compressed YCbCr is stored in units of
    // several luma samples with one chroma pair (the JPEG decoder spreads
    // the chroma itself). Interleaved 8-bit units are spread here.
    const bool jpeg = p.Compression == ctJPEG;
    const bool subsampled = source == TColorModel::cmYCbCr &&
                            (p.YCbCrSubSampling[0] != 1 || p.YCbCrSubSampling[1] != 1);
    if (subsampled && (planar || (!jpeg && (bitsPerSample_ != 8 || differencing))))
        RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    if (subsampled && !jpeg) {
        layout.HorzSubsampling = p.YCbCrSubSampling[0];
        layout.VertSubsampling = p.YCbCrSubSampling[1];
    }
    p.RowBytes = static_cast<std::uint32_t>(layout.BandRowBytes());
    return layout;
}

TTIFFBlockSource TTIFFGraphic::MakeBlockSource(TStream& stream, std::vector<std::uint32_t> offsets,
                                               std::vector<std::uint32_t> byteCounts, TDecoder* decoder,
                                               TTIFFJPEGDecoder* jpegDecoder, bool differencing) {
    TImageProperties& p = ImageProperties;
    TTIFFBlockSource blocks;
    blocks.Stream = &stream;
    blocks.StartPosition = directoryBase_;
    blocks.Offsets = std::move(offsets);
    blocks.ByteCounts = std::move(byteCounts);
    blocks.Decoder = decoder;
    blocks.JpegDecoder = jpegDecoder;
    // Fax data are read in their own bit order; JPEG data have only one.
    blocks.ReverseBits = (p.Options & OptionReversedBits) && p.Compression != ctJPEG && p.Compression != ctFax3 &&
                         p.Compression != ctFaxRLE && p.Compression != ctFaxRLEW;
    blocks.Predictor = differencing;
    blocks.BigEndian = p.Options & OptionBigEndian;
    // PackBits marks where its output ends: the reader clears only the rest.
    blocks.DecoderMarksEnd = p.Compression == ctPackedBits;
    if (auto* inflater = dynamic_cast<TLZ77Decoder*>(decoder)) {
        // A block is inflated in one go straight into the band: it needs
        // room for all its rows, and the reader clears what it leaves.
        inflater->SetScratchTail(true);
        blocks.DecoderMarksEnd = true;
        blocks.WholeBlocks = true;
    }
    blocks.FormatName = kFormatName;
    return blocks;
}

void TTIFFGraphic::TransferBands(TLoadContext& load, TTIFFBlockReader& reader, bool tiled, bool planar,
                                 bool overwrite, std::uint32_t usedPlanes) {
    TImageProperties& p = ImageProperties;
    const std::size_t targetBytes = RowBytes();
    // Strips of rows as long as the bitmap's decode straight into the
    // bitmap and are converted there, without a pass through a band.
    const bool direct = overwrite && usedPlanes == 1 && reader.BlocksAreBands() && targetBytes == p.RowBytes &&
                        ColorManager.ConvertsInPlace();
    // Interleaved tiles of whole-byte pixels are converted from the tile's
    // rows straight into the bitmap: a pixel converts alike wherever its row
    // starts.
    const std::uint64_t pixelBits = std::uint64_t{bitsPerSample_} * samplesPerPixel_;
    const bool tileDirect = overwrite && tiled && !planar && !reader.Layout().Subsampled() && pixelBits % 8 == 0;
    const bool stored = p.Compression == ctNone;
    std::vector<std::vector<std::uint8_t>> bands(usedPlanes);
    std::vector<TRowBuffer> rowPlanes(usedPlanes);
    p.RowIndex = 0;
    p.StripIndex = 0;
    // Bands past the image's last row are not decoded.
    for (; p.StripIndex < reader.Layout().BandsPerPlane() && p.RowIndex < p.Height; ++p.StripIndex) {
        const std::uint32_t rows = std::min(reader.Layout().BandHeight(p.StripIndex), p.Height - p.RowIndex);
        if (rows == 0) continue;  // a strip of no rows adds nothing
        if (tileDirect) TransferTiles(load, reader, rows);
        else if (stored && direct) TransferStoredRows(load, reader, rows);
        else if (direct) TransferBandInPlace(load, reader, rows);
        else TransferPlaneBands(load, reader, rows, bands, rowPlanes);
    }
}

void TTIFFGraphic::TransferTiles(TLoadContext& load, TTIFFBlockReader& reader, std::uint32_t rows) {
    TImageProperties& p = ImageProperties;
    const TTIFFBlockLayout& layout = reader.Layout();
    const std::size_t targetBytes = RowBytes();
    const std::size_t targetPixelBytes = PixelFormat() == TPixelFormat::pf32bit ? 4 : 3;
    const std::uint64_t pixelBits = std::uint64_t{bitsPerSample_} * samplesPerPixel_;
    const std::uint64_t blockRowBytes = layout.BlockRowBytes();
    for (std::uint32_t c = 0; c < layout.BlocksAcross(); ++c) {
        const std::uint64_t x0 = std::uint64_t{c} * layout.TileWidth;
        const auto pixels = static_cast<std::uint32_t>(std::min<std::uint64_t>(layout.TileWidth, p.Width - x0));
        const std::uint8_t* const block = reader.ReadBlock(p.StripIndex, c, p.RowIndex, rows, 0);
        std::uint8_t* target = Bits() + std::size_t{p.RowIndex} * targetBytes + x0 * targetPixelBytes;
        // A tile's rows land a bitmap row apart, a stride the processor
        // does not foresee: their bytes are fetched for writing two rows
        // ahead.
        const std::size_t segment = pixels * targetPixelBytes;
        for (std::uint32_t r = 0; r < rows; ++r, target += targetBytes) {
            if (r + 2 < rows)
                for (std::size_t at = 0; at < segment; at += 64)
                    __builtin_prefetch(target + 2 * targetBytes + at, 1);
            ColorManager.ConvertLine(block + r * blockRowBytes, pixels * pixelBits / 8, target, segment, pixels);
        }
    }
    for (std::uint32_t r = 0; r < rows; ++r) {
        ++p.RowIndex;
        load.Progress.RowDone(p.RowIndex, p.Height);
    }
}

void TTIFFGraphic::TransferStoredRows(TLoadContext& load, TTIFFBlockReader& reader, std::uint32_t rows) {
    TImageProperties& p = ImageProperties;
    const std::size_t targetBytes = RowBytes();
    // Uncompressed rows are read in pieces that stay in the cache and
    // converted from there: the bitmap is written once instead of written
    // and then reordered.
    const auto pieceRows = static_cast<std::uint32_t>(std::max<std::size_t>(1, kPieceBytes / targetBytes));
    for (std::uint32_t done = 0; done < rows;) {
        const std::uint32_t piece = std::min(pieceRows, rows - done);
        const std::uint8_t* const from = reader.StoredRows(p.StripIndex, done, piece, 0);
        // Rows without padding are one run of pixels.
        const std::size_t bytes = std::size_t{piece} * targetBytes;
        ColorManager.ConvertLine(from, bytes, Bits() + std::size_t{p.RowIndex} * targetBytes, bytes, piece * p.Width);
        for (std::uint32_t r = 0; r < piece; ++r) {
            ++p.RowIndex;
            load.Progress.RowDone(p.RowIndex, p.Height);
        }
        done += piece;
    }
}

void TTIFFGraphic::TransferBandInPlace(TLoadContext& load, TTIFFBlockReader& reader, std::uint32_t rows) {
    TImageProperties& p = ImageProperties;
    const std::size_t targetBytes = RowBytes();
    std::uint8_t* const first = Bits() + std::size_t{p.RowIndex} * targetBytes;
    reader.ReadBandInto(p.StripIndex, p.RowIndex, rows, 0, first);
    for (std::uint32_t r = 0; r < rows; ++r) {
        std::uint8_t* const row = first + std::size_t{r} * targetBytes;
        ColorManager.ConvertLine(row, targetBytes, row, targetBytes, p.Width);
        ++p.RowIndex;
        load.Progress.RowDone(p.RowIndex, p.Height);
    }
}

void TTIFFGraphic::TransferPlaneBands(TLoadContext& load, TTIFFBlockReader& reader, std::uint32_t rows,
                                      std::vector<std::vector<std::uint8_t>>& bands,
                                      std::vector<TRowBuffer>& rowPlanes) {
    TImageProperties& p = ImageProperties;
    const std::size_t targetBytes = RowBytes();
    const auto usedPlanes = static_cast<std::uint32_t>(bands.size());
    for (std::uint32_t plane = 0; plane < usedPlanes; ++plane)
        reader.ReadBand(p.StripIndex, p.RowIndex, rows, plane, bands[plane]);
    for (std::uint32_t r = 0; r < rows; ++r) {
        for (std::uint32_t plane = 0; plane < usedPlanes; ++plane)
            rowPlanes[plane] = {bands[plane].data() + std::size_t{r} * p.RowBytes, p.RowBytes};
        ColorManager.ConvertLine(rowPlanes, ScanLine(static_cast<int>(p.RowIndex)), targetBytes, p.Width);
        ++p.RowIndex;
        load.Progress.RowDone(p.RowIndex, p.Height);
    }
}

std::uint8_t TTIFFGraphic::ConfigureColours(TStream& stream, bool planar) {
    const TImageProperties& p = ImageProperties;
    const bool jpeg = p.Compression == ctJPEG || p.Compression == ctOJPEG;
    const auto bits = static_cast<std::uint8_t>(bitsPerSample_);
    // Counts above 4 are refused by the manager; keep them from wrapping.
    const auto samples = static_cast<std::uint8_t>(std::min<std::uint32_t>(samplesPerPixel_, 255));

    // The JPEG decoder delivers blue, green, red for three interleaved
    // components and each component as stored otherwise.
    TColorModel source = p.ColorScheme;
    if (jpeg && samples == 3 && !planar) source = TColorModel::cmBGR;
    else if (jpeg && samples == 1) source = TColorModel::cmGray;
    const bool indexed = source == TColorModel::cmIndexed;
    std::uint8_t sourceSamples = samples;
    if (indexed || source == TColorModel::cmGray) {
        // Of separate planes only the first is read; an interleaved alpha
        // sample is passed over, like a PNG gray image with alpha.
        if (planar) sourceSamples = 1;
        else if (p.AlphaPresent) source = TColorModel::cmGrayAlpha;
    }
    TConversionFlags flags = (p.Options & OptionBigEndian) ? cfByteSwap : 0;
    if (source == TColorModel::cmCIELab) flags |= cfLabScaledL;
    SetUpDisplay(source, bits, sourceSamples, flags, p.Options & OptionMinIsWhite);

    if (indexed) {
        SetPalette(ReadColorMap(stream));
    } else if (source == TColorModel::cmYCbCr) {
        ColorManager.SetChromaParameters(std::span<const float>(YCbCrCoefficients), p.YCbCrSubSampling[0],
                                         p.YCbCrSubSampling[1]);
    }
    return sourceSamples;
}

std::unique_ptr<TDecoder> TTIFFGraphic::MakeDecoder(TStream& stream, bool planar, std::uint32_t blockWidth,
                                                    TTIFFJPEGDecoder*& jpegDecoder) {
    TImageProperties& p = ImageProperties;
    const bool reversedBits = p.Options & OptionReversedBits;
    jpegDecoder = nullptr;
    switch (p.Compression) {
        case ctNone: return nullptr;
        case ctPackedBits: return std::make_unique<TPackbitsRLEDecoder>();
        case ctLZW: return std::make_unique<TTIFFLZWDecoder>();
        case ctFax3: {
            // Only one-dimensional coding is decoded.
            const std::uint32_t options = TagInteger(tagT4Options, 0);
            if (options & 1u) RaiseImageErrorFmt(msg::NotSupported, msg::CompressionScheme, kFormatName);
            return std::make_unique<TCCITTFax3Decoder>(options, reversedBits, false, blockWidth);
        }
        case ctFaxRLE:
        case ctFaxRLEW:
            return std::make_unique<TCCITTMHDecoder>(TagInteger(tagT4Options, 0), reversedBits,
                                                     p.Compression == ctFaxRLEW, blockWidth);
        case ctLZ77: return std::make_unique<TLZ77Decoder>(Z_SYNC_FLUSH, true);
        case ctJPEG: {
            TagBytes(stream, tagJPEGTables, p.JPEGTables);
            // Separate planes are single JPEG components of full size.
            TTIFFJPEGImage image;
            image.SamplesPerPixel = samplesPerPixel_;
            image.BitsPerSample = bitsPerSample_;
            image.PlanarLayout = planar ? 2 : 1;
            image.YCbCr = p.ColorScheme == TColorModel::cmYCbCr;
            if (p.YCbCrSubSampling.size() >= 2) {
                image.SubsamplingH = p.YCbCrSubSampling[0];
                image.SubsamplingV = p.YCbCrSubSampling[1];
            }
            image.JPEGTables = p.JPEGTables;
            auto made = std::make_unique<TTIFFJPEGDecoder>(std::move(image));
            jpegDecoder = made.get();
            return made;
        }
        case ctThunderscan: return std::make_unique<TThunderDecoder>(blockWidth);
        default: RaiseImageErrorFmt(msg::NotSupported, msg::CompressionScheme, kFormatName);
    }
}

TPalette TTIFFGraphic::ReadColorMap(TStream& stream) {
    std::uint32_t count = 0;
    const std::uint32_t offset = TagIntegerAndCount(tagColorMap, count, 0);
    std::size_t index = 0;
    if (count == 0 || !LocateTag(tagColorMap, index) || std::uint64_t{count} * 2 <= 4) return TPalette();
    // The map is as long as the file says, but never longer than the bytes
    // that follow its offset.
    const std::int64_t position = directoryBase_ + static_cast<std::int64_t>(offset);
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
    // The manager fits the entries to the target depth (2-bit indices
    // widened to 4 bits).
    return ColorManager.BuildIndexedPalette({plane(0), plane(count / 3), plane(2 * std::uint64_t{count} / 3)},
                                            cmf16Planar, colours, false);
}

TTIFFBlockLayout TTIFFGraphic::MakeLayout(bool planar, std::size_t blockCount) const {
    const TImageProperties& p = ImageProperties;
    TTIFFBlockLayout layout;
    layout.ImageWidth = p.Width;
    layout.ImageHeight = p.Height;
    layout.BitsPerSample = bitsPerSample_;
    layout.Planes = planar ? samplesPerPixel_ : 1;
    layout.BlockSamples = planar ? 1 : samplesPerPixel_;
    layout.RowsPerStrip = p.RowsPerStrip;
    if (p.Options & OptionTiled) {
        layout.Tiled = true;
        layout.TileWidth = p.TileWidth;
        layout.TileLength = p.TileLength;
        // A tile passes the size gate of a picture, and one row of tiles
        // may not be much larger than the picture itself.
        CheckImageSize(p.TileWidth, p.TileLength, kFormatName);
        const std::uint64_t bandPixels =
            std::uint64_t{layout.BlocksAcross()} * p.TileWidth * std::min(p.TileLength, p.Height);
        if (bandPixels > 4 * std::uint64_t{p.Width} * p.Height + (std::uint64_t{1} << 20))
            RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    } else {
        // The strips of each plane cover the image's rows.
        const std::uint64_t strips = StripsCovering(p.RowsPerStrip, p.Height);
        if (strips > blockCount) RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
        layout.StripsPerPlane = static_cast<std::uint32_t>(strips);
    }
    // Every plane needs all its blocks, or planes and rows would be read
    // from the wrong ones. Blocks past those of a single plane are passed
    // over, as libtiff does: some writers store more than the rows need.
    const std::uint64_t needed = std::uint64_t{layout.Planes} * layout.BlocksPerPlane();
    if (blockCount < needed || (layout.Planes > 1 && blockCount != needed))
        RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    return layout;
}

}  // namespace orv
