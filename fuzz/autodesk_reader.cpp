// Fuzz target: the Autodesk reader.
#include "formats/fmt_autodesk.h"
#include "fuzz/reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return orv::fuzz::FuzzReader<orv::TAutodeskGraphic>(data, size);
}
