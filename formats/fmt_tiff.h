// Tagged Image File Format pictures: the header test, the walk to an image
// file directory, the tag readers, and loading the first image, stored in
// strips or tiles, interleaved or in separate planes, into the bitmap.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "formats/fmt_tiff_blocks.h"
#include "formats/image_format.h"

namespace orv {

class TDecoder;
class TTIFFJPEGDecoder;

// Field types of a directory entry.
enum TTIFFFieldType : std::uint16_t {
    ttByte = 1,
    ttAscii = 2,
    ttShort = 3,
    ttLong = 4,
    ttRational = 5,
    ttSByte = 6,
    ttUndefined = 7,
    ttSShort = 8,
    ttSLong = 9,
    ttSRational = 10,
    ttFloat = 11,
    ttDouble = 12,
    ttIFD = 13,
};

// Bytes of one value of the type; 0 for types this reader does not know.
std::uint32_t TIFFFieldSize(std::uint16_t type);

// One directory entry after byte-order conversion. Value holds the values
// themselves when they fit in four bytes (first value in the lowest bits,
// each converted within its own size), else the offset of the values.
struct TTIFFEntry {
    std::uint16_t Tag = 0;
    std::uint16_t Type = 0;
    std::uint32_t Count = 0;
    std::uint32_t Value = 0;

    // Bytes of all values (64-bit: count comes from the file).
    std::uint64_t DataSize() const { return std::uint64_t{TIFFFieldSize(Type)} * Count; }
    bool Inline() const { return DataSize() <= 4; }
};

// Parses one 12-byte entry as stored in a file of the given byte order.
TTIFFEntry ParseTIFFEntry(const std::uint8_t* bytes, bool bigEndian);

class TTIFFGraphic : public TFormatGraphic {
public:
    TTIFFGraphic();
    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }
    static const TFormatDescriptor Format;

    // More than 8 bytes remain, "MM" or "II", version 42 and a first
    // directory inside the stream; the position is restored.
    static bool CanLoadStream(TStream& stream);
    // Reads the header at the stream's position and directory number
    // imageIndex (0 = first) into Entries and ImageProperties; false for a
    // wrong version, a missing directory or a zero width or height. A stream
    // that ends inside the header or the directory raises EReadError.
    bool ReadImageProperties(TStream& stream, std::uint32_t imageIndex) override;
    // Writing TIFF files is not supported: writes nothing.
    void SaveToStream(TStream&) override {}

    // --- Directory access (on Entries; arrays read from `stream`, their
    // offsets counted from the header the directory was read from) ---------
    // Binary search over the entries sorted by tag.
    bool LocateTag(std::uint32_t tag, std::size_t& index) const;
    // One integer value: the default when the tag is absent or of a type
    // without integer values; the raw value field for a count other than 1.
    std::uint32_t TagInteger(std::uint32_t tag, std::uint32_t defaultValue) const;
    std::uint32_t TagIntegerAndCount(std::uint32_t tag, std::uint32_t& count, std::uint32_t defaultValue) const;
    // One number of an integer or rational type; a zero denominator gives
    // the default.
    float TagFloat(TStream& stream, std::uint32_t tag, float defaultValue) const;
    // All values of a tag. Absent tags, unknown types and values that reach
    // past the end of the stream give an empty array.
    void TagBytes(TStream& stream, std::uint32_t tag, std::vector<std::uint8_t>& values) const;
    void TagCardinals(TStream& stream, std::uint32_t tag, std::vector<std::uint32_t>& values) const;
    void TagFloats(TStream& stream, std::uint32_t tag, std::vector<float>& values) const;
    // Stable sort by tag: of equal tags the first in the file is found.
    void SortEntries();

    std::vector<TTIFFEntry> Entries;
    std::uint32_t YCbCrPositioning = 1;
    std::vector<float> YCbCrCoefficients{0.299f, 0.587f, 0.114f};

protected:
    // Loads the first image.
    void DecodeImage(TLoadContext& load) override;

private:
    // Reads the values of the entry of `tag` as numbers (rationals only when
    // `rationals` is set; a zero denominator gives NaN) and hands each with
    // its index to `put`; false when there are none.
    template <class Put>
    bool ForEachValue(TStream& stream, std::uint32_t tag, bool rationals, Put&& put,
                      std::size_t& count) const;
    // Sets up the colour manager, the pixel format and the palette or the
    // chroma parameters; answers the samples a pixel gives the manager.
    std::uint8_t ConfigureColours(TStream& stream, bool planar);
    // The palette of the ColorMap, fitted to the colour manager's target.
    TPalette ReadColorMap(TStream& stream);
    // The decoder of the compression scheme for blocks of the given width
    // (none for uncompressed data); refuses schemes it cannot decode.
    std::unique_ptr<TDecoder> MakeDecoder(TStream& stream, bool planar, std::uint32_t blockWidth,
                                          TTIFFJPEGDecoder*& jpegDecoder);
    // How the pixel data are cut into blocks; blockCount is the number of
    // strip or tile offsets. Refuses tiles far larger than the picture, and
    // fewer blocks than the planes need (or others than they need, when
    // the planes are separate).
    TTIFFBlockLayout MakeLayout(bool planar, std::size_t blockCount) const;
    // Walks the directory chain to directory imageIndex and reads its
    // entries; false when the chain ends before it.
    bool ReadDirectoryEntries(TStream& stream, std::uint32_t imageIndex, bool big);
    // Samples, bits, tiles, photometric interpretation, colour model and
    // alpha into ImageProperties and the raw fields.
    void ReadSampleLayout(TStream& stream);
    // The chroma subsampling, positioning and coefficients of YCbCr images
    // (the standard ones for other images).
    void ReadYCbCrFields(TStream& stream);

    // --- Loading steps ------------------------------------------------------
    // Refuses sample depths and counts the converter cannot read, and
    // floating-point samples.
    void CheckSampleLayout(TStream& stream, bool planar);
    // Refuses predictors this reader does not undo; answers whether
    // horizontal differencing is to be undone.
    bool CheckPredictor() const;
    // Sizes the bitmap for the pixel format; answers whether the colour
    // conversion writes whole rows (the bitmap is then left uncleared).
    bool SizeBitmap();
    // The block layout with the chroma subsampling spread by the reader;
    // refuses subsampling it cannot spread. Sets the band row bytes.
    TTIFFBlockLayout MakeBandLayout(bool planar, std::size_t blockCount, bool differencing, TColorModel source);
    // What the block reader needs to read and decode the strips or tiles.
    TTIFFBlockSource MakeBlockSource(TStream& stream, std::vector<std::uint32_t> offsets,
                                     std::vector<std::uint32_t> byteCounts, TDecoder* decoder,
                                     TTIFFJPEGDecoder* jpegDecoder, bool differencing);
    // Reads the bands down to the image's last row and converts them into
    // the bitmap, counting RowIndex and StripIndex on, by the fastest of the
    // ways below the layout allows.
    void TransferBands(TLoadContext& load, TTIFFBlockReader& reader, bool tiled, bool planar, bool overwrite,
                       std::uint32_t usedPlanes);
    // One band of interleaved tiles of whole-byte pixels, converted from
    // each tile's rows straight into the bitmap.
    void TransferTiles(TLoadContext& load, TTIFFBlockReader& reader, std::uint32_t rows);
    // One band of uncompressed rows as long as the bitmap's, read and
    // converted in cache-sized pieces.
    void TransferStoredRows(TLoadContext& load, TTIFFBlockReader& reader, std::uint32_t rows);
    // One band of rows as long as the bitmap's, decoded straight into the
    // bitmap and converted there.
    void TransferBandInPlace(TLoadContext& load, TTIFFBlockReader& reader, std::uint32_t rows);
    // One band of each used plane decoded into its buffer and converted
    // row by row into the bitmap.
    void TransferPlaneBands(TLoadContext& load, TTIFFBlockReader& reader, std::uint32_t rows,
                            std::vector<std::vector<std::uint8_t>>& bands, std::vector<TRowBuffer>& rowPlanes);

    // The stream position of the header the directory was read from: the
    // file's offsets count from it.
    std::int64_t directoryBase_ = 0;
    // The raw values the loader checks before it trusts the byte-sized
    // fields of ImageProperties.
    std::uint32_t photometric_ = 0;
    std::uint32_t samplesPerPixel_ = 1;
    std::uint32_t bitsPerSample_ = 1;
};

}  // namespace orv
