// The image loader both programs use: any registered picture file into a
// bitmap, failures answered as false.
#pragma once

#include <string>

#include "platform/graphics/bitmap.h"

namespace orv {

// The revision of the pictures the loader gives. It moves with every change
// to a reader (here, in the bitmap and JPEG pictures, or in the format
// library) that gives any file other pixels or another size, or refuses a
// file it read before or reads one it refused: signatures kept by the main
// program under an earlier revision are then made anew.
inline constexpr int kPictureRevision = 1;

enum class TLoadCheck {
    None,             // load straight away
    FileMustExist,    // answer false at once unless the path names an existing file
};

// Loads the file through the picture registry (by its extension). A bitmap
// graphic goes to `destination` unchanged, pixel format included; any other
// graphic is drawn onto a new 24-bit bitmap of its size. Answers false on
// any failure; `destination` is then left as it was.
bool LoadPictureToBitmap(const std::string& fileName, TBitmap& destination, TLoadCheck check = TLoadCheck::None);

// The same for a picture shown fitted into a box of boxWidth x boxHeight: a
// file read by the JPEG picture class is decoded at the smallest DCT scale
// that still covers the shown size (JpegFitDenominator); any other file, and
// an empty box, loads whole.
bool LoadPictureToFit(const std::string& fileName, TBitmap& destination, int boxWidth, int boxHeight);

}  // namespace orv
