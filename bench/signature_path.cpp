// The signature path of a run (load a 2-megapixel JPEG through the picture
// registry, reduce it to 80 x 80, make it gray) next to a bare libjpeg
// decode of the same file, with the ratio of the two printed at the end.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include <unistd.h>

#include <jpeglib.h>

#include "bench/jpeg_writer.h"
#include "platform/graphics/picture.h"
#include "search/engine/image_utils.h"
#include "search/engine/signature.h"

namespace {

constexpr int kWidth = 1632;
constexpr int kHeight = 1224;

std::string g_jpegPath;

// A photo-like test picture: smooth gradients with some texture, quality 90.
void WriteTestJpeg(const std::string& path) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kWidth) * kHeight * 3);
    std::uint32_t noise = 12345;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            noise = noise * 1103515245u + 12345u;
            const int n = static_cast<int>((noise >> 24) & 31) - 16;
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * kWidth + x) * 3];
            p[0] = static_cast<std::uint8_t>(std::clamp(x * 255 / kWidth + n, 0, 255));
            p[1] = static_cast<std::uint8_t>(std::clamp(y * 255 / kHeight + n, 0, 255));
            p[2] = static_cast<std::uint8_t>(std::clamp(((x / 40 + y / 40) & 1) * 120 + 60 + n, 0, 255));
        }
    orv::bench::WriteRgbJpeg(path, kWidth, kHeight, rgb, 90);
}

std::vector<unsigned char> ReadFile(const std::string& path) {
    std::vector<unsigned char> data(std::filesystem::file_size(path));
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr || std::fread(data.data(), 1, data.size(), f) != data.size()) std::abort();
    std::fclose(f);
    return data;
}

// The least a program can do: read the file, decode it blue first into a
// fresh buffer, all rows handed to libjpeg at once. The file is our own and
// valid, so libjpeg's default error exit (ending the program) stays.
void BareDecode(const std::string& path, std::size_t& checksum) {
    std::vector<unsigned char> data = ReadFile(path);
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, data.data(), data.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    const std::size_t stride = static_cast<std::size_t>(d.output_width) * 3;
    std::unique_ptr<unsigned char[]> pixels(new unsigned char[stride * d.output_height]);
    std::vector<JSAMPROW> rows(d.output_height);
    for (JDIMENSION y = 0; y < d.output_height; ++y) rows[y] = pixels.get() + stride * y;
    while (d.output_scanline < d.output_height)
        jpeg_read_scanlines(&d, rows.data() + d.output_scanline, d.output_height - d.output_scanline);
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    checksum += pixels[stride * (d.output_height / 2)];
}

void BM_BareLibjpegDecode(benchmark::State& state) {
    std::size_t checksum = 0;
    for (auto _ : state) BareDecode(g_jpegPath, checksum);
    benchmark::DoNotOptimize(checksum);
}
BENCHMARK(BM_BareLibjpegDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_SignaturePath(benchmark::State& state) {
    using orv::kSignatureSide;
    for (auto _ : state) {
        orv::TBitmap bmp;
        if (!orv::LoadPictureToBitmap(g_jpegPath, bmp) || !orv::AvgResize(bmp, kSignatureSide, kSignatureSide) ||
            !orv::GrayScaleBitmap(bmp))
            state.SkipWithError("signature failed");
        benchmark::DoNotOptimize(bmp.ScanLine(40)[120]);
    }
}
BENCHMARK(BM_SignaturePath)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Console output plus each benchmark's time for the ratio: the median when
// the benchmarks are repeated, else the single run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            const std::string& name = r.run_name.function_name;
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
                times_[name] = r.GetAdjustedRealTime();
                median_[name] = true;
            } else if (r.run_type == Run::RT_Iteration && !median_[name]) {
                times_[name] = r.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatio() const {
        const auto bare = times_.find("BM_BareLibjpegDecode");
        const auto ours = times_.find("BM_SignaturePath");
        if (bare == times_.end() || ours == times_.end() || bare->second <= 0) return;
        std::cout << "signature path / bare decode = " << ours->second / bare->second << "\n";
    }

private:
    std::map<std::string, double> times_;
    std::map<std::string, bool> median_;
};

}  // namespace

int main(int argc, char** argv) {
    orv::RegisterStandardPictures();
    g_jpegPath = (std::filesystem::temp_directory_path() / ("orv_bench_" + std::to_string(::getpid()) + ".jpg")).string();
    WriteTestJpeg(g_jpegPath);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio();
    benchmark::Shutdown();
    std::filesystem::remove(g_jpegPath);
    return 0;
}
