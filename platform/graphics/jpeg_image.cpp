#include "platform/graphics/jpeg_image.h"

#include "platform/base/stream.h"

namespace orv {

const TGraphicClass& TJPEGImage::ClassInfo() {
    static const TGraphicClass info{"TJPEGImage",
                                    []() -> std::unique_ptr<TGraphic> { return std::make_unique<TJPEGImage>(); },
                                    &TJPEGImage::CanLoadStream, &TGraphic::ClassInfo()};
    return info;
}
bool TJPEGImage::CanLoadStream(TStream&) { return false; }
void TJPEGImage::Assign(const TGraphic& source) { TGraphic::Assign(source); }
void TJPEGImage::LoadFromStream(TStream&) { RaiseInvalidImage("JPEG"); }
void TJPEGImage::SaveToStream(TStream&) { throw EInvalidGraphicOperation("Cannot save a JPEG picture"); }
void TJPEGImage::Draw(TBitmap& target, int x, int y) const { bitmap_.Draw(target, x, y); }
void TJPEGImage::RenderToBitmap(TBitmap& target) { bitmap_.RenderToBitmap(target); }

}  // namespace orv
