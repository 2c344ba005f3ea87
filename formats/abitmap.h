// A bitmap that stays at 24 bits per pixel (blue, green, red) and carries
// the gray conversion applied to every signature.
#pragma once

#include <string>

#include "platform/graphics/bitmap.h"

namespace orv {

class TABitmap : public TBitmap {
public:
    TABitmap();

    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }

    void LoadFromFile(const std::string& fileName) override;
    void Assign(const TGraphic& source) override;
    void MoveAssign(TBitmap& source) override;

    // Converts `bitmap` (not this object) in place: 24 bits per pixel, and
    // every pixel's three bytes become (blue + green + red) div 3.
    static void GrayScale(TBitmap& bitmap);
};

}  // namespace orv
