// Software painting: a canvas over a 32-bit or 24-bit TBitmap. Fills and
// frames write the pixels directly; text goes through Qt onto the same
// pixels (a QImage wrapping the bitmap's rows).
#pragma once

#include <QImage>
#include <string>

#include "platform/graphics/bitmap.h"
#include "platform/ui/ui_types.h"

namespace orv {

enum class TBrushStyle { bsSolid, bsClear };

class TCanvas {
public:
    // The bitmap must be in the device, 32-bit or 24-bit format.
    explicit TCanvas(TBitmap& bitmap);

    TBitmap& Bitmap() { return bitmap_; }

    TColor BrushColor = clWhite;
    TBrushStyle BrushStyle = TBrushStyle::bsSolid;
    TFont Font;

    // Rectangles are left, top, right, bottom with right and bottom
    // exclusive; everything is clipped to the bitmap.
    void FillRect(const TRect& rect);
    // One-pixel outline in the brush colour.
    void FrameRect(const TRect& rect);
    int TextWidth(const std::string& text) const;
    int TextHeight(const std::string& text) const;
    // Text with its top-left corner at (x, y); on a solid brush the text's
    // cell is filled with the brush colour first.
    void TextOut(int x, int y, const std::string& text);

private:
    TBitmap& bitmap_;
};

// A QImage sharing the bitmap's pixel memory (no copy). The bitmap must stay
// unchanged in size and format while the image is used.
QImage WrapBitmap(TBitmap& bitmap);
QImage WrapBitmap(const TBitmap& bitmap);

}  // namespace orv
