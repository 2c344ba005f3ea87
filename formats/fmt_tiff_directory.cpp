// TIFF structure: header test, directory walk, tag readers and the turning
// of a directory into the image properties.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "formats/fmt_tiff.h"
#include "platform/base/stream.h"
#include "platform/graphics/byte_order.h"

namespace orv {

namespace {

constexpr std::uint32_t kVersion = 42;
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kEntrySize = 12;

// Tags the reader uses.
enum : std::uint32_t {
    tagImageWidth = 256,
    tagImageLength = 257,
    tagBitsPerSample = 258,
    tagCompression = 259,
    tagPhotometric = 262,
    tagFillOrder = 266,
    tagSamplesPerPixel = 277,
    tagRowsPerStrip = 278,
    tagXResolution = 282,
    tagYResolution = 283,
    tagPlanarConfiguration = 284,
    tagResolutionUnit = 296,
    tagPredictor = 317,
    tagTileWidth = 322,
    tagTileLength = 323,
    tagExtraSamples = 338,
    tagYCbCrCoefficients = 529,
    tagYCbCrSubSampling = 530,
    tagYCbCrPositioning = 531,
};

std::uint16_t Word(const std::uint8_t* p, bool big) { return big ? BigWord(p) : LittleWord(p); }

std::uint32_t Long(const std::uint8_t* p, bool big) { return big ? BigLong(p) : LittleLong(p); }

// Value of `size` bytes (1, 2 or 4) in the file's order.
std::uint32_t Sample(const std::uint8_t* p, std::uint32_t size, bool big) {
    switch (size) {
        case 1: return *p;
        case 2: return Word(p, big);
        default: return Long(p, big);
    }
}

// Types whose values the readers convert: the ten of the baseline.
bool IsNumericType(std::uint16_t type) { return type >= ttByte && type <= ttSRational; }
bool IsRationalType(std::uint16_t type) { return type == ttRational || type == ttSRational; }

TCompressionCode CompressionCodeFor(std::uint32_t value) {
    switch (value) {
        case 1: return ctNone;
        case 32773: return ctPackedBits;
        case 5: return ctLZW;
        case 3: return ctFax3;
        case 2: return ctFaxRLE;
        case 4: return ctFax4;
        case 32771: return ctFaxRLEW;
        case 8:
        case 32946: return ctLZ77;
        case 7: return ctJPEG;
        case 6: return ctOJPEG;
        case 32809: return ctThunderscan;
        case 32766: return ctNext;
        case 32895: return ctIT8CTPAD;
        case 32896: return ctIT8LW;
        case 32897: return ctIT8MP;
        case 32898: return ctIT8BL;
        case 32908: return ctPixarFilm;
        case 32909: return ctPixarLog;
        case 32947: return ctDCS;
        case 34661: return ctJBIG;
        default: return ctUnknown;
    }
}

TColorModel ColorModelFor(std::uint32_t photometric, std::uint32_t samples) {
    switch (photometric) {
        case 0:
        case 1: return TColorModel::cmGray;
        case 2: return samples < 4 ? TColorModel::cmRGB : TColorModel::cmRGBA;
        case 3: return TColorModel::cmIndexed;
        case 5: return TColorModel::cmCMYK;
        case 6: return TColorModel::cmYCbCr;
        case 8: return TColorModel::cmCIELab;
        default: return TColorModel::cmUnknown;
    }
}

// Samples a pixel of the model has before any extra (alpha) samples.
std::uint32_t OwnSamples(TColorModel model) {
    switch (model) {
        case TColorModel::cmGray:
        case TColorModel::cmIndexed: return 1;
        case TColorModel::cmCMYK: return 4;
        case TColorModel::cmUnknown: return 0;
        default: return 3;
    }
}

}  // namespace

std::uint32_t TIFFFieldSize(std::uint16_t type) {
    switch (type) {
        case ttByte:
        case ttAscii:
        case ttSByte:
        case ttUndefined: return 1;
        case ttShort:
        case ttSShort: return 2;
        case ttLong:
        case ttSLong:
        case ttFloat:
        case ttIFD: return 4;
        case ttRational:
        case ttSRational:
        case ttDouble: return 8;
        default: return 0;
    }
}

TTIFFEntry ParseTIFFEntry(const std::uint8_t* b, bool big) {
    TTIFFEntry e;
    e.Tag = Word(b, big);
    e.Type = Word(b + 2, big);
    e.Count = Long(b + 4, big);
    const std::uint8_t* v = b + 8;
    if (!e.Inline()) {
        e.Value = Long(v, big);
        return e;
    }
    // Values that fit: each converted within its own size, first value in
    // the lowest bits. Unknown types (size 0) keep the little-endian word.
    const std::uint32_t size = TIFFFieldSize(e.Type);
    if (size == 0 || size == 4 || !big) {
        e.Value = size == 4 ? Long(v, big) : Long(v, false);
        return e;
    }
    for (std::uint32_t i = 0; i < 4 / size; ++i)
        e.Value |= Sample(v + i * size, size, true) << (8 * size * i);
    return e;
}

// --- Class ---------------------------------------------------------------------

bool TTIFFGraphic::CanLoadStream(TStream& stream) {
    const std::int64_t start = stream.Position();
    const std::int64_t size = stream.Size();
    std::uint8_t h[kHeaderSize];
    if (!PeekHeader(stream, h, sizeof h)) return false;
    const bool big = h[0] == 'M' && h[1] == 'M';
    if (!big && !(h[0] == 'I' && h[1] == 'I')) return false;
    return Word(h + 2, big) == kVersion && static_cast<std::int64_t>(Long(h + 4, big)) < size - start;
}

// --- Directory -----------------------------------------------------------------

void TTIFFGraphic::SortEntries() {
    std::stable_sort(Entries.begin(), Entries.end(),
                     [](const TTIFFEntry& a, const TTIFFEntry& b) { return a.Tag < b.Tag; });
}

bool TTIFFGraphic::LocateTag(std::uint32_t tag, std::size_t& index) const {
    const auto it = std::lower_bound(Entries.begin(), Entries.end(), tag,
                                     [](const TTIFFEntry& e, std::uint32_t t) { return e.Tag < t; });
    if (it == Entries.end() || it->Tag != tag) return false;
    index = static_cast<std::size_t>(it - Entries.begin());
    return true;
}

std::uint32_t TTIFFGraphic::TagIntegerAndCount(std::uint32_t tag, std::uint32_t& count,
                                               std::uint32_t defaultValue) const {
    count = 0;
    std::size_t i = 0;
    // FLOAT, DOUBLE, IFD and unknown types carry no integer: read as absent.
    if (!LocateTag(tag, i) || !IsNumericType(Entries[i].Type)) return defaultValue;
    const TTIFFEntry& e = Entries[i];
    count = e.Count;
    if (e.Count != 1) return e.Value;
    switch (e.Type) {
        case ttByte: return e.Value & 0xFFu;
        case ttShort:
        case ttSShort: return e.Value & 0xFFFFu;
        case ttLong:
        case ttSLong: return e.Value;
        default: return defaultValue;
    }
}

std::uint32_t TTIFFGraphic::TagInteger(std::uint32_t tag, std::uint32_t defaultValue) const {
    std::uint32_t count = 0;
    return TagIntegerAndCount(tag, count, defaultValue);
}

template <class Put>
bool TTIFFGraphic::ForEachValue(TStream& stream, std::uint32_t tag, bool rationals, Put&& put,
                                std::size_t& count) const {
    count = 0;
    std::size_t index = 0;
    if (!LocateTag(tag, index)) return false;
    const TTIFFEntry& e = Entries[index];
    if (e.Count == 0 || !IsNumericType(e.Type)) return false;
    if (IsRationalType(e.Type) && !rationals) return false;
    const std::uint32_t size = TIFFFieldSize(e.Type);

    if (e.Inline()) {
        const std::uint32_t mask = size == 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1u;
        count = e.Count;
        for (std::uint32_t i = 0; i < e.Count; ++i) put(i, static_cast<double>((e.Value >> (8 * size * i)) & mask));
        return true;
    }

    // Values at an offset: they must lie wholly inside the stream before
    // anything is allocated for them.
    const std::int64_t position = directoryBase_ + static_cast<std::int64_t>(e.Value);
    const std::int64_t total = stream.Size();
    const std::uint64_t bytes = e.DataSize();
    if (position > total || bytes > static_cast<std::uint64_t>(total - position)) return false;
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(bytes));
    stream.SetPosition(position);
    stream.ReadBuffer(raw.data(), raw.size());

    const bool big = ImageProperties.Options & OptionBigEndian;
    count = e.Count;
    const std::uint8_t* p = raw.data();
    for (std::uint32_t i = 0; i < e.Count; ++i, p += size) {
        if (IsRationalType(e.Type)) {
            const std::uint32_t numerator = Long(p, big), denominator = Long(p + 4, big);
            // A zero denominator gives NaN; callers replace it by their default.
            put(i, denominator == 0 ? std::nan("") : static_cast<double>(numerator) / denominator);
        } else {
            put(i, static_cast<double>(Sample(p, size, big)));
        }
    }
    return true;
}

float TTIFFGraphic::TagFloat(TStream& stream, std::uint32_t tag, float defaultValue) const {
    std::size_t index = 0;
    if (!LocateTag(tag, index) || Entries[index].Count != 1) return defaultValue;
    double value = 0;
    std::size_t count = 0;
    if (!ForEachValue(stream, tag, true, [&](std::uint32_t, double v) { value = v; }, count)) return defaultValue;
    const auto result = static_cast<float>(value);
    return std::isfinite(result) ? result : defaultValue;
}

void TTIFFGraphic::TagBytes(TStream& stream, std::uint32_t tag, std::vector<std::uint8_t>& values) const {
    values.clear();
    std::size_t count = 0;
    // The count is only known to fit the stream once ForEachValue has checked it.
    std::size_t index = 0;
    if (LocateTag(tag, index)) values.reserve(std::min<std::size_t>(Entries[index].Count, 4096));
    ForEachValue(
        stream, tag, false,
        [&](std::uint32_t, double v) { values.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v))); },
        count);
}

void TTIFFGraphic::TagCardinals(TStream& stream, std::uint32_t tag, std::vector<std::uint32_t>& values) const {
    values.clear();
    std::size_t count = 0;
    std::size_t index = 0;
    if (LocateTag(tag, index)) values.reserve(std::min<std::size_t>(Entries[index].Count, 4096));
    ForEachValue(stream, tag, false, [&](std::uint32_t, double v) { values.push_back(static_cast<std::uint32_t>(v)); },
                 count);
}

void TTIFFGraphic::TagFloats(TStream& stream, std::uint32_t tag, std::vector<float>& values) const {
    values.clear();
    std::size_t count = 0;
    ForEachValue(stream, tag, true, [&](std::uint32_t, double v) { values.push_back(static_cast<float>(v)); },
                 count);
}

// --- Header record ---------------------------------------------------------------

bool TTIFFGraphic::ReadImageProperties(TStream& stream, std::uint32_t imageIndex) {
    TFormatGraphic::ReadImageProperties(stream, imageIndex);
    Entries.clear();
    TImageProperties& p = ImageProperties;

    directoryBase_ = stream.Position();
    std::uint8_t h[kHeaderSize];
    stream.ReadBuffer(h, sizeof h);
    const bool big = h[0] == 'M' && h[1] == 'M';
    if (big) p.Options |= OptionBigEndian;
    p.Version = Word(h + 2, big);
    p.DirectoryOffset = Long(h + 4, big);
    if (p.Version != kVersion) return false;

    if (!ReadDirectoryEntries(stream, imageIndex, big)) return false;
    SortEntries();

    p.Width = TagInteger(tagImageWidth, 0);
    p.Height = TagInteger(tagImageLength, 0);
    if (p.Width == 0 || p.Height == 0) return false;

    TagCardinals(stream, tagRowsPerStrip, p.RowsPerStrip);
    if (p.RowsPerStrip.empty() || p.RowsPerStrip[0] == 0xFFFFFFFFu) p.RowsPerStrip.assign(1, p.Height);

    ReadSampleLayout(stream);
    ReadYCbCrFields(stream);

    // TIFF's own default is chunky (1).
    p.PlanarLayout = TagInteger(tagPlanarConfiguration, 1);
    p.XResolution = TagFloat(stream, tagXResolution, 0.0f);
    p.YResolution = TagFloat(stream, tagYResolution, 0.0f);
    if (TagInteger(tagResolutionUnit, 2) == 3) {
        p.XResolution *= 2.54f;
        p.YResolution *= 2.54f;
    }
    p.Predictor = TagInteger(tagPredictor, 0);
    if (TagInteger(tagFillOrder, 1) == 2) p.Options |= OptionReversedBits;
    return true;
}

bool TTIFFGraphic::ReadDirectoryEntries(TStream& stream, std::uint32_t imageIndex, bool big) {
    std::uint32_t offset = ImageProperties.DirectoryOffset;
    std::uint8_t word[4];
    for (;;) {
        stream.SetPosition(directoryBase_ + static_cast<std::int64_t>(offset));
        stream.ReadBuffer(word, 2);
        const std::uint16_t count = Word(word, big);
        if (imageIndex == 0) {
            std::vector<std::uint8_t> block(count * kEntrySize);
            stream.ReadBuffer(block.data(), block.size());
            Entries.resize(count);
            for (std::size_t i = 0; i < count; ++i) Entries[i] = ParseTIFFEntry(block.data() + i * kEntrySize, big);
            return true;
        }
        --imageIndex;
        stream.Seek(static_cast<std::int64_t>(count * kEntrySize), SeekOrigin::Current);
        stream.ReadBuffer(word, 4);
        offset = Long(word, big);
        if (offset == 0) return false;
    }
}

void TTIFFGraphic::ReadSampleLayout(TStream& stream) {
    TImageProperties& p = ImageProperties;
    samplesPerPixel_ = TagInteger(tagSamplesPerPixel, 1);
    p.SamplesPerPixel = static_cast<std::uint8_t>(std::min<std::uint32_t>(samplesPerPixel_, 255));
    std::vector<std::uint32_t> values;
    TagCardinals(stream, tagBitsPerSample, values);
    bitsPerSample_ = values.empty() ? 1 : values[0];
    p.BitsPerSample = static_cast<std::uint8_t>(bitsPerSample_);
    p.TileWidth = TagInteger(tagTileWidth, 0);
    p.TileLength = TagInteger(tagTileLength, 0);
    if (p.TileWidth > 0 && p.TileLength > 0) p.Options |= OptionTiled;
    photometric_ = TagInteger(tagPhotometric, 0);
    if (photometric_ == 0) p.Options |= OptionMinIsWhite;
    p.ColorScheme = ColorModelFor(photometric_, samplesPerPixel_);

    // Alpha only when the pixel holds more samples than its model's own:
    // otherwise the converter would step over samples that are not there.
    TagCardinals(stream, tagExtraSamples, values);
    p.AlphaPresent = !values.empty() && std::all_of(values.begin(), values.end(), [](std::uint32_t v) { return v <= 2; }) &&
                     samplesPerPixel_ > OwnSamples(p.ColorScheme);
    p.BitsPerPixel = static_cast<std::uint8_t>(p.BitsPerSample * p.SamplesPerPixel);
    p.Compression = CompressionCodeFor(TagInteger(tagCompression, 0) & 0xFFFFu);
}

void TTIFFGraphic::ReadYCbCrFields(TStream& stream) {
    TImageProperties& p = ImageProperties;
    if (p.ColorScheme == TColorModel::cmYCbCr) {
        std::size_t index = 0;
        if (LocateTag(tagYCbCrSubSampling, index)) TagBytes(stream, tagYCbCrSubSampling, p.YCbCrSubSampling);
        // Fewer than two factors cannot describe the layout: use the default.
        if (p.YCbCrSubSampling.size() < 2) p.YCbCrSubSampling = {2, 2};
        YCbCrPositioning = LocateTag(tagYCbCrPositioning, index) ? TagInteger(tagYCbCrPositioning, 0) : 1;
        std::vector<float> coefficients;
        if (LocateTag(tagYCbCrCoefficients, index)) TagFloats(stream, tagYCbCrCoefficients, coefficients);
        // The chroma tables divide by the green weight and convert the
        // products to integers: anything but finite weights with a positive
        // green one falls back to the standard weights.
        const bool usable = coefficients.size() >= 3 &&
                            std::all_of(coefficients.begin(), coefficients.begin() + 3,
                                        [](float v) { return std::isfinite(v) && std::fabs(v) <= 1000.0f; }) &&
                            coefficients[1] > 0.0f;
        YCbCrCoefficients = usable ? std::vector<float>(coefficients.begin(), coefficients.begin() + 3)
                                   : std::vector<float>{0.299f, 0.587f, 0.114f};
    } else {
        YCbCrPositioning = 1;
        YCbCrCoefficients = {0.299f, 0.587f, 0.114f};
    }
}

}  // namespace orv
