// The JPEG picture: decodes a JPEG stream with libjpeg-turbo
// into a 24-bit bitmap (blue first). Gray files are expanded, CMYK and YCCK
// files converted to RGB; EXIF orientation is not applied.
#pragma once

#include "platform/graphics/bitmap.h"

namespace orv {

class TJPEGImage : public TGraphic {
public:
    TJPEGImage() = default;

    static const TGraphicClass& ClassInfo();
    const TGraphicClass& ClassType() const override { return ClassInfo(); }
    // True when the stream starts with the JPEG start-of-image marker.
    static bool CanLoadStream(TStream& stream);

    bool Empty() const override { return bitmap_.Empty(); }
    int Width() const override { return bitmap_.Width(); }
    int Height() const override { return bitmap_.Height(); }
    void SetWidth(int width) override { bitmap_.SetWidth(width); }
    void SetHeight(int height) override { bitmap_.SetHeight(height); }

    void Assign(const TGraphic& source) override;
    // Decodes the rest of the stream. Raises EInvalidGraphic for data that
    // libjpeg refuses or a picture over the size gate.
    void LoadFromStream(TStream& stream) override;
    // Not supported: raises EInvalidGraphicOperation.
    void SaveToStream(TStream& stream) override;

    void Draw(TBitmap& target, int x, int y) const override;
    void RenderToBitmap(TBitmap& target) override;

    // The decoded picture (24 bits per pixel).
    const TBitmap& Bitmap() const { return bitmap_; }

private:
    TBitmap bitmap_;
};

}  // namespace orv
