// Fuzz target: the Targa reader, and the writer on what it read.
#include <cstdlib>

#include "formats/fmt_targa.h"
#include "fuzz/reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return orv::fuzz::FuzzReader<orv::TTargaGraphic>(data, size, 0, [size](orv::TTargaGraphic& targa) {
        if (targa.Empty() || static_cast<std::int64_t>(targa.Width()) * targa.Height() > 4096) return;
        orv::TMemoryStream out;
        targa.SaveTarga(out, (size & 1) != 0);
        out.SetPosition(0);
        orv::TTargaGraphic back;
        back.LoadFromStream(out);
        if (back.Width() != targa.Width() || back.Height() != targa.Height()) std::abort();
    });
}
