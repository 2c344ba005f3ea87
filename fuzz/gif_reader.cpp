// Fuzz target: the GIF reader.
#include "formats/fmt_gif.h"
#include "fuzz/reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return orv::fuzz::FuzzReader<orv::TGIFGraphic>(data, size);
}
