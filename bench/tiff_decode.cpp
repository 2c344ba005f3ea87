// Loading 2-megapixel RGB TIFF files (1632 x 1224) with our reader into a
// 24-bit bitmap, paired with libtiff's bare decode of the same file
// (TIFFReadEncodedStrip or TIFFReadEncodedTile over every block, no colour
// conversion). Each iteration loads the file once each way, in turns, so
// both sides see the same machine load; the counters give the medians of
// both sides' processor time and of the per-iteration ratio ours / libtiff.
//
// Kinds: LZW and Deflate (horizontal differencing) in 16-row strips and in
// 256 x 256 tiles (the right and bottom ones cut: 1224 rows leave a bottom
// row of tiles with 200 rows), uncompressed and PackBits strips. Pictures:
// "noisy" is a photo with strong grain (high entropy, short LZW strings),
// "smooth" is ramps and flat areas. The files are written by libtiff into a
// scratch folder; both readers take them from the (cached) file. Our pixels
// are checked against the picture before a kind is timed.
//
// The last pair times undoing the predictor of the picture's rows with the
// shared byte loop and with our block loop.
#include <benchmark/benchmark.h>
#include <tiffio.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/scratch_folders.h"
#include "bench/tiff_writer.h"
#include "formats/fmt_tiff.h"
#include "formats/fmt_tiff_predictor.h"
#include "formats/image_format.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kWidth = 1632;
constexpr std::uint32_t kHeight = 1224;
constexpr std::uint32_t kRowsPerStrip = 16;
constexpr std::uint32_t kTileSize = 256;

enum class Picture { Noisy, Smooth };

struct Kind {
    std::uint16_t compression;
    bool tiled;
    Picture picture;
};

Bytes MakeImage(Picture picture) {
    Bytes image(std::size_t{kWidth} * kHeight * 3);
    std::mt19937 rng(7);
    for (std::uint32_t y = 0; y < kHeight; ++y)
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            std::uint8_t* p = image.data() + (std::size_t{y} * kWidth + x) * 3;
            p[0] = static_cast<std::uint8_t>(x / 7);
            p[1] = static_cast<std::uint8_t>(y / 5);
            p[2] = static_cast<std::uint8_t>((x + y) / 11);
            if (picture == Picture::Noisy) {
                for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>(p[c] + rng() % 32);
            } else if ((x / 300) % 2 == 1 && (y / 200) % 2 == 0) {
                p[0] = p[1] = p[2] = 240;
            }
        }
    return image;
}

const Bytes& Image(Picture picture) {
    static const Bytes noisy = MakeImage(Picture::Noisy);
    static const Bytes smooth = MakeImage(Picture::Smooth);
    return picture == Picture::Noisy ? noisy : smooth;
}

void WriteFile(const std::string& path, const Kind& kind) {
    const Bytes& image = Image(kind.picture);
    orv::bench::TiffFile file =
        orv::bench::CreateTiff(path, kWidth, kHeight, 3, PHOTOMETRIC_RGB, kind.compression);
    TIFF* out = file.get();
    if (kind.compression == COMPRESSION_LZW || kind.compression == COMPRESSION_ADOBE_DEFLATE)
        TIFFSetField(out, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    const std::size_t rowBytes = std::size_t{kWidth} * 3;
    if (kind.tiled) {
        TIFFSetField(out, TIFFTAG_TILEWIDTH, kTileSize);
        TIFFSetField(out, TIFFTAG_TILELENGTH, kTileSize);
        Bytes tile(std::size_t{kTileSize} * kTileSize * 3);
        for (std::uint32_t ty = 0; ty < kHeight; ty += kTileSize)
            for (std::uint32_t tx = 0; tx < kWidth; tx += kTileSize) {
                std::fill(tile.begin(), tile.end(), 0);
                for (std::uint32_t y = 0; y < kTileSize && ty + y < kHeight; ++y) {
                    const std::uint32_t pixels = std::min(kTileSize, kWidth - tx);
                    const std::uint8_t* from = image.data() + (ty + y) * rowBytes + std::size_t{tx} * 3;
                    std::copy(from, from + std::size_t{pixels} * 3, tile.begin() + std::size_t{y} * kTileSize * 3);
                }
                if (TIFFWriteTile(out, tile.data(), tx, ty, 0, 0) < 0) throw std::runtime_error("write failed");
            }
    } else {
        TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, kRowsPerStrip);
        for (std::uint32_t y = 0, s = 0; y < kHeight; y += kRowsPerStrip, ++s) {
            const std::size_t bytes = std::min(kRowsPerStrip, kHeight - y) * rowBytes;
            if (TIFFWriteEncodedStrip(out, s, const_cast<std::uint8_t*>(image.data() + y * rowBytes),
                                      static_cast<tmsize_t>(bytes)) < 0)
                throw std::runtime_error("write failed");
        }
    }
}

const std::string& File(const Kind& kind) {
    static const orv::bench::ScratchFolders folders("orv-bench-tiff");
    static std::map<std::string, std::string> paths;
    const std::string name = std::to_string(kind.compression) + (kind.tiled ? "t" : "s") +
                             (kind.picture == Picture::Noisy ? "n" : "m");
    auto it = paths.find(name);
    if (it == paths.end()) {
        const std::string path = folders.images + name + ".tif";
        WriteFile(path, kind);
        it = paths.emplace(name, path).first;
    }
    return it->second;
}

bool LibtiffDecode(const std::string& path, Bytes& buffer) {
    TIFF* in = TIFFOpen(path.c_str(), "r");
    if (!in) return false;
    bool ok = true;
    const bool tiled = TIFFIsTiled(in);
    buffer.resize(static_cast<std::size_t>(tiled ? TIFFTileSize(in) : TIFFStripSize(in)));
    const std::uint32_t blocks = tiled ? TIFFNumberOfTiles(in) : TIFFNumberOfStrips(in);
    for (std::uint32_t b = 0; b < blocks && ok; ++b)
        ok = (tiled ? TIFFReadEncodedTile(in, b, buffer.data(), static_cast<tmsize_t>(buffer.size()))
                    : TIFFReadEncodedStrip(in, b, buffer.data(), static_cast<tmsize_t>(buffer.size()))) >= 0;
    TIFFClose(in);
    return ok;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The thread's processor time in milliseconds: on a shared machine, time
// the thread waited for a processor would count against one side at random.
double ThreadMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

// Whether our reader gives the picture the file was written from.
bool OursExact(const std::string& path, const Bytes& image) {
    orv::TTIFFGraphic picture;
    picture.LoadFromFile(path);
    if (picture.Width() != static_cast<int>(kWidth) || picture.Height() != static_cast<int>(kHeight)) return false;
    for (std::uint32_t y = 0; y < kHeight; ++y) {
        const std::uint8_t* bgr = picture.ScanLine(static_cast<int>(y));
        const std::uint8_t* rgb = image.data() + std::size_t{y} * kWidth * 3;
        for (std::uint32_t i = 0; i < kWidth * 3; i += 3)
            if (bgr[i] != rgb[i + 2] || bgr[i + 1] != rgb[i + 1] || bgr[i + 2] != rgb[i]) return false;
    }
    return true;
}

void Paired(benchmark::State& state, Kind kind) {
    const std::string& path = File(kind);
    if (!OursExact(path, Image(kind.picture))) {
        state.SkipWithError("our pixels differ from the picture written");
        return;
    }
    Bytes buffer;
    std::vector<double> ours, theirs, ratios;
    bool oursFirst = true;
    for (auto _ : state) {
        double ourTime = 0, theirTime = 0;
        for (int turn = 0; turn < 2; ++turn) {
            const double start = ThreadMs();
            if ((turn == 0) == oursFirst) {
                {
                    orv::TTIFFGraphic picture;
                    picture.LoadFromFile(path);
                    benchmark::DoNotOptimize(picture.ScanLine(kHeight - 1));
                }
                ourTime = ThreadMs() - start;  // the picture released, as libtiff's file is closed
            } else {
                if (!LibtiffDecode(path, buffer)) state.SkipWithError("libtiff failed");
                benchmark::DoNotOptimize(buffer.data());
                theirTime = ThreadMs() - start;
            }
        }
        oursFirst = !oursFirst;
        ours.push_back(ourTime);
        theirs.push_back(theirTime);
        ratios.push_back(ourTime / theirTime);
    }
    state.counters["ours_ms"] = Median(ours);
    state.counters["libtiff_ms"] = Median(theirs);
    state.counters["ratio"] = Median(ratios);
}

template <bool Blocks>
void Predictor(benchmark::State& state) {
    Bytes image = MakeImage(Picture::Noisy);
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

constexpr Picture kNoisy = Picture::Noisy;
constexpr Picture kSmooth = Picture::Smooth;

BENCHMARK_CAPTURE(Paired, lzw_strips_noisy, Kind{COMPRESSION_LZW, false, kNoisy})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Paired, lzw_strips_smooth, Kind{COMPRESSION_LZW, false, kSmooth})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Paired, lzw_tiles_noisy, Kind{COMPRESSION_LZW, true, kNoisy})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Paired, lzw_tiles_smooth, Kind{COMPRESSION_LZW, true, kSmooth})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Paired, deflate_strips_noisy, Kind{COMPRESSION_ADOBE_DEFLATE, false, kNoisy})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Paired, deflate_strips_smooth, Kind{COMPRESSION_ADOBE_DEFLATE, false, kSmooth})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Paired, deflate_tiles_noisy, Kind{COMPRESSION_ADOBE_DEFLATE, true, kNoisy})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Paired, deflate_tiles_smooth, Kind{COMPRESSION_ADOBE_DEFLATE, true, kSmooth})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Paired, none_strips, Kind{COMPRESSION_NONE, false, kNoisy})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Paired, packbits_strips_noisy, Kind{COMPRESSION_PACKBITS, false, kNoisy})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Paired, packbits_strips_smooth, Kind{COMPRESSION_PACKBITS, false, kSmooth})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_TEMPLATE(Predictor, false)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(Predictor, true)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
