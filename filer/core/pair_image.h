// The pair handler's picture loader.
#pragma once

#include <string>

namespace orv {

class TBitmap;

// False at once for a path that names no existing file (dest untouched);
// otherwise any registered picture into dest, false on any failure.
bool LoadPairPicture(const std::string& path, TBitmap& dest);

}  // namespace orv
