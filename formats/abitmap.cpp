#include "formats/abitmap.h"

namespace orv {

TABitmap::TABitmap() { SetPixelFormat(TPixelFormat::pf24bit); }

const TGraphicClass& TABitmap::ClassInfo() {
    static const TGraphicClass info{"TABitmap",
                                    []() -> std::unique_ptr<TGraphic> { return std::make_unique<TABitmap>(); },
                                    &TBitmap::CanLoadStream, &TBitmap::ClassInfo()};
    return info;
}

void TABitmap::LoadFromFile(const std::string& fileName) {
    TBitmap::LoadFromFile(fileName);
    SetPixelFormat(TPixelFormat::pf24bit);
}

void TABitmap::Assign(const TGraphic& source) {
    TBitmap::Assign(source);
    SetPixelFormat(TPixelFormat::pf24bit);
}

void TABitmap::MoveAssign(TBitmap& source) {
    TBitmap::MoveAssign(source);
    SetPixelFormat(TPixelFormat::pf24bit);
}

void TABitmap::GrayScale(TBitmap& bitmap) {
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    const auto width = static_cast<std::size_t>(bitmap.Width());
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::uint8_t* p = bitmap.ScanLine(y);
        for (std::size_t x = 0; x < width; ++x, p += 3) {
            const auto v = static_cast<std::uint8_t>((unsigned{p[0]} + p[1] + p[2]) / 3);
            p[0] = v;
            p[1] = v;
            p[2] = v;
        }
    }
}

}  // namespace orv
