#include "platform/ui/canvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <cstring>

#include "platform/graphics/graphic.h"
#include "platform/graphics/messages.h"

namespace orv {

namespace {

QImage::Format QtFormatOf(const TBitmap& bitmap) {
    switch (bitmap.PixelFormat()) {
        case TPixelFormat::pfDevice:
        case TPixelFormat::pf32bit: return QImage::Format_RGB32;
        case TPixelFormat::pf24bit: return QImage::Format_BGR888;
        default: return QImage::Format_Invalid;
    }
}

// Both forms of WrapBitmap: a const bitmap gives a read-only image (Qt's
// constructor taking const bits), a mutable one an image drawing into it.
template <class Bitmap> QImage Wrap(Bitmap& bitmap) {
    const QImage::Format f = QtFormatOf(bitmap);
    if (bitmap.Empty() || f == QImage::Format_Invalid) return {};
    return QImage(bitmap.Bits(), bitmap.Width(), bitmap.Height(), static_cast<qsizetype>(bitmap.RowBytes()), f);
}

}  // namespace

QImage WrapBitmap(TBitmap& bitmap) { return Wrap(bitmap); }

QImage WrapBitmap(const TBitmap& bitmap) { return Wrap(bitmap); }

TCanvas::TCanvas(TBitmap& bitmap) : bitmap_(bitmap) {
    if (QtFormatOf(bitmap) == QImage::Format_Invalid)
        throw EInvalidGraphicOperation(msg::CanvasDepth);
}

void TCanvas::FillRect(const TRect& rect) { bitmap_.FillRect(rect, ColorToRGB(BrushColor)); }

void TCanvas::FrameRect(const TRect& rect) { bitmap_.FrameRect(rect, ColorToRGB(BrushColor)); }

int TCanvas::TextWidth(const std::string& text) const {
    return QFontMetrics(ToQFont(Font)).horizontalAdvance(QString::fromStdString(text));
}

int TCanvas::TextHeight(const std::string& text) const {
    (void)text;
    return QFontMetrics(ToQFont(Font)).height();
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
    if (text.empty() || bitmap_.Empty()) return;
    if (BrushStyle == TBrushStyle::bsSolid)
        FillRect(TRect{x, y, x + TextWidth(text), y + TextHeight(text)});
    QImage image = WrapBitmap(bitmap_);
    QPainter painter(&image);
    const QFont font = ToQFont(Font);
    painter.setFont(font);
    painter.setPen(ToQColor(Font.Color));
    painter.drawText(QPoint(x, y + QFontMetrics(font).ascent()), QString::fromStdString(text));
}

}  // namespace orv
