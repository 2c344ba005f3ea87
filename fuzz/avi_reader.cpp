// Parses arbitrary bytes as an AVI animation and decodes every frame, also
// out of order, so the RLE8 replay from the start is exercised.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/base/errors.h"
#include "platform/graphics/avi.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::TAviReader avi;
    try {
        avi.LoadFromBytes(std::vector<std::uint8_t>(data, data + size));
        orv::TBitmap frame;
        const int count = avi.FrameCount() < 64 ? avi.FrameCount() : 64;
        for (int i = 0; i < count; ++i) avi.Frame(i, frame);
        if (count > 1) avi.Frame(count / 2, frame);
    } catch (const orv::Exception&) {
    }
    return 0;
}
