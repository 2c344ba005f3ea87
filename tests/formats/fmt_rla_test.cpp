// The RLA reader against files built here: run-length rows in both row
// orders, matte channels, gamma texts, and headers and tables that do not
// fit the file.
#include "formats/fmt_rla.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "formats/library.h"
#include "platform/base/errors.h"
#include "platform/base/stream.h"
#include "tests/support/le_bytes.h"
#include "tests/support/reader_test_support.h"

namespace orv {
namespace {

using namespace reader_test;
using test::SetBe16;
using test::SetBe32;

void PutText(Bytes& b, std::size_t at, const std::string& text) { std::memcpy(b.data() + at, text.data(), text.size()); }

// Run-length packets: a count k >= 0 repeats the next byte k + 1 times, a
// negative count -n is followed by n literal bytes.
Bytes Encode(const Bytes& samples) {
    Bytes out;
    std::size_t i = 0;
    while (i < samples.size()) {
        std::size_t run = 1;
        while (i + run < samples.size() && run < 128 && samples[i + run] == samples[i]) ++run;
        if (run >= 3) {
            out.push_back(static_cast<std::uint8_t>(run - 1));
            out.push_back(samples[i]);
            i += run;
            continue;
        }
        std::size_t literal = 0;
        while (i + literal < samples.size() && literal < 128 &&
               !(i + literal + 2 < samples.size() && samples[i + literal] == samples[i + literal + 1] &&
                 samples[i + literal] == samples[i + literal + 2]))
            ++literal;
        out.push_back(static_cast<std::uint8_t>(-static_cast<int>(literal)));
        out.insert(out.end(), samples.begin() + static_cast<std::ptrdiff_t>(i),
                   samples.begin() + static_cast<std::ptrdiff_t>(i + literal));
        i += literal;
    }
    return out;
}

// A picture of w x h pixels of r, g, b and alpha, stored with the given
// channels; rows are stored from the bottom up unless topDown.
struct RLAFile {
    int width = 6;
    int height = 4;
    int colorChannels = 3;
    int matteChannels = 0;
    int bits = 8;
    bool topDown = false;
    std::string gamma = "1.0";
    std::string description = "rgb";
    Bytes redPackets;  // stored for the red channel of every row when not empty

    static std::uint8_t Sample(int x, int y, int c) {
        // Runs on the left, noise on the right.
        if (x < 3) return static_cast<std::uint8_t>(40 * c + 10 * y);
        return static_cast<std::uint8_t>((x * 73 + y * 31 + c * 101) & 0xFF);
    }

    Bytes Build() const {
        Bytes b(740, 0);
        SetBe16(b, 8, 0);
        SetBe16(b, 10, static_cast<std::uint16_t>(width - 1));
        SetBe16(b, 12, static_cast<std::uint16_t>(topDown ? height - 1 : 0));
        SetBe16(b, 14, static_cast<std::uint16_t>(topDown ? 0 : height - 1));
        SetBe16(b, 20, static_cast<std::uint16_t>(colorChannels));
        SetBe16(b, 22, static_cast<std::uint16_t>(matteChannels));
        SetBe16(b, 26, 0xFFFE);
        PutText(b, 28, gamma);
        PutText(b, 580, description);
        SetBe16(b, 658, static_cast<std::uint16_t>(bits));
        const std::size_t table = b.size();
        b.resize(table + 4 * static_cast<std::size_t>(height));
        const int channels = colorChannels + matteChannels;
        for (int stored = 0; stored < height; ++stored) {
            SetBe32(b, table + 4 * static_cast<std::size_t>(stored), static_cast<std::uint32_t>(b.size()));
            const int y = topDown ? stored : height - 1 - stored;
            for (int c = 0; c < channels; ++c) {
                Bytes samples;
                for (int x = 0; x < width; ++x) samples.push_back(Sample(x, y, c));
                const Bytes packed = c == 0 && !redPackets.empty() ? redPackets : Encode(samples);
                const std::size_t at = b.size();
                b.resize(at + 2);
                SetBe16(b, at, static_cast<std::uint16_t>(packed.size()));
                b.insert(b.end(), packed.begin(), packed.end());
            }
        }
        return b;
    }
};

void ExpectPicture(TRLAGraphic& rla, const RLAFile& f, bool alpha) {
    ASSERT_EQ(rla.Width(), f.width);
    ASSERT_EQ(rla.Height(), f.height);
    ASSERT_EQ(rla.PixelFormat(), alpha ? TPixelFormat::pf32bit : TPixelFormat::pf24bit);
    const int step = alpha ? 4 : 3;
    int mismatches = 0;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) {
            const std::uint8_t* p = rla.ScanLine(y) + x * step;
            const bool same = p[0] == RLAFile::Sample(x, y, 2) && p[1] == RLAFile::Sample(x, y, 1) &&
                              p[2] == RLAFile::Sample(x, y, 0) && (!alpha || p[3] == RLAFile::Sample(x, y, 3));
            if (!same && mismatches++ < 5) ADD_FAILURE() << "pixel " << x << "," << y;
        }
}

TEST(RLAReader, LoadsRowsInBothOrders) {
    for (const bool topDown : {false, true}) {
        RLAFile f;
        f.width = 300;  // packets longer than one run or literal
        f.topDown = topDown;
        TRLAGraphic rla;
        Load(rla, f.Build());
        ExpectPicture(rla, f, false);
        EXPECT_EQ(rla.ImageProperties.BottomUp, !topDown);
        EXPECT_EQ(rla.ImageProperties.ColorScheme, TColorModel::cmRGB);
        EXPECT_EQ(rla.ImageProperties.Options & OptionGamma, 0);
    }
}

TEST(RLAReader, FirstMatteChannelIsAlpha) {
    for (const int mattes : {1, 2}) {
        RLAFile f;
        f.matteChannels = mattes;
        f.description = "RGB";
        TRLAGraphic rla;
        Load(rla, f.Build());
        EXPECT_EQ(rla.ImageProperties.ColorScheme, TColorModel::cmRGBA);
        EXPECT_EQ(rla.ImageProperties.SamplesPerPixel, 4);
        ExpectPicture(rla, f, true);
    }
}

TEST(RLAReader, GammaTexts) {
    EXPECT_FLOAT_EQ(TRLAGraphic::ParseGamma("2.2").value_or(0), 2.2f);
    EXPECT_FLOAT_EQ(TRLAGraphic::ParseGamma(" +1.8 ").value_or(0), 1.8f);
    EXPECT_FLOAT_EQ(TRLAGraphic::ParseGamma("10").value_or(0), 10.0f);
    for (const char* bad : {"", "nan", "inf", "-inf", "1e30", "10.5", "0", "-1", "2.2x", "abc"})
        EXPECT_FALSE(TRLAGraphic::ParseGamma(bad).has_value()) << bad;

    RLAFile f;
    f.gamma = "2.2";
    TRLAGraphic rla;
    Load(rla, f.Build());
    EXPECT_NE(rla.ImageProperties.Options & OptionGamma, 0);
    EXPECT_FLOAT_EQ(rla.ColorManager.FileGamma(), 2.2f);
    // Colours pass through the gamma table.
    EXPECT_EQ(rla.ScanLine(1)[2], rla.ColorManager.GammaTable()[RLAFile::Sample(0, 1, 0)]);
    EXPECT_NE(rla.ScanLine(1)[2], RLAFile::Sample(0, 1, 0));

    f.gamma = "nan";
    Load(rla, f.Build());
    EXPECT_EQ(rla.ImageProperties.Options & OptionGamma, 0);
    EXPECT_FLOAT_EQ(rla.ImageProperties.Gamma, 1.0f);
    ExpectPicture(rla, f, false);
}

TEST(RLAReader, QuietlyEmptyForHeadersItRejects) {
    RLAFile xyz;
    xyz.description = "xyz";
    RLAFile narrow;
    narrow.width = 0;
    for (const Bytes& file : {xyz.Build(), narrow.Build(), Bytes(100, 0)}) {
        TRLAGraphic rla;
        Load(rla, file);
        EXPECT_TRUE(rla.Empty());
    }
}

TEST(RLAReader, RefusesLayoutsItCannotConvert) {
    const std::string invalid = "Invalid color format in RLA file.";
    RLAFile gray;
    gray.colorChannels = 1;
    RLAFile deep;
    deep.bits = 16;
    RLAFile wrapped;  // 259 channels would wrap to 3 in a byte
    wrapped.colorChannels = 259;
    wrapped.height = 1;
    for (const RLAFile& f : {gray, deep, wrapped}) {
        TRLAGraphic rla;
        try {
            Load(rla, f.Build());
            ADD_FAILURE() << "loaded";
        } catch (const EInvalidGraphic& e) {
            EXPECT_EQ(std::string(e.what()), invalid);
            EXPECT_TRUE(rla.Empty());
        }
    }
    RLAFile unknown;
    unknown.description = "abc";
    TRLAGraphic rla;
    EXPECT_THROW(Load(rla, unknown.Build()), EColorConversionError);
}

TEST(RLAReader, TablesAndRowsBeyondTheFile) {
    // A row table longer than the file: refused before the picture is sized.
    RLAFile tall;
    tall.height = 4;
    Bytes file = tall.Build();
    SetBe16(file, 12, 0);
    SetBe16(file, 14, 30000);
    {
        TRLAGraphic rla;
        EXPECT_THROW(Load(rla, file), EInvalidGraphic);
        EXPECT_TRUE(rla.Empty());
    }
    // A row offset past the end, and a packet cut short.
    Bytes beyond = RLAFile().Build();
    SetBe32(beyond, 740 + 4, 0x7FFFFFF0);
    TRLAGraphic rla;
    EXPECT_THROW(Load(rla, beyond), EReadError);
    Bytes cut = RLAFile().Build();
    cut.resize(cut.size() - 3);
    EXPECT_THROW(Load(rla, cut), EReadError);

    // A packet that ends early leaves the rest of its channel zero.
    RLAFile f;
    f.redPackets = {1, 77};  // one run of two samples
    Load(rla, f.Build());
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) EXPECT_EQ(rla.ScanLine(y)[3 * x + 2], x < 2 ? 77 : 0);
}

TEST(RLAReader, StreamTestAndRegistry) {
    const Bytes file = RLAFile().Build();
    TMemoryStream stream(file);
    EXPECT_TRUE(TRLAGraphic::CanLoadStream(stream));
    EXPECT_EQ(stream.Position(), 0);
    RLAFile xyz;
    xyz.description = "XYZ";
    EXPECT_TRUE(TRLAGraphic::CanLoadStream(*std::make_unique<TMemoryStream>(xyz.Build())));
    Bytes revision = file;
    SetBe16(revision, 26, 0xFFFD);
    EXPECT_FALSE(TRLAGraphic::CanLoadStream(*std::make_unique<TMemoryStream>(revision)));
    // The loader does not look at the revision.
    TRLAGraphic rla;
    Load(rla, revision);
    EXPECT_FALSE(rla.Empty());

    TImageFormatsScope formats;
    TBitmap bitmap;
    ASSERT_TRUE(LoadAsFile(file, "picture.Rla", bitmap));
    EXPECT_EQ(bitmap.GetPixel(4, 1), RGBColor(RLAFile::Sample(4, 1, 0), RLAFile::Sample(4, 1, 1),
                                              RLAFile::Sample(4, 1, 2)));
}

}  // namespace
}  // namespace orv
