#include "platform/graphics/graphic.h"

#include <algorithm>

#include "platform/base/stream.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/messages.h"

namespace orv {

std::string FormatImageMessage(std::string_view format, std::span<const std::string> arguments) {
    std::string out;
    out.reserve(format.size() + 32);
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c == '%' && i + 1 < format.size()) {
            const char kind = format[i + 1];
            if (kind == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (kind == 's' || kind == 'd') {
                if (next < arguments.size()) out += arguments[next];
                ++next;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

void RaiseImageError(std::string_view message) { throw EInvalidGraphic(std::string(message)); }

void CheckImageSize(std::int64_t width, std::int64_t height, std::string_view formatName) {
    if (width < 0 || height < 0 || width > kMaxImageSide || height > kMaxImageSide ||
        width * height > kMaxImagePixels)
        RaiseImageErrorFmt(msg::InvalidImage, formatName);
}

TRect IntersectRect(const TRect& a, const TRect& b) {
    TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
            std::min(a.Bottom, b.Bottom)};
    if (r.IsEmpty()) return TRect{};
    return r;
}

bool TGraphicClass::InheritsFrom(const TGraphicClass& other) const {
    for (const TGraphicClass* c = this; c != nullptr; c = c->Parent)
        if (c == &other) return true;
    return false;
}

const TGraphicClass& TGraphic::ClassInfo() {
    static const TGraphicClass info{"TGraphic", nullptr, nullptr, nullptr};
    return info;
}

void TGraphic::Assign(const TGraphic& source) {
    throw EInvalidGraphicOperation(FormatMessage(msg::CannotAssign, source.ClassType().Name, ClassType().Name));
}

void TGraphic::LoadFromFile(const std::string& fileName) {
    TFileStream stream(fileName, FileMode::OpenRead);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& fileName) {
    TFileStream stream(fileName, FileMode::Create);
    SaveToStream(stream);
}

void TGraphic::RenderToBitmap(TBitmap& target) {
    TBitmap canvas;
    canvas.SetPixelFormat(TPixelFormat::pf24bit);
    canvas.SetSize(Width(), Height());
    Draw(canvas, 0, 0);
    target.MoveAssign(canvas);
}

void TGraphic::Progress(TProgressStage stage, std::uint8_t percentDone, bool redrawNow, const TRect& rect,
                        const std::string& message) {
    if (OnProgress) OnProgress(*this, stage, percentDone, redrawNow, rect, message);
}

}  // namespace orv
