#include "platform/ui/ui_types.h"

#include <QColor>
#include <QFont>

namespace orv {

TColor ColorToRGB(TColor color) {
    if ((color & 0xFF000000u) != 0x80000000u) return color & 0x00FFFFFFu;
    switch (color & 0xFFu) {
        case 0x05: return RGBColor(255, 255, 255);  // window
        case 0x08: return RGBColor(0, 0, 0);        // window text
        case 0x0F: return RGBColor(240, 240, 240);  // button face
        case 0x10: return RGBColor(160, 160, 160);  // button shadow
        case 0x14: return RGBColor(255, 255, 255);  // button highlight
        case 0x1E: return RGBColor(240, 240, 240);  // menu bar
        default: return RGBColor(192, 192, 192);
    }
}

QColor ToQColor(TColor color) {
    const TColor c = ColorToRGB(color);
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

QFont ToQFont(const TFont& font) {
    QString family = QString::fromStdString(font.Name);
    // The proportional and fixed-pitch gothic faces of the other platform.
    if (family == QStringLiteral("ＭＳ Ｐゴシック") || family == QStringLiteral("MS PGothic") ||
        family == QStringLiteral("ＭＳ ＵＩ Gothic"))
        family = QStringLiteral("IPAPGothic");
    else if (family == QStringLiteral("ＭＳ ゴシック") || family == QStringLiteral("MS Gothic"))
        family = QStringLiteral("IPAGothic");
    QFont f(family);
    f.setPixelSize(font.Height > 0 ? font.Height : 12);
    f.setBold(font.Style & static_cast<unsigned>(TFontStyle::Bold));
    f.setItalic(font.Style & static_cast<unsigned>(TFontStyle::Italic));
    f.setUnderline(font.Style & static_cast<unsigned>(TFontStyle::Underline));
    // Same glyph edges on every screen, so painted pixels are repeatable.
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

}  // namespace orv
