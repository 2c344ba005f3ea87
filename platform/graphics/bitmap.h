// The device-independent bitmap of the picture layer: pixel formats, palette,
// scan lines, colour conversion between formats, drawing and raster
// operations. Rows lie top-down in memory, each padded to 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/graphics/graphic.h"

namespace orv {

// Numbered as the colour manager's PixelFormatFor answers them.
enum class TPixelFormat : std::uint8_t {
    pfDevice = 0,  // the display's format: 32-bit blue, green, red, unused
    pf1bit = 1,
    pf4bit = 2,
    pf8bit = 3,
    pf15bit = 4,   // x-5-5-5, red highest
    pf16bit = 5,   // 5-6-5, red highest
    pf24bit = 6,   // blue, green, red
    pf32bit = 7,   // blue, green, red, alpha
    pfCustom = 8,  // never held by a bitmap
};

// Bits per pixel of a format as stored in a row (0 for custom).
int BitsPerPixel(TPixelFormat format);
bool IsIndexedFormat(TPixelFormat format);

// Colour value 0x00BBGGRR (red in the low byte).
using TColor = std::uint32_t;
constexpr TColor RGBColor(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return TColor{r} | (TColor{g} << 8) | (TColor{b} << 16);
}
constexpr std::uint8_t ColorRed(TColor c) { return static_cast<std::uint8_t>(c); }
constexpr std::uint8_t ColorGreen(TColor c) { return static_cast<std::uint8_t>(c >> 8); }
constexpr std::uint8_t ColorBlue(TColor c) { return static_cast<std::uint8_t>(c >> 16); }
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;

struct TPaletteEntry {
    std::uint8_t Red = 0;
    std::uint8_t Green = 0;
    std::uint8_t Blue = 0;
    std::uint8_t Flags = 0;
    friend constexpr bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};

// A palette of up to 256 colours (a value object; an empty palette is the
// "no palette" handle). An index beyond the entries shows black.
class TPalette {
public:
    static constexpr std::size_t kMaxEntries = 256;

    TPalette() = default;
    // Takes at most the first 256 entries.
    explicit TPalette(std::vector<TPaletteEntry> entries);

    bool Empty() const { return entries_.empty(); }
    std::size_t Count() const { return entries_.size(); }
    const std::vector<TPaletteEntry>& Entries() const { return entries_; }
    // The entry at index, black beyond the entries.
    TPaletteEntry Entry(std::size_t index) const {
        return index < entries_.size() ? entries_[index] : TPaletteEntry{};
    }
    TColor Color(std::size_t index) const {
        const TPaletteEntry e = Entry(index);
        return RGBColor(e.Red, e.Green, e.Blue);
    }

    // The palette a bitmap of the format has until it is given one: 1 bit
    // black and white, 4 bits the 16 standard colours, 8 bits a gray ramp;
    // empty for other formats.
    static TPalette DefaultFor(TPixelFormat format);

    friend bool operator==(const TPalette&, const TPalette&) = default;

private:
    std::vector<TPaletteEntry> entries_;
};

// Raster operations of BitBlt.
enum class TRasterOp {
    SrcCopy,    // target := source
    SrcErase,   // target := source and not target
    SrcInvert,  // target := target xor source
};

class TBitmap : public TGraphic {
public:
    TBitmap() = default;
    ~TBitmap() override = default;
    // Takes over the image of `source` (not its progress handler), leaving it
    // empty; lets functions return bitmaps by value.
    TBitmap(TBitmap&& source) noexcept;

    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }
    // True for the BMP reader's own class-level test (file header "BM" and a
    // known info header).
    static bool CanLoadStream(TStream& stream);

    bool Empty() const override { return width_ == 0 || height_ == 0; }
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    // Resizing keeps the pixels of the overlapping area; new pixels are zero.
    // Raises EInvalidGraphic for sizes over the gate or negative ones.
    void SetWidth(int width) override { SetSize(width, height_); }
    void SetHeight(int height) override { SetSize(width_, height); }
    void SetSize(int width, int height);
    // Releases the pixels (size 0 x 0) and the palette; the format stays.
    void Clear();
    // For decoders that write every pixel of every row: drops the current
    // pixels and sizes the bitmap without clearing the new pixel bytes (row
    // padding is cleared). Saves a pass over large pictures.
    void SetSizeForOverwrite(int width, int height);

    TPixelFormat PixelFormat() const { return format_; }
    // Converts the existing pixels to the new format. pfCustom raises
    // EInvalidGraphic. Converting to an indexed format keeps indices from a
    // smaller indexed format and maps colours to the nearest palette entry
    // otherwise.
    void SetPixelFormat(TPixelFormat format);

    // The palette the bitmap was given (may be empty).
    const TPalette& Palette() const { return palette_; }
    void SetPalette(TPalette palette) { palette_ = std::move(palette); }
    // The palette in effect for indexed formats: the one set, else the default.
    const TPalette& EffectivePalette() const;

    // Row y's pixel memory; raises EInvalidGraphicOperation outside 0..Height-1.
    std::uint8_t* ScanLine(int y);
    const std::uint8_t* ScanLine(int y) const;
    std::size_t RowBytes() const { return stride_; }
    // Bytes of one row that hold pixels ((width * bits + 7) / 8).
    std::size_t PixelBytesPerRow() const;
    // The whole pixel memory, Height() * RowBytes() bytes, row 0 first.
    std::uint8_t* Bits() { return data_.get(); }
    const std::uint8_t* Bits() const { return data_.get(); }

    // Pixel colour at (x, y); black outside the bitmap.
    TColor GetPixel(int x, int y) const;
    // Sets the pixel (nearest palette entry for indexed formats); ignored
    // outside the bitmap.
    void SetPixel(int x, int y, TColor color);

    // Canvas-like drawing, clipped to the bitmap.
    void FillRect(const TRect& rect, TColor color);
    // One-pixel outline of the rectangle.
    void FrameRect(const TRect& rect, TColor color);

    void Assign(const TGraphic& source) override;
    // Takes over the image of `source` (size, format, palette, pixels),
    // leaving it empty. A derived class may add to it like Assign.
    virtual void MoveAssign(TBitmap& source);

    // Reads a BMP file (1, 4, 8, 16, 24 and 32 bits; RGB, RLE4, RLE8 and
    // bit fields; core, info, V4 and V5 headers), keeping its depth.
    void LoadFromStream(TStream& stream) override;
    // Writes a 24-bit bottom-up BMP file.
    void SaveToStream(TStream& stream) override;

    void Draw(TBitmap& target, int x, int y) const override;
    void RenderToBitmap(TBitmap& target) override;

protected:
    struct FreeDeleter {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    using Storage = std::unique_ptr<std::uint8_t, FreeDeleter>;

    // Raw pixel value of a row position (index, packed 15/16-bit value or
    // 0x00RRGGBB-style BGR(A) little-endian word).
    std::uint32_t RawPixel(const std::uint8_t* row, int x) const;
    void SetRawPixel(std::uint8_t* row, int x, std::uint32_t value);
    TColor RawToColor(std::uint32_t raw, const TPalette& palette) const;

    friend void BitBlt(TBitmap&, int, int, int, int, const TBitmap&, int, int, TRasterOp);

private:
    static std::size_t StrideFor(int width, TPixelFormat format);
    static Storage Allocate(std::size_t bytes, bool zeroed = true);

    int width_ = 0;
    int height_ = 0;
    std::size_t stride_ = 0;
    TPixelFormat format_ = TPixelFormat::pfDevice;
    TPalette palette_;
    Storage data_;
};

// Copies a width x height block from source at (sx, sy) to target at (x, y)
// with the raster operation, clipped to both bitmaps. Bitmaps of equal
// format combine their stored pixel values; otherwise source pixels are
// first converted to the target's format.
void BitBlt(TBitmap& target, int x, int y, int width, int height, const TBitmap& source, int sx, int sy,
            TRasterOp op);

// "Is this graphic a bitmap" (the bitmap class or a descendant).
inline bool IsBitmap(const TGraphic& graphic) { return dynamic_cast<const TBitmap*>(&graphic) != nullptr; }

}  // namespace orv
