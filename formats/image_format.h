// The common ancestor of the format library's picture classes and the small
// routines every reader shares: byte-order reversal, undoing horizontal
// differencing, doubling a sample plane and zero-filled working buffers
// (errors are raised through graphic.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "formats/color_manager.h"
#include "platform/graphics/bitmap.h"

namespace orv {

class TStream;

// Option bits of TImageProperties::Options.
inline constexpr std::uint8_t OptionTiled = 1u << 0;         // image stored in tiles
inline constexpr std::uint8_t OptionBigEndian = 1u << 1;     // numbers in the file are big-endian
inline constexpr std::uint8_t OptionMinIsWhite = 1u << 2;    // gray images with white as zero
inline constexpr std::uint8_t OptionReversedBits = 1u << 3;  // bits stored lowest first
inline constexpr std::uint8_t OptionGamma = 1u << 4;         // the file's own gamma is applied

// Compression codes as the library numbers them.
enum TCompressionCode : std::uint8_t {
    ctUnknown = 0,
    ctNone = 1,
    ctRLE = 2,
    ctPackedBits = 3,
    ctLZW = 4,
    ctFax3 = 5,
    ctFaxRLE = 6,
    ctFax4 = 7,
    ctFaxRLEW = 8,
    ctLZ77 = 9,
    ctJPEG = 10,
    ctOJPEG = 11,
    ctThunderscan = 12,
    ctNext = 13,
    ctIT8CTPAD = 14,
    ctIT8LW = 15,
    ctIT8MP = 16,
    ctIT8BL = 17,
    ctPixarFilm = 18,
    ctPixarLog = 19,
    ctDCS = 20,
    ctJBIG = 21,
    ctPCDHuffmann = 22,
};

// What a reader learnt from a file's header. Cleared (all zero, Gamma 1.0)
// before every header read.
struct TImageProperties {
    std::uint32_t Version = 0;
    std::uint8_t Options = 0;
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    TColorModel ColorScheme = TColorModel::cmUnknown;
    std::uint8_t BitsPerSample = 0;
    std::uint8_t SamplesPerPixel = 0;
    std::uint8_t BitsPerPixel = 0;
    std::uint8_t Compression = ctUnknown;
    float Gamma = 0.0f;
    float XResolution = 0.0f;
    float YResolution = 0.0f;

    // Rows stored interlaced (GIF, PNG); an alpha sample (TIFF, PNG).
    bool Interlaced = false;
    bool AlphaPresent = false;
    // TIFF.
    std::uint32_t DirectoryOffset = 0;
    std::uint32_t PlanarLayout = 0;
    std::uint32_t RowIndex = 0;
    std::uint32_t TileWidth = 0;
    std::uint32_t TileLength = 0;
    std::uint32_t RowBytes = 0;
    std::vector<std::uint32_t> RowsPerStrip;
    std::vector<std::uint8_t> YCbCrSubSampling;
    std::vector<std::uint8_t> JPEGTables;
    std::uint32_t StripIndex = 0;
    std::uint32_t Predictor = 0;

    // GIF.
    bool LocalColorTable = false;
    // RLA.
    bool BottomUp = false;
    // Photoshop.
    std::uint8_t ChannelCount = 0;
    // Photo-CD.
    bool Overview = false;
    std::uint8_t Rotation = 0;
    std::uint16_t ImageCount = 0;
    // PNG.
    std::uint8_t FilterMethod = 0;
};

class TFormatGraphic;
struct TFormatDescriptor;

// The progress notices of one load or save. A stage opens with Start and
// closes with End; whatever ends the work, a stage still open gets its end
// notice when the scope goes.
class TProgressScope {
public:
    explicit TProgressScope(TFormatGraphic& graphic) : graphic_(graphic) {}
    ~TProgressScope();
    TProgressScope(const TProgressScope&) = delete;
    TProgressScope& operator=(const TProgressScope&) = delete;

    // Starting, 0 %, no redraw, with the stage's text.
    void Start(std::string_view text);
    // Ending, when a stage is open.
    void End();
    // A row is done: running at MulDiv(row, 100, height) %, redraw
    // requested, and Area moves down one row.
    void RowDone(std::uint64_t row, std::uint64_t height);
    // Running at `percent`, no redraw.
    void Running(std::uint8_t percent);
    // End notices report `percent` and `redraw` (0 and false unless set).
    void SetEndNotice(std::uint8_t percent, bool redraw);

    // The area reported with every notice.
    TRect Area;

private:
    TFormatGraphic& graphic_;
    bool open_ = false;
    std::uint8_t endPercent_ = 0;
    bool endRedraw_ = false;
};

// One load in progress: the stream it reads, the position at which it began
// (readers seek relative to it) and its progress notices.
struct TLoadContext {
    TLoadContext(TFormatGraphic& graphic, TStream& stream);

    TStream& Stream;
    const std::int64_t StartPosition;
    TProgressScope Progress;
};

// What a load makes of a header that its reader refuses.
enum class THeaderRefusal : std::uint8_t {
    RaiseError,    // "Cannot load image. Invalid or unexpected %s image format."
    EmptyPicture,  // the load ends quietly, the picture empty
};

// Base of the format classes: a bitmap that reads its file into itself,
// with a colour manager and the header record.
class TFormatGraphic : public TBitmap {
public:
    TFormatGraphic() = default;
    ~TFormatGraphic() override = default;

    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }

    // Class-level test of a stream; the base knows no format. Format classes
    // give their own, which their class record (FormatClassInfo) names.
    static bool CanLoadStream(TStream& stream);
    // Opens the file for reading and asks the class's stream test. A file
    // that cannot be opened raises EFOpenError.
    static bool CanLoadFile(const TGraphicClass& graphicClass, const std::string& fileName);

    // Reads the header at the stream's position into ImageProperties; the
    // base clears the record (Gamma 1.0) and answers false.
    virtual bool ReadImageProperties(TStream& stream, std::uint32_t imageIndex);

    // The frame of every reader's load: empties the picture, gives it a fresh
    // colour manager, reads the header at the stream's position (a refused
    // header as the reader's refusal rule says), then lets the reader decode
    // the image. However the load ends, an open progress stage is ended.
    void LoadFromStream(TStream& stream) override;

    // Copies the header record from another format object, then the picture.
    void Assign(const TGraphic& source) override;
    void MoveAssign(TBitmap& source) override;

    TColorManager ColorManager;
    TImageProperties ImageProperties;

protected:
    // formatName is the %s of the reader's messages.
    explicit TFormatGraphic(std::string_view formatName, THeaderRefusal refusal = THeaderRefusal::RaiseError)
        : formatName_(formatName), refusal_(refusal) {}

    // Reads the image of an accepted header. The progress area spans the
    // header's width and one row; no stage is open yet. The base reads nothing.
    virtual void DecodeImage(TLoadContext& load);

    // Applies the size gate (its error names the reader's format), then
    // sizes the bitmap (pixels zero).
    void SetImageSize(std::int64_t width, std::int64_t height);

    // Sets the colour manager up to show samples of the source model, depth
    // and count, and gives the bitmap its pixel format: 16-bit samples show
    // with 8 bits, 2-bit ones with 4; colour models as blue, green, red (with
    // alpha where the source has it; CMYK without); gray with alpha as its
    // gray in 8 bits. Gray targets get a gray ramp, white first with
    // minIsWhite.
    void SetUpDisplay(TColorModel source, std::uint8_t bitsPerSample, std::uint8_t samples,
                      TConversionFlags sourceFlags, bool minIsWhite = false);

private:
    friend class TProgressScope;

    std::string_view formatName_;
    THeaderRefusal refusal_ = THeaderRefusal::RaiseError;
};

// The picture layer's record of a format class: its name, a factory, its
// stream test and its parent.
template <class Graphic, class Parent = TFormatGraphic>
const TGraphicClass& FormatClassInfo(const char* name) {
    static const TGraphicClass info{name, []() -> std::unique_ptr<TGraphic> { return std::make_unique<Graphic>(); },
                                    &Graphic::CanLoadStream, &Parent::ClassInfo()};
    return info;
}

// --- Shared routines (the error raisers are in graphic.h) ---------------------

// Byte-order reversal in place.
void ReverseWords(void* data, std::size_t count);
void ReverseLongs(void* data, std::size_t count);
constexpr std::uint32_t ReverseLong(std::uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

// Undo horizontal differencing of n + 1 pixels of one, three or four bytes,
// never past rowBytes; n of 0 does nothing.
void UndoDifferencing8(std::uint8_t* row, std::size_t rowBytes, std::size_t n);
void UndoDifferencing24(std::uint8_t* row, std::size_t rowBytes, std::size_t n);
void UndoDifferencing32(std::uint8_t* row, std::size_t rowBytes, std::size_t n);
// Undoes horizontal differencing of a row of `width` pixels: 8-bit samples
// byte-wise, 16-bit samples as words in the file's byte order, each sample
// adding the same sample of the pixel before. Answers false (row untouched)
// for other sample sizes.
bool UndoHorizontalDifferencing(std::uint8_t* row, std::size_t rowBytes, std::uint32_t width,
                                unsigned samplesPerPixel, unsigned bitsPerSample, bool bigEndian);

// Doubles a plane of width x height bytes in place: rows of `stride` bytes,
// afterwards 2 * height rows of 2 * width bytes. Answers false (buffer
// untouched) when the buffer cannot hold the result.
bool Upsample2x(std::uint32_t width, std::uint32_t height, std::size_t stride, std::uint8_t* buffer,
                std::size_t bufferSize);

// Largest working buffer a load may allocate.
inline constexpr std::uint64_t kMaxWorkBuffer = std::uint64_t{1} << 32;

// A zero-filled working buffer; sizes above kMaxWorkBuffer raise the invalid
// image error for the format.
std::vector<std::uint8_t> AllocateWorkBuffer(std::uint64_t bytes, std::string_view formatName);
// Bytes of a row of `width` pixels of `bitsPerPixel` bits, in 64 bits.
constexpr std::uint64_t PackedRowBytes(std::uint64_t width, std::uint64_t bitsPerPixel) {
    return (width * bitsPerPixel + 7) / 8;
}
// Reads the `size` bytes at the stream's position into `bytes` and puts the
// position back. False when no more than `size` bytes remain: a header alone
// is no picture (the class-level stream tests).
bool PeekHeader(TStream& stream, std::uint8_t* bytes, std::size_t size);
// Raises the invalid image error unless the stream holds `bytes` more bytes.
void CheckBytesLeft(TStream& stream, std::uint64_t bytes, std::string_view formatName);
// MulDiv(row, 100, height) for progress, 0 for an empty picture.
std::uint8_t ProgressPercent(std::uint64_t row, std::uint64_t height);

}  // namespace orv
