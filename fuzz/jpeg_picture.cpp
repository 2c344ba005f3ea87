// Feeds arbitrary bytes to the JPEG picture; an input of odd length is
// decoded fitted into a small box (DCT scaling) taken from its last bytes.
#include <cstddef>
#include <cstdint>

#include "platform/base/stream.h"
#include "platform/graphics/jpeg_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::TMemoryStream in(data, size);
    orv::TJPEGImage jpeg;
    if (size >= 3 && size % 2 == 1) jpeg.SetFitBox(1 + data[size - 2], 1 + data[size - 1]);
    try {
        jpeg.LoadFromStream(in);
    } catch (const orv::Exception&) {
        return 0;
    }
    orv::TBitmap target;
    jpeg.RenderToBitmap(target);
    return 0;
}
