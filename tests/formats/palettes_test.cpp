// Gray ramps and palettes from file colour maps.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "formats/color_manager.h"

namespace orv {
namespace {

using Bytes = std::vector<std::uint8_t>;

TPaletteEntry Gray(std::uint8_t v) { return {v, v, v, 0}; }
TPaletteEntry RGB(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return {r, g, b, 0}; }

TEST(Palettes, GrayRamps) {
    TColorManager cm;
    cm.SetTargetSamples(1);
    cm.SetTargetBits(1);
    EXPECT_EQ(cm.BuildGrayPalette(false).Entries(), (std::vector{Gray(0), Gray(255)}));
    EXPECT_EQ(cm.BuildGrayPalette(true).Entries(), (std::vector{Gray(255), Gray(0)}));

    cm.SetTargetBits(4);
    const TPalette sixteen = cm.BuildGrayPalette(false);
    ASSERT_EQ(sixteen.Count(), 16u);
    for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(sixteen.Entry(i), Gray(static_cast<std::uint8_t>(i * 17)));

    // 3 samples of 8 bits still give 256 levels; 16 bits are capped at 8.
    cm.SetTargetSamples(3);
    cm.SetTargetBits(8);
    EXPECT_EQ(cm.BuildGrayPalette(false).Count(), 256u);
    cm.SetTargetSamples(1);
    cm.SetTargetBits(16);
    const TPalette wide = cm.BuildGrayPalette(true);
    ASSERT_EQ(wide.Count(), 256u);
    EXPECT_EQ(wide.Entry(0), Gray(255));
    EXPECT_EQ(wide.Entry(255), Gray(0));

    cm.SetTargetBits(8);
    cm.TargetFlags = cfGamma;
    const TPalette corrected = cm.BuildGrayPalette(false);
    EXPECT_EQ(corrected.Entry(128), Gray(cm.GammaTable()[128]));

    // Gamma set up while the depth was 4 bits: the ramp is still corrected
    // as 8-bit levels, not looked up in the 16-entry table.
    TColorManager small;
    small.SetSourceBits(4);
    small.SetTargetBits(4);
    small.SetTargetSamples(1);
    small.SetGammaCorrection(1.0f, 2.2f);
    small.TargetFlags = cfGamma;
    const TPalette ramp = small.BuildGrayPalette(false);
    EXPECT_EQ(ramp.Entry(1), Gray(74));
    EXPECT_EQ(ramp.Entry(2), Gray(102));
    EXPECT_EQ(ramp.Entry(15), Gray(255));
}

TEST(Palettes, InterleavedMapsAndComponentOrder) {
    TColorManager cm;
    const Bytes red{255, 0, 0};
    EXPECT_EQ(cm.BuildIndexedPalette({{red.data(), 3}}, cmf8Interleaved, 1, false).Entries(),
              (std::vector{RGB(255, 0, 0)}));
    EXPECT_EQ(cm.BuildIndexedPalette({{red.data(), 3}}, cmf8Interleaved, 1, true).Entries(),
              (std::vector{RGB(0, 0, 255)}));

    // Four-byte entries skip the fourth byte.
    const Bytes quads{1, 2, 3, 99, 4, 5, 6, 99};
    EXPECT_EQ(cm.BuildIndexedPalette({{quads.data(), 8}}, cmf8Interleaved4, 2, true).Entries(),
              (std::vector{RGB(3, 2, 1), RGB(6, 5, 4)}));

    // 16-bit entries: with BGROrder the first word is red; words narrowed.
    const Bytes words{0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(cm.BuildIndexedPalette({{words.data(), 6}}, cmf16Interleaved, 1, true).Entries(),
              (std::vector{RGB(255, 0, 0)}));
    EXPECT_EQ(cm.BuildIndexedPalette({{words.data(), 8}}, cmf16Interleaved4, 1, false).Entries(),
              (std::vector{RGB(0, 0, 255)}));

    // An unknown layout reads nothing: black entries.
    EXPECT_EQ(cm.BuildIndexedPalette({{red.data(), 3}}, 9, 1, false).Entries(), (std::vector{RGB(0, 0, 0)}));
}

TEST(Palettes, PlanarMapsGammaAndByteSwap) {
    TColorManager cm;
    const Bytes r{10, 11}, g{20, 21}, b{30, 31};
    EXPECT_EQ(cm.BuildIndexedPalette({{r.data(), 2}, {g.data(), 2}, {b.data(), 2}}, cmf8Planar, 2, true).Entries(),
              (std::vector{RGB(10, 20, 30), RGB(11, 21, 31)}));

    cm.TargetFlags = cfGamma;
    const auto& t = cm.GammaTable();
    EXPECT_EQ(cm.BuildIndexedPalette({{r.data(), 1}, {g.data(), 1}, {b.data(), 1}}, cmf8Planar2, 1, false).Entries(),
              (std::vector{RGB(t[10], t[20], t[30])}));

    // Big-endian 16-bit planes (a TIFF colour map).
    cm.TargetFlags = 0;
    cm.SourceFlags = cfByteSwap;
    const Bytes wr{0xFF, 0x00}, wg{0x80, 0x00}, wb{0x00, 0xFF};
    EXPECT_EQ(cm.BuildIndexedPalette({{wr.data(), 2}, {wg.data(), 2}, {wb.data(), 2}}, cmf16Planar, 1, false).Entries(),
              (std::vector{RGB(254, 127, 0)}));
}

TEST(Palettes, CountIsLimitedToEntriesAndBuffers) {
    TColorManager cm;
    Bytes big(300 * 3);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i / 3);
    EXPECT_EQ(cm.BuildIndexedPalette({{big.data(), big.size()}}, cmf8Interleaved, 300, false).Count(), 256u);

    // A map shorter than its claimed count: the missing entries stay black.
    const TPalette shortMap = cm.BuildIndexedPalette({{big.data(), 7}}, cmf8Interleaved, 4, false);
    ASSERT_EQ(shortMap.Count(), 4u);
    EXPECT_EQ(shortMap.Entry(1), RGB(1, 1, 1));
    EXPECT_EQ(shortMap.Entry(2), RGB(0, 0, 0));
    // Planar data with a missing plane reads nothing.
    EXPECT_EQ(cm.BuildIndexedPalette({{big.data(), 9}}, cmf8Planar, 3, false).Entry(1), RGB(0, 0, 0));
}

TEST(Palettes, DepthFit) {
    TColorManager cm;
    cm.SetSourceBits(2);
    cm.SetTargetBits(4);
    const Bytes map{1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
    const TPalette fitted = cm.BuildIndexedPalette({{map.data(), map.size()}}, cmf8Interleaved, 4, false);
    ASSERT_EQ(fitted.Count(), 16u);
    for (std::size_t i = 0; i < 16; ++i) {
        const std::uint8_t want = i <= 4 ? 1 : (i <= 9 ? 2 : (i <= 14 ? 3 : 4));
        EXPECT_EQ(fitted.Entry(i), RGB(want, want, want)) << i;
    }

    // Shrinking: 8-bit map to a 1-bit target takes entries 0 and 255.
    cm.SetSourceBits(8);
    cm.SetTargetBits(1);
    Bytes ramp(256 * 3);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::uint8_t>(i / 3);
    EXPECT_EQ(cm.BuildIndexedPalette({{ramp.data(), ramp.size()}}, cmf8Interleaved, 256, false).Entries(),
              (std::vector{RGB(0, 0, 0), RGB(255, 255, 255)}));

    // A 16-bit map to an 8-bit target would name entries far past 256:
    // they are taken from the last entry read instead.
    cm.SetSourceBits(16);
    cm.SetTargetBits(8);
    Bytes wide(256 * 6);
    for (std::size_t i = 0; i < 256; ++i) wide[i * 6 + 1] = static_cast<std::uint8_t>(i);  // red high byte
    const TPalette clamped = cm.BuildIndexedPalette({{wide.data(), wide.size()}}, cmf16Interleaved, 65535, true);
    ASSERT_EQ(clamped.Count(), 256u);
    EXPECT_EQ(clamped.Entry(0).Red, 0);
    EXPECT_EQ(clamped.Entry(1).Red, 254);
    EXPECT_EQ(clamped.Entry(255).Red, 254);
}

}  // namespace
}  // namespace orv
