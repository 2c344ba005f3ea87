// JPEG-in-TIFF decoder: bytes 0-5 give the image (width, height, rows per
// strip, samples, YCbCr and subsampling, where the tables end), the rest is
// the tables followed by one or two strips.
#include <cstdint>
#include <vector>

#include "formats/codec_jpeg.h"
#include "platform/graphics/graphic.h"

using namespace orv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return 0;
    TTIFFJPEGImage image;
    image.Width = data[0] % 64 + 1u;
    image.Height = data[1] % 64 + 1u;
    image.RowsPerStrip = data[2] % 64 + 1u;
    image.SamplesPerPixel = data[3] & 1 ? 3 : 1;
    image.YCbCr = data[3] & 2;
    image.SubsamplingH = data[3] & 4 ? 2 : 1;
    image.SubsamplingV = data[3] & 8 ? 2 : 1;
    image.PlanarLayout = data[3] & 16 ? 2 : 1;
    image.RowBytes = image.Width * image.SamplesPerPixel + (data[3] & 32 ? 5 : 0);
    const std::size_t tables = static_cast<std::size_t>(data[4]) << 8 | data[5];
    const std::size_t split = static_cast<std::size_t>(data[6]) << 8 | data[7];
    data += 8;
    size -= 8;
    const std::size_t tableBytes = std::min(tables, size);
    image.JPEGTables.assign(data, data + tableBytes);
    std::vector<std::uint8_t> strips(data + tableBytes, data + size);
    try {
        TTIFFJPEGDecoder d(image);
        d.DecodeInit();
        const std::size_t first = std::min(split, strips.size());
        const std::size_t parts[2][2] = {{0, first}, {first, strips.size() - first}};
        for (const auto& part : parts) {
            std::vector<std::uint8_t> packed(strips.begin() + static_cast<long>(part[0]),
                                             strips.begin() + static_cast<long>(part[0] + part[1]));
            std::vector<std::uint8_t> out(static_cast<std::size_t>(image.RowsPerStrip) * image.RowBytes);
            const std::uint8_t* src = packed.data();
            std::uint8_t* dst = out.data();
            try {
                d.Decode(src, packed.size(), dst, out.size());
            } catch (const EDecoderError&) {
            } catch (const EInvalidGraphic&) {
            }
        }
        d.DecodeEnd();
    } catch (const EDecoderError&) {
    } catch (const EInvalidGraphic&) {
    }
    return 0;
}
