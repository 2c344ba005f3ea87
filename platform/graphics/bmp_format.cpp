// The bitmap's own file format: reading every common BMP variant, writing
// 24-bit uncompressed bottom-up files.
#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/base/stream.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/bmp_rle.h"
#include "platform/graphics/byte_order.h"
#include "platform/graphics/messages.h"

namespace orv {

namespace {

constexpr const char* kFormatName = "BMP";

enum : std::uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6 };

std::int32_t I32(const std::uint8_t* p) { return static_cast<std::int32_t>(LittleLong(p)); }

void PutU16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void PutU32(std::uint8_t* p, std::uint32_t v) {
    PutU16(p, v);
    PutU16(p + 2, v >> 16);
}

bool KnownInfoHeaderSize(std::uint32_t size) {
    switch (size) {
    case 12: case 16: case 40: case 52: case 56: case 64: case 108: case 124: return true;
    default: return false;
    }
}

// Exact read that reports a short file as a bad image.
void ReadExact(TStream& stream, void* buffer, std::size_t count) {
    if (count != 0 && stream.Read(buffer, count) != count) RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
}

// Reads the stream a block at a time for the run-length decoders.
class ByteSource {
public:
    explicit ByteSource(TStream& stream) : stream_(stream), buffer_(1 << 16) {}
    // The next byte, or -1 at the end of the stream.
    int Next() {
        if (pos_ == len_) {
            len_ = stream_.Read(buffer_.data(), buffer_.size());
            pos_ = 0;
            if (len_ == 0) return -1;
        }
        return buffer_[pos_++];
    }

private:
    TStream& stream_;
    std::vector<std::uint8_t> buffer_;
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
};

// One colour channel of a bit-field pixel, scaled to 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint64_t max = 0;

    explicit Channel(std::uint32_t m) : mask(m) {
        if (m == 0) return;
        shift = std::countr_zero(m);
        const int bits = std::bit_width(m >> shift);
        max = (std::uint64_t{1} << bits) - 1;
    }
    std::uint8_t Value(std::uint32_t pixel) const {
        if (max == 0) return 0;
        const std::uint64_t v = (pixel & mask) >> shift;
        return static_cast<std::uint8_t>(std::min<std::uint64_t>(255, (v * 255 + max / 2) / max));
    }
};

// The highest palette index the pixels of an indexed bitmap use.
unsigned HighestIndex(const TBitmap& bmp) {
    const int bits = bmp.PixelFormat() == TPixelFormat::pf1bit ? 1 : bmp.PixelFormat() == TPixelFormat::pf4bit ? 4 : 8;
    const int perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    unsigned highest = 0;
    for (int y = 0; y < bmp.Height(); ++y) {
        const std::uint8_t* row = bmp.ScanLine(y);
        for (int x = 0; x < bmp.Width(); ++x) {
            const int shift = 8 - bits * (x % perByte + 1);
            highest = std::max(highest, (static_cast<unsigned>(row[x / perByte]) >> shift) & mask);
        }
    }
    return highest;
}

void DecodeRle(TStream& stream, TBitmap& bmp, bool fourBits, bool topDown) {
    ByteSource in(stream);
    const int height = bmp.Height();
    DecodeBmpRle([&] { return in.Next(); },
                 [&](int fileRow) { return bmp.ScanLine(topDown ? fileRow : height - 1 - fileRow); }, bmp.Width(),
                 height, fourBits);
}

// What the file and info headers say.
struct BmpHeader {
    std::uint32_t offBits = 0;
    std::uint32_t infoSize = 0;
    bool core = false;  // the OS/2 header of 12 bytes
    std::int64_t width = 0;
    std::int64_t height = 0;  // positive; topDown tells the row order
    bool topDown = false;
    std::uint32_t bits = 0;
    std::uint32_t compression = BI_RGB;
    std::uint32_t colorsUsed = 0;
    std::uint32_t masks[3] = {0, 0, 0};  // red, green, blue of 16- and 32-bit pixels

    bool Rle() const { return compression == BI_RLE8 || compression == BI_RLE4; }
    std::size_t FileStride() const { return (static_cast<std::size_t>(width) * bits + 31) / 32 * 4; }
};

// Reads the file header and the info header, and refuses a file that is no
// BMP, an unknown header size and a size over the gate.
BmpHeader ReadHeaders(TStream& stream) {
    BmpHeader h;
    std::uint8_t file[14];
    ReadExact(stream, file, sizeof file);
    if (file[0] != 'B' || file[1] != 'M') RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    h.offBits = LittleLong(file + 10);

    std::uint8_t info[124] = {};
    ReadExact(stream, info, 4);
    h.infoSize = LittleLong(info);
    if (!KnownInfoHeaderSize(h.infoSize)) RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    ReadExact(stream, info + 4, h.infoSize - 4);

    h.core = h.infoSize == 12;
    if (h.core) {
        h.width = LittleWord(info + 4);
        h.height = LittleWord(info + 6);
        h.bits = LittleWord(info + 10);
    } else {
        h.width = I32(info + 4);
        h.height = I32(info + 8);
        h.bits = LittleWord(info + 14);
        if (h.infoSize >= 20) h.compression = LittleLong(info + 16);
        if (h.infoSize >= 36) h.colorsUsed = LittleLong(info + 32);
        const bool bitFields = h.compression == BI_BITFIELDS || h.compression == BI_ALPHABITFIELDS;
        if (bitFields && h.infoSize >= 52) {
            h.masks[0] = LittleLong(info + 40);
            h.masks[1] = LittleLong(info + 44);
            h.masks[2] = LittleLong(info + 48);
        }
    }
    h.topDown = h.height < 0;
    if (h.topDown) h.height = -h.height;
    CheckImageSize(h.width, h.height, kFormatName);
    return h;
}

// Compression must fit the depth; the OS/2 header's codes 3 and 4 mean
// other schemes than bit fields.
bool CompressionFitsDepth(const BmpHeader& h) {
    const std::uint32_t bits = h.bits;
    switch (h.compression) {
    case BI_RGB: return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    case BI_RLE8: return bits == 8;
    case BI_RLE4: return bits == 4;
    case BI_BITFIELDS:
    case BI_ALPHABITFIELDS: return h.infoSize != 64 && (bits == 16 || bits == 32);
    default: return false;
    }
}

// Sets the colour masks: bit fields from the info header or the masks after
// a short one, else the fixed layouts of 16 and 32 bits.
void ReadMasks(TStream& stream, BmpHeader& h) {
    if (h.compression == BI_BITFIELDS || h.compression == BI_ALPHABITFIELDS) {
        if (h.infoSize >= 52) return;  // read with the info header
        std::uint8_t m[16];
        const std::size_t n = h.compression == BI_ALPHABITFIELDS ? 16 : 12;
        ReadExact(stream, m, n);
        h.masks[0] = LittleLong(m);
        h.masks[1] = LittleLong(m + 4);
        h.masks[2] = LittleLong(m + 8);
    } else if (h.bits == 16) {
        h.masks[0] = 0x7C00;
        h.masks[1] = 0x03E0;
        h.masks[2] = 0x001F;
    } else if (h.bits == 32) {
        h.masks[0] = 0xFF0000;
        h.masks[1] = 0x00FF00;
        h.masks[2] = 0x0000FF;
    }
}

// Where the BMP starts in the stream and how many bytes follow.
struct BmpPlace {
    std::int64_t start;
    std::int64_t total;

    // The pixel offset counts when it lies past the headers and inside the
    // file: the palette then ends there at the latest, and the rows start
    // there.
    bool OffsetUsable(const BmpHeader& h, std::int64_t headersEnd) const {
        return h.offBits != 0 && static_cast<std::int64_t>(h.offBits) >= headersEnd && h.offBits < total;
    }
};

// Reads the palette of a file of 8 bits or fewer: the colour count's entries
// (all the depth allows when the count is 0 or larger). Some writers store
// fewer entries than the count says (an OS/2 header has no count at all):
// a usable pixel offset cuts the palette to the entries before it, and
// `cutColors` is set to them; the pixels must not index past them (checked
// once they are read).
TPalette ReadPalette(TStream& stream, const BmpHeader& h, const BmpPlace& place,
                     std::optional<std::size_t>& cutColors) {
    const std::uint64_t maxColors = std::uint64_t{1} << h.bits;
    std::uint64_t count = h.colorsUsed == 0 ? maxColors : std::min<std::uint64_t>(h.colorsUsed, maxColors);
    const std::size_t entrySize = h.core ? 3 : 4;
    const std::int64_t paletteStart = stream.Position() - place.start;
    if (place.OffsetUsable(h, paletteStart)) {
        const std::uint64_t fit = (h.offBits - static_cast<std::uint64_t>(paletteStart)) / entrySize;
        if (fit < count) {
            count = fit;
            cutColors = static_cast<std::size_t>(count);
        }
    }
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(count) * entrySize);
    ReadExact(stream, raw.data(), raw.size());
    std::vector<TPaletteEntry> entries(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::uint8_t* e = raw.data() + i * entrySize;
        entries[i] = TPaletteEntry{e[2], e[1], e[0], 0};
    }
    return TPalette(std::move(entries));
}

// The bitmap's pixel format for the file's depth and masks; `rawCopy` tells
// whether file rows are copied as they are (else each pixel is unpacked
// through the masks into 24 bits).
TPixelFormat PixelFormatFor(const BmpHeader& h, bool& rawCopy) {
    const std::uint32_t* masks = h.masks;
    rawCopy = true;
    switch (h.bits) {
    case 1: return TPixelFormat::pf1bit;
    case 4: return TPixelFormat::pf4bit;
    case 8: return TPixelFormat::pf8bit;
    case 16:
        if (masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F) return TPixelFormat::pf15bit;
        if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F) return TPixelFormat::pf16bit;
        rawCopy = false;
        return TPixelFormat::pf24bit;
    case 24: return TPixelFormat::pf24bit;
    default:
        rawCopy = masks[0] == 0xFF0000 && masks[1] == 0x00FF00 && masks[2] == 0x0000FF;
        return rawCopy ? TPixelFormat::pf32bit : TPixelFormat::pf24bit;
    }
}

// Reads the uncompressed rows into the sized bitmap.
void ReadRows(TStream& stream, const BmpHeader& h, bool rawCopy, TBitmap& image) {
    const int w = image.Width(), height = image.Height();
    if (height <= 0 || w <= 0) return;
    const std::size_t fileStride = h.FileStride();
    std::vector<std::uint8_t> line(fileStride);
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]);
    const std::size_t copyBytes = image.PixelBytesPerRow();
    const std::size_t step = h.bits / 8;
    for (int r = 0; r < height; ++r) {
        ReadExact(stream, line.data(), fileStride);
        std::uint8_t* out = image.ScanLine(h.topDown ? r : height - 1 - r);
        if (rawCopy) {
            std::memcpy(out, line.data(), copyBytes);
            continue;
        }
        for (std::size_t x = 0; x < static_cast<std::size_t>(w); ++x) {
            const std::uint8_t* p = line.data() + x * step;
            const std::uint32_t v = step == 2 ? LittleWord(p) : LittleLong(p);
            out[3 * x] = blue.Value(v);
            out[3 * x + 1] = green.Value(v);
            out[3 * x + 2] = red.Value(v);
        }
    }
}

}  // namespace

bool TBitmap::CanLoadStream(TStream& stream) {
    const std::int64_t start = stream.Position();
    std::uint8_t head[18];
    const bool ok = stream.Read(head, sizeof head) == sizeof head && head[0] == 'B' && head[1] == 'M' &&
                    KnownInfoHeaderSize(LittleLong(head + 14));
    stream.SetPosition(start);
    return ok;
}

void TBitmap::LoadFromStream(TStream& stream) {
    const BmpPlace place{stream.Position(), stream.Size() - stream.Position()};
    BmpHeader h = ReadHeaders(stream);
    if (!CompressionFitsDepth(h)) RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    ReadMasks(stream, h);

    TPalette palette;
    // The entries a palette cut by the pixel offset kept.
    std::optional<std::size_t> cutColors;
    const std::int64_t paletteStart = stream.Position() - place.start;
    if (h.bits <= 8) palette = ReadPalette(stream, h, place, cutColors);

    // The pixel data begin at the file header's offset when it is usable;
    // else right after the palette.
    if (place.OffsetUsable(h, paletteStart)) stream.SetPosition(place.start + h.offBits);

    bool rawCopy = true;
    const TPixelFormat format = PixelFormatFor(h, rawCopy);
    if (!h.Rle() && static_cast<std::uint64_t>(h.FileStride()) * static_cast<std::uint64_t>(h.height) >
                        static_cast<std::uint64_t>(stream.Remaining()))
        RaiseImageErrorFmt(msg::InvalidImage, kFormatName);

    const auto w = static_cast<int>(h.width), height = static_cast<int>(h.height);
    TBitmap image;
    image.SetPixelFormat(format);
    image.SetPalette(std::move(palette));
    image.SetSize(w, height);
    if (h.Rle())
        DecodeRle(stream, image, h.compression == BI_RLE4, h.topDown);
    else
        ReadRows(stream, h, rawCopy, image);
    if (cutColors && height > 0 && w > 0 && HighestIndex(image) >= *cutColors)
        RaiseImageErrorFmt(msg::InvalidImage, kFormatName);
    // Only a complete load replaces the picture.
    MoveAssign(image);
}

void TBitmap::SaveToStream(TStream& stream) {
    const TBitmap* source = this;
    TBitmap converted;
    if (format_ != TPixelFormat::pf24bit) {
        converted.Assign(*this);
        converted.SetPixelFormat(TPixelFormat::pf24bit);
        source = &converted;
    }
    const std::size_t stride = StrideFor(width_, TPixelFormat::pf24bit);
    const std::uint64_t imageSize = static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height_);

    std::uint8_t head[54] = {};
    head[0] = 'B';
    head[1] = 'M';
    PutU32(head + 2, static_cast<std::uint32_t>(54 + imageSize));
    PutU32(head + 10, 54);
    PutU32(head + 14, 40);
    PutU32(head + 18, static_cast<std::uint32_t>(width_));
    PutU32(head + 22, static_cast<std::uint32_t>(height_));
    PutU16(head + 26, 1);
    PutU16(head + 28, 24);
    PutU32(head + 34, static_cast<std::uint32_t>(imageSize));
    stream.WriteBuffer(head, sizeof head);
    for (int y = height_ - 1; y >= 0; --y) stream.WriteBuffer(source->ScanLine(y), stride);
}

}  // namespace orv
