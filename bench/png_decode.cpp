// Decoding a 2-megapixel PNG with our reader next to libpng's simplified
// API on the same file. The file (1920 x 1080, 8-bit RGB, a photo-like mix
// of gradients and noise, rows filtered as libpng chooses) is made in memory
// by libpng. Rates are pixels per second.
#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "formats/fmt_png.h"
#include "platform/base/stream.h"

namespace orv {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

std::vector<std::uint8_t> MakeFile(png_uint_32 format, int channels) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(kWidth) * kHeight * channels);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(-6, 6);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int c = 0; c < channels; ++c) {
                const int base = (x * (c + 1) / 9 + y / (c + 2) + ((x / 160 + y / 120) % 2) * 60) % 256;
                pixels[(static_cast<std::size_t>(y) * kWidth + x) * channels + c] =
                    static_cast<std::uint8_t>(std::clamp(base + noise(rng), 0, 255));
            }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = kWidth;
    image.height = kHeight;
    image.format = format;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr)) std::abort();
    std::vector<std::uint8_t> file(size);
    if (!png_image_write_to_memory(&image, file.data(), &size, 0, pixels.data(), 0, nullptr)) std::abort();
    file.resize(size);
    return file;
}

const std::vector<std::uint8_t>& RgbFile() {
    static const std::vector<std::uint8_t> file = MakeFile(PNG_FORMAT_RGB, 3);
    return file;
}

const std::vector<std::uint8_t>& GrayFile() {
    static const std::vector<std::uint8_t> file = MakeFile(PNG_FORMAT_GRAY, 1);
    return file;
}

void OurReader(benchmark::State& state, const std::vector<std::uint8_t>& file) {
    for (auto _ : state) {
        TMemoryStream stream(file.data(), file.size());
        TPNGGraphic png;
        png.LoadFromStream(stream);
        benchmark::DoNotOptimize(png.ScanLine(kHeight - 1));
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void Libpng(benchmark::State& state, const std::vector<std::uint8_t>& file, png_uint_32 format, int channels) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(kWidth) * kHeight * channels);
    for (auto _ : state) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) std::abort();
        image.format = format;
        if (!png_image_finish_read(&image, nullptr, out.data(), 0, nullptr)) std::abort();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_OurReader_RGB(benchmark::State& state) { OurReader(state, RgbFile()); }
void BM_Libpng_RGB(benchmark::State& state) { Libpng(state, RgbFile(), PNG_FORMAT_BGR, 3); }
void BM_OurReader_Gray(benchmark::State& state) { OurReader(state, GrayFile()); }
void BM_Libpng_Gray(benchmark::State& state) { Libpng(state, GrayFile(), PNG_FORMAT_GRAY, 1); }

BENCHMARK(BM_OurReader_RGB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libpng_RGB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OurReader_Gray)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libpng_Gray)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orv

BENCHMARK_MAIN();
