// Fuzz target: the Targa reader, and the writer on what it read. Any input
// either loads or raises one of the library's exceptions; nothing is read or
// written outside its buffers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "formats/fmt_targa.h"
#include "platform/base/errors.h"
#include "platform/base/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::TMemoryStream stream(data, size);
    orv::TTargaGraphic targa;
    (void)orv::TTargaGraphic::CanLoadStream(stream);
    try {
        targa.LoadFromStream(stream);
    } catch (const orv::Exception&) {
        return 0;
    }
    // Touch a bounded number of pixels: a header may name a large picture
    // that a few bytes of run-length data leave black.
    volatile std::uint32_t sink = 0;
    const int rows = targa.Height() < 64 ? targa.Height() : 64;
    const int columns = targa.Width() < 256 ? targa.Width() : 256;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x) sink = sink ^ targa.GetPixel(x, y);
    if (!targa.Empty() && static_cast<std::int64_t>(targa.Width()) * targa.Height() <= 4096) {
        orv::TMemoryStream out;
        targa.SaveTarga(out, (size & 1) != 0);
        out.SetPosition(0);
        orv::TTargaGraphic back;
        back.LoadFromStream(out);
        if (back.Width() != targa.Width() || back.Height() != targa.Height()) std::abort();
    }
    return 0;
}
