// Feeds arbitrary bytes to the JPEG picture.
#include <cstddef>
#include <cstdint>

#include "platform/base/stream.h"
#include "platform/graphics/jpeg_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::TMemoryStream in(data, size);
    orv::TJPEGImage jpeg;
    try {
        jpeg.LoadFromStream(in);
    } catch (const orv::Exception&) {
        return 0;
    }
    orv::TBitmap target;
    jpeg.RenderToBitmap(target);
    return 0;
}
