// Fuzz target: the PSP reader.
#include "formats/fmt_psp.h"
#include "fuzz/reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return orv::fuzz::FuzzReader<orv::TPSPGraphic>(data, size, orv::fuzz::kLargePicture);
}
