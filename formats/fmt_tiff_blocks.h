// The pixel data of a TIFF image as blocks: strips (a strip is a tile as wide
// as the image) or tiles, one set per colour plane when the planes are stored
// separately. The loader reads the image band by band (a band is one strip,
// or one row of tiles) and each band plane by plane; this module finds the
// blocks of a band, decodes them and puts their rows together into the
// band's rows, which the colour manager then converts.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace orv {

class TDecoder;
class TStream;
class TTIFFJPEGDecoder;

struct TTIFFBlockLayout {
    std::uint32_t ImageWidth = 0;
    std::uint32_t ImageHeight = 0;
    bool Tiled = false;
    std::uint32_t TileWidth = 0;   // tiles only
    std::uint32_t TileLength = 0;  // tiles only
    // Rows of each strip, the last entry standing for the strips after it.
    std::vector<std::uint32_t> RowsPerStrip;
    // Planes stored one after another (the samples per pixel when they are
    // separate, else 1), and samples per pixel inside one block.
    std::uint32_t Planes = 1;
    std::uint32_t BlockSamples = 1;
    std::uint32_t BitsPerSample = 8;
    // YCbCr stored in units of HorzSubsampling x VertSubsampling luma
    // samples and one Cb and one Cr; 1 and 1 for every other layout. Bands
    // of such images hold one luma, Cb and Cr sample for every pixel.
    std::uint32_t HorzSubsampling = 1;
    std::uint32_t VertSubsampling = 1;
    // Strips of one plane (images of one plane: all the strips there are).
    std::uint32_t StripsPerPlane = 0;

    std::uint32_t BlockWidth() const { return Tiled ? TileWidth : ImageWidth; }
    std::uint32_t BlocksAcross() const;
    std::uint32_t BandsPerPlane() const;
    std::uint64_t BlocksPerPlane() const { return std::uint64_t{BandsPerPlane()} * BlocksAcross(); }
    // Rows a band holds before the image's bottom edge cuts it.
    std::uint32_t BandHeight(std::uint32_t band) const;
    bool Subsampled() const { return HorzSubsampling > 1 || VertSubsampling > 1; }
    // Bytes of one row of a band (the image's width) and of a block.
    std::uint64_t BandRowBytes() const;
    std::uint64_t BlockRowBytes() const;
    // Bytes of the first `rows` rows of a block as they decode.
    std::uint64_t DecodedBlockBytes(std::uint32_t rows) const;
};

// What the loader passes to the block reader for one image.
struct TTIFFBlockSource {
    TStream* Stream = nullptr;
    std::int64_t StartPosition = 0;
    std::vector<std::uint32_t> Offsets;
    std::vector<std::uint32_t> ByteCounts;
    TDecoder* Decoder = nullptr;          // none for uncompressed data
    TTIFFJPEGDecoder* JpegDecoder = nullptr;  // the same object for JPEG data
    bool ReverseBits = false;             // the bytes hold their first bit lowest
    bool Predictor = false;               // horizontal differencing to undo
    bool BigEndian = false;
    // The decoder advances dest to the end of its output and may change
    // bytes past it, which the reader then clears (else the reader clears
    // the block before decoding it).
    bool DecoderMarksEnd = false;
    // The decoder wants room for a whole block: tiles cut by the image's
    // bottom edge are decoded in full.
    bool WholeBlocks = false;
    std::string_view FormatName;
};

class TTIFFBlockReader {
public:
    TTIFFBlockReader(TTIFFBlockLayout layout, TTIFFBlockSource source);

    const TTIFFBlockLayout& Layout() const { return layout_; }

    // Fills `out` (grown as needed) with `rows` rows of BandRowBytes of
    // plane `plane` of band `band`, whose first row is image row `firstRow`.
    // Blocks the tables do not name, and bytes a block does not reach, give
    // zeros. Raises the invalid-image error for a compressed block without a
    // byte count and once the blocks have read the file several times over.
    void ReadBand(std::uint32_t band, std::uint32_t firstRow, std::uint32_t rows, std::uint32_t plane,
                  std::vector<std::uint8_t>& out);
    // Decodes block `column` of band `band` of plane `plane`, of which the
    // first `rows` rows are used (image rows from firstRow on): rows of
    // BlockRowBytes (subsampled YCbCr: its units), zero where the block
    // gives nothing. Valid until the next call.
    const std::uint8_t* ReadBlock(std::uint32_t band, std::uint32_t column, std::uint32_t firstRow,
                                  std::uint32_t rows, std::uint32_t plane);
    // Whether a block is as wide as the image and decodes straight into the
    // band's rows.
    bool BlocksAreBands() const;
    // Like ReadBand, for such layouts, into `rows` rows of BandRowBytes at out.
    void ReadBandInto(std::uint32_t band, std::uint32_t firstRow, std::uint32_t rows, std::uint32_t plane,
                      std::uint8_t* out);
    // For uncompressed data in such layouts: rows [skip, skip + rows) of the
    // band's block as `rows` rows of BandRowBytes, zero past the block's
    // bytes, so that a large strip is read in pieces. Strips stored one after
    // another are read together, up to about a cache's worth. Valid until
    // the next call.
    const std::uint8_t* StoredRows(std::uint32_t band, std::uint32_t skip, std::uint32_t rows, std::uint32_t plane);

private:
    // Decodes block `index` into dest as far as destSize, undoing the
    // predictor on its first `rows` rows; every byte of dest is set, zero
    // where the block gives nothing. False when the block does not exist.
    bool DecodeBlock(std::uint64_t index, std::uint32_t firstRow, std::uint32_t rows, std::uint8_t* dest,
                     std::size_t destSize);
    // Bytes [from, from + size) of uncompressed block `index` into dest,
    // zero where the block (as long as its byte count says) or the file ends.
    void ReadStored(std::uint64_t index, std::uint64_t from, std::uint8_t* dest, std::size_t size);
    // Where uncompressed block `index` starts in the stream, and how many of
    // its bytes the file holds (0 when the byte count is unknown).
    std::int64_t BlockPosition(std::uint64_t index) const;
    std::uint64_t StoredBytes(std::uint64_t index) const;
    void Spend(std::uint64_t bytes);

    TTIFFBlockLayout layout_;
    TTIFFBlockSource source_;
    std::int64_t streamSize_ = 0;
    std::uint64_t readBudget_ = 0;
    std::uint64_t bytesRead_ = 0;
    std::vector<std::uint8_t> packed_;
    std::vector<std::uint8_t> block_;
    // Stream bytes from windowStart_ on, read for StoredRows.
    std::unique_ptr<std::uint8_t[]> window_;
    std::size_t windowCapacity_ = 0;
    std::size_t windowSize_ = 0;
    std::int64_t windowStart_ = 0;
};

// Reverses the bit order of every byte.
void ReverseBitsInBytes(std::uint8_t* data, std::size_t size);

}  // namespace orv
