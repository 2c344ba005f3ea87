#include "formats/image_format.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "platform/base/stream.h"
#include "platform/graphics/memory_budget.h"
#include "platform/graphics/messages.h"

namespace orv {

// --- TFormatGraphic ----------------------------------------------------------

const TGraphicClass& TFormatGraphic::ClassInfo() { return FormatClassInfo<TFormatGraphic, TBitmap>("TFormatGraphic"); }

bool TFormatGraphic::CanLoadStream(TStream&) {
    return false;
}

bool TFormatGraphic::CanLoadFile(const TGraphicClass& graphicClass, const std::string& fileName) {
    TFileStream stream(fileName, FileMode::OpenRead);
    return graphicClass.CanLoadStream != nullptr && graphicClass.CanLoadStream(stream);
}

bool TFormatGraphic::ReadImageProperties(TStream&, std::uint32_t) {
    ImageProperties = TImageProperties{};
    ImageProperties.Gamma = 1.0f;
    return false;
}

void TFormatGraphic::Assign(const TGraphic& source) {
    if (const auto* other = dynamic_cast<const TFormatGraphic*>(&source)) {
        if (other != this) ImageProperties = other->ImageProperties;
    }
    TBitmap::Assign(source);
}

void TFormatGraphic::MoveAssign(TBitmap& source) {
    if (auto* other = dynamic_cast<TFormatGraphic*>(&source)) {
        if (other != this) ImageProperties = other->ImageProperties;
    }
    TBitmap::MoveAssign(source);
}

void TFormatGraphic::LoadFromStream(TStream& stream) {
    Clear();
    // Nothing of an earlier load carries over: models, flags, gamma.
    ColorManager = TColorManager();
    TLoadContext load(*this, stream);
    if (!ReadImageProperties(stream, 0)) {
        if (refusal_ == THeaderRefusal::EmptyPicture) return;
        RaiseImageErrorFmt(msg::InvalidImage, formatName_);
    }
    const std::uint32_t width = std::min<std::uint32_t>(ImageProperties.Width, std::numeric_limits<int>::max());
    load.Progress.Area = MakeRect(0, 0, static_cast<int>(width), 1);
    DecodeImage(load);
    load.Progress.End();
}

void TFormatGraphic::DecodeImage(TLoadContext&) {}

void TFormatGraphic::SetImageSize(std::int64_t width, std::int64_t height) {
    CheckImageSize(width, height, formatName_);
    SetSize(static_cast<int>(width), static_cast<int>(height));
}

void TFormatGraphic::SetUpDisplay(TColorModel source, std::uint8_t bitsPerSample, std::uint8_t samples,
                                  TConversionFlags sourceFlags, bool minIsWhite) {
    TColorModel target = source;  // indexed and gray show as they are
    std::uint8_t targetSamples = samples;
    switch (source) {
        case TColorModel::cmGrayAlpha:
            target = TColorModel::cmGray;
            targetSamples = 1;
            break;
        case TColorModel::cmRGBA:
        case TColorModel::cmBGRA: target = TColorModel::cmBGRA; break;
        case TColorModel::cmCMYK:
            target = TColorModel::cmBGR;
            targetSamples = 3;
            break;
        case TColorModel::cmRGB:
        case TColorModel::cmBGR:
        case TColorModel::cmReserved:
        case TColorModel::cmCIELab:
        case TColorModel::cmYCbCr:
        case TColorModel::cmPhotoYCC: target = TColorModel::cmBGR; break;
        default: break;
    }
    TColorManager& cm = ColorManager;
    cm.SourceFlags = sourceFlags;
    cm.SetSourceBits(bitsPerSample);
    // 2-bit samples have no bitmap of their own.
    cm.SetTargetBits(bitsPerSample == 16 ? 8 : (bitsPerSample == 2 ? 4 : bitsPerSample));
    cm.SetSourceSamples(samples);
    cm.SetTargetSamples(targetSamples);
    cm.SetSourceModel(source);
    cm.SetTargetModel(target);
    SetPixelFormat(source == TColorModel::cmGrayAlpha ? TPixelFormat::pf8bit : cm.PixelFormatFor(1));
    if (target == TColorModel::cmGray) SetPalette(cm.BuildGrayPalette(minIsWhite));
}

// --- Progress ------------------------------------------------------------------

TLoadContext::TLoadContext(TFormatGraphic& graphic, TStream& stream)
    : Stream(stream), StartPosition(stream.Position()), Progress(graphic) {}

TProgressScope::~TProgressScope() {
    try {
        End();
    } catch (...) {
        // A listener that fails on the end notice of a failed load must not
        // hide the load's own error.
    }
}

void TProgressScope::Start(std::string_view text) {
    open_ = true;
    graphic_.Progress(TProgressStage::Starting, 0, false, Area, std::string(text));
}

void TProgressScope::End() {
    if (!open_) return;
    open_ = false;
    graphic_.Progress(TProgressStage::Ending, endPercent_, endRedraw_, Area, "");
}

void TProgressScope::RowDone(std::uint64_t row, std::uint64_t height) {
    graphic_.Progress(TProgressStage::Running, ProgressPercent(row, height), true, Area, "");
    Area.Offset(0, 1);
}

void TProgressScope::Running(std::uint8_t percent) {
    graphic_.Progress(TProgressStage::Running, percent, false, Area, "");
}

void TProgressScope::SetEndNotice(std::uint8_t percent, bool redraw) {
    endPercent_ = percent;
    endRedraw_ = redraw;
}

// --- Byte order --------------------------------------------------------------

void ReverseWords(void* data, std::size_t count) {
    auto* p = static_cast<std::uint8_t*>(data);
    for (std::size_t i = 0; i < count; ++i, p += 2) std::swap(p[0], p[1]);
}

void ReverseLongs(void* data, std::size_t count) {
    auto* p = static_cast<std::uint8_t*>(data);
    for (std::size_t i = 0; i < count; ++i, p += 4) {
        std::swap(p[0], p[3]);
        std::swap(p[1], p[2]);
    }
}

// --- Horizontal differencing -----------------------------------------------

namespace {

void UndoBytes(std::uint8_t* row, std::size_t limit, std::size_t stride) {
    for (std::size_t i = stride; i < limit; ++i) row[i] = static_cast<std::uint8_t>(row[i] + row[i - stride]);
}

void UndoDifferencingStride(std::uint8_t* row, std::size_t rowBytes, std::size_t n, std::size_t stride) {
    if (row == nullptr || n == 0) return;
    // n steps touch the first n + 1 pixels.
    const std::size_t limit = n < rowBytes / stride ? (n + 1) * stride : rowBytes;
    UndoBytes(row, limit, stride);
}

}  // namespace

void UndoDifferencing8(std::uint8_t* row, std::size_t rowBytes, std::size_t n) {
    UndoDifferencingStride(row, rowBytes, n, 1);
}

void UndoDifferencing24(std::uint8_t* row, std::size_t rowBytes, std::size_t n) {
    UndoDifferencingStride(row, rowBytes, n, 3);
}

void UndoDifferencing32(std::uint8_t* row, std::size_t rowBytes, std::size_t n) {
    UndoDifferencingStride(row, rowBytes, n, 4);
}

bool UndoHorizontalDifferencing(std::uint8_t* row, std::size_t rowBytes, std::uint32_t width,
                                unsigned samplesPerPixel, unsigned bitsPerSample, bool bigEndian) {
    if (bitsPerSample != 8 && bitsPerSample != 16) return false;
    if (row == nullptr || width == 0 || samplesPerPixel == 0) return true;
    const std::uint64_t samples = static_cast<std::uint64_t>(width) * samplesPerPixel;
    if (bitsPerSample == 8) {
        UndoBytes(row, static_cast<std::size_t>(std::min<std::uint64_t>(rowBytes, samples)), samplesPerPixel);
        return true;
    }
    const std::size_t words = static_cast<std::size_t>(std::min<std::uint64_t>(rowBytes / 2, samples));
    auto read = [&](std::size_t i) -> std::uint32_t {
        const std::uint8_t* p = row + 2 * i;
        return bigEndian ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8);
    };
    for (std::size_t i = samplesPerPixel; i < words; ++i) {
        const std::uint32_t v = (read(i) + read(i - samplesPerPixel)) & 0xFFFFu;
        std::uint8_t* p = row + 2 * i;
        p[bigEndian ? 0 : 1] = static_cast<std::uint8_t>(v >> 8);
        p[bigEndian ? 1 : 0] = static_cast<std::uint8_t>(v);
    }
    return true;
}

// --- Upsampling ----------------------------------------------------------------

bool Upsample2x(std::uint32_t width, std::uint32_t height, std::size_t stride, std::uint8_t* buffer,
                std::size_t bufferSize) {
    if (width == 0 || height == 0 || buffer == nullptr) return false;
    const std::uint64_t w = width, h = height;
    if (stride < 2 * w) return false;
    // The last row needs only its 2w bytes; the first test keeps the product in range.
    if (h * 2 - 1 > (std::uint64_t{1} << 62) / stride) return false;
    if (bufferSize < (2 * h - 1) * stride + 2 * w) return false;

    // Widen every row r into row 2r, from the bottom up so that the rows not
    // yet read stay intact; the source row is copied first since row 0
    // overlaps itself.
    std::vector<std::uint8_t> source(width);
    for (std::uint64_t r = h; r-- > 0;) {
        std::memcpy(source.data(), buffer + r * stride, width);
        std::uint8_t* target = buffer + 2 * r * stride;
        target[2 * (w - 1)] = target[2 * (w - 1) + 1] = source[w - 1];
        for (std::uint64_t i = w - 1; i-- > 0;) {
            target[2 * i] = source[i];
            target[2 * i + 1] = static_cast<std::uint8_t>((source[i] + source[i + 1] + 1) / 2);
        }
    }
    // Odd rows from their neighbours.
    for (std::uint64_t k = 0; k + 1 < h; ++k) {
        const std::uint8_t* top = buffer + 2 * k * stride;
        const std::uint8_t* bottom = top + 2 * stride;
        std::uint8_t* odd = buffer + (2 * k + 1) * stride;
        for (std::uint64_t j = 0; j + 1 < w; ++j) {
            odd[2 * j] = static_cast<std::uint8_t>((top[2 * j] + bottom[2 * j] + 1) / 2);
            odd[2 * j + 1] =
                static_cast<std::uint8_t>((top[2 * j] + top[2 * j + 2] + bottom[2 * j] + bottom[2 * j + 2] + 2) / 4);
        }
        odd[2 * w - 2] = static_cast<std::uint8_t>((top[2 * w - 2] + bottom[2 * w - 2] + 1) / 2);
        odd[2 * w - 1] = static_cast<std::uint8_t>((top[2 * w - 1] + bottom[2 * w - 1] + 1) / 2);
    }
    std::memcpy(buffer + (2 * h - 1) * stride, buffer + (2 * h - 2) * stride, 2 * w);
    return true;
}

// --- Sizes and buffers -------------------------------------------------------

std::vector<std::uint8_t> AllocateWorkBuffer(std::uint64_t bytes, std::string_view formatName) {
    if (bytes > kMaxWorkBuffer) RaiseImageErrorFmt(msg::InvalidImage, formatName);
    ChargePictureMemory(bytes);
    return std::vector<std::uint8_t>(static_cast<std::size_t>(bytes), 0);
}

bool PeekHeader(TStream& stream, std::uint8_t* bytes, std::size_t size) {
    if (stream.Remaining() <= static_cast<std::int64_t>(size)) return false;
    const std::int64_t start = stream.Position();
    const std::size_t got = stream.Read(bytes, size);
    stream.SetPosition(start);
    return got == size;
}

void CheckBytesLeft(TStream& stream, std::uint64_t bytes, std::string_view formatName) {
    const std::int64_t left = stream.Remaining();
    if (left < 0 || static_cast<std::uint64_t>(left) < bytes) RaiseImageErrorFmt(msg::InvalidImage, formatName);
}

std::uint8_t ProgressPercent(std::uint64_t row, std::uint64_t height) {
    if (height == 0) return 0;
    // Rounded to the nearest percent, halves up.
    const std::uint64_t percent = (std::min<std::uint64_t>(row, height) * 100 + height / 2) / height;
    return static_cast<std::uint8_t>(percent);
}

}  // namespace orv
