// The graphic base class of the picture layer: every picture kind (bitmaps,
// the JPEG picture, the format library's classes) derives from TGraphic and
// is described by one static TGraphicClass, which the picture registry binds
// to file extensions. Also the one raiser of the invalid-graphic error and
// the filling of the message table's texts (messages.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/base/errors.h"

namespace orv {

class TStream;
class TBitmap;
class TGraphic;

// The invalid-graphic error: raised for files a reader cannot take, pictures
// over the size gate and registry misuse.
class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};

// A misuse of a valid graphic (a scan line outside the bitmap, ...).
class EInvalidGraphicOperation : public Exception {
public:
    using Exception::Exception;
};

// Fills each %s or %d of the format with the next argument ("%%" is "%").
std::string FormatImageMessage(std::string_view format, std::span<const std::string> arguments);

namespace detail {
inline std::string_view MessageArgument(std::string_view text) { return text; }
inline std::string_view MessageArgument(const std::string& text) { return text; }
inline std::string_view MessageArgument(const char* text) { return text; }
template <class T>
    requires std::is_integral_v<T>
std::string MessageArgument(T value) {
    return std::to_string(value);
}
}  // namespace detail

// A text of the message table (messages.h) with its places filled.
template <class... Args>
std::string FormatMessage(std::string_view format, const Args&... args) {
    const std::vector<std::string> texts{std::string(detail::MessageArgument(args))...};
    return FormatImageMessage(format, texts);
}

// The one raiser of the invalid-graphic error, for every reader and writer
// of the picture layer and the format library: files a reader cannot take
// ("Cannot load image. Invalid or unexpected %s image format.",
// msg::InvalidImage, with the format's name), pictures over the size gate
// and registry misuse.
[[noreturn]] void RaiseImageError(std::string_view message);

template <class... Args>
[[noreturn]] void RaiseImageErrorFmt(std::string_view format, const Args&... args) {
    RaiseImageError(FormatMessage(format, args...));
}

// The one size gate for every image path: refuses (msg::InvalidImage) a
// negative side, a side above 2^20 or more than 2^29
// pixels, before anything is allocated.
inline constexpr std::int64_t kMaxImageSide = std::int64_t{1} << 20;
inline constexpr std::int64_t kMaxImagePixels = std::int64_t{1} << 29;
void CheckImageSize(std::int64_t width, std::int64_t height, std::string_view formatName);

// Rectangle with right and bottom exclusive.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    constexpr int Width() const { return Right - Left; }
    constexpr int Height() const { return Bottom - Top; }
    constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    constexpr void Offset(int dx, int dy) { Left += dx; Right += dx; Top += dy; Bottom += dy; }
    friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

constexpr TRect MakeRect(int left, int top, int right, int bottom) { return TRect{left, top, right, bottom}; }
// The overlap of two rectangles (empty rectangle at 0 when they do not meet).
TRect IntersectRect(const TRect& a, const TRect& b);

// Picture progress notification, as the readers send it.
enum class TProgressStage { Starting, Running, Ending };
using TProgressEvent = std::function<void(TGraphic& sender, TProgressStage stage, std::uint8_t percentDone,
                                          bool redrawNow, const TRect& rect, const std::string& message)>;

// Static descriptor of a graphic class; classes are compared by identity
// (the address of their descriptor).
struct TGraphicClass {
    const char* Name;                             // "TBitmap", "TJPEGImage", ...
    std::unique_ptr<TGraphic> (*Create)();        // a new empty object of the class
    bool (*CanLoadStream)(TStream& stream);       // class-level format test; may be null
    const TGraphicClass* Parent;                  // null for TGraphic itself

    // True when this class is `other` or derives from it.
    bool InheritsFrom(const TGraphicClass& other) const;
};

class TGraphic {
public:
    TGraphic() = default;
    virtual ~TGraphic() = default;
    TGraphic(const TGraphic&) = delete;
    TGraphic& operator=(const TGraphic&) = delete;

    static const TGraphicClass& ClassInfo();
    virtual const TGraphicClass& ClassType() const { return ClassInfo(); }
    bool InheritsFrom(const TGraphicClass& cls) const { return ClassType().InheritsFrom(cls); }

    virtual bool Empty() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetWidth(int width) = 0;
    virtual void SetHeight(int height) = 0;

    // Copies another graphic; the base raises EInvalidGraphicOperation.
    virtual void Assign(const TGraphic& source);

    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToStream(TStream& stream) = 0;
    // Open the file and load or save through the stream routines.
    virtual void LoadFromFile(const std::string& fileName);
    virtual void SaveToFile(const std::string& fileName);

    // Draws the graphic onto the target with its top-left corner at (x, y),
    // clipped to the target.
    virtual void Draw(TBitmap& target, int x, int y) const = 0;

    // Makes `target` a 24-bit bitmap of this graphic's size showing the
    // graphic. A graphic may hand over its own pixels and be left empty.
    virtual void RenderToBitmap(TBitmap& target);

    TProgressEvent OnProgress;

protected:
    void Progress(TProgressStage stage, std::uint8_t percentDone, bool redrawNow, const TRect& rect,
                  const std::string& message);
};

}  // namespace orv
