#include "filer/core/pair_image.h"

#include "platform/graphics/picture_loader.h"

namespace orv {

bool LoadPairPicture(const std::string& path, TBitmap& dest) {
    return LoadPictureToBitmap(path, dest, TLoadCheck::FileMustExist);
}

}  // namespace orv
