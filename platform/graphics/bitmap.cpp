#include "platform/graphics/bitmap.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <unordered_map>

#include "platform/graphics/memory_budget.h"
#include "platform/graphics/messages.h"

namespace orv {

// ---- formats and palettes ----

int BitsPerPixel(TPixelFormat format) {
    switch (format) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pf24bit: return 24;
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf32bit: return 32;
    case TPixelFormat::pfCustom: return 0;
    }
    return 0;
}

bool IsIndexedFormat(TPixelFormat format) {
    return format == TPixelFormat::pf1bit || format == TPixelFormat::pf4bit || format == TPixelFormat::pf8bit;
}

TPalette::TPalette(std::vector<TPaletteEntry> entries) : entries_(std::move(entries)) {
    if (entries_.size() > kMaxEntries) entries_.resize(kMaxEntries);
}

namespace {

std::size_t NearestIn(const std::vector<TPaletteEntry>& entries, std::size_t limit, TColor color) {
    const int r = ColorRed(color), g = ColorGreen(color), b = ColorBlue(color);
    std::size_t best = 0;
    int bestDistance = 1 << 30;
    const std::size_t n = std::min(limit, entries.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int dr = entries[i].Red - r, dg = entries[i].Green - g, db = entries[i].Blue - b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
            if (d == 0) break;
        }
    }
    return best;
}

}  // namespace

TPalette TPalette::DefaultFor(TPixelFormat format) {
    std::vector<TPaletteEntry> e;
    switch (format) {
    case TPixelFormat::pf1bit:
        e = {{0, 0, 0, 0}, {255, 255, 255, 0}};
        break;
    case TPixelFormat::pf4bit:
        e = {{0, 0, 0, 0},       {128, 0, 0, 0},   {0, 128, 0, 0},   {128, 128, 0, 0},
             {0, 0, 128, 0},     {128, 0, 128, 0}, {0, 128, 128, 0}, {192, 192, 192, 0},
             {128, 128, 128, 0}, {255, 0, 0, 0},   {0, 255, 0, 0},   {255, 255, 0, 0},
             {0, 0, 255, 0},     {255, 0, 255, 0}, {0, 255, 255, 0}, {255, 255, 255, 0}};
        break;
    case TPixelFormat::pf8bit:
        e.resize(256);
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<std::uint8_t>(i);
            e[static_cast<std::size_t>(i)] = {v, v, v, 0};
        }
        break;
    default:
        break;
    }
    return TPalette(std::move(e));
}

// ---- row codecs: every format to and from rows of blue, green, red bytes ----

namespace {

inline std::uint8_t Expand5(std::uint32_t v) { return static_cast<std::uint8_t>((v << 3) | (v >> 2)); }
inline std::uint8_t Expand6(std::uint32_t v) { return static_cast<std::uint8_t>((v << 2) | (v >> 4)); }

// The palette as a full 256-entry lookup of blue, green, red bytes.
using PaletteLookup = std::array<std::array<std::uint8_t, 3>, 256>;

PaletteLookup MakeLookup(const TPalette& palette) {
    PaletteLookup lut{};
    for (std::size_t i = 0; i < 256; ++i) {
        const TPaletteEntry e = palette.Entry(i);
        lut[i] = {e.Blue, e.Green, e.Red};
    }
    return lut;
}

// Decodes `count` pixels of a row from pixel x0 on.
void DecodeRow(const std::uint8_t* row, int x0, int count, TPixelFormat format, const PaletteLookup& lut,
               std::uint8_t* bgr) {
    const auto n = static_cast<std::size_t>(count);
    const auto start = static_cast<std::size_t>(x0);
    switch (format) {
    case TPixelFormat::pf1bit:
        for (std::size_t i = 0, x = start; i < n; ++i, ++x) {
            const unsigned idx = (row[x >> 3] >> (7 - (x & 7))) & 1u;
            std::memcpy(bgr + 3 * i, lut[idx].data(), 3);
        }
        break;
    case TPixelFormat::pf4bit:
        for (std::size_t i = 0, x = start; i < n; ++i, ++x) {
            const unsigned idx = (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
            std::memcpy(bgr + 3 * i, lut[idx].data(), 3);
        }
        break;
    case TPixelFormat::pf8bit:
        for (std::size_t i = 0; i < n; ++i) std::memcpy(bgr + 3 * i, lut[row[start + i]].data(), 3);
        break;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: {
        const bool is565 = format == TPixelFormat::pf16bit;
        const std::uint8_t* p = row + 2 * start;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t v = p[2 * i] | (std::uint32_t{p[2 * i + 1]} << 8);
            bgr[3 * i] = Expand5(v & 31);
            bgr[3 * i + 1] = is565 ? Expand6((v >> 5) & 63) : Expand5((v >> 5) & 31);
            bgr[3 * i + 2] = Expand5(is565 ? (v >> 11) & 31 : (v >> 10) & 31);
        }
        break;
    }
    case TPixelFormat::pf24bit:
        std::memcpy(bgr, row + 3 * start, 3 * n);
        break;
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf32bit:
        for (std::size_t i = 0; i < n; ++i) std::memcpy(bgr + 3 * i, row + 4 * (start + i), 3);
        break;
    case TPixelFormat::pfCustom:
        break;
    }
}

// Maps colours to the nearest of the first `limit` palette entries, with a
// cache, since images hold few distinct colours compared to their pixels.
class NearestMapper {
public:
    NearestMapper(const TPalette& palette, std::size_t limit) : entries_(palette.Entries()), limit_(limit) {}
    std::uint8_t Map(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
        const TColor c = RGBColor(r, g, b);
        auto it = cache_.find(c);
        if (it != cache_.end()) return it->second;
        const auto idx = static_cast<std::uint8_t>(NearestIn(entries_, limit_, c));
        cache_.emplace(c, idx);
        return idx;
    }

private:
    const std::vector<TPaletteEntry>& entries_;
    std::size_t limit_;
    std::unordered_map<TColor, std::uint8_t> cache_;
};

void EncodeRow(const std::uint8_t* bgr, int width, TPixelFormat format, NearestMapper* mapper,
               std::uint8_t* row) {
    const auto w = static_cast<std::size_t>(width);
    switch (format) {
    case TPixelFormat::pf1bit:
        for (std::size_t x = 0; x < w; ++x) {
            const unsigned idx = mapper->Map(bgr[3 * x], bgr[3 * x + 1], bgr[3 * x + 2]) & 1u;
            const auto bit = static_cast<std::uint8_t>(0x80u >> (x & 7));
            row[x >> 3] = static_cast<std::uint8_t>(idx ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
        }
        break;
    case TPixelFormat::pf4bit:
        for (std::size_t x = 0; x < w; ++x) {
            const unsigned idx = mapper->Map(bgr[3 * x], bgr[3 * x + 1], bgr[3 * x + 2]) & 15u;
            std::uint8_t& byte = row[x >> 1];
            byte = static_cast<std::uint8_t>((x & 1) ? ((byte & 0xF0u) | idx) : ((byte & 0x0Fu) | (idx << 4)));
        }
        break;
    case TPixelFormat::pf8bit:
        for (std::size_t x = 0; x < w; ++x) row[x] = mapper->Map(bgr[3 * x], bgr[3 * x + 1], bgr[3 * x + 2]);
        break;
    case TPixelFormat::pf15bit:
        for (std::size_t x = 0; x < w; ++x) {
            const std::uint32_t v = (bgr[3 * x] >> 3) | ((bgr[3 * x + 1] >> 3) << 5) | ((bgr[3 * x + 2] >> 3) << 10);
            row[2 * x] = static_cast<std::uint8_t>(v);
            row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
        }
        break;
    case TPixelFormat::pf16bit:
        for (std::size_t x = 0; x < w; ++x) {
            const std::uint32_t v = (bgr[3 * x] >> 3) | ((bgr[3 * x + 1] >> 2) << 5) | ((bgr[3 * x + 2] >> 3) << 11);
            row[2 * x] = static_cast<std::uint8_t>(v);
            row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
        }
        break;
    case TPixelFormat::pf24bit:
        std::memcpy(row, bgr, 3 * w);
        break;
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf32bit:
        for (std::size_t x = 0; x < w; ++x) {
            std::memcpy(row + 4 * x, bgr + 3 * x, 3);
            row[4 * x + 3] = 0;
        }
        break;
    case TPixelFormat::pfCustom:
        break;
    }
}

inline unsigned IndexAt(const std::uint8_t* row, std::size_t x, int bits) {
    switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4: return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
    default: return row[x];
    }
}

inline void SetIndexAt(std::uint8_t* row, std::size_t x, int bits, unsigned value) {
    switch (bits) {
    case 1: {
        const auto bit = static_cast<std::uint8_t>(0x80u >> (x & 7));
        row[x >> 3] = static_cast<std::uint8_t>((value & 1u) ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
        break;
    }
    case 4: {
        std::uint8_t& byte = row[x >> 1];
        value &= 15u;
        byte = static_cast<std::uint8_t>((x & 1) ? ((byte & 0xF0u) | value) : ((byte & 0x0Fu) | (value << 4)));
        break;
    }
    default: row[x] = static_cast<std::uint8_t>(value);
    }
}

std::uint32_t ColorToRaw(TColor color, TPixelFormat format, const TPalette& palette) {
    const std::uint8_t bgr[3] = {ColorBlue(color), ColorGreen(color), ColorRed(color)};
    if (IsIndexedFormat(format)) {
        NearestMapper mapper(palette, std::size_t{1} << BitsPerPixel(format));
        return mapper.Map(bgr[0], bgr[1], bgr[2]);
    }
    std::uint8_t out[4] = {};
    EncodeRow(bgr, 1, format, nullptr, out);
    return out[0] | (std::uint32_t{out[1]} << 8) | (std::uint32_t{out[2]} << 16) | (std::uint32_t{out[3]} << 24);
}

}  // namespace

// ---- TBitmap ----

const TGraphicClass& TBitmap::ClassInfo() {
    static const TGraphicClass info{"TBitmap", []() -> std::unique_ptr<TGraphic> { return std::make_unique<TBitmap>(); },
                                    &TBitmap::CanLoadStream, &TGraphic::ClassInfo()};
    return info;
}

std::size_t TBitmap::StrideFor(int width, TPixelFormat format) {
    const auto bits = static_cast<std::size_t>(width) * static_cast<std::size_t>(BitsPerPixel(format));
    return (bits + 31) / 32 * 4;
}

TBitmap::Storage TBitmap::Allocate(std::size_t bytes, bool zeroed) {
    if (bytes == 0) return Storage();
    ChargePictureMemory(bytes);
    // calloc: fresh pages of large blocks come zeroed without a memset.
    auto* p = static_cast<std::uint8_t*>(zeroed ? std::calloc(bytes, 1) : std::malloc(bytes));
    if (p == nullptr) throw std::bad_alloc();
    return Storage(p);
}

std::size_t TBitmap::PixelBytesPerRow() const {
    return (static_cast<std::size_t>(width_) * static_cast<std::size_t>(BitsPerPixel(format_)) + 7) / 8;
}

void TBitmap::SetSize(int width, int height) {
    CheckImageSize(width, height, "bitmap");
    if (width == width_ && height == height_) return;
    const std::size_t stride = StrideFor(width, format_);
    Storage data = Allocate(stride * static_cast<std::size_t>(height));
    const int rows = std::min(height, height_);
    const int keepWidth = std::min(width, width_);
    if (data_ && data && rows > 0 && keepWidth > 0) {
        const std::size_t bits = static_cast<std::size_t>(keepWidth) * static_cast<std::size_t>(BitsPerPixel(format_));
        const std::size_t full = bits / 8;
        const unsigned tailBits = static_cast<unsigned>(bits % 8);
        for (int y = 0; y < rows; ++y) {
            const std::uint8_t* from = data_.get() + static_cast<std::size_t>(y) * stride_;
            std::uint8_t* to = data.get() + static_cast<std::size_t>(y) * stride;
            std::memcpy(to, from, full);
            if (tailBits != 0) to[full] = static_cast<std::uint8_t>(from[full] & (0xFF00u >> tailBits));
        }
    }
    data_ = std::move(data);
    stride_ = stride;
    width_ = width;
    height_ = height;
}

void TBitmap::SetSizeForOverwrite(int width, int height) {
    CheckImageSize(width, height, "bitmap");
    const std::size_t stride = StrideFor(width, format_);
    data_.reset();
    width_ = height_ = 0;
    data_ = Allocate(stride * static_cast<std::size_t>(height), false);
    stride_ = stride;
    width_ = width;
    height_ = height;
    const std::size_t used = PixelBytesPerRow();
    if (used < stride)
        for (int y = 0; y < height; ++y) std::memset(data_.get() + static_cast<std::size_t>(y) * stride + used, 0, stride - used);
}

void TBitmap::Clear() {
    data_.reset();
    width_ = 0;
    height_ = 0;
    stride_ = 0;
    palette_ = TPalette();
}

const TPalette& TBitmap::EffectivePalette() const {
    if (!palette_.Empty()) return palette_;
    static const TPalette mono = TPalette::DefaultFor(TPixelFormat::pf1bit);
    static const TPalette vga = TPalette::DefaultFor(TPixelFormat::pf4bit);
    static const TPalette gray = TPalette::DefaultFor(TPixelFormat::pf8bit);
    static const TPalette none;
    switch (format_) {
    case TPixelFormat::pf1bit: return mono;
    case TPixelFormat::pf4bit: return vga;
    case TPixelFormat::pf8bit: return gray;
    default: return none;
    }
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
    if (format == TPixelFormat::pfCustom || static_cast<int>(format) > static_cast<int>(TPixelFormat::pfCustom))
        RaiseImageError(msg::InvalidPixelFormat);
    if (format == format_) return;
    const TPixelFormat old = format_;
    const std::size_t stride = StrideFor(width_, format);
    if (!data_ || width_ == 0 || height_ == 0) {
        format_ = format;
        stride_ = stride;
        data_ = Allocate(stride * static_cast<std::size_t>(height_));
        return;
    }
    Storage data = Allocate(stride * static_cast<std::size_t>(height_));
    const TPalette oldPalette = EffectivePalette();
    const int oldBits = BitsPerPixel(old), newBits = BitsPerPixel(format);
    const auto w = static_cast<std::size_t>(width_);

    if (IsIndexedFormat(old) && IsIndexedFormat(format) && newBits >= oldBits) {
        // A wider index keeps every index; the colours stay with the palette.
        for (int y = 0; y < height_; ++y) {
            const std::uint8_t* from = data_.get() + static_cast<std::size_t>(y) * stride_;
            std::uint8_t* to = data.get() + static_cast<std::size_t>(y) * stride;
            for (std::size_t x = 0; x < w; ++x) SetIndexAt(to, x, newBits, IndexAt(from, x, oldBits));
        }
        palette_ = oldPalette;
    } else {
        const PaletteLookup lut = MakeLookup(oldPalette);
        const TPalette target = IsIndexedFormat(format) ? (palette_.Empty() ? TPalette::DefaultFor(format) : palette_)
                                                        : TPalette();
        NearestMapper mapper(target, std::size_t{1} << std::min(newBits, 8));
        std::vector<std::uint8_t> bgr(3 * w);
        for (int y = 0; y < height_; ++y) {
            DecodeRow(data_.get() + static_cast<std::size_t>(y) * stride_, 0, width_, old, lut, bgr.data());
            EncodeRow(bgr.data(), width_, format, &mapper, data.get() + static_cast<std::size_t>(y) * stride);
        }
        if (IsIndexedFormat(format)) palette_ = target;
    }
    data_ = std::move(data);
    stride_ = stride;
    format_ = format;
}

std::uint8_t* TBitmap::ScanLine(int y) {
    if (y < 0 || y >= height_) throw EInvalidGraphicOperation(std::string(msg::ScanLineRange));
    return data_.get() + static_cast<std::size_t>(y) * stride_;
}

const std::uint8_t* TBitmap::ScanLine(int y) const {
    if (y < 0 || y >= height_) throw EInvalidGraphicOperation(std::string(msg::ScanLineRange));
    return data_.get() + static_cast<std::size_t>(y) * stride_;
}

std::uint32_t TBitmap::RawPixel(const std::uint8_t* row, int x) const {
    const auto ux = static_cast<std::size_t>(x);
    switch (format_) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit: return IndexAt(row, ux, BitsPerPixel(format_));
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: return row[2 * ux] | (std::uint32_t{row[2 * ux + 1]} << 8);
    case TPixelFormat::pf24bit:
        return row[3 * ux] | (std::uint32_t{row[3 * ux + 1]} << 8) | (std::uint32_t{row[3 * ux + 2]} << 16);
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf32bit: {
        std::uint32_t v;
        std::memcpy(&v, row + 4 * ux, 4);
        return v;
    }
    case TPixelFormat::pfCustom: break;
    }
    return 0;
}

void TBitmap::SetRawPixel(std::uint8_t* row, int x, std::uint32_t value) {
    const auto ux = static_cast<std::size_t>(x);
    switch (format_) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit: SetIndexAt(row, ux, BitsPerPixel(format_), value); break;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit:
        row[2 * ux] = static_cast<std::uint8_t>(value);
        row[2 * ux + 1] = static_cast<std::uint8_t>(value >> 8);
        break;
    case TPixelFormat::pf24bit:
        row[3 * ux] = static_cast<std::uint8_t>(value);
        row[3 * ux + 1] = static_cast<std::uint8_t>(value >> 8);
        row[3 * ux + 2] = static_cast<std::uint8_t>(value >> 16);
        break;
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf32bit: std::memcpy(row + 4 * ux, &value, 4); break;
    case TPixelFormat::pfCustom: break;
    }
}

TColor TBitmap::RawToColor(std::uint32_t raw, const TPalette& palette) const {
    switch (format_) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit: return palette.Color(raw);
    case TPixelFormat::pf15bit: return RGBColor(Expand5((raw >> 10) & 31), Expand5((raw >> 5) & 31), Expand5(raw & 31));
    case TPixelFormat::pf16bit: return RGBColor(Expand5((raw >> 11) & 31), Expand6((raw >> 5) & 63), Expand5(raw & 31));
    case TPixelFormat::pf24bit:
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf32bit:
        return RGBColor(static_cast<std::uint8_t>(raw >> 16), static_cast<std::uint8_t>(raw >> 8),
                        static_cast<std::uint8_t>(raw));
    case TPixelFormat::pfCustom: break;
    }
    return clBlack;
}

TColor TBitmap::GetPixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return clBlack;
    return RawToColor(RawPixel(ScanLine(y), x), EffectivePalette());
}

void TBitmap::SetPixel(int x, int y, TColor color) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    SetRawPixel(ScanLine(y), x, ColorToRaw(color, format_, EffectivePalette()));
}

namespace {

// Repeats the pixel of `bytes` bytes at dst `count` times: one pixel written,
// then the filled part copied onto the rest, doubling each time.
void RepeatPixel(std::uint8_t* dst, const std::uint8_t* pixel, std::size_t bytes, std::size_t count) {
    if (count == 0) return;
    std::memcpy(dst, pixel, bytes);
    const std::size_t total = bytes * count;
    for (std::size_t done = bytes; done < total;) {
        const std::size_t n = std::min(done, total - done);
        std::memcpy(dst + done, dst, n);
        done += n;
    }
}

}  // namespace

void TBitmap::FillRect(const TRect& rect, TColor color) {
    const TRect r = IntersectRect(rect, TRect{0, 0, width_, height_});
    if (r.IsEmpty()) return;
    const std::uint32_t raw = ColorToRaw(color, format_, EffectivePalette());
    const int bits = BitsPerPixel(format_);
    if (bits < 8) {
        for (int y = r.Top; y < r.Bottom; ++y) {
            std::uint8_t* row = ScanLine(y);
            for (int x = r.Left; x < r.Right; ++x) SetRawPixel(row, x, raw);
        }
        return;
    }
    // The first row is filled pixel by pixel doubling, the others copy it.
    const auto bytes = static_cast<std::size_t>(bits / 8);
    std::uint8_t pixel[4];
    std::memcpy(pixel, &raw, 4);  // little-endian pixel bytes
    const std::size_t offset = static_cast<std::size_t>(r.Left) * bytes;
    const std::size_t span = static_cast<std::size_t>(r.Right - r.Left) * bytes;
    const std::uint8_t* first = ScanLine(r.Top) + offset;
    RepeatPixel(ScanLine(r.Top) + offset, pixel, bytes, static_cast<std::size_t>(r.Right - r.Left));
    for (int y = r.Top + 1; y < r.Bottom; ++y) std::memcpy(ScanLine(y) + offset, first, span);
}

void TBitmap::FrameRect(const TRect& rect, TColor color) {
    if (rect.IsEmpty()) return;
    FillRect({rect.Left, rect.Top, rect.Right, rect.Top + 1}, color);
    FillRect({rect.Left, rect.Bottom - 1, rect.Right, rect.Bottom}, color);
    FillRect({rect.Left, rect.Top, rect.Left + 1, rect.Bottom}, color);
    FillRect({rect.Right - 1, rect.Top, rect.Right, rect.Bottom}, color);
}

void TBitmap::Assign(const TGraphic& source) {
    if (&source == this) return;
    if (const auto* bmp = dynamic_cast<const TBitmap*>(&source)) {
        Storage data = Allocate(bmp->stride_ * static_cast<std::size_t>(bmp->height_));
        if (data) std::memcpy(data.get(), bmp->data_.get(), bmp->stride_ * static_cast<std::size_t>(bmp->height_));
        data_ = std::move(data);
        width_ = bmp->width_;
        height_ = bmp->height_;
        stride_ = bmp->stride_;
        format_ = bmp->format_;
        palette_ = bmp->palette_;
        return;
    }
    TBitmap canvas;
    canvas.SetPixelFormat(TPixelFormat::pf24bit);
    canvas.SetSize(source.Width(), source.Height());
    source.Draw(canvas, 0, 0);
    TBitmap::MoveAssign(canvas);
}

TBitmap::TBitmap(TBitmap&& source) noexcept
    : width_(source.width_),
      height_(source.height_),
      stride_(source.stride_),
      format_(source.format_),
      palette_(std::move(source.palette_)),
      data_(std::move(source.data_)) {
    source.width_ = source.height_ = 0;
    source.stride_ = 0;
    source.palette_ = TPalette();
}

void TBitmap::MoveAssign(TBitmap& source) {
    if (&source == this) return;
    data_ = std::move(source.data_);
    width_ = source.width_;
    height_ = source.height_;
    stride_ = source.stride_;
    format_ = source.format_;
    palette_ = std::move(source.palette_);
    source.Clear();
}

void TBitmap::Draw(TBitmap& target, int x, int y) const {
    BitBlt(target, x, y, width_, height_, *this, 0, 0, TRasterOp::SrcCopy);
}

void TBitmap::RenderToBitmap(TBitmap& target) {
    SetPixelFormat(TPixelFormat::pf24bit);
    target.MoveAssign(*this);
}

// ---- BitBlt ----

namespace {

inline std::uint32_t Combine(std::uint32_t target, std::uint32_t source, TRasterOp op) {
    switch (op) {
    case TRasterOp::SrcCopy: return source;
    case TRasterOp::SrcErase: return source & ~target;
    case TRasterOp::SrcInvert: return target ^ source;
    }
    return source;
}

}  // namespace

void BitBlt(TBitmap& target, int x, int y, int width, int height, const TBitmap& source, int sx, int sy,
            TRasterOp op) {
    if (width <= 0 || height <= 0) return;
    // Clip against the source, then the target, in 64 bits so no sum overflows.
    std::int64_t X = x, Y = y, W = width, H = height, SX = sx, SY = sy;
    if (SX < 0) { X -= SX; W += SX; SX = 0; }
    if (SY < 0) { Y -= SY; H += SY; SY = 0; }
    if (X < 0) { SX -= X; W += X; X = 0; }
    if (Y < 0) { SY -= Y; H += Y; Y = 0; }
    W = std::min({W, std::int64_t{source.Width()} - SX, std::int64_t{target.Width()} - X});
    H = std::min({H, std::int64_t{source.Height()} - SY, std::int64_t{target.Height()} - Y});
    if (W <= 0 || H <= 0) return;

    // A block copied within one bitmap may overlap: work from a copy.
    TBitmap copy;
    const TBitmap* src = &source;
    if (&source == &target) {
        copy.Assign(source);
        src = &copy;
    }

    const int w = static_cast<int>(W), h = static_cast<int>(H);
    const int x0 = static_cast<int>(X), y0 = static_cast<int>(Y);
    const int sx0 = static_cast<int>(SX), sy0 = static_cast<int>(SY);
    const TPixelFormat tf = target.PixelFormat(), sf = src->PixelFormat();
    const int bits = BitsPerPixel(tf);

    if (tf == sf && bits >= 8) {
        const std::size_t bpp = static_cast<std::size_t>(bits / 8);
        const std::size_t n = static_cast<std::size_t>(w) * bpp;
        for (int r = 0; r < h; ++r) {
            std::uint8_t* d = target.ScanLine(y0 + r) + static_cast<std::size_t>(x0) * bpp;
            const std::uint8_t* s = src->ScanLine(sy0 + r) + static_cast<std::size_t>(sx0) * bpp;
            switch (op) {
            case TRasterOp::SrcCopy: std::memcpy(d, s, n); break;
            case TRasterOp::SrcErase:
                for (std::size_t i = 0; i < n; ++i) d[i] = static_cast<std::uint8_t>(s[i] & ~d[i]);
                break;
            case TRasterOp::SrcInvert:
                for (std::size_t i = 0; i < n; ++i) d[i] = static_cast<std::uint8_t>(d[i] ^ s[i]);
                break;
            }
        }
        return;
    }

    // Different formats: source pixels are converted to the target's
    // format a row at a time, then combined.
    const PaletteLookup lut = MakeLookup(src->EffectivePalette());
    NearestMapper mapper(target.EffectivePalette(), IsIndexedFormat(tf) ? (std::size_t{1} << bits) : 0);
    std::vector<std::uint8_t> bgr(3 * static_cast<std::size_t>(w));
    if (bits >= 8) {
        const std::size_t bpp = static_cast<std::size_t>(bits / 8);
        const std::size_t n = static_cast<std::size_t>(w) * bpp;
        std::vector<std::uint8_t> converted(n);
        for (int r = 0; r < h; ++r) {
            DecodeRow(src->ScanLine(sy0 + r), sx0, w, sf, lut, bgr.data());
            EncodeRow(bgr.data(), w, tf, &mapper, converted.data());
            std::uint8_t* d = target.ScanLine(y0 + r) + static_cast<std::size_t>(x0) * bpp;
            for (std::size_t i = 0; i < n; ++i) d[i] = static_cast<std::uint8_t>(Combine(d[i], converted[i], op));
        }
        return;
    }
    const std::uint32_t mask = (1u << bits) - 1u;
    for (int r = 0; r < h; ++r) {
        std::uint8_t* d = target.ScanLine(y0 + r);
        const std::uint8_t* s = src->ScanLine(sy0 + r);
        if (sf != tf) DecodeRow(s, sx0, w, sf, lut, bgr.data());
        for (int i = 0; i < w; ++i) {
            const std::uint32_t sv = sf == tf ? src->RawPixel(s, sx0 + i)
                                              : mapper.Map(bgr[3 * static_cast<std::size_t>(i)],
                                                           bgr[3 * static_cast<std::size_t>(i) + 1],
                                                           bgr[3 * static_cast<std::size_t>(i) + 2]);
            const std::uint32_t dv = target.RawPixel(d, x0 + i);
            target.SetRawPixel(d, x0 + i, Combine(dv, sv, op) & mask);
        }
    }
}

}  // namespace orv
