#include "platform/graphics/graphic.h"

#include <algorithm>

#include "platform/base/stream.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/messages.h"

namespace orv {

std::string FormatText(std::string_view text, std::string_view argument) {
    std::string out(text);
    const auto at = out.find("%s");
    if (at != std::string::npos) out.replace(at, 2, argument);
    return out;
}

void RaiseInvalidImageFormat(std::string_view formatName) {
    throw EInvalidGraphic(FormatText(msg::InvalidImage, formatName));
}

void CheckImageSize(std::int64_t width, std::int64_t height, std::string_view formatName) {
    if (width < 0 || height < 0 || width > kMaxImageSide || height > kMaxImageSide ||
        width * height > kMaxImagePixels)
        RaiseInvalidImageFormat(formatName);
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
    throw EInvalidGraphicOperation(std::string("Cannot assign a ") + source.ClassType().Name + " to a " +
                                   ClassType().Name);
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
