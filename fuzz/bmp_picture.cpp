// Feeds arbitrary bytes to the BMP reader; then exercises the result the
// way the program does (conversion to 24 bits, writing it back).
#include <cstddef>
#include <cstdint>

#include "platform/base/stream.h"
#include "platform/graphics/bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::TMemoryStream in(data, size);
    orv::TBitmap bmp;
    try {
        if (orv::TBitmap::CanLoadStream(in)) in.SetPosition(0);
        bmp.LoadFromStream(in);
    } catch (const orv::Exception&) {
        return 0;
    }
    // Keep the conversions cheap on large pictures.
    if (static_cast<std::int64_t>(bmp.Width()) * bmp.Height() <= (1 << 20)) {
        bmp.SetPixelFormat(orv::TPixelFormat::pf24bit);
        orv::TMemoryStream out;
        bmp.SaveToStream(out);
    }
    return 0;
}
