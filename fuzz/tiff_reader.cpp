// Feeds arbitrary bytes to the TIFF reader (or, behind the EPS magic, to the
// EPS reader); then converts the result to 24 bits as the program's loader
// does.
#include "formats/fmt_eps.h"
#include "formats/fmt_tiff.h"
#include "fuzz/reader_fuzz.h"

namespace {

struct ToTrueColour {
    void operator()(orv::TTIFFGraphic& picture) const {
        if (static_cast<std::int64_t>(picture.Width()) * picture.Height() <= (1 << 22))
            picture.SetPixelFormat(orv::TPixelFormat::pf24bit);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const bool eps = size >= 4 && data[0] == 0xC5 && data[1] == 0xD0 && data[2] == 0xD3 && data[3] == 0xC6;
    if (eps) return orv::fuzz::FuzzReader<orv::TEPSGraphic>(data, size, 0, ToTrueColour{});
    return orv::fuzz::FuzzReader<orv::TTIFFGraphic>(data, size, orv::fuzz::kLargePicture, ToTrueColour{});
}
