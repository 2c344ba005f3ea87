// Strip decoding speed: our Deflate and LZW decoders next to zlib's own
// inflate on the same image (64-row strips of a 1024 x 1024 gray picture with
// smooth areas, edges and noise). The LZW strips are made by libtiff.
#include <benchmark/benchmark.h>
#include <tiffio.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "formats/codec_deflate.h"
#include "formats/codec_lzw.h"
#include "bench/tiff_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kSide = 1024;
constexpr std::uint32_t kRowsPerStrip = 64;
constexpr std::size_t kStripBytes = std::size_t{kSide} * kRowsPerStrip;

struct Strips {
    Bytes image;
    std::vector<Bytes> deflate;
    std::vector<Bytes> lzw;
};

Bytes MakeImage() {
    Bytes image(std::size_t{kSide} * kSide);
    std::mt19937 rng(1);
    for (std::uint32_t y = 0; y < kSide; ++y)
        for (std::uint32_t x = 0; x < kSide; ++x) {
            std::uint8_t v = static_cast<std::uint8_t>((x + y) / 8);
            if ((x / 128 + y / 128) % 3 == 0) v = static_cast<std::uint8_t>(v + rng() % 16);
            if ((x / 200) % 2 == 1 && (y / 150) % 2 == 0) v = 255;
            image[std::size_t{y} * kSide + x] = v;
        }
    return image;
}

std::vector<Bytes> LzwStrips(const Bytes& image) {
    const std::string path = "/tmp/orv_bench_codecs_" + std::to_string(getpid()) + ".tif";
    {
        const orv::bench::TiffFile out =
            orv::bench::CreateTiff(path, kSide, kSide, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW);
        TIFFSetField(out.get(), TIFFTAG_ROWSPERSTRIP, kRowsPerStrip);
        for (std::uint32_t s = 0; s < kSide / kRowsPerStrip; ++s)
            TIFFWriteEncodedStrip(out.get(), s, const_cast<std::uint8_t*>(image.data() + s * kStripBytes), kStripBytes);
    }
    TIFF* in = TIFFOpen(path.c_str(), "r");
    std::vector<Bytes> strips;
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(in); ++s) {
        Bytes raw(static_cast<std::size_t>(TIFFRawStripSize(in, s)));
        TIFFReadRawStrip(in, s, raw.data(), static_cast<tmsize_t>(raw.size()));
        strips.push_back(std::move(raw));
    }
    TIFFClose(in);
    unlink(path.c_str());
    return strips;
}

const Strips& Data() {
    static const Strips strips = [] {
        Strips s;
        s.image = MakeImage();
        for (std::uint32_t k = 0; k < kSide / kRowsPerStrip; ++k) {
            uLongf size = compressBound(kStripBytes);
            Bytes packed(size);
            compress2(packed.data(), &size, s.image.data() + k * kStripBytes, kStripBytes, 6);
            packed.resize(size);
            s.deflate.push_back(std::move(packed));
        }
        s.lzw = LzwStrips(s.image);
        return s;
    }();
    return strips;
}

void Check(bool ok, benchmark::State& state) {
    if (!ok) state.SkipWithError("decoded strip differs from the image");
}

void BM_ZlibInflate(benchmark::State& state) {
    const Strips& d = Data();
    Bytes out(kStripBytes);
    z_stream z{};
    inflateInit(&z);
    for (auto _ : state) {
        for (const Bytes& strip : d.deflate) {
            inflateReset(&z);
            z.next_in = const_cast<Bytef*>(strip.data());
            z.avail_in = static_cast<uInt>(strip.size());
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            inflate(&z, Z_SYNC_FLUSH);
            benchmark::DoNotOptimize(out.data());
        }
    }
    inflateEnd(&z);
    Check(std::equal(out.begin(), out.end(), d.image.end() - kStripBytes), state);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.image.size()));
}
BENCHMARK(BM_ZlibInflate);

void BM_LZ77Decoder(benchmark::State& state) {
    const Strips& d = Data();
    Bytes out(kStripBytes);
    orv::TLZ77Decoder decoder(Z_SYNC_FLUSH, true);
    decoder.DecodeInit();
    for (auto _ : state) {
        for (const Bytes& strip : d.deflate) {
            const std::uint8_t* src = strip.data();
            std::uint8_t* dst = out.data();
            decoder.Decode(src, strip.size(), dst, out.size());
            benchmark::DoNotOptimize(out.data());
        }
    }
    decoder.DecodeEnd();
    Check(std::equal(out.begin(), out.end(), d.image.end() - kStripBytes), state);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.image.size()));
}
BENCHMARK(BM_LZ77Decoder);

void BM_TIFFLZWDecoder(benchmark::State& state) {
    const Strips& d = Data();
    Bytes out(kStripBytes);
    orv::TTIFFLZWDecoder decoder;
    for (auto _ : state) {
        for (const Bytes& strip : d.lzw) {
            const std::uint8_t* src = strip.data();
            std::uint8_t* dst = out.data();
            decoder.Decode(src, strip.size(), dst, out.size());
            benchmark::DoNotOptimize(out.data());
        }
    }
    Check(std::equal(out.begin(), out.end(), d.image.end() - kStripBytes), state);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.image.size()));
}
BENCHMARK(BM_TIFFLZWDecoder);

}  // namespace

BENCHMARK_MAIN();
