// Fuzz target: the RLA reader.
#include "formats/fmt_rla.h"
#include "fuzz/reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return orv::fuzz::FuzzReader<orv::TRLAGraphic>(data, size);
}
