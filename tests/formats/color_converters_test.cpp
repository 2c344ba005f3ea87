// Row converters against hand-computed rows, one group per colour family.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <random>
#include <tuple>
#include <vector>

#include "formats/color_manager.h"

namespace orv {
namespace {

using Bytes = std::vector<std::uint8_t>;
using M = TColorModel;

struct Setup {
    M from = M::cmRGB, to = M::cmBGR;
    std::uint8_t sourceBits = 8, targetBits = 8;
    TConversionFlags sourceFlags = 0, targetFlags = 0;
};

void Apply(TColorManager& cm, const Setup& s) {
    cm.SetSourceModel(s.from);
    cm.SetTargetModel(s.to);
    cm.SetSourceBits(s.sourceBits);
    cm.SetTargetBits(s.targetBits);
    cm.SourceFlags = s.sourceFlags;
    cm.TargetFlags = s.targetFlags;
}

// Converts one interleaved row into a target pre-filled with `fill`.
Bytes Convert(const Setup& s, const Bytes& source, std::size_t targetSize, std::uint32_t count,
              std::uint8_t mask = 0xFF, std::uint8_t fill = 0xEE) {
    TColorManager cm;
    Apply(cm, s);
    Bytes target(targetSize, fill);
    cm.ConvertLine(source.data(), source.size(), target.data(), target.size(), count, mask);
    return target;
}

Bytes Words(std::initializer_list<std::uint16_t> words) {
    Bytes out;
    for (std::uint16_t w : words) {
        out.push_back(static_cast<std::uint8_t>(w));
        out.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    return out;
}

TEST(RowConverters, RGBFamilyOrderAlphaAndGamma) {
    EXPECT_EQ(Convert({}, {10, 20, 30}, 3, 1), (Bytes{30, 20, 10}));
    EXPECT_EQ(Convert({M::cmBGR, M::cmBGR}, {10, 20, 30}, 3, 1), (Bytes{10, 20, 30}));
    EXPECT_EQ(Convert({M::cmRGB, M::cmRGB}, {10, 20, 30}, 3, 1), (Bytes{10, 20, 30}));
    EXPECT_EQ(Convert({M::cmBGR, M::cmRGBA}, {10, 20, 30}, 4, 1), (Bytes{30, 20, 10, 0xEE}));

    TColorManager gamma;
    const auto& table = gamma.GammaTable();
    EXPECT_EQ(Convert({.targetFlags = cfGamma}, {10, 20, 30}, 3, 1), (Bytes{table[30], table[20], table[10]}));
    // Alpha is carried unchanged, also under gamma.
    EXPECT_EQ(Convert({M::cmRGBA, M::cmBGRA, 8, 8, 0, cfGamma}, {10, 20, 30, 40}, 4, 1),
              (Bytes{table[30], table[20], table[10], 40}));
    // RGBA to BGR: the source steps over its alpha, the target has 3 bytes.
    EXPECT_EQ(Convert({M::cmRGBA, M::cmBGR}, {1, 2, 3, 4, 5, 6, 7, 8}, 6, 2), (Bytes{3, 2, 1, 7, 6, 5}));
    // RGB to BGRA: the fourth target byte keeps what it held.
    EXPECT_EQ(Convert({M::cmRGB, M::cmBGRA}, {1, 2, 3, 4, 5, 6}, 8, 2), (Bytes{3, 2, 1, 0xEE, 6, 5, 4, 0xEE}));
}

TEST(RowConverters, RGBFamilySixteenBits) {
    // Stored big-endian as 18, 52: 4660 after the swap, 4660*255/65535 = 18.
    EXPECT_EQ(Convert({M::cmRGB, M::cmRGB, 16, 8, cfByteSwap}, {18, 52, 0, 0, 255, 255}, 3, 1),
              (Bytes{18, 0, 255}));
    EXPECT_EQ(Convert({M::cmRGB, M::cmRGB, 16, 8}, {18, 52, 0, 0, 255, 255}, 3, 1),
              (Bytes{51, 0, 255}));
    // 8 to 16 widens (x * 257) and follows the byte order flag.
    EXPECT_EQ(Convert({M::cmRGB, M::cmBGR, 8, 16}, {1, 2, 255}, 6, 1), Words({65535, 514, 257}));
    // 16 to 16: swapped or copied; alpha carried the same way.
    EXPECT_EQ(Convert({M::cmRGBA, M::cmBGRA, 16, 16, cfByteSwap}, Words({0x1234, 2, 3, 0xABCD}), 8, 1),
              Words({0x0300, 0x0200, 0x3412, 0xCDAB}));
    EXPECT_EQ(Convert({M::cmRGBA, M::cmRGBA, 16, 8}, Words({0, 0, 0, 65535}), 4, 1), (Bytes{0, 0, 0, 255}));
}

TEST(RowConverters, PlanarSourcesAndMasks) {
    TColorManager cm;
    Apply(cm, {M::cmRGBA, M::cmBGRA});
    const Bytes r{1, 2}, g{3, 4}, b{5, 6}, a{7, 8};
    Bytes target(8);
    cm.ConvertLine({{r.data(), 2}, {g.data(), 2}, {b.data(), 2}, {a.data(), 2}}, target.data(), 8, 2);
    EXPECT_EQ(target, (Bytes{5, 3, 1, 7, 6, 4, 2, 8}));

    // Mask 170 (bits 7, 5, 3, 1) writes pixels 0, 2, 4, 6 from source pixels 0 to 3.
    Bytes source;
    for (std::uint8_t i = 0; i < 4; ++i) source.insert(source.end(), {i, i, i});
    const Bytes out = Convert({}, source, 24, 8, 170, 0xEE);
    for (int px = 0; px < 8; ++px) {
        const std::uint8_t want = px % 2 == 0 ? static_cast<std::uint8_t>(px / 2) : 0xEE;
        EXPECT_EQ(out[px * 3], want) << px;
        EXPECT_EQ(out[px * 3 + 2], want) << px;
    }
}

TEST(RowConverters, CMYK) {
    // Black 0: each component is 255 minus its ink; black 255: all 0.
    EXPECT_EQ(Convert({M::cmCMYK, M::cmRGB}, {10, 20, 30, 0}, 3, 1), (Bytes{245, 235, 225}));
    EXPECT_EQ(Convert({M::cmCMYK, M::cmBGR}, {10, 20, 30, 0}, 3, 1), (Bytes{225, 235, 245}));
    EXPECT_EQ(Convert({M::cmCMYK, M::cmBGR}, {10, 20, 30, 255}, 3, 1), (Bytes{0, 0, 0}));
    // Ink 100 under black 100: 255 - (100 - 39 + 100) = 94.
    EXPECT_EQ(Convert({M::cmCMYK, M::cmRGB}, {100, 0, 0, 100}, 3, 1), (Bytes{94, 155, 155}));
    EXPECT_EQ(Convert({M::cmCMYK, M::cmRGB, 8, 16}, {0, 0, 255, 0}, 6, 1), Words({65535, 65535, 0}));
    EXPECT_EQ(Convert({M::cmCMYK, M::cmRGB, 16, 16}, Words({1000, 0, 65535, 0}), 6, 1),
              Words({64535, 65535, 0}));
    EXPECT_EQ(Convert({M::cmCMYK, M::cmRGB, 16, 8, cfByteSwap}, {0, 0, 0, 0, 0, 0, 0x80, 0}, 3, 1),
              (Bytes{128, 128, 128}));
    // Four pointers are planes.
    TColorManager cm;
    Apply(cm, {M::cmCMYK, M::cmRGB});
    const Bytes c{0, 255}, m{0, 0}, y{0, 0}, k{0, 0};
    Bytes target(6);
    cm.ConvertLine({{c.data(), 2}, {m.data(), 2}, {y.data(), 2}, {k.data(), 2}}, target.data(), 6, 2);
    EXPECT_EQ(target, (Bytes{255, 255, 255, 0, 255, 255}));
}

TEST(RowConverters, CIELab) {
    // L 100, a 0, b 0 is white (red 254.745 rounds to 255).
    EXPECT_EQ(Convert({M::cmCIELab, M::cmBGR}, {100, 0, 0}, 3, 1), (Bytes{255, 255, 255}));
    EXPECT_EQ(Convert({M::cmCIELab, M::cmBGR}, {0, 0, 0}, 3, 1), (Bytes{0, 0, 0}));
    EXPECT_EQ(Convert({M::cmCIELab, M::cmBGR, 8, 8, cfLabScaledL | cfLabOffsetAB}, {255, 128, 128}, 3, 1),
              (Bytes{255, 255, 255}));
    // Signed a* of -128 (byte 128) without the offset flag: strongly green.
    const Bytes green = Convert({M::cmCIELab, M::cmRGB}, {50, 128, 0}, 3, 1);
    EXPECT_LT(green[0], green[1]);
    // Dark branch: L 5 gives Y = 5/903.3, X = Z = Y.
    EXPECT_EQ(Convert({M::cmCIELab, M::cmRGB}, {5, 0, 0}, 3, 1), (Bytes{1, 1, 1}));
    EXPECT_EQ(Convert({M::cmCIELab, M::cmRGB, 8, 16}, {100, 0, 0}, 6, 1), Words({65535, 65535, 65535}));
    // 16-bit samples: L over the whole word, a* and b* with 8 fraction bits.
    EXPECT_EQ(Convert({M::cmCIELab, M::cmRGB, 16, 8}, Words({65535, 0, 0}), 3, 1), (Bytes{255, 255, 255}));
    EXPECT_EQ(Convert({M::cmCIELab, M::cmRGB, 16, 8, cfLabOffsetAB}, Words({65535, 32768, 32768}), 3, 1),
              (Bytes{255, 255, 255}));
}

TEST(RowConverters, YCbCrAndPhotoYCC) {
    EXPECT_EQ(Convert({M::cmYCbCr, M::cmBGR}, {77, 128, 128}, 3, 1), (Bytes{77, 77, 77}));
    // Cr 255: red + R(127 * 1.402) = 178, green - R(127 * 0.7141362) = 91.
    EXPECT_EQ(Convert({M::cmYCbCr, M::cmRGB}, {100, 128, 255}, 3, 1), (Bytes{255, 9, 100}));
    EXPECT_EQ(Convert({M::cmYCbCr, M::cmRGB}, {50, 128, 128, 60, 128, 128}, 6, 2, 0x80), (Bytes{50, 50, 50, 0xEE, 0xEE, 0xEE}));
    // 16-bit sources are narrowed first; 16-bit targets widened.
    EXPECT_EQ(Convert({M::cmYCbCr, M::cmRGB, 16, 8}, Words({65535, 32896, 32896}), 3, 1), (Bytes{255, 255, 255}));
    EXPECT_EQ(Convert({M::cmYCbCr, M::cmRGB, 8, 16}, {10, 128, 128}, 6, 1), Words({2570, 2570, 2570}));
    // 16 to 16 clamps instead of wrapping.
    EXPECT_EQ(Convert({M::cmYCbCr, M::cmRGB, 16, 16}, Words({65000, 32768, 65535}), 6, 1),
              Words({65535, 41600, 65000}));
    EXPECT_EQ(Convert({M::cmYCbCr, M::cmRGB, 16, 16}, Words({100, 0, 32768}), 6, 1), Words({100, 11377, 0}));
    // Photo-CD chroma is centred on 137 and 156.
    EXPECT_EQ(Convert({M::cmPhotoYCC, M::cmRGB}, {90, 156, 137}, 3, 1), (Bytes{90, 90, 90}));
    EXPECT_EQ(Convert({M::cmPhotoYCC, M::cmRGB, 16, 16}, Words({65535, 65535, 65535}), 6, 1),
              Words({65535, 49959, 65535}));
    // Photo-CD set-up: planar luma and chroma, its own weights, subsampling
    // factors 2 and 2 (kept for the reader; rows carry chroma per pixel).
    {
        TColorManager pcd;
        pcd.SetSourceModel(M::cmPhotoYCC);
        pcd.SetChromaParameters({0.2125f, 0.7154f, 0.0721f}, 2, 2);
        const Bytes luma{100, 50}, chroma1{166, 186}, chroma2{147, 117};
        Bytes target(6);
        pcd.ConvertLine({{luma.data(), 2}, {chroma1.data(), 2}, {chroma2.data(), 2}}, target.data(), 6, 2);
        EXPECT_EQ(target, (Bytes{119, 93, 116, 106, 53, 18}));
    }
    // Custom weights change the tables when the converter is chosen again.
    TColorManager cm;
    Apply(cm, {M::cmYCbCr, M::cmRGB});
    cm.SetChromaParameters({0.5f, 0.25f, 0.25f}, 1, 1);
    cm.SetSourceBits(16);
    cm.SetSourceBits(8);
    const Bytes source{100, 128, 138};
    Bytes target(3);
    cm.ConvertLine(source.data(), 3, target.data(), 3, 1);
    EXPECT_EQ(target, (Bytes{110, 80, 100}));  // red + 10 * 1.0, green - 10 * 2.0
}

TEST(RowConverters, GrayWithSixteenBitsOrAlpha) {
    EXPECT_EQ(Convert({M::cmGray, M::cmGray, 16, 8, cfByteSwap}, {18, 52, 255, 255}, 2, 2), (Bytes{18, 255}));
    EXPECT_EQ(Convert({M::cmGray, M::cmGray, 16, 16, cfByteSwap}, {1, 2}, 2, 1), (Bytes{2, 1}));
    EXPECT_EQ(Convert({M::cmGray, M::cmGray, 16, 16}, {1, 2}, 2, 1), (Bytes{1, 2}));
    EXPECT_EQ(Convert({M::cmGray, M::cmGray, 8, 16, cfByteSwap}, {2}, 2, 1), Words({514}));
    // Gray with alpha: the alpha is skipped.
    EXPECT_EQ(Convert({M::cmGrayAlpha, M::cmIndexed}, {10, 99, 20, 99}, 2, 2), (Bytes{10, 20}));
    EXPECT_EQ(Convert({M::cmGrayAlpha, M::cmIndexed, 16, 8}, Words({65535, 0, 0, 65535}), 2, 2), (Bytes{255, 0}));
}

TEST(RowConverters, IndexedPacking) {
    // 2 to 4 bits: 3 becomes 15, 1 becomes 5; four pixels fill two bytes.
    EXPECT_EQ(Convert({M::cmIndexed, M::cmIndexed, 2, 4}, {0b11'01'00'10}, 2, 4), (Bytes{0xF5, 0x0A}));
    // 8 to 1 bit, 4 to 8 bits.
    EXPECT_EQ(Convert({M::cmGray, M::cmGray, 8, 1}, {255, 0, 255, 255, 0, 0, 0, 255, 255}, 2, 9, 0xFF, 0),
              (Bytes{0b10110001, 0b10000000}));
    EXPECT_EQ(Convert({M::cmGray, M::cmGray, 4, 8}, {0xF1}, 2, 2), (Bytes{255, 17}));
    // Equal depths are copied; a mask of 136 writes pixels 0 and 4 only.
    EXPECT_EQ(Convert({M::cmIndexed, M::cmIndexed, 4, 4}, {0x12, 0x34, 0x56}, 3, 5), (Bytes{0x12, 0x34, 0x56}));
    EXPECT_EQ(Convert({M::cmIndexed, M::cmIndexed, 4, 4}, {0xAB}, 4, 8, 136, 0x00), (Bytes{0xA0, 0x00, 0xB0, 0x00}));
    EXPECT_EQ(Convert({M::cmIndexed, M::cmIndexed, 1, 1}, {0xFF}, 2, 16, 136, 0x00), (Bytes{0x88, 0x88}));
    // 16-bit indices.
    EXPECT_EQ(Convert({M::cmIndexed, M::cmIndexed, 16, 8, cfByteSwap}, {0xFF, 0x00, 0x01, 0x01}, 2, 2),
              (Bytes{254, 1}));
    EXPECT_EQ(Convert({M::cmIndexed, M::cmIndexed, 16, 4}, Words({65535, 0, 30000}), 2, 3), (Bytes{0xF0, 0x6E}));  // the unused field keeps its bits
    EXPECT_EQ(Convert({M::cmIndexed, M::cmIndexed, 16, 16, cfByteSwap}, {1, 2, 3, 4}, 4, 2), (Bytes{2, 1, 4, 3}));
    EXPECT_EQ(Convert({M::cmIndexed, M::cmIndexed, 16, 16}, {1, 2, 3, 4}, 4, 2, 0x40), (Bytes{0xEE, 0xEE, 1, 2}));
    EXPECT_EQ(Convert({M::cmIndexed, M::cmIndexed, 1, 16}, {0b01000000}, 4, 2), Words({0, 65535}));
    EXPECT_EQ(Convert({M::cmIndexed, M::cmIndexed, 2, 16, cfByteSwap}, {0b01000000}, 4, 2), (Bytes{0x55, 0x55, 0, 0}));
}

// Random configurations with buffers sized exactly as the configuration
// needs: run under the sanitizers this catches any access past a row.
TEST(RowConverters, RandomConfigurationsStayInsideExactBuffers) {
    std::mt19937 rng(12345);
    const std::uint8_t depths[] = {1, 2, 4, 8, 16, 3, 12};
    for (int round = 0; round < 4000; ++round) {
        TColorManager cm;
        cm.SetSourceModel(static_cast<M>(rng() % 14));
        cm.SetTargetModel(static_cast<M>(rng() % 14));
        cm.SetSourceBits(depths[rng() % 7]);
        cm.SetTargetBits(depths[rng() % 7]);
        cm.SourceFlags = static_cast<TConversionFlags>(rng() & 0x1F);
        cm.TargetFlags = static_cast<TConversionFlags>(rng() & 0x1F);
        const std::uint32_t count = rng() % 40;
        const std::uint8_t mask = rng() % 3 == 0 ? static_cast<std::uint8_t>(rng()) : 0xFF;
        const std::size_t planes = (rng() % 4) + 1;
        std::size_t sourceBytes = 0, targetBytes = 0;
        try {
            sourceBytes = cm.RequiredSourceBytes(planes, count, mask);
            targetBytes = cm.RequiredTargetBytes(count);
        } catch (const EColorConversionError&) {
            continue;
        }
        std::vector<Bytes> data(planes);
        std::vector<TRowBuffer> buffers;
        for (auto& plane : data) {
            plane.resize(sourceBytes);
            for (auto& byte : plane) byte = static_cast<std::uint8_t>(rng());
            buffers.push_back({plane.data(), plane.size()});
        }
        Bytes target(targetBytes);
        try {
            cm.ConvertLine(buffers, target.data(), target.size(), count, mask);
        } catch (const EColorConversionError&) {
            // Too few planes for a planar layout is refused, never overrun.
        }
    }
}

}  // namespace

struct TColorManagerTestAccess {
    static void UseGeneralConverters(TColorManager& cm) { cm.fastPaths_ = false; }
};

namespace {

struct RandomRow {
    std::vector<Bytes> planes;
    std::vector<TRowBuffer> buffers;
    Bytes fill;
};

// The fast row kernels must give byte for byte what the general converters
// give, in every configuration: random models, depths, flags, gamma, chroma
// weights, plane counts, masks and row lengths (odd ones and ones longer
// than the vector blocks), into targets pre-filled with random bytes so that
// a byte written that should be left alone shows too.
TEST(RowConverters, FastKernelsMatchGeneralConverters) {
    std::mt19937 rng(4711);
    const M models[] = {M::cmRGB,   M::cmRGBA,  M::cmBGR,   M::cmBGRA,     M::cmGray,  M::cmGrayAlpha,
                        M::cmIndexed, M::cmCMYK, M::cmYCbCr, M::cmPhotoYCC, M::cmCIELab};
    const M targets[] = {M::cmRGB, M::cmRGBA, M::cmBGR, M::cmBGRA, M::cmGray, M::cmIndexed};
    const std::uint8_t depths[] = {1, 2, 4, 8, 16, 8, 16, 8};
    int compared = 0, convertedInPlace = 0;
    for (int round = 0; round < 20000; ++round) {
        TColorManager fast, general;
        TColorManagerTestAccess::UseGeneralConverters(general);
        const M from = models[rng() % std::size(models)];
        const M to = targets[rng() % std::size(targets)];
        const std::uint8_t sourceBits = depths[rng() % std::size(depths)];
        const std::uint8_t targetBits = depths[rng() % std::size(depths)];
        const auto sourceFlags = static_cast<TConversionFlags>(rng() & 0x1F);
        const auto targetFlags = static_cast<TConversionFlags>(rng() & 0x1F);
        const bool gamma = rng() % 2 == 0;
        const float fileGamma = 0.3f + static_cast<float>(rng() % 300) / 100.0f;
        const float weights[] = {0.2f + static_cast<float>(rng() % 20) / 100.0f, 0.5f + static_cast<float>(rng() % 30) / 100.0f,
                                 0.05f + static_cast<float>(rng() % 10) / 100.0f};
        const bool customWeights = rng() % 3 == 0;
        for (TColorManager* cm : {&fast, &general}) {
            cm->SetSourceBits(sourceBits);
            cm->SetTargetBits(targetBits);
            if (gamma) cm->SetGammaCorrection(fileGamma, 2.2f);
            if (customWeights) cm->SetChromaParameters(weights, 1, 1);
            cm->SetSourceModel(from);
            cm->SetTargetModel(to);
            cm->SourceFlags = sourceFlags;
            cm->TargetFlags = targetFlags;
        }
        const std::uint32_t count = rng() % 4 == 0 ? rng() % 8 : rng() % 90;
        const std::uint8_t mask = rng() % 4 == 0 ? static_cast<std::uint8_t>(rng()) : 0xFF;
        const std::size_t planeChoices[] = {1, 1, 3, 4};
        const std::size_t planes = planeChoices[rng() % 4];
        std::size_t sourceBytes = 0, targetBytes = 0;
        try {
            sourceBytes = general.RequiredSourceBytes(planes, count, mask);
            targetBytes = general.RequiredTargetBytes(count);
        } catch (const EColorConversionError&) {
            continue;
        }
        RandomRow row;
        row.planes.resize(planes);
        for (auto& plane : row.planes) {
            plane.resize(sourceBytes);
            for (auto& byte : plane) byte = static_cast<std::uint8_t>(rng());
            row.buffers.push_back({plane.data(), plane.size()});
        }
        row.fill.resize(targetBytes);
        for (auto& byte : row.fill) byte = static_cast<std::uint8_t>(rng());
        Bytes want = row.fill, got = row.fill;
        try {
            general.ConvertLine(row.buffers, want.data(), want.size(), count, mask);
        } catch (const EColorConversionError&) {
            EXPECT_THROW(fast.ConvertLine(row.buffers, got.data(), got.size(), count, mask), EColorConversionError);
            continue;
        }
        fast.ConvertLine(row.buffers, got.data(), got.size(), count, mask);
        ASSERT_EQ(got, want) << "round " << round << " model " << int(from) << "->" << int(to) << " bits "
                             << int(sourceBits) << "->" << int(targetBits) << " flags " << int(sourceFlags) << "/"
                             << int(targetFlags) << " planes " << planes << " count " << count << " mask "
                             << int(mask);
        // Where the manager allows it, the row converted in place comes out the same.
        if (planes == 1 && mask == 0xFF && sourceBytes == targetBytes && fast.ConvertsInPlace()) {
            Bytes inPlace = row.planes[0];
            fast.ConvertLine(inPlace.data(), inPlace.size(), inPlace.data(), inPlace.size(), count);
            ASSERT_EQ(inPlace, want) << "in place, round " << round << " count " << count;
            ++convertedInPlace;
        }
        ++compared;
    }
    EXPECT_GT(compared, 5000);
    EXPECT_GT(convertedInPlace, 50);
}

// Every 16-bit value narrowed by the fast kernels, in every byte order.
TEST(RowConverters, FastNarrowingMatchesForEveryWord) {
    constexpr std::uint32_t kCount = 65536;
    Bytes gray(kCount * 2), rgb(kCount * 6);
    for (std::uint32_t i = 0; i < kCount; ++i) {
        gray[2 * i] = static_cast<std::uint8_t>(i);
        gray[2 * i + 1] = static_cast<std::uint8_t>(i >> 8);
        for (int c = 0; c < 3; ++c) {
            const std::uint32_t w = (i + c * 4099u) & 0xFFFFu;
            rgb[6 * i + 2 * c] = static_cast<std::uint8_t>(w);
            rgb[6 * i + 2 * c + 1] = static_cast<std::uint8_t>(w >> 8);
        }
    }
    for (const TConversionFlags flags : {TConversionFlags{0}, cfByteSwap}) {
        for (const auto& [from, source, samples] :
             {std::tuple{M::cmGray, &gray, 1u}, std::tuple{M::cmRGB, &rgb, 3u}, std::tuple{M::cmYCbCr, &rgb, 3u}}) {
            const M to = samples == 1 ? M::cmGray : M::cmBGR;
            TColorManager fast, general;
            TColorManagerTestAccess::UseGeneralConverters(general);
            Bytes want(kCount * samples), got(kCount * samples);
            for (TColorManager* cm : {&fast, &general}) {
                Apply(*cm, {from, to, 16, 8, flags});
                cm->ConvertLine(source->data(), source->size(), cm == &fast ? got.data() : want.data(),
                                want.size(), kCount);
            }
            EXPECT_EQ(got, want) << int(from) << " flags " << int(flags);
        }
    }
}

}  // namespace
}  // namespace orv
