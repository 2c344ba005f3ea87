#include "formats/fmt_tiff_blocks.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "formats/codec_base.h"
#include "formats/codec_jpeg.h"
#include "formats/fmt_tiff_predictor.h"
#include "formats/image_format.h"
#include "platform/base/stream.h"
#include "platform/graphics/messages.h"

namespace orv {

namespace {

// Bytes that uncompressed strips stored one after another are read in.
constexpr std::uint64_t kWindowBytes = 256 * 1024;

constexpr std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

constexpr std::array<std::uint8_t, 256> MakeReversedBytes() {
    std::array<std::uint8_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned r = 0;
        for (unsigned bit = 0; bit < 8; ++bit)
            if (i & (1u << bit)) r |= 0x80u >> bit;
        table[i] = static_cast<std::uint8_t>(r);
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> kReversedBytes = MakeReversedBytes();

// Copies `bits` bits from the start of `from` to bit `toBit` of `to`, first
// bit highest; the bits of `to` around them stay as they were.
void CopyBits(const std::uint8_t* from, std::uint8_t* to, std::uint64_t toBit, std::uint64_t bits) {
    if (toBit % 8 == 0) {
        const std::uint64_t whole = bits / 8;
        std::memcpy(to + toBit / 8, from, static_cast<std::size_t>(whole));
        const unsigned rest = static_cast<unsigned>(bits % 8);
        if (rest != 0) {
            const auto keep = static_cast<std::uint8_t>(0xFFu >> rest);
            std::uint8_t& last = to[toBit / 8 + whole];
            last = static_cast<std::uint8_t>((last & keep) | (from[whole] & ~keep));
        }
        return;
    }
    // Only tiles whose width is no whole number of bytes come here.
    for (std::uint64_t i = 0; i < bits; ++i) {
        const bool set = (from[i / 8] >> (7 - i % 8)) & 1u;
        const std::uint64_t at = toBit + i;
        const auto mask = static_cast<std::uint8_t>(0x80u >> (at % 8));
        if (set) to[at / 8] |= mask;
        else to[at / 8] = static_cast<std::uint8_t>(to[at / 8] & ~mask);
    }
}

// Spreads YCbCr units (h x v luma samples, then Cb and Cr) over rows of one
// luma, Cb and Cr sample a pixel: every pixel of a unit takes the unit's
// chroma. `units` holds `unitRows` rows of `unitsAcross` units; `pixels` and
// `rows` say how much of them the destination (rows of `stride` bytes, from
// pixel `x0` on) takes.
void SpreadYCbCrUnits(const std::uint8_t* units, std::uint64_t unitsAcross, std::uint32_t h, std::uint32_t v,
                      std::uint8_t* dest, std::uint64_t stride, std::uint64_t x0, std::uint64_t pixels,
                      std::uint64_t rows) {
    const std::uint64_t unitBytes = std::uint64_t{h} * v + 2;
    for (std::uint64_t y = 0; y < rows; ++y) {
        const std::uint8_t* unitRow = units + (y / v) * unitsAcross * unitBytes;
        const std::uint64_t lumaRow = (y % v) * h;
        std::uint8_t* out = dest + y * stride + x0 * 3;
        for (std::uint64_t x = 0; x < pixels; ++x, out += 3) {
            const std::uint8_t* unit = unitRow + (x / h) * unitBytes;
            out[0] = unit[lumaRow + x % h];
            out[1] = unit[unitBytes - 2];
            out[2] = unit[unitBytes - 1];
        }
    }
}

}  // namespace

void ReverseBitsInBytes(std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) data[i] = kReversedBytes[data[i]];
}

// --- Layout ----------------------------------------------------------------------

std::uint32_t TTIFFBlockLayout::BlocksAcross() const {
    return Tiled ? static_cast<std::uint32_t>(CeilDiv(ImageWidth, TileWidth)) : 1;
}

std::uint32_t TTIFFBlockLayout::BandsPerPlane() const {
    return Tiled ? static_cast<std::uint32_t>(CeilDiv(ImageHeight, TileLength)) : StripsPerPlane;
}

std::uint32_t TTIFFBlockLayout::BandHeight(std::uint32_t band) const {
    if (Tiled) return TileLength;
    return RowsPerStrip[std::min<std::size_t>(band, RowsPerStrip.size() - 1)];
}

std::uint64_t TTIFFBlockLayout::BandRowBytes() const {
    // Subsampled units are spread to three samples a pixel.
    if (Subsampled()) return std::uint64_t{ImageWidth} * 3;
    return PackedRowBytes(ImageWidth, std::uint64_t{BitsPerSample} * BlockSamples);
}

std::uint64_t TTIFFBlockLayout::BlockRowBytes() const {
    return PackedRowBytes(BlockWidth(), std::uint64_t{BitsPerSample} * BlockSamples);
}

std::uint64_t TTIFFBlockLayout::DecodedBlockBytes(std::uint32_t rows) const {
    if (!Subsampled()) return rows * BlockRowBytes();
    const std::uint64_t unitBytes = std::uint64_t{HorzSubsampling} * VertSubsampling + 2;
    return CeilDiv(rows, VertSubsampling) * CeilDiv(BlockWidth(), HorzSubsampling) * unitBytes;
}

// --- Reader ------------------------------------------------------------------------

TTIFFBlockReader::TTIFFBlockReader(TTIFFBlockLayout layout, TTIFFBlockSource source)
    : layout_(std::move(layout)), source_(std::move(source)) {
    streamSize_ = source_.Stream->Size();
    // Blocks may share their bytes (some writers store one blank strip for
    // many), but a directory that makes every row's block span the whole
    // file would read it once per row. Sane files stay far below this.
    readBudget_ = 4 * static_cast<std::uint64_t>(std::max<std::int64_t>(streamSize_, 0)) + (64u << 20);
}

void TTIFFBlockReader::Spend(std::uint64_t bytes) {
    bytesRead_ += bytes;
    if (bytesRead_ > readBudget_) RaiseImageErrorFmt(msg::InvalidImage, source_.FormatName);
}

bool TTIFFBlockReader::DecodeBlock(std::uint64_t index, std::uint32_t firstRow, std::uint32_t rows,
                                   std::uint8_t* dest, std::size_t destSize) {
    if (index >= source_.Offsets.size()) {
        std::fill(dest, dest + destSize, std::uint8_t{0});
        return false;
    }
    const std::int64_t position = source_.StartPosition + static_cast<std::int64_t>(source_.Offsets[index]);
    const std::uint64_t left = position < streamSize_ ? static_cast<std::uint64_t>(streamSize_ - position) : 0;
    TStream& stream = *source_.Stream;

    if (source_.Decoder != nullptr) {
        // A compressed block needs its length.
        if (index >= source_.ByteCounts.size()) RaiseImageErrorFmt(msg::InvalidImage, source_.FormatName);
        const std::uint64_t packedSize = std::min<std::uint64_t>(source_.ByteCounts[index], left);
        Spend(packedSize);
        packed_.resize(static_cast<std::size_t>(packedSize));
        if (packedSize > 0) {
            stream.SetPosition(position);
            stream.ReadBuffer(packed_.data(), packed_.size());
        }
        if (source_.ReverseBits) ReverseBitsInBytes(packed_.data(), packed_.size());
        if (source_.JpegDecoder != nullptr) {
            // A strip is compared with the rows the image has left, a tile
            // with its whole size.
            TTIFFJPEGImage& image = source_.JpegDecoder->Image();
            image.Width = layout_.BlockWidth();
            image.Height = layout_.Tiled ? layout_.TileLength : layout_.ImageHeight;
            image.RowIndex = layout_.Tiled ? 0 : firstRow;
            image.RowsPerStrip = layout_.Tiled ? layout_.TileLength : rows;
            image.RowBytes = static_cast<std::uint32_t>(layout_.BlockRowBytes());
        }
        std::uint8_t* out = dest;
        if (!source_.DecoderMarksEnd) std::fill(dest, dest + destSize, std::uint8_t{0});
        if (destSize > 0) {
            const std::uint8_t* in = packed_.data();
            source_.Decoder->Decode(in, packed_.size(), out, destSize);
        }
        if (source_.DecoderMarksEnd) std::fill(out, dest + destSize, std::uint8_t{0});
    } else {
        ReadStored(index, 0, dest, destSize);
    }

    if (source_.Predictor) {
        const std::uint64_t rowBytes = layout_.BlockRowBytes();
        for (std::uint32_t r = 0; r < rows; ++r)
            UndoTIFFPredictor(dest + r * rowBytes, static_cast<std::size_t>(rowBytes), layout_.BlockWidth(),
                              layout_.BlockSamples, layout_.BitsPerSample, source_.BigEndian);
    }
    return true;
}

std::int64_t TTIFFBlockReader::BlockPosition(std::uint64_t index) const {
    return source_.StartPosition + static_cast<std::int64_t>(source_.Offsets[index]);
}

std::uint64_t TTIFFBlockReader::StoredBytes(std::uint64_t index) const {
    const std::int64_t position = BlockPosition(index);
    const std::uint64_t left = position < streamSize_ ? static_cast<std::uint64_t>(streamSize_ - position) : 0;
    if (index < source_.ByteCounts.size() && source_.ByteCounts[index] != 0)
        return std::min<std::uint64_t>(left, source_.ByteCounts[index]);
    return left;
}

void TTIFFBlockReader::ReadStored(std::uint64_t index, std::uint64_t from, std::uint8_t* dest, std::size_t size) {
    // What the file holds of the block; the rest stays zero. A block ends
    // where its byte count says (the bytes after it belong to something
    // else); without a count it runs as far as its rows need.
    const std::uint64_t left = StoredBytes(index);
    const std::uint64_t have = from < left ? std::min<std::uint64_t>(size, left - from) : 0;
    Spend(have);
    if (have > 0) {
        source_.Stream->SetPosition(BlockPosition(index) + static_cast<std::int64_t>(from));
        source_.Stream->ReadBuffer(dest, static_cast<std::size_t>(have));
    }
    if (source_.ReverseBits) ReverseBitsInBytes(dest, static_cast<std::size_t>(have));
    std::fill(dest + have, dest + size, std::uint8_t{0});
}

const std::uint8_t* TTIFFBlockReader::StoredRows(std::uint32_t band, std::uint32_t skip, std::uint32_t rows,
                                                 std::uint32_t plane) {
    const std::uint64_t index = plane * layout_.BlocksPerPlane() + band;
    const std::uint64_t rowBytes = layout_.BandRowBytes();
    const std::uint64_t size = rows * rowBytes;
    const std::uint64_t from = skip * rowBytes;
    if (index >= source_.Offsets.size() || from + size > StoredBytes(index)) {
        // A missing or short block: its bytes and zeros after them.
        if (block_.size() < size) block_ = AllocateWorkBuffer(size, source_.FormatName);
        if (index >= source_.Offsets.size()) std::fill(block_.begin(), block_.begin() + static_cast<std::ptrdiff_t>(size), std::uint8_t{0});
        else ReadStored(index, from, block_.data(), static_cast<std::size_t>(size));
        return block_.data();
    }
    const std::int64_t start = BlockPosition(index) + static_cast<std::int64_t>(from);
    const auto end = start + static_cast<std::int64_t>(size);
    if (window_ && start >= windowStart_ && end <= windowStart_ + static_cast<std::int64_t>(windowSize_))
        return window_.get() + (start - windowStart_);
    // The rows asked for; when they end their block, the blocks stored
    // right after it with known byte counts join the read while it stays
    // small enough to remain in the cache.
    std::int64_t readEnd = end;
    if (end == BlockPosition(index) + static_cast<std::int64_t>(StoredBytes(index))) {
        for (std::uint64_t next = index + 1; next < source_.Offsets.size() && next < source_.ByteCounts.size(); ++next) {
            const std::uint64_t bytes = StoredBytes(next);
            if (BlockPosition(next) != readEnd || source_.ByteCounts[next] == 0 || bytes != source_.ByteCounts[next] ||
                static_cast<std::uint64_t>(readEnd - start) + bytes > kWindowBytes)
                break;
            readEnd += static_cast<std::int64_t>(bytes);
        }
    }
    const auto readSize = static_cast<std::size_t>(readEnd - start);
    if (windowCapacity_ < readSize) {
        window_.reset();
        window_ = std::make_unique_for_overwrite<std::uint8_t[]>(readSize);
        windowCapacity_ = readSize;
    }
    windowSize_ = 0;
    Spend(readSize);
    source_.Stream->SetPosition(start);
    source_.Stream->ReadBuffer(window_.get(), readSize);
    if (source_.ReverseBits) ReverseBitsInBytes(window_.get(), readSize);
    windowStart_ = start;
    windowSize_ = readSize;
    return window_.get();
}

bool TTIFFBlockReader::BlocksAreBands() const {
    return layout_.BlocksAcross() == 1 && !layout_.Subsampled() && layout_.BlockRowBytes() == layout_.BandRowBytes();
}

void TTIFFBlockReader::ReadBandInto(std::uint32_t band, std::uint32_t firstRow, std::uint32_t rows,
                                    std::uint32_t plane, std::uint8_t* out) {
    const std::uint64_t first = plane * layout_.BlocksPerPlane() + band;
    DecodeBlock(first, firstRow, rows, out, static_cast<std::size_t>(rows * layout_.BandRowBytes()));
}

void TTIFFBlockReader::ReadBand(std::uint32_t band, std::uint32_t firstRow, std::uint32_t rows, std::uint32_t plane,
                                std::vector<std::uint8_t>& out) {
    const std::uint64_t bandRowBytes = layout_.BandRowBytes();
    const std::uint64_t bandBytes = rows * bandRowBytes;
    if (out.size() < bandBytes) out = AllocateWorkBuffer(bandBytes, source_.FormatName);

    if (BlocksAreBands()) {
        ReadBandInto(band, firstRow, rows, plane, out.data());
        return;
    }
    // Otherwise the blocks side by side cover every pixel of the band's rows.
    const std::uint32_t width = layout_.BlockWidth();
    const std::uint64_t pixelBits =
        layout_.Subsampled() ? 24 : std::uint64_t{layout_.BitsPerSample} * layout_.BlockSamples;
    const std::uint64_t blockRowBytes = layout_.BlockRowBytes();
    for (std::uint32_t c = 0; c < layout_.BlocksAcross(); ++c) {
        // Edge blocks are cut at the image's right edge.
        const std::uint64_t x0 = std::uint64_t{c} * width;
        const std::uint64_t pixels = std::min<std::uint64_t>(width, layout_.ImageWidth - x0);
        // A missing block leaves its part of the band empty.
        const std::uint8_t* const block = ReadBlock(band, c, firstRow, rows, plane);
        if (layout_.Subsampled()) {
            SpreadYCbCrUnits(block, CeilDiv(width, layout_.HorzSubsampling), layout_.HorzSubsampling,
                             layout_.VertSubsampling, out.data(), bandRowBytes, x0, pixels, rows);
            continue;
        }
        for (std::uint32_t r = 0; r < rows; ++r)
            CopyBits(block + r * blockRowBytes, out.data() + r * bandRowBytes, x0 * pixelBits, pixels * pixelBits);
    }
}

const std::uint8_t* TTIFFBlockReader::ReadBlock(std::uint32_t band, std::uint32_t column, std::uint32_t firstRow,
                                                std::uint32_t rows, std::uint32_t plane) {
    const std::uint32_t across = layout_.BlocksAcross();
    const std::uint64_t index = plane * layout_.BlocksPerPlane() + std::uint64_t{band} * across + column;
    const std::uint64_t blockBytes =
        layout_.DecodedBlockBytes(source_.WholeBlocks && layout_.Tiled ? std::max(rows, layout_.TileLength) : rows);
    if (block_.size() < blockBytes) block_ = AllocateWorkBuffer(blockBytes, source_.FormatName);
    DecodeBlock(index, firstRow, rows, block_.data(), static_cast<std::size_t>(blockBytes));
    return block_.data();
}

}  // namespace orv
