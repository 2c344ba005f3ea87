// Set-up of the colour manager: setters, gamma and chroma parameters, the
// choice of converter and the buffer checks of ConvertLine.
#include "formats/color_manager.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/graphics/messages.h"

namespace orv {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string ConvertError(TColorManager& cm, const Bytes& source, std::size_t targetSize, std::uint32_t count) {
    Bytes target(targetSize);
    try {
        cm.ConvertLine(source.data(), source.size(), target.data(), target.size(), count);
    } catch (const EColorConversionError& e) {
        return e.what();
    }
    return {};
}

void Configure(TColorManager& cm, TColorModel from, TColorModel to, std::uint8_t sourceBits,
               std::uint8_t targetBits) {
    cm.SetSourceModel(from);
    cm.SetTargetModel(to);
    cm.SetSourceBits(sourceBits);
    cm.SetTargetBits(targetBits);
}

TEST(ColorManager, FreshManagerConvertsRGBToBGRWithoutGamma) {
    TColorManager cm;
    EXPECT_EQ(cm.GammaTable()[0], 0);
    EXPECT_EQ(cm.GammaTable()[1], 21);
    EXPECT_EQ(cm.GammaTable()[128], 186);
    EXPECT_EQ(cm.GammaTable()[200], 228);
    EXPECT_EQ(cm.GammaTable()[255], 255);
    const Bytes source{10, 20, 30, 1, 128, 255};
    Bytes target(6);
    cm.ConvertLine(source.data(), source.size(), target.data(), target.size(), 2);
    EXPECT_EQ(target, (Bytes{30, 20, 10, 255, 128, 1}));
    EXPECT_FALSE(cm.Changed());
}

TEST(ColorManager, SettersValidateAndTrackChanges) {
    TColorManager cm;
    const Bytes rgb(3);
    Bytes out(3);
    cm.ConvertLine(rgb.data(), 3, out.data(), 3, 1);
    ASSERT_FALSE(cm.Changed());

    cm.SetSourceModel(TColorModel::cmRGB);  // same value: no change
    cm.SetTargetBits(8);
    EXPECT_FALSE(cm.Changed());
    cm.SetSourceBits(5);
    EXPECT_TRUE(cm.Changed());
    EXPECT_EQ(cm.SourceBits(), 5);

    for (std::uint8_t bad : {0, 17}) {
        try {
            cm.SetSourceBits(bad);
            ADD_FAILURE() << "bits " << int(bad) << " accepted";
        } catch (const EColorConversionError& e) {
            EXPECT_STREQ(e.what(), msg::InvalidColorDepth);
        }
        EXPECT_EQ(cm.SourceBits(), 5);
        EXPECT_THROW(cm.SetTargetBits(bad), EColorConversionError);
    }
    EXPECT_THROW(cm.SetSourceSamples(0), EColorConversionError);
    EXPECT_THROW(cm.SetTargetSamples(5), EColorConversionError);
    EXPECT_EQ(cm.SourceSamples(), 3);
    cm.SetTargetSamples(4);
    EXPECT_EQ(cm.TargetSamples(), 4);
}

TEST(ColorManager, GammaCorrectionDefaultsAndIdentity) {
    TColorManager defaults;
    TColorManager cm;
    cm.SetGammaCorrection(0, 0);
    EXPECT_EQ(cm.FileGamma(), 1.0f);
    EXPECT_EQ(cm.DisplayGamma(), 2.2f);
    EXPECT_EQ(cm.GammaTable(), defaults.GammaTable());

    cm.SetGammaCorrection(0.45455f, 2.2f);
    for (int i = 0; i < 256; ++i) EXPECT_NEAR(cm.GammaTable()[i], i, 1) << i;

    // A table for 4-bit samples fills only 16 entries; the rest stay.
    cm.SetSourceBits(4);
    cm.SetTargetBits(4);
    cm.SetGammaCorrection(1.0f, 1.0f);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(cm.GammaTable()[i], i);
    EXPECT_EQ(cm.GammaTable()[200], 200);
}

TEST(ColorManager, ChromaParameters) {
    TColorManager cm;
    cm.SetChromaParameters({0.5f}, 1, 1);
    EXPECT_EQ(cm.LumaWeights(), (std::array<float, 3>{0.5f, 0.587f, 0.114f}));
    cm.SetChromaParameters(std::span<const float>{}, 1, 1);  // nothing given: all kept
    EXPECT_EQ(cm.LumaWeights()[0], 0.5f);

    cm.SetChromaParameters({0.2125f, 0.7154f, 0.0721f}, 4, 2);
    EXPECT_EQ(cm.HorzSubsampling(), 4);
    EXPECT_EQ(cm.VertSubsampling(), 2);
    try {
        cm.SetChromaParameters({0.3f}, 2, 4);
        ADD_FAILURE();
    } catch (const EColorConversionError& e) {
        EXPECT_STREQ(e.what(), msg::VerticalSubsampling);
    }
    EXPECT_EQ(cm.LumaWeights()[0], 0.3f);  // weights are stored before the checks
    EXPECT_EQ(cm.HorzSubsampling(), 4);
    try {
        cm.SetChromaParameters({}, 3, 3);
        ADD_FAILURE();
    } catch (const EColorConversionError& e) {
        EXPECT_STREQ(e.what(), msg::InvalidSubsampling);
    }
}

TEST(ColorManager, PixelFormatForSides) {
    TColorManager cm;
    struct Case {
        std::uint8_t samples, bits;
        TPixelFormat expected;
    };
    const Case cases[] = {
        {1, 1, TPixelFormat::pf1bit},  {1, 2, TPixelFormat::pf4bit},    {1, 4, TPixelFormat::pf4bit},
        {1, 8, TPixelFormat::pf8bit},  {1, 16, TPixelFormat::pf8bit},   {1, 5, TPixelFormat::pfCustom},
        {3, 5, TPixelFormat::pf15bit}, {3, 8, TPixelFormat::pf24bit},   {3, 16, TPixelFormat::pf24bit},
        {4, 8, TPixelFormat::pf32bit}, {4, 7, TPixelFormat::pfCustom},  {2, 8, TPixelFormat::pfCustom},
    };
    for (const Case& c : cases) {
        cm.SetTargetSamples(c.samples);
        cm.SetTargetBits(c.bits);
        EXPECT_EQ(cm.PixelFormatFor(1), c.expected) << int(c.samples) << "x" << int(c.bits);
    }
    EXPECT_EQ(cm.PixelFormatFor(0), TPixelFormat::pf24bit);  // source still 3 x 8
}

TEST(ColorManager, ChoosesOrRefusesConverters) {
    struct Case {
        TColorModel from, to;
        std::uint8_t sourceBits, targetBits;
        const char* error;  // null: converts
    };
    using M = TColorModel;
    const Case cases[] = {
        {M::cmGray, M::cmIndexed, 8, 8, nullptr},
        {M::cmIndexed, M::cmGray, 8, 8, nullptr},
        {M::cmGrayAlpha, M::cmIndexed, 8, 8, nullptr},
        {M::cmGray, M::cmGrayAlpha, 8, 8, msg::IndexedNotSupported},
        {M::cmGrayAlpha, M::cmGrayAlpha, 8, 8, msg::IndexedNotSupported},
        {M::cmRGB, M::cmGray, 8, 8, msg::IndexedNotSupported},
        {M::cmRGB, M::cmGrayAlpha, 8, 8, msg::NoConversionFound},
        {M::cmGray, M::cmGray, 16, 4, msg::NoConversionFound},
        {M::cmUnknown, M::cmBGR, 8, 8, msg::NoConversionFound},
        {M::cmReserved, M::cmBGR, 8, 8, msg::NoConversionFound},
        {static_cast<M>(13), M::cmBGR, 8, 8, msg::NoConversionFound},
        {M::cmCMYK, M::cmCMYK, 8, 8, msg::NoConversionFound},
        // Depths that pass the setters but that no converter can pack.
        {M::cmGray, M::cmGray, 12, 8, msg::InvalidColorDepth},
        {M::cmIndexed, M::cmIndexed, 3, 8, msg::InvalidColorDepth},
        {M::cmIndexed, M::cmIndexed, 8, 5, msg::InvalidColorDepth},
        {M::cmIndexed, M::cmIndexed, 16, 9, msg::InvalidColorDepth},
        {M::cmRGB, M::cmBGR, 12, 8, msg::InvalidColorDepth},
        {M::cmYCbCr, M::cmBGR, 8, 4, msg::InvalidColorDepth},
    };
    for (const Case& c : cases) {
        TColorManager cm;
        Configure(cm, c.from, c.to, c.sourceBits, c.targetBits);
        const std::string error = ConvertError(cm, Bytes(64), 64, 4);
        EXPECT_EQ(error, c.error ? c.error : "")
            << int(c.from) << "->" << int(c.to) << " " << int(c.sourceBits) << "/" << int(c.targetBits);
        // A refused configuration stays refused on the next row.
        if (c.error) {
            EXPECT_EQ(ConvertError(cm, Bytes(64), 64, 4), c.error);
        }
    }
}

TEST(ColorManager, AlphaFlagsFollowTheModels) {
    TColorManager cm;
    cm.SourceFlags = cfAlpha | cfByteSwap;
    cm.TargetFlags = cfGamma;
    Configure(cm, TColorModel::cmRGB, TColorModel::cmBGRA, 8, 8);
    Bytes target(4);
    cm.ConvertLine(Bytes(3).data(), 3, target.data(), 4, 1);
    EXPECT_EQ(cm.SourceFlags, cfByteSwap);
    EXPECT_EQ(cm.TargetFlags, cfGamma | cfAlpha);
}

TEST(ColorManager, RefusesBuffersTooShortForTheConfiguration) {
    TColorManager cm;  // 8-bit RGB to BGR
    EXPECT_EQ(ConvertError(cm, Bytes(12), 12, 4), "");
    EXPECT_EQ(ConvertError(cm, Bytes(11), 12, 4), msg::InvalidSampleCount);
    EXPECT_EQ(ConvertError(cm, Bytes(12), 11, 4), msg::InvalidSampleCount);
    EXPECT_EQ(ConvertError(cm, Bytes(), 0, 0), "");  // an empty row does nothing

    // A header claiming RGB over one-sample data: the row holds a third.
    cm.SetSourceBits(16);
    EXPECT_EQ(ConvertError(cm, Bytes(12), 12, 4), msg::InvalidSampleCount);

    // 12-bit gray into an 8-bit row is refused, not packed past the row.
    TColorManager gray;
    Configure(gray, TColorModel::cmGray, TColorModel::cmGray, 12, 12);
    EXPECT_EQ(ConvertError(gray, Bytes(6), 6, 4), msg::InvalidColorDepth);

    // Planar sources need every plane and every plane long enough.
    TColorManager planar;
    Bytes r(2), g(2), b(1), out(6);
    EXPECT_THROW(planar.ConvertLine({{r.data(), 2}, {g.data(), 2}}, out.data(), 6, 2), EColorConversionError);
    EXPECT_THROW(planar.ConvertLine({{r.data(), 2}, {g.data(), 2}, {b.data(), 1}}, out.data(), 6, 2),
                 EColorConversionError);
    b.resize(2);
    EXPECT_NO_THROW(planar.ConvertLine({{r.data(), 2}, {g.data(), 2}, {b.data(), 2}}, out.data(), 6, 2));

    // A mask needs only the selected pixels in the source.
    EXPECT_EQ(planar.RequiredSourceBytes(1, 8, 0xAA), 12u);
    EXPECT_EQ(planar.RequiredSourceBytes(1, 7, 0x81), 3u);
    EXPECT_EQ(planar.RequiredTargetBytes(7), 21u);
}

}  // namespace
}  // namespace orv
