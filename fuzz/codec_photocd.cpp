// Photo-CD residual decoder: bytes 0-1 give the row length, byte 2 the rows,
// byte 3 the stop row; the rest is the stream.
#include <cstdint>
#include <vector>

#include "formats/codec_photocd.h"

using namespace orv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::size_t rowLength = (static_cast<std::size_t>(data[0]) << 8 | data[1]) % 3000;
    const std::size_t rows = data[2] % 16;
    const std::uint32_t stopRow = data[3];
    std::vector<std::uint8_t> luma(rowLength * rows), chroma1(rowLength * rows / 2), chroma2(rowLength * rows / 2);
    TPCDPlanes planes;
    planes.Data[0] = luma.data();
    planes.Data[1] = chroma1.data();
    planes.Data[2] = chroma2.data();
    planes.Size[0] = luma.size();
    planes.Size[1] = chroma1.size();
    planes.Size[2] = chroma2.size();
    TMemoryStream stream(data + 4, size - 4);
    TPCDDecoder d(stream);
    d.DecodePlanes(planes, rowLength, stopRow);
    return 0;
}
