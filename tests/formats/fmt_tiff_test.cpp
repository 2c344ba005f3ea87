#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <zlib.h>

#include "formats/codec_base.h"
#include "formats/fmt_eps.h"
#include "formats/fmt_tiff.h"
#include "formats/fmt_tiff_predictor.h"
#include "formats/library.h"
#include "platform/base/stream.h"
#include "tests/support/reader_test_support.h"

namespace orv {
namespace {

using namespace reader_test;

const std::string kDataDir = std::string(ORV_TEST_DATA) + "/tiff/";

// --- A small TIFF writer for crafted files ----------------------------------

// A value field that stands for the offset of the data after the directory.
constexpr std::uint32_t kTail = 0xFFFFFFFFu;

class TiffBuilder {
public:
    explicit TiffBuilder(bool big = false) : big_(big) {}
    // Data before the directory (strips, maps); answers its offset.
    std::uint32_t Data(const Bytes& bytes) {
        const auto at = static_cast<std::uint32_t>(8 + data_.size());
        data_.insert(data_.end(), bytes.begin(), bytes.end());
        return at;
    }
    // Data after the directory, so that the file can end inside it.
    void Tail(const Bytes& bytes) { tail_ = bytes; }
    // Values of the type (rationals as numerator, denominator pairs); count 0
    // takes the count from the values.
    TiffBuilder& Add(std::uint16_t tag, std::uint16_t type, std::vector<std::uint32_t> values,
                     std::uint32_t count = 0) {
        fields_.push_back({tag, type, count, std::move(values), false});
        return *this;
    }
    // An entry with its value field as given (kTail: the tail's offset).
    TiffBuilder& Raw(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t field) {
        fields_.push_back({tag, type, count, {field}, true});
        return *this;
    }
    TiffBuilder& Short(std::uint16_t tag, std::vector<std::uint32_t> v) { return Add(tag, ttShort, std::move(v)); }
    TiffBuilder& Long(std::uint16_t tag, std::vector<std::uint32_t> v) { return Add(tag, ttLong, std::move(v)); }

    // Header, data, values that do not fit in an entry, the directory with the
    // fields in the order given (not sorted), the tail.
    Bytes Build() const {
        Bytes out;
        auto put = [&](Bytes& b, std::uint32_t v, int size) {
            for (int i = 0; i < size; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * (big_ ? size - 1 - i : i))));
        };
        out.push_back(big_ ? 'M' : 'I');
        out.push_back(big_ ? 'M' : 'I');
        put(out, 42, 2);
        put(out, 0, 4);
        out.insert(out.end(), data_.begin(), data_.end());
        std::vector<Bytes> entries;
        for (const Field& f : fields_) {
            const bool pairs = f.Type == ttRational || f.Type == ttSRational || f.Type == ttDouble;
            const int size = pairs || TIFFFieldSize(f.Type) == 0 ? 4 : static_cast<int>(TIFFFieldSize(f.Type));
            Bytes entry, values;
            put(entry, f.Tag, 2);
            put(entry, f.Type, 2);
            put(entry, f.Count ? f.Count : static_cast<std::uint32_t>(f.Values.size() / (pairs ? 2 : 1)), 4);
            if (!f.Raw)
                for (std::uint32_t v : f.Values) put(values, v, size);
            if (f.Raw || values.size() > 4) {
                const std::uint32_t field = f.Raw ? f.Values[0] : static_cast<std::uint32_t>(out.size());
                put(entry, field, 4);  // kTail is patched below
                out.insert(out.end(), values.begin(), values.end());
            } else {
                values.resize(4, 0);
                entry.insert(entry.end(), values.begin(), values.end());
            }
            entries.push_back(entry);
        }
        const auto ifd = static_cast<std::uint32_t>(out.size());
        const auto tail = static_cast<std::uint32_t>(ifd + 2 + 12 * entries.size() + 4);
        Bytes word;
        put(word, ifd, 4);
        std::copy(word.begin(), word.end(), out.begin() + 4);
        put(out, static_cast<std::uint32_t>(entries.size()), 2);
        for (Bytes& e : entries) {
            if (e[8] == 0xFF && e[9] == 0xFF && e[10] == 0xFF && e[11] == 0xFF) {
                word.clear();
                put(word, tail, 4);
                std::copy(word.begin(), word.end(), e.begin() + 8);
            }
            out.insert(out.end(), e.begin(), e.end());
        }
        put(out, 0, 4);
        out.insert(out.end(), tail_.begin(), tail_.end());
        return out;
    }

private:
    struct Field {
        std::uint16_t Tag;
        std::uint16_t Type;
        std::uint32_t Count;
        std::vector<std::uint32_t> Values;
        bool Raw;
    };
    bool big_;
    Bytes data_, tail_;
    std::vector<Field> fields_;
};

// An uncompressed strip image: the basic tags plus the one strip.
TiffBuilder Basic(std::uint32_t width, std::uint32_t height, std::uint32_t photometric, std::uint32_t samples,
                  std::uint32_t bits, const Bytes& strip, bool big = false, std::uint32_t compression = 1) {
    TiffBuilder b(big);
    const std::uint32_t at = b.Data(strip);
    b.Long(256, {width}).Long(257, {height}).Short(262, {photometric}).Short(277, {samples});
    b.Short(259, {compression});
    b.Short(258, std::vector<std::uint32_t>(samples, bits));
    b.Long(273, {at}).Long(279, {static_cast<std::uint32_t>(strip.size())});
    return b;
}

// Removes a tag from the first directory of a little-endian file in place.
Bytes DropTag(Bytes file, std::uint16_t tag) {
    auto word = [&](std::size_t at) { return static_cast<std::uint32_t>(file[at] | (file[at + 1] << 8)); };
    const std::size_t ifd = word(4) | (word(6) << 16);
    const std::uint32_t n = word(ifd);
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::size_t at = ifd + 2 + 12 * i;
        if (word(at) != tag) continue;
        // Later entries and the next-directory offset move up one entry;
        // nothing else moves, so every offset stays valid.
        const std::size_t end = ifd + 2 + 12 * n + 4;
        std::copy(file.begin() + static_cast<std::ptrdiff_t>(at + 12), file.begin() + static_cast<std::ptrdiff_t>(end),
                  file.begin() + static_cast<std::ptrdiff_t>(at));
        file[ifd] = static_cast<std::uint8_t>(n - 1);
        file[ifd + 1] = static_cast<std::uint8_t>((n - 1) >> 8);
        return file;
    }
    throw std::runtime_error("tag not found");
}

std::string LoadError(const Bytes& file) { return reader_test::LoadError<TTIFFGraphic>(file); }

const std::string kInvalid = "Cannot load image. Invalid or unexpected TIF/TIFF image format.";

// --- Reference files decoded by libtiff --------------------------------------

struct Reference {
    std::string File;
    std::string Pixels;
};

std::vector<Reference> References() {
    std::ifstream in(kDataDir + "references.txt");
    std::vector<Reference> out;
    std::string file, pixels;
    while (in >> file >> pixels) out.push_back({file, pixels});
    return out;
}

// Largest channel difference our rounding may show against libtiff's: 16-bit
// samples and colour-map entries are narrowed by x * 255 div 65535 (libtiff
// rounds samples and drops the low byte of map entries), JPEG goes through
// the same libjpeg but another upsampler, and CMYK and YCbCr use our own
// colour arithmetic.
int Tolerance(const std::string& name) {
    if (name.find("jpeg") != std::string::npos) return 3;
    for (const char* part : {"cmyk", "ycbcr", "pal8", "16"})
        if (name.find(part) != std::string::npos) return 1;
    return 0;
}

void ExpectLikeLibtiff(const Reference& ref) {
    SCOPED_TRACE(ref.File);
    TTIFFGraphic g;
    ASSERT_NO_THROW(Load(g, ReadFileBytes(kDataDir + ref.File)));
    ASSERT_EQ(g.Width(), 37);
    ASSERT_EQ(g.Height(), 23);
    ExpectRGBPixels(g, ReadFileBytes(kDataDir + ref.Pixels), ref.File, 3, Tolerance(ref.File));
}

void ExpectLikeLibtiff(const std::string& file) {
    for (const auto& ref : References())
        if (ref.File == file) return ExpectLikeLibtiff(ref);
    ADD_FAILURE() << file << " has no reference";
}

// Strips and tiles (edge tiles cut) in every scheme, separate planes of 8
// and 16 bits with and without alpha, YCbCr units, LZW of the old coding
// and bits stored lowest first.
TEST(TiffReader, DecodesLikeLibtiff) {
    const auto refs = References();
    ASSERT_GE(refs.size(), 59u);
    for (const auto& ref : refs) {
        // Our L*a*b* arithmetic is not libtiff's (see the test below).
        if (!ref.File.starts_with("lab")) ExpectLikeLibtiff(ref);
    }
}

// An image of one strip whose uncompressed byte count is short of its rows
// (also as the first of several strips when RowsPerStrip covers the
// picture): libtiff takes the count as bogus and reads the rows on.
TEST(TiffReader, ShortByteCountOfASingleStoredStripIsBogus) {
    ExpectLikeLibtiff("rgb8_none_count_short.tif");
    ExpectLikeLibtiff("rgb8_none_rows5000.tif");
}

// A single compressed strip without a byte count, or with 0: libtiff reads
// it to the end of the file.
TEST(TiffReader, MissingByteCountOfASingleCompressedStripIsEstimated) {
    ExpectLikeLibtiff("rgb8_lzw_count0.tif");
    ExpectLikeLibtiff("rgb8_zip_nocount.tif");
}

// L*a*b* rows reach the colour manager as stored, with L* scaled to 0..255.
TEST(TiffReader, LabRowsGoThroughTheColourManager) {
    const Bytes file = ReadFileBytes(kDataDir + "lab_none.tif");
    TTIFFGraphic g;
    Load(g, file);
    TMemoryStream s(file);
    TTIFFGraphic header;
    ASSERT_TRUE(header.ReadImageProperties(s, 0));
    std::vector<std::uint32_t> offsets;
    header.TagCardinals(s, 273, offsets);
    TColorManager cm;
    cm.SetSourceModel(TColorModel::cmCIELab);
    cm.SourceFlags = cfLabScaledL;
    Bytes target(37 * 3);
    const std::uint32_t rowsPerStrip = header.ImageProperties.RowsPerStrip[0];
    for (int y = 0; y < 23; ++y) {
        const std::size_t at = offsets[y / rowsPerStrip] + (y % rowsPerStrip) * 37 * 3;
        cm.ConvertLine(file.data() + at, 37 * 3, target.data(), target.size(), 37);
        ASSERT_EQ(std::memcmp(target.data(), g.ScanLine(y), target.size()), 0) << y;
    }
}

TEST(TiffReader, JpegWithoutPlanarConfigurationIsChunky) {
    for (const char* name : {"rgb8_jpeg_rgb.tif", "rgb8_jpeg_ycbcr.tif"}) {
        const Bytes file = ReadFileBytes(kDataDir + name);
        TTIFFGraphic with, without;
        Load(with, file);
        ASSERT_NO_THROW(Load(without, DropTag(file, 284))) << name;
        for (int y = 0; y < 23; ++y)
            ASSERT_EQ(std::memcmp(with.ScanLine(y), without.ScanLine(y), 37 * 3), 0) << name;
    }
}

// Strips libtiff wrote with the schemes our tools cannot make, wrapped in a
// directory of our own; the bitmap rows must be the decoded rows.
TEST(TiffReader, FaxAndThunderScanStripsDecodeLikeLibtiff) {
    struct Case {
        const char* name;
        const char* rows;  // the picture libtiff wrote (its word-aligned decoding differs)
        std::uint32_t compression, width, height, bits, photometric, fillOrder;
    };
    const Case cases[] = {{"mh_s0", "mh.image", 2, 301, 16, 1, 0, 1},
                          {"mhw_s0", "mhw.image", 32771, 301, 16, 1, 0, 1},
                          {"g3_lsb_s0", "g3_lsb_s0.rows", 3, 301, 16, 1, 0, 2},
                          {"thunder_s0", "thunder_s0.rows", 32809, 13, 4, 4, 1, 1}};
    const std::string dir = std::string(ORV_TEST_DATA) + "/codecs/";
    for (const Case& c : cases) {
      for (const bool tiled : {false, true}) {
        SCOPED_TRACE(std::string(c.name) + (tiled ? " as a tile" : ""));
        const Bytes packed = ReadFileBytes(dir + c.name + ".packed");
        const Bytes rows = ReadFileBytes(dir + c.rows);
        TiffBuilder b;
        const std::uint32_t at = b.Data(packed);
        b.Long(256, {c.width}).Long(257, {c.height}).Short(258, {c.bits}).Short(259, {c.compression});
        b.Short(262, {c.photometric}).Short(266, {c.fillOrder});
        // The decoders take the block's width: a tile as large as the image.
        if (tiled) b.Long(322, {c.width}).Long(323, {c.height}).Long(324, {at}).Long(325, {static_cast<std::uint32_t>(packed.size())});
        else b.Long(278, {c.height}).Long(273, {at}).Long(279, {static_cast<std::uint32_t>(packed.size())});
        TTIFFGraphic g;
        ASSERT_NO_THROW(Load(g, b.Build()));
        const std::size_t rowBytes = (c.width * c.bits + 7) / 8;
        ASSERT_EQ(rows.size(), rowBytes * c.height);
        for (std::uint32_t y = 0; y < c.height; ++y)
            ASSERT_EQ(std::memcmp(g.ScanLine(static_cast<int>(y)), rows.data() + y * rowBytes, rowBytes), 0) << y;
        // White is zero in the fax images: their palette starts with white.
        if (c.photometric == 0) {
            EXPECT_EQ(g.Palette().Entry(0), (TPaletteEntry{255, 255, 255, 0}));
        }
      }
    }
}

TEST(TiffReader, PicksBitmapFormatsByLayout) {
    const std::map<std::string, TPixelFormat> expected = {
        {"gray1_none.tif", TPixelFormat::pf1bit},     {"gray2_none.tif", TPixelFormat::pf4bit},
        {"pal2_none.tif", TPixelFormat::pf4bit},      {"gray16_none_be.tif", TPixelFormat::pf8bit},
        {"grayalpha_lzw.tif", TPixelFormat::pf8bit},  {"gray8_jpeg.tif", TPixelFormat::pf8bit},
        {"rgb8_jpeg_ycbcr.tif", TPixelFormat::pf24bit}, {"rgba_none.tif", TPixelFormat::pf32bit},
        {"cmyk_none.tif", TPixelFormat::pf24bit},
    };
    for (const auto& [file, format] : expected) {
        TTIFFGraphic g;
        Load(g, ReadFileBytes(kDataDir + file));
        EXPECT_EQ(g.PixelFormat(), format) << file;
    }
}

TEST(TiffReader, TilesOfAnyWidthFillTheirPartOfThePicture) {
    // A 1-bit picture of 11 x 3 in tiles 3 pixels wide and 2 high (no whole
    // bytes: each tile's bits land mid-byte), against the same rows in a strip.
    const Bytes rows = {0xB5, 0x60, 0x3C, 0xA0, 0xF0, 0x20};
    TTIFFGraphic strip;
    Load(strip, Basic(11, 3, 1, 1, 1, rows).Build());
    auto bit = [&](std::uint32_t x, std::uint32_t y) { return (rows[y * 2 + x / 8] >> (7 - x % 8)) & 1; };
    TiffBuilder b;
    std::vector<std::uint32_t> offsets, counts;
    for (std::uint32_t ty = 0; ty < 2; ++ty) {
        for (std::uint32_t tx = 0; tx < 4; ++tx) {
            Bytes tile(2, 0xFF);  // pixels past the edges are set: they must not show
            for (std::uint32_t y = 0; y < 2; ++y)
                for (std::uint32_t x = 0; x < 3; ++x)
                    if (tx * 3 + x < 11 && ty * 2 + y < 3 && !bit(tx * 3 + x, ty * 2 + y))
                        tile[y] = static_cast<std::uint8_t>(tile[y] & ~(0x80u >> x));
            offsets.push_back(b.Data(tile));
            counts.push_back(2);
        }
    }
    b.Long(256, {11}).Long(257, {3}).Short(262, {1}).Short(258, {1}).Short(259, {1});
    b.Long(322, {3}).Long(323, {2}).Long(324, offsets).Long(325, counts);
    TTIFFGraphic tiled;
    Load(tiled, b.Build());
    ASSERT_EQ(tiled.Width(), 11);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 11; ++x) EXPECT_EQ(tiled.GetPixel(x, y), strip.GetPixel(x, y)) << x << "," << y;

    // Fewer tiles than the picture needs are refused; so is a tile far
    // larger than the picture, before anything is allocated for it.
    TiffBuilder missing;
    const std::uint32_t one = missing.Data(Bytes(4, 200));
    missing.Long(256, {4}).Long(257, {2}).Short(262, {1}).Short(258, {8}).Short(259, {1});
    missing.Long(322, {2}).Long(323, {2}).Long(324, {one}).Long(325, {4});
    EXPECT_EQ(LoadError(missing.Build()), kInvalid);
    TiffBuilder huge;
    huge.Long(256, {4}).Long(257, {2048}).Short(262, {1}).Short(258, {8}).Short(259, {1});
    huge.Long(322, {1u << 16}).Long(323, {1u << 12}).Long(324, {8}).Long(325, {4});
    EXPECT_EQ(LoadError(huge.Build()), kInvalid);
}

TEST(TiffReader, EpsShowsItsTiffPreview) {
    const Bytes tiff = ReadFileBytes(kDataDir + "rgb8_lzw.tif");
    Bytes eps(10000, ' ');
    const std::uint8_t header[30] = {0xC5, 0xD0, 0xD3, 0xC6, 30, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0,
                                     0,    0,    0,    0,    0,  0x10, 0x27, 0, 0,  0, 0, 0, 0, 0xFF, 0xFF};
    std::memcpy(eps.data(), header, sizeof header);
    const auto length = static_cast<std::uint32_t>(tiff.size());
    std::memcpy(eps.data() + 24, &length, 4);  // little-endian host
    eps.insert(eps.end(), tiff.begin(), tiff.end());

    TMemoryStream probe(eps);
    EXPECT_TRUE(TEPSGraphic::CanLoadStream(probe));
    EXPECT_EQ(probe.Position(), 0);
    EXPECT_FALSE(TTIFFGraphic::CanLoadStream(probe));

    TEPSGraphic g;
    TMemoryStream s(eps);
    g.LoadFromStream(s);
    TTIFFGraphic plain;
    Load(plain, tiff);
    ASSERT_EQ(g.Width(), 37);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x) ASSERT_EQ(g.GetPixel(x, y), plain.GetPixel(x, y));

    Bytes bad = eps;
    bad[0] = 0;
    TMemoryStream badStream(bad);
    EXPECT_FALSE(TEPSGraphic::CanLoadStream(badStream));
    TEPSGraphic badEps;
    try {
        badEps.LoadFromStream(badStream);
        ADD_FAILURE() << "bad magic loaded";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Cannot load image. Invalid or unexpected EPS image format.");
    }
    // A section offset inside the header is refused instead of read backwards.
    Bytes inside = eps;
    inside[20] = 10;
    inside[21] = 0;
    TMemoryStream insideStream(inside);
    TEPSGraphic insideEps;
    EXPECT_THROW(insideEps.LoadFromStream(insideStream), EInvalidGraphic);
}

TEST(TiffReader, HeaderTest) {
    const Bytes good = Basic(1, 1, 1, 1, 8, {0}).Build();
    TMemoryStream s(good);
    EXPECT_TRUE(TTIFFGraphic::CanLoadStream(s));
    Bytes wrongVersion = good;
    wrongVersion[2] = 43;
    TMemoryStream s2(wrongVersion);
    EXPECT_FALSE(TTIFFGraphic::CanLoadStream(s2));
    Bytes otherOrder = good;
    otherOrder[0] = otherOrder[1] = 'X';
    TMemoryStream s3(otherOrder);
    EXPECT_FALSE(TTIFFGraphic::CanLoadStream(s3));
    // ... but the reader itself takes any mark but "MM" as little-endian.
    TTIFFGraphic g;
    EXPECT_NO_THROW(Load(g, otherOrder));
    Bytes farDirectory = good;
    farDirectory[4] = 0xF0;
    TMemoryStream s4(farDirectory);
    EXPECT_FALSE(TTIFFGraphic::CanLoadStream(s4));
    EXPECT_EQ(s4.Position(), 0);
}

// --- Directory and tags --------------------------------------------------------

TEST(TiffDirectory, ReadsTagsInBothByteOrders) {
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        TiffBuilder b(big);
        // Out of tag order on purpose.
        b.Short(277, {3}).Long(257, {4}).Short(256, {0x0102});
        b.Short(258, {8, 8, 8}).Short(262, {2}).Add(282, ttRational, {100, 1}).Add(283, ttRational, {300, 0});
        b.Short(296, {3}).Add(530, ttShort, {1, 2}).Long(273, {8});
        TTIFFGraphic g;
        const Bytes file = b.Build();
        TMemoryStream s(file);
        ASSERT_TRUE(g.ReadImageProperties(s, 0));
        const TImageProperties& p = g.ImageProperties;
        EXPECT_EQ(p.Width, 258u);
        EXPECT_EQ(p.Height, 4u);
        EXPECT_EQ(p.SamplesPerPixel, 3);
        EXPECT_EQ(p.BitsPerSample, 8);
        EXPECT_EQ(p.ColorScheme, TColorModel::cmRGB);
        EXPECT_FLOAT_EQ(p.XResolution, 254.0f);
        EXPECT_FLOAT_EQ(p.YResolution, 0.0f);  // zero denominator: the default
        EXPECT_EQ(p.PlanarLayout, 1u);         // absent: TIFF's own default
        EXPECT_EQ(p.RowsPerStrip, std::vector<std::uint32_t>{4});
        EXPECT_EQ((p.Options & OptionBigEndian) != 0, big);
        std::vector<std::uint8_t> two;
        g.TagBytes(s, 530, two);
        EXPECT_EQ(two, (std::vector<std::uint8_t>{1, 2}));
        s.SetPosition(0);
        EXPECT_FALSE(g.ReadImageProperties(s, 1));  // a single directory
    }
}

TEST(TiffDirectory, DefaultsAndRefusals) {
    TiffBuilder b;
    b.Long(256, {5}).Long(257, {3}).Long(273, {8});
    const Bytes file = b.Build();
    TMemoryStream s(file);
    TTIFFGraphic g;
    ASSERT_TRUE(g.ReadImageProperties(s, 0));
    EXPECT_EQ(g.ImageProperties.BitsPerSample, 1);
    EXPECT_EQ(g.ImageProperties.SamplesPerPixel, 1);
    EXPECT_EQ(g.ImageProperties.ColorScheme, TColorModel::cmGray);
    EXPECT_NE(g.ImageProperties.Options & OptionMinIsWhite, 0);

    TiffBuilder noHeight;
    noHeight.Long(256, {5});
    const Bytes f2 = noHeight.Build();
    TMemoryStream s2(f2);
    EXPECT_FALSE(g.ReadImageProperties(s2, 0));
    EXPECT_EQ(LoadError(f2), kInvalid);
}

TEST(TiffDirectory, ArrayCountsAreCheckedAgainstTheFile) {
    TiffBuilder b;
    b.Long(256, {1}).Long(257, {1});
    // 0x40000000 LONG values at an offset inside the file: far more bytes
    // than the file holds, so the tag reads as absent without allocating.
    b.Add(273, ttLong, {8, 8}, 0x40000000u);
    // DOUBLE and FLOAT carry no values the reader uses: absent, and the
    // DOUBLE's 8 bytes mark its value field as an offset.
    b.Add(282, ttDouble, {0, 0}).Add(277, ttFloat, {3}).Add(259, 99, {5});
    const Bytes file = b.Build();
    TMemoryStream s(file);
    TTIFFGraphic g;
    ASSERT_TRUE(g.ReadImageProperties(s, 0));
    std::vector<std::uint32_t> offsets{1, 2};
    g.TagCardinals(s, 273, offsets);
    EXPECT_TRUE(offsets.empty());
    EXPECT_EQ(g.TagInteger(277, 7), 7u);
    EXPECT_EQ(g.TagInteger(259, 7), 7u);
    EXPECT_FLOAT_EQ(g.TagFloat(s, 282, 1.5f), 1.5f);
    EXPECT_EQ(g.ImageProperties.SamplesPerPixel, 1);
    EXPECT_EQ(LoadError(file), kInvalid);  // no strips
}

TEST(TiffDirectory, ExtraSamplesMarkAlphaOnlyBeyondTheModelsOwnSamples) {
    struct Case {
        std::uint32_t photometric, samples;
        std::vector<std::uint32_t> extra;
        bool alpha;
    };
    const Case cases[] = {{3, 1, {2}, false}, {3, 2, {2}, true}, {1, 2, {1}, true}, {1, 2, {3}, false},
                          {2, 3, {0}, false}, {2, 4, {0}, true}, {2, 4, {2, 4}, false}};
    for (const Case& c : cases) {
        TiffBuilder b;
        b.Long(256, {1}).Long(257, {1}).Short(262, {c.photometric}).Short(277, {c.samples}).Short(338, c.extra);
        const Bytes file = b.Build();
        TMemoryStream s(file);
        TTIFFGraphic g;
        ASSERT_TRUE(g.ReadImageProperties(s, 0));
        EXPECT_EQ(g.ImageProperties.AlphaPresent, c.alpha) << c.photometric << "/" << c.samples;
    }
}

TEST(TiffDirectory, YCbCrParametersFallBackWhenUnusable) {
    auto read = [](TiffBuilder b) {
        b.Long(256, {1}).Long(257, {1}).Short(262, {6}).Short(277, {3});
        const Bytes file = b.Build();
        TMemoryStream s(file);
        auto g = std::make_unique<TTIFFGraphic>();
        EXPECT_TRUE(g->ReadImageProperties(s, 0));
        return g;
    };
    const std::vector<float> standard{0.299f, 0.587f, 0.114f};
    auto g = read(TiffBuilder().Short(530, {1}).Add(529, ttRational, {299, 1000, 0, 1000, 114, 1000}));
    EXPECT_EQ(g->ImageProperties.YCbCrSubSampling, (std::vector<std::uint8_t>{2, 2}));
    EXPECT_EQ(g->YCbCrCoefficients, standard);  // zero green weight
    g = read(TiffBuilder().Add(529, ttRational, {299, 0, 587, 1000, 114, 1000}));
    EXPECT_EQ(g->YCbCrCoefficients, standard);  // zero denominator
    g = read(TiffBuilder().Add(529, ttRational, {2126, 10000, 7152, 10000, 722, 10000}).Short(530, {1, 1}));
    EXPECT_NEAR(g->YCbCrCoefficients[1], 0.7152f, 1e-6);
    EXPECT_EQ(g->ImageProperties.YCbCrSubSampling, (std::vector<std::uint8_t>{1, 1}));
    EXPECT_EQ(g->YCbCrPositioning, 1u);
}

TEST(TiffDirectory, EqualTagsKeepFileOrderAndManyEntriesSort) {
    TiffBuilder b;
    b.Long(256, {9}).Long(256, {4}).Long(257, {1});
    for (std::uint32_t t = 60000; t > 1000; t -= 7) b.Short(static_cast<std::uint16_t>(t), {t & 0xFF});
    const Bytes file = b.Build();
    TMemoryStream s(file);
    TTIFFGraphic g;
    ASSERT_TRUE(g.ReadImageProperties(s, 0));
    EXPECT_EQ(g.ImageProperties.Width, 9u);
    EXPECT_EQ(g.TagInteger(1001 + 7 * 3, 0), 0u);
    EXPECT_EQ(g.TagInteger(59993, 0), 59993u & 0xFF);
    EXPECT_TRUE(std::is_sorted(g.Entries.begin(), g.Entries.end(),
                               [](const TTIFFEntry& a, const TTIFFEntry& b) { return a.Tag < b.Tag; }));
}

// --- Loading -------------------------------------------------------------------

TEST(TiffPredictor, BlocksGiveTheSameRowsAsTheSharedRoutine) {
    std::uint32_t seed = 12345;
    auto next = [&] { return static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 16); };
    for (unsigned samples = 1; samples <= 5; ++samples) {
        for (std::uint32_t width : {1u, 2u, 5u, 6u, 11u, 16u, 17u, 40u, 333u}) {
            // Rows with room to spare and rows cut short of their pixels.
            for (std::size_t rowBytes : {std::size_t{width} * samples + 7, std::size_t{width} * samples - 1}) {
                Bytes row(rowBytes);
                for (auto& b : row) b = next();
                Bytes want = row;
                UndoHorizontalDifferencing(want.data(), want.size(), width, samples, 8, false);
                UndoTIFFPredictor(row.data(), row.size(), width, samples, 8, false);
                ASSERT_EQ(row, want) << samples << " x " << width << " in " << rowBytes;
            }
        }
    }
}

TEST(TiffLoader, RefusesLayoutsThatDoNotFitTheirRows) {
    // RGB with one sample, CMYK with three, YCbCr with four, gray with two
    // but no alpha, 3 and 12 bits.
    EXPECT_EQ(LoadError(Basic(4, 1, 2, 1, 8, Bytes(4)).Build()), kInvalid);
    EXPECT_EQ(LoadError(Basic(4, 1, 5, 3, 8, Bytes(12)).Build()), kInvalid);
    EXPECT_EQ(LoadError(Basic(4, 1, 6, 4, 8, Bytes(16)).Build()), kInvalid);
    EXPECT_EQ(LoadError(Basic(4, 1, 1, 2, 8, Bytes(8)).Build()), kInvalid);
    EXPECT_EQ(LoadError(Basic(8, 1, 1, 1, 3, Bytes(3)).Build()), kInvalid);
    EXPECT_EQ(LoadError(Basic(4, 1, 1, 1, 12, Bytes(6)).Build()), kInvalid);
    EXPECT_EQ(LoadError(Basic(4, 1, 4, 1, 8, Bytes(4)).Build()), kInvalid);
    // Floating-point samples; a palette image with a second sample that is
    // not alpha.
    EXPECT_EQ(LoadError(Basic(4, 1, 1, 1, 16, Bytes(8)).Short(339, {3}).Build()), kInvalid);
    EXPECT_EQ(LoadError(Basic(4, 1, 3, 2, 8, Bytes(8)).Build()), kInvalid);
    // 259 RGB samples are not 3 (the count does not wrap at a byte).
    EXPECT_EQ(LoadError(Basic(1, 1, 2, 259, 8, Bytes(259)).Build()),
              "Sample count per pixel does not correspond to the given color scheme.");
}

TEST(TiffLoader, UnsupportedCompressionIsNamed) {
    const std::string unsupported = "Cannot load image. The compression scheme is not supported for TIF/TIFF files.";
    for (std::uint32_t scheme : {4u, 6u, 32766u, 12345u})
        EXPECT_EQ(LoadError(Basic(4, 1, 1, 1, 8, Bytes(4), false, scheme).Build()), unsupported) << scheme;
    // Two-dimensional group 3 coding, and LZW with the floating-point predictor.
    EXPECT_EQ(LoadError(ReadFileBytes(kDataDir + "gray1_g3_2d.tif")), unsupported);
    EXPECT_EQ(LoadError(Basic(4, 1, 1, 1, 8, Bytes(4), false, 5).Short(317, {3}).Build()), unsupported);
}

// As libtiff does: differencing belongs to LZW and Deflate data of 8 or 16
// bits; other schemes keep their rows as decoded.
TEST(TiffLoader, DifferencingIsUndoneForLzwAndDeflateOnly) {
    TTIFFGraphic packbits;
    Load(packbits, Basic(3, 1, 1, 1, 8, {0x02, 10, 5, 5}, false, 32773).Short(317, {2}).Build());
    EXPECT_EQ(packbits.ScanLine(0)[2], 5);
    TTIFFGraphic deflate;
    Load(deflate, Basic(3, 1, 1, 1, 8, {0x78, 0x9C, 0xE3, 0x62, 0x65, 0x05, 0x00, 0x00, 0x30, 0x00, 0x15}, false, 8)
                      .Short(317, {2})
                      .Build());
    EXPECT_EQ(deflate.ScanLine(0)[2], 20);
    EXPECT_EQ(LoadError(Basic(8, 1, 1, 1, 1, {0x80}, false, 5).Short(317, {2}).Build()), kInvalid);
}

// RGB rows without padding in the bitmap are decoded straight into it and
// put into its order there; bytes a strip does not reach stay zero.
TEST(TiffLoader, UnpaddedRgbStripsLoadInPlace) {
    constexpr std::uint32_t kWidth = 20, kRowBytes = kWidth * 3;
    Bytes rows;
    for (std::uint32_t y = 0; y < 3; ++y)
        for (std::uint32_t x = 0; x < kWidth; ++x)
            rows.insert(rows.end(), {std::uint8_t(x * 10 + y), std::uint8_t(100 + x), std::uint8_t(200 + y)});
    auto pack = [](std::uint32_t compression, const std::uint8_t* p, std::size_t n) {
        if (compression == 1) return Bytes(p, p + n);
        Bytes out(compressBound(static_cast<uLong>(n)));
        if (compression == 8) {
            uLongf size = static_cast<uLongf>(out.size());
            compress2(out.data(), &size, p, static_cast<uLong>(n), 6);
            out.resize(size);
            return out;
        }
        out.clear();
        for (std::size_t k; n > 0; p += k, n -= k) {
            k = std::min<std::size_t>(n, 128);
            out.push_back(static_cast<std::uint8_t>(k - 1));
            out.insert(out.end(), p, p + k);
        }
        return out;
    };
    for (const std::uint32_t compression : {1u, 32773u, 8u}) {
        // Rows 0 and 1, then row 2 cut after seven pixels (stored data are
        // read as far as the file goes: there the row is whole).
        const std::uint32_t cut = compression == 1 ? kWidth : 7;
        const Bytes first = pack(compression, rows.data(), 2 * kRowBytes);
        const Bytes second = pack(compression, rows.data() + 2 * kRowBytes, cut * 3);
        TiffBuilder b;
        const std::uint32_t a = b.Data(first), c = b.Data(second);
        b.Long(256, {kWidth}).Long(257, {3}).Short(262, {2}).Short(277, {3}).Short(258, {8, 8, 8});
        b.Short(259, {compression}).Long(278, {2}).Long(273, {a, c});
        b.Long(279, {static_cast<std::uint32_t>(first.size()), static_cast<std::uint32_t>(second.size())});
        TTIFFGraphic g;
        Load(g, b.Build());
        for (int y = 0; y < 3; ++y)
            for (std::uint32_t x = 0; x < kWidth; ++x) {
                const std::uint8_t* rgb = rows.data() + y * kRowBytes + x * 3;
                const bool reached = y < 2 || x < cut;
                const std::uint8_t* bgr = g.ScanLine(y) + x * 3;
                EXPECT_EQ(Bytes(bgr, bgr + 3), reached ? Bytes({rgb[2], rgb[1], rgb[0]}) : Bytes(3, 0))
                    << compression << " " << x << "," << y;
            }
    }
}

TEST(TiffLoader, StripsAreBoundedByTheImageAndTheFile) {
    // Huge rows per strip, a strip cut short by the end of the file: the
    // rows it reaches load, the rest stays zero.
    TiffBuilder b;
    b.Long(256, {3}).Long(257, {4}).Short(262, {1}).Short(258, {8}).Short(259, {1}).Long(278, {0xFFFFFFF0u});
    b.Raw(273, ttLong, 1, kTail).Long(279, {12});
    b.Tail({10, 20, 30, 40, 50});
    const Bytes file = b.Build();
    TTIFFGraphic g;
    Load(g, file);
    ASSERT_EQ(g.Height(), 4);
    EXPECT_EQ(g.ScanLine(0)[0], 10);
    EXPECT_EQ(g.ScanLine(1)[1], 50);
    EXPECT_EQ(g.ScanLine(1)[2], 0);
    EXPECT_EQ(g.ScanLine(3)[0], 0);

    // A strip whose offset lies past the end leaves its rows empty; the
    // strip after it still fills its own rows, not the missing ones.
    TiffBuilder gap;
    const std::uint32_t first = gap.Data({1, 2}), third = gap.Data({5, 6});
    gap.Long(256, {2}).Long(257, {3}).Short(262, {1}).Short(258, {8}).Short(259, {1}).Long(278, {1});
    gap.Long(273, {first, 0x7FFFFFF0u, third}).Long(279, {2, 2, 2});
    TTIFFGraphic g3;
    Load(g3, gap.Build());
    EXPECT_EQ(g3.ScanLine(0)[1], 2);
    EXPECT_EQ(g3.ScanLine(1)[0], 0);
    EXPECT_EQ(g3.ScanLine(2)[0], 5);

    // Strips after the last row are not read: the third has no byte count,
    // which would be an error for a compressed strip that is decoded.
    const Bytes packed = {0x01, 0x07, 0x08};  // PackBits: two literal bytes
    TiffBuilder extra;
    const std::uint32_t a = extra.Data(packed), c = extra.Data(packed);
    extra.Long(256, {2}).Long(257, {2}).Short(262, {1}).Short(258, {8}).Short(259, {32773}).Long(278, {1});
    extra.Long(273, {a, c, 0x7FFFFFF0u}).Long(279, {3, 3});
    TTIFFGraphic g2;
    ASSERT_NO_THROW(Load(g2, extra.Build()));
    EXPECT_EQ(g2.ScanLine(1)[1], 8);

    // A compressed strip that is needed but has no byte count is refused.
    TiffBuilder missing;
    const std::uint32_t m = missing.Data(packed);
    missing.Long(256, {2}).Long(257, {2}).Short(262, {1}).Short(258, {8}).Short(259, {32773}).Long(278, {1});
    missing.Long(273, {m, m});
    missing.Add(279, ttShort, {3});
    EXPECT_EQ(LoadError(missing.Build()), kInvalid);

    // Fewer strips than the rows need, and separate planes whose strips do
    // not match their RowsPerStrip (libtiff cannot read that file either).
    TiffBuilder few;
    const std::uint32_t f = few.Data({1, 2, 3, 4});
    few.Long(256, {2}).Long(257, {3}).Short(262, {1}).Short(258, {8}).Short(259, {1}).Long(278, {1});
    few.Long(273, {f, f + 2}).Long(279, {2, 2});
    EXPECT_EQ(LoadError(few.Build()), kInvalid);
    EXPECT_EQ(LoadError(ReadFileBytes(kDataDir + "rgb8_planar_wrong_rows.tif")), kInvalid);
}

TEST(TiffLoader, StoredStripsEndAtTheirByteCount) {
    // Of several strips, the bytes after one that its byte count cuts short
    // belong to something else (libtiff refuses such a strip): they stay
    // zero, in gray rows and in RGB rows converted straight into the bitmap.
    Bytes data(24);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i + 1);
    for (const std::uint32_t samples : {1u, 3u}) {
        TiffBuilder b;
        const std::uint32_t at = b.Data(data), rowBytes = 4 * samples;
        b.Long(256, {4}).Long(257, {2}).Short(262, {samples == 1 ? 1u : 2u}).Short(277, {samples});
        b.Short(258, std::vector<std::uint32_t>(samples, 8)).Short(259, {1}).Long(278, {1});
        b.Long(273, {at, at + rowBytes}).Long(279, {rowBytes, samples == 1 ? 2u : 3u});
        TTIFFGraphic g;
        Load(g, b.Build());
        const std::uint8_t* row = g.ScanLine(1);
        if (samples == 1) EXPECT_EQ(Bytes(row, row + 4), Bytes({5, 6, 0, 0}));
        else EXPECT_EQ(Bytes(row, row + 6), Bytes({15, 14, 13, 0, 0, 0}));
    }
    // Where every plane is one strip such a count is bogus: the plane reads
    // on as far as its rows need, as Pillow reads it.
    TiffBuilder planes;
    const std::uint32_t at = planes.Data(data);
    planes.Long(256, {4}).Long(257, {2}).Short(262, {2}).Short(277, {3}).Short(258, {8, 8, 8}).Short(259, {1});
    planes.Short(284, {2}).Long(273, {at, at + 8, at + 16}).Long(279, {3, 8, 8});
    TTIFFGraphic g;
    Load(g, planes.Build());
    EXPECT_EQ(g.GetPixel(3, 1), RGBColor(8, 16, 24));
}

TEST(TiffLoader, StripsThatRereadTheWholeFileForEveryRowAreRefused) {
    // 200000 one-byte rows; every strip claims the whole file (LZW data
    // that ends at once), so each row would read the file again.
    constexpr std::uint32_t rows = 200000;
    TiffBuilder b;
    b.Long(256, {1}).Long(257, {rows}).Short(262, {1}).Short(258, {8}).Short(259, {5}).Long(278, {1});
    b.Add(273, ttLong, std::vector<std::uint32_t>(rows, 0));
    b.Add(279, ttLong, std::vector<std::uint32_t>(rows, 0x7FFFFFFFu));
    const Bytes file = b.Build();
    ASSERT_GT(file.size(), 1000000u);
    EXPECT_EQ(LoadError(file), kInvalid);
}

TEST(TiffLoader, ColorMapsOfAnyLengthStayInsideTheirBuffers) {
    // 8-bit palette image whose map has 300 colours: the first 256 are used.
    Bytes map(2 * 900, 0);
    for (int i = 0; i < 300; ++i) {
        // Little-endian words of 257 times the 8-bit value.
        map[2 * i] = map[2 * i + 1] = static_cast<std::uint8_t>(i);  // red = index
        map[2 * (300 + i)] = map[2 * (300 + i) + 1] = 7;             // green
        map[2 * (600 + i)] = map[2 * (600 + i) + 1] = 9;             // blue
    }
    TiffBuilder b = Basic(3, 1, 3, 1, 8, {0, 5, 255});
    b.Raw(320, ttShort, 900, b.Data(map));
    TTIFFGraphic g;
    Load(g, b.Build());
    EXPECT_EQ(g.GetPixel(1, 0), RGBColor(5, 7, 9));
    EXPECT_EQ(g.GetPixel(2, 0), RGBColor(255, 7, 9));

    // A map cut by the end of the file: 10 of its 1536 bytes are there, the
    // planes of green and blue start past them, so no entry is complete.
    TiffBuilder cut = Basic(3, 1, 3, 1, 8, {0, 1, 2});
    cut.Raw(320, ttShort, 768, kTail);
    cut.Tail({0xFF, 0xFF, 0x80, 0x80, 0, 0, 0, 0, 0, 0});
    TTIFFGraphic g2;
    ASSERT_NO_THROW(Load(g2, cut.Build()));
    EXPECT_EQ(g2.GetPixel(0, 0), clBlack);
    EXPECT_EQ(g2.GetPixel(1, 0), clBlack);
}

TEST(TiffLoader, YCbCrAndGrayAlphaRows) {
    // Uncompressed YCbCr without subsampling: neutral chroma gives gray.
    TiffBuilder b = Basic(2, 1, 6, 3, 8, {200, 128, 128, 50, 128, 128});
    b.Short(530, {1, 1});
    TTIFFGraphic g;
    Load(g, b.Build());
    EXPECT_EQ(g.GetPixel(0, 0), RGBColor(200, 200, 200));
    EXPECT_EQ(g.GetPixel(1, 0), RGBColor(50, 50, 50));

    // Without the tag a unit holds 2 x 2 luma samples and one chroma pair.
    const Bytes unit = {10, 20, 30, 40, 128, 128};
    TTIFFGraphic units;
    Load(units, Basic(2, 2, 6, 3, 8, unit).Build());
    EXPECT_EQ(units.GetPixel(1, 0), RGBColor(20, 20, 20));
    EXPECT_EQ(units.GetPixel(0, 1), RGBColor(30, 30, 30));
    // Units are not spread over separate planes or differenced rows.
    EXPECT_EQ(LoadError(Basic(2, 2, 6, 3, 8, unit).Short(284, {2}).Build()), kInvalid);
    EXPECT_EQ(LoadError(Basic(2, 2, 6, 3, 8, unit, false, 5).Short(317, {2}).Build()), kInvalid);

    // Gray with alpha: the alpha samples are passed over, big-endian 16 bits.
    TiffBuilder ga = Basic(2, 1, 1, 2, 16, {0xFF, 0xFF, 0x00, 0x00, 0x80, 0x00, 0xFF, 0xFF}, true);
    ga.Short(338, {2});
    TTIFFGraphic g2;
    Load(g2, ga.Build());
    EXPECT_EQ(g2.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(g2.GetPixel(0, 0), RGBColor(255, 255, 255));
    EXPECT_EQ(g2.GetPixel(1, 0), RGBColor(127, 127, 127));
}

TEST(TiffLoader, ReportsProgressAndEndsOnFailure) {
    TTIFFGraphic g;
    ProgressCount progress(g);
    Load(g, ReadFileBytes(kDataDir + "rgb8_lzw.tif"));
    EXPECT_EQ(progress.starts, 2);
    EXPECT_EQ(progress.ends, 2);
    EXPECT_EQ(progress.rows, 23);
    progress.starts = progress.ends = 0;
    EXPECT_ANY_THROW(Load(g, Basic(4, 1, 2, 1, 8, Bytes(4)).Build()));
    EXPECT_EQ(progress.ends, progress.starts);
}

}  // namespace
}  // namespace orv
