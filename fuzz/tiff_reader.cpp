// Feeds arbitrary bytes to the TIFF reader (or, behind the EPS magic, to the
// EPS reader); then converts the result to 24 bits as the program's loader
// does. Pictures larger than a few megapixels are only read up to their
// header, so the fuzzer's memory limit is spent on the parsing.
#include <cstddef>
#include <cstdint>

#include "formats/fmt_eps.h"
#include "formats/fmt_tiff.h"
#include "platform/base/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const bool eps = size >= 4 && data[0] == 0xC5 && data[1] == 0xD0 && data[2] == 0xD3 && data[3] == 0xC6;
    try {
        orv::TMemoryStream probe(data, size);
        if (eps) {
            orv::TEPSGraphic::CanLoadStream(probe);
        } else {
            orv::TTIFFGraphic::CanLoadStream(probe);
            orv::TTIFFGraphic header;
            if (!header.ReadImageProperties(probe, 0)) return 0;
            const auto& p = header.ImageProperties;
            if (static_cast<std::uint64_t>(p.Width) * p.Height > (std::uint64_t{1} << 22)) return 0;
            header.ReadImageProperties(probe, 1);
        }
    } catch (const orv::Exception&) {
        return 0;
    }

    orv::TMemoryStream in(data, size);
    orv::TEPSGraphic epsPicture;
    orv::TTIFFGraphic tiffPicture;
    orv::TTIFFGraphic& picture = eps ? epsPicture : tiffPicture;
    try {
        picture.LoadFromStream(in);
    } catch (const orv::Exception&) {
        return 0;
    }
    if (static_cast<std::int64_t>(picture.Width()) * picture.Height() <= (1 << 22))
        picture.SetPixelFormat(orv::TPixelFormat::pf24bit);
    return 0;
}
