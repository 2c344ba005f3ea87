// Fuzz target: the Photo-CD reader.
#include "formats/fmt_pcd.h"
#include "fuzz/reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return orv::fuzz::FuzzReader<orv::TPCDGraphic>(data, size);
}
