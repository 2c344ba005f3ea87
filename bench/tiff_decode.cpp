// Loading a 2-megapixel RGB TIFF (1632 x 1224, 16-row strips, LZW or
// Deflate, both with horizontal differencing) with our reader into a 24-bit
// bitmap, next to libtiff's TIFFReadRGBAImage of the same file, and the same
// picture as LZW in 256 x 256 tiles (the right and bottom ones cut), which
// should cost little more than its strips. The files are written by libtiff
// into /tmp; libtiff reads them from the (cached) file, our reader from a
// memory copy. LibtiffStrips times libtiff's strip decode alone
// (TIFFReadEncodedStrip). The last pair times undoing the predictor of the
// picture's rows with the shared byte loop and with our block loop.
#include <benchmark/benchmark.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/fmt_tiff.h"
#include "formats/fmt_tiff_predictor.h"
#include "formats/image_format.h"
#include "platform/base/stream.h"
#include "bench/tiff_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kWidth = 1632;
constexpr std::uint32_t kHeight = 1224;
constexpr std::uint32_t kRowsPerStrip = 16;
constexpr std::uint32_t kTileSize = 256;
// Marks the tiled LZW file among the compression values.
constexpr std::uint16_t kTiledLzw = 0xFFFF;

// Smooth ramps, noisy blocks and flat areas, like a photo with graphics.
Bytes MakeImage() {
    Bytes image(std::size_t{kWidth} * kHeight * 3);
    std::mt19937 rng(7);
    for (std::uint32_t y = 0; y < kHeight; ++y)
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            std::uint8_t* p = image.data() + (std::size_t{y} * kWidth + x) * 3;
            p[0] = static_cast<std::uint8_t>(x / 7);
            p[1] = static_cast<std::uint8_t>(y / 5);
            p[2] = static_cast<std::uint8_t>((x + y) / 11);
            if ((x / 96 + y / 96) % 4 == 0)
                for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>(p[c] + rng() % 24);
            if ((x / 300) % 2 == 1 && (y / 200) % 2 == 0) p[0] = p[1] = p[2] = 240;
        }
    return image;
}

struct TestFile {
    std::string path;
    Bytes bytes;
};

TestFile Write(std::uint16_t compression) {
    static const Bytes image = MakeImage();
    const bool tiled = compression == kTiledLzw;
    TestFile f;
    f.path = "/tmp/orv_bench_tiff_" + std::to_string(getpid()) + "_" + std::to_string(compression) + ".tif";
    orv::bench::TiffFile file = orv::bench::CreateTiff(f.path, kWidth, kHeight, 3, PHOTOMETRIC_RGB,
                                                       tiled ? COMPRESSION_LZW : compression);
    TIFF* out = file.get();
    TIFFSetField(out, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (tiled) {
        TIFFSetField(out, TIFFTAG_TILEWIDTH, kTileSize);
        TIFFSetField(out, TIFFTAG_TILELENGTH, kTileSize);
        Bytes tile(std::size_t{kTileSize} * kTileSize * 3);
        for (std::uint32_t ty = 0; ty < kHeight; ty += kTileSize)
            for (std::uint32_t tx = 0; tx < kWidth; tx += kTileSize) {
                std::fill(tile.begin(), tile.end(), 0);
                for (std::uint32_t y = 0; y < kTileSize && ty + y < kHeight; ++y)
                    for (std::uint32_t x = 0; x < kTileSize && tx + x < kWidth; ++x)
                        for (int c = 0; c < 3; ++c)
                            tile[(std::size_t{y} * kTileSize + x) * 3 + c] =
                                image[(std::size_t{ty + y} * kWidth + tx + x) * 3 + c];
                if (TIFFWriteTile(out, tile.data(), tx, ty, 0, 0) < 0) throw std::runtime_error("write failed");
            }
    } else {
        TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, kRowsPerStrip);
        for (std::uint32_t y = 0; y < kHeight; ++y) {
            Bytes row(image.begin() + std::size_t{y} * kWidth * 3, image.begin() + std::size_t{y + 1} * kWidth * 3);
            if (TIFFWriteScanline(out, row.data(), y, 0) < 0) throw std::runtime_error("write failed");
        }
    }
    file.reset();
    std::ifstream in(f.path, std::ios::binary);
    f.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return f;
}

// The files are removed when the program ends.
struct TestFiles {
    TestFile lzw = Write(COMPRESSION_LZW);
    TestFile deflate = Write(COMPRESSION_ADOBE_DEFLATE);
    TestFile tiledLzw = Write(kTiledLzw);
    ~TestFiles() {
        unlink(lzw.path.c_str());
        unlink(deflate.path.c_str());
        unlink(tiledLzw.path.c_str());
    }
};

const TestFile& File(std::uint16_t compression) {
    static const TestFiles files;
    if (compression == kTiledLzw) return files.tiledLzw;
    return compression == COMPRESSION_LZW ? files.lzw : files.deflate;
}

void OurReader(benchmark::State& state, std::uint16_t compression) {
    const TestFile& f = File(compression);
    for (auto _ : state) {
        orv::TMemoryStream in(f.bytes);
        orv::TTIFFGraphic picture;
        picture.LoadFromStream(in);
        benchmark::DoNotOptimize(picture.ScanLine(kHeight - 1));
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{kWidth} * kHeight);
}

void Libtiff(benchmark::State& state, std::uint16_t compression) {
    const TestFile& f = File(compression);
    std::vector<std::uint32_t> raster(std::size_t{kWidth} * kHeight);
    for (auto _ : state) {
        TIFF* in = TIFFOpen(f.path.c_str(), "r");
        if (!in || !TIFFReadRGBAImage(in, kWidth, kHeight, raster.data(), 0)) state.SkipWithError("libtiff failed");
        if (in) TIFFClose(in);
        benchmark::DoNotOptimize(raster.data());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{kWidth} * kHeight);
}

// libtiff's decode alone: every strip with TIFFReadEncodedStrip (inflate
// and the predictor undone, no colour conversion), the work our reader
// does before it converts rows into the bitmap.
void LibtiffStrips(benchmark::State& state, std::uint16_t compression) {
    const TestFile& f = File(compression);
    std::vector<std::uint8_t> strip;
    for (auto _ : state) {
        TIFF* in = TIFFOpen(f.path.c_str(), "r");
        if (!in) {
            state.SkipWithError("libtiff failed");
            break;
        }
        strip.resize(static_cast<std::size_t>(TIFFStripSize(in)));
        const std::uint32_t strips = TIFFNumberOfStrips(in);
        for (std::uint32_t s = 0; s < strips; ++s)
            if (TIFFReadEncodedStrip(in, s, strip.data(), static_cast<tmsize_t>(strip.size())) < 0)
                state.SkipWithError("libtiff strip failed");
        TIFFClose(in);
        benchmark::DoNotOptimize(strip.data());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{kWidth} * kHeight);
}

template <bool Blocks>
void Predictor(benchmark::State& state) {
    Bytes image = MakeImage();
    const std::size_t rowBytes = std::size_t{kWidth} * 3;
    for (auto _ : state) {
        for (std::uint32_t y = 0; y < kHeight; ++y) {
            std::uint8_t* row = image.data() + y * rowBytes;
            if (Blocks) orv::UndoTIFFPredictor(row, rowBytes, kWidth, 3, 8, false);
            else orv::UndoHorizontalDifferencing(row, rowBytes, kWidth, 3, 8, false);
        }
        benchmark::DoNotOptimize(image.data());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{kWidth} * kHeight);
}

BENCHMARK_CAPTURE(OurReader, lzw, COMPRESSION_LZW)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Libtiff, lzw, COMPRESSION_LZW)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OurReader, deflate, COMPRESSION_ADOBE_DEFLATE)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Libtiff, deflate, COMPRESSION_ADOBE_DEFLATE)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LibtiffStrips, lzw, COMPRESSION_LZW)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LibtiffStrips, deflate, COMPRESSION_ADOBE_DEFLATE)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OurReader, lzw_tiled, kTiledLzw)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Libtiff, lzw_tiled, kTiledLzw)->Unit(benchmark::kMillisecond);

BENCHMARK_TEMPLATE(Predictor, false)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(Predictor, true)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
