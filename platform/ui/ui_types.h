// Small value types shared by every control: colours, fonts, mouse and
// notification events, alignment.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/graphics/bitmap.h"

class QColor;
class QFont;

namespace orv {

class TObject {
public:
    virtual ~TObject() = default;
    virtual std::string ClassName() const { return "TObject"; }
};

// TColor (bitmap.h) as the windows store it: 0x00BBGGRR, or a system colour
// (0x80000000 | index) that ColorToRGB resolves.
constexpr int GetRValue(TColor c) { return static_cast<int>(c & 0xFF); }
constexpr int GetGValue(TColor c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int GetBValue(TColor c) { return static_cast<int>((c >> 16) & 0xFF); }

constexpr TColor clNavy = 0x800000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clBtnFace = 0x8000000F;
constexpr TColor clWindow = 0x80000005;
constexpr TColor clWindowText = 0x80000008;
constexpr TColor clMenuBar = 0x8000001E;
constexpr TColor clBtnShadow = 0x80000010;
constexpr TColor clBtnHighlight = 0x80000014;

// System colours resolve to fixed values, so software painting is the same on
// every desktop and tests can compare pixels.
TColor ColorToRGB(TColor color);
QColor ToQColor(TColor color);

enum class TFontStyle : unsigned { Bold = 1, Italic = 2, Underline = 4 };

struct TFont {
    std::string Name = "IPAPGothic";
    int Height = 12;  // character height in pixels
    unsigned Style = 0;  // TFontStyle bits
    TColor Color = clWindowText;

    bool operator==(const TFont&) const = default;
};
// A QFont for the font; the names of the other platform's Japanese system
// fonts map to the installed gothic faces.
QFont ToQFont(const TFont& font);

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftFlag : unsigned {
    ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64
};
using TShiftState = unsigned;

using TNotifyEvent = std::function<void(TObject* sender)>;
using TMouseEvent = std::function<void(TObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TAnchorFlag : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
using TAnchors = unsigned;

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TTextLayout { tlTop, tlCenter, tlBottom };

struct TPoint {
    int X = 0;
    int Y = 0;
    bool operator==(const TPoint&) const = default;
};

}  // namespace orv
