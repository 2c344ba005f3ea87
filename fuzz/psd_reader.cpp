// Fuzz target: the PSD reader.
#include "formats/fmt_psd.h"
#include "fuzz/reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return orv::fuzz::FuzzReader<orv::TPSDGraphic>(data, size);
}
