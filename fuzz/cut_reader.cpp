// Fuzz target: the CUT reader on a stream (the gray palette) and its palette
// file reader on a file written from the same input.
#include <unistd.h>

#include <string>

#include "formats/fmt_cut.h"
#include "fuzz/reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::fuzz::FuzzReader<orv::TCUTGraphic>(data, size, orv::fuzz::kLargePicture);
    static const std::string palette = "/tmp/fuzz_cut_" + std::to_string(getpid()) + ".pal";
    try {
        orv::TMemoryStream(data, size).SaveToFile(palette);
        volatile std::size_t count = orv::TCUTGraphic::ReadPaletteFile(palette).Count();
        (void)count;
    } catch (const orv::Exception&) {
    }
    return 0;
}
