#include "platform/graphics/picture_loader.h"

#include "platform/base/file_system.h"
#include "platform/graphics/jpeg_image.h"
#include "platform/graphics/picture.h"

namespace orv {

bool LoadPictureToBitmap(const std::string& fileName, TBitmap& destination, TLoadCheck check) {
    try {
        if (check == TLoadCheck::FileMustExist && !FileExists(fileName)) return false;
        TPicture picture;
        picture.LoadFromFile(fileName);
        TGraphic* graphic = picture.Graphic();
        if (graphic == nullptr) return false;
        if (auto* bitmap = dynamic_cast<TBitmap*>(graphic)) {
            // The picture is dropped right after, so its pixels can move.
            destination.MoveAssign(*bitmap);
        } else {
            TBitmap canvas;
            graphic->RenderToBitmap(canvas);
            destination.MoveAssign(canvas);
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool LoadPictureToFit(const std::string& fileName, TBitmap& destination, int boxWidth, int boxHeight) {
    const bool jpeg = TPicture::ClassForExtension(PictureExtension(fileName)) == &TJPEGImage::ClassInfo();
    if (!jpeg || boxWidth <= 0 || boxHeight <= 0) return LoadPictureToBitmap(fileName, destination);
    try {
        TJPEGImage picture;
        picture.SetFitBox(boxWidth, boxHeight);
        picture.LoadFromFile(fileName);
        picture.RenderToBitmap(destination);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace orv
