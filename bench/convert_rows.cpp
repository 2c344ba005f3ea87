// Row conversion of the colour manager: each common configuration through its
// whole-row kernel ("fast") and through the general per-pixel converter
// ("general") on the same 4000-pixel row. Rates are pixels per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "formats/color_manager.h"

namespace orv {

struct TColorManagerTestAccess {
    static void UseGeneralConverters(TColorManager& cm) { cm.fastPaths_ = false; }
};

namespace {

constexpr std::uint32_t kPixels = 4000;
using M = TColorModel;

struct Case {
    const char* name;
    M from, to;
    std::uint8_t sourceBits, targetBits;
    TConversionFlags sourceFlags, targetFlags;
    std::size_t planes;
};

const Case kCases[] = {
    {"RGB8_to_BGR8", M::cmRGB, M::cmBGR, 8, 8, 0, 0, 1},
    {"RGBA8_to_BGRA8", M::cmRGBA, M::cmBGRA, 8, 8, 0, 0, 1},
    {"RGBA8_to_BGR8", M::cmRGBA, M::cmBGR, 8, 8, 0, 0, 1},
    {"RGB8_to_BGR8_gamma", M::cmRGB, M::cmBGR, 8, 8, 0, cfGamma, 1},
    {"RGB8_planes_to_BGR8", M::cmRGB, M::cmBGR, 8, 8, 0, 0, 3},
    {"RGB16_to_BGR8", M::cmRGB, M::cmBGR, 16, 8, 0, 0, 1},
    {"RGB16_swapped_to_BGR8", M::cmRGB, M::cmBGR, 16, 8, cfByteSwap, 0, 1},
    {"RGB16_swapped_to_BGR16", M::cmRGB, M::cmBGR, 16, 16, cfByteSwap, 0, 1},
    {"Gray16_swapped_to_Gray8", M::cmGray, M::cmGray, 16, 8, cfByteSwap, 0, 1},
    {"GrayAlpha8_to_Gray8", M::cmGrayAlpha, M::cmGray, 8, 8, 0, 0, 1},
    {"YCbCr8_to_BGR8", M::cmYCbCr, M::cmBGR, 8, 8, 0, 0, 1},
    {"CMYK8_to_BGR8", M::cmCMYK, M::cmBGR, 8, 8, 0, 0, 1},
    {"Indexed4_to_8", M::cmIndexed, M::cmIndexed, 4, 8, 0, 0, 1},
    {"Indexed1_to_8", M::cmIndexed, M::cmIndexed, 1, 8, 0, 0, 1},
};

void ConvertRows(benchmark::State& state, const Case& c, bool fast) {
    TColorManager cm;
    if (!fast) TColorManagerTestAccess::UseGeneralConverters(cm);
    cm.SetSourceModel(c.from);
    cm.SetTargetModel(c.to);
    cm.SetSourceBits(c.sourceBits);
    cm.SetTargetBits(c.targetBits);
    cm.SourceFlags = c.sourceFlags;
    cm.TargetFlags = c.targetFlags;
    std::mt19937 rng(3);
    std::vector<std::vector<std::uint8_t>> planes(c.planes,
                                                  std::vector<std::uint8_t>(cm.RequiredSourceBytes(c.planes, kPixels)));
    std::vector<TRowBuffer> buffers;
    for (auto& plane : planes) {
        for (auto& byte : plane) byte = static_cast<std::uint8_t>(rng());
        buffers.push_back({plane.data(), plane.size()});
    }
    std::vector<std::uint8_t> target(cm.RequiredTargetBytes(kPixels));
    for (auto _ : state) {
        cm.ConvertLine(buffers, target.data(), target.size(), kPixels);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kPixels);
}

}  // namespace
}  // namespace orv

int main(int argc, char** argv) {
    for (const auto& c : orv::kCases) {
        for (const bool fast : {false, true}) {
            const std::string name = std::string(c.name) + (fast ? "/fast" : "/general");
            benchmark::RegisterBenchmark(name.c_str(), [&c, fast](benchmark::State& state) {
                orv::ConvertRows(state, c, fast);
            });
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
