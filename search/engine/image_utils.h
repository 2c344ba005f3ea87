// Picture routines of the main program: the loader, the box-filter
// reduction that makes signatures, the gray conversion and the folder test.
// None keeps state; failures are answered as false.
#pragma once

#include <cstdint>
#include <string>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture_loader.h"  // LoadPictureToBitmap, shared with the pair handler

namespace orv {

// Replaces `bitmap` by a 24-bit bitmap of newWidth x newHeight whose pixels
// average the source block they cover, sampling every 1st to 6th row and
// column of large reductions. A block that holds no source pixel (the side
// grows) repeats the source pixel at its top-left corner.
bool AvgResize(TBitmap& bitmap, std::int32_t newWidth, std::int32_t newHeight);

// 255 from 255 up, 0 up to 0 (and for NaN), otherwise rounded to the nearest
// integer with halves to the even one.
int ClampByte(double value);

// 24 bits per pixel, each pixel gray (blue + green + red) div 3.
bool GrayScaleBitmap(TBitmap& bitmap);

// True when the path names an existing folder (one trailing '/' ignored;
// wildcard characters are ordinary characters).
bool IsDirectory(const std::string& path);

}  // namespace orv
