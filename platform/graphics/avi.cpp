#include "platform/graphics/avi.h"

#include <algorithm>
#include <cstring>

#include "platform/base/stream.h"
#include "platform/graphics/bmp_rle.h"
#include "platform/graphics/graphic.h"
#include "platform/graphics/messages.h"

namespace orv {

namespace {

// Animations are small; this keeps a damaged header from asking for a
// canvas of gigabytes.
constexpr std::int64_t kMaxAviPixels = std::int64_t{4096} * 4096;

constexpr const char* kFormatName = "AVI";

[[noreturn]] void Bad() { RaiseImageErrorFmt(msg::InvalidImage, kFormatName); }

std::uint32_t U32(const std::vector<std::uint8_t>& d, std::size_t at) {
    if (at > d.size() || d.size() - at < 4) Bad();
    return static_cast<std::uint32_t>(d[at]) | (static_cast<std::uint32_t>(d[at + 1]) << 8) |
           (static_cast<std::uint32_t>(d[at + 2]) << 16) | (static_cast<std::uint32_t>(d[at + 3]) << 24);
}

std::uint16_t U16(const std::vector<std::uint8_t>& d, std::size_t at) {
    if (at > d.size() || d.size() - at < 2) Bad();
    return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8));
}

bool Is(const std::vector<std::uint8_t>& d, std::size_t at, const char* fourcc) {
    return at <= d.size() && d.size() - at >= 4 && std::memcmp(&d[at], fourcc, 4) == 0;
}

}  // namespace

void TAviReader::LoadFromFile(const std::string& path) {
    TFileStream stream(path, FileMode::OpenRead);
    LoadFromStream(stream);
}

void TAviReader::LoadFromStream(TStream& stream) {
    const std::int64_t size = stream.Remaining();
    if (size > kMaxFileBytes) Bad();
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!bytes.empty()) stream.ReadBuffer(bytes.data(), bytes.size());
    LoadFromBytes(std::move(bytes));
}

void TAviReader::LoadFromBytes(std::vector<std::uint8_t> bytes) {
    if (static_cast<std::int64_t>(bytes.size()) > kMaxFileBytes) Bad();
    data_ = std::move(bytes);
    frames_.clear();
    canvas_.clear();
    palette_ = TPalette();
    width_ = height_ = bitCount_ = 0;
    compression_ = 0;
    interval_ = 66666;
    decoded_ = -1;
    try {
        Parse();
    } catch (...) {
        data_.clear();
        frames_.clear();
        width_ = height_ = 0;
        throw;
    }
}

// Walks the header chunks: finds the video stream, reads its format and
// collects the movi lists.
struct TAviReader::ChunkWalker {
    explicit ChunkWalker(TAviReader& reader) : self(reader) {}

    TAviReader& self;
    int streamIndex = -1;  // strl lists seen so far
    int videoStream = -1;
    bool videoHeaderPending = false;
    bool haveFormat = false;
    std::vector<std::pair<std::size_t, std::size_t>> movi;  // (start, end) of movi lists

    // Walks the chunks of [start, end); lists are entered, at most a few deep.
    void Walk(std::size_t pos, std::size_t end, int depth) {
        const auto& d = self.data_;
        if (depth > 4) Bad();
        while (pos + 8 <= end) {
            std::size_t size = U32(d, pos + 4);
            const std::size_t body = pos + 8;
            // A cut-off file keeps the frames it still holds in full.
            if (size > end - body && Is(d, pos, "LIST") && Is(d, body, "movi")) size = end - body;
            if (size > end - body) {
                if (depth == 0 && !movi.empty()) break;  // a cut-off index after the frames
                Bad();
            }
            if (Is(d, pos, "LIST")) {
                if (size < 4) Bad();
                if (Is(d, body, "strl")) {
                    ++streamIndex;
                    videoHeaderPending = false;
                }
                if (Is(d, body, "movi"))
                    movi.emplace_back(body + 4, body + size);
                else
                    Walk(body + 4, body + size, depth + 1);
            } else if (Is(d, pos, "avih")) {
                if (size >= 4) self.interval_ = std::max<std::uint32_t>(1000, U32(d, body));
            } else if (Is(d, pos, "strh")) {
                if (size >= 4 && Is(d, body, "vids") && videoStream < 0) {
                    videoStream = streamIndex;
                    videoHeaderPending = true;
                }
            } else if (Is(d, pos, "strf") && videoHeaderPending && !haveFormat) {
                self.ReadFormat(body, size);
                haveFormat = true;
                videoHeaderPending = false;
            }
            pos = body + size + (size & 1);
        }
    }
};

void TAviReader::Parse() {
    const auto& d = data_;
    if (!Is(d, 0, "RIFF") || !Is(d, 8, "AVI ")) Bad();
    // The RIFF size may overstate a truncated file; the bytes present bound it.
    const std::size_t riffEnd = std::min<std::size_t>(d.size(), 8 + static_cast<std::size_t>(U32(d, 4)));
    ChunkWalker walker(*this);
    walker.Walk(12, riffEnd, 0);
    if (!walker.haveFormat || walker.videoStream < 0 || walker.videoStream > 99) Bad();
    CollectFrames(walker.movi, walker.videoStream);
    if (frames_.empty()) Bad();
}

void TAviReader::ReadFormat(std::size_t at, std::size_t size) {
    const auto& d = data_;
    if (size < 40) Bad();
    const std::uint32_t headerSize = U32(d, at);
    if (headerSize < 40 || headerSize > size) Bad();
    const auto width = static_cast<std::int32_t>(U32(d, at + 4));
    const auto height = static_cast<std::int32_t>(U32(d, at + 8));
    bitCount_ = U16(d, at + 14);
    compression_ = U32(d, at + 16);
    std::uint32_t colours = U32(d, at + 32);
    if (width <= 0 || height == 0 || height == INT32_MIN) Bad();
    width_ = width;
    height_ = height < 0 ? -height : height;
    topDown_ = height < 0;
    CheckImageSize(width_, height_, kFormatName);
    if (static_cast<std::int64_t>(width_) * height_ > kMaxAviPixels) Bad();
    const bool plain = compression_ == 0 && (bitCount_ == 8 || bitCount_ == 24 || bitCount_ == 32);
    const bool rle8 = compression_ == 1 && bitCount_ == 8 && !topDown_;
    if (!plain && !rle8) Bad();
    if (bitCount_ == 8) {
        if (colours == 0 || colours > 256) colours = 256;
        // Only the entries the chunk really holds; the rest show black.
        const std::size_t available = (size - headerSize) / 4;
        const std::size_t count = std::min<std::size_t>(colours, available);
        std::vector<TPaletteEntry> entries(count);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t e = at + headerSize + i * 4;
            entries[i] = TPaletteEntry{d[e + 2], d[e + 1], d[e], 0};
        }
        palette_ = TPalette(std::move(entries));
    }
}

void TAviReader::CollectFrames(std::vector<std::pair<std::size_t, std::size_t>> lists, int videoStream) {
    const auto& d = data_;
    // Frame chunks of the video stream: "NNdb" (plain) or "NNdc" (compressed).
    const char id0 = static_cast<char>('0' + videoStream / 10), id1 = static_cast<char>('0' + videoStream % 10);
    for (std::size_t li = 0; li < lists.size(); ++li) {
        std::size_t pos = lists[li].first;
        const std::size_t end = lists[li].second;
        while (pos + 8 <= end) {
            const std::size_t size = U32(d, pos + 4);
            const std::size_t body = pos + 8;
            if (size > end - body) break;  // a cut-off last chunk ends the frames
            if (Is(d, pos, "LIST") && size >= 4 && Is(d, body, "rec ")) {
                if (lists.size() < 1024) lists.emplace_back(body + 4, body + size);
            } else if (d[pos] == static_cast<std::uint8_t>(id0) && d[pos + 1] == static_cast<std::uint8_t>(id1) &&
                       d[pos + 2] == 'd' && (d[pos + 3] == 'b' || d[pos + 3] == 'c')) {
                frames_.push_back({body, size});
            }
            pos = body + size + (size & 1);
        }
    }
}

void TAviReader::Frame(int index, TBitmap& target) {
    if (index < 0 || index >= FrameCount()) throw EInvalidGraphicOperation(msg::AviFrameRange);
    const std::size_t bpp = static_cast<std::size_t>(bitCount_ / 8);
    const std::size_t canvasBytes = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * bpp;
    if (canvas_.size() != canvasBytes) {
        canvas_.assign(canvasBytes, 0);
        decoded_ = -1;
    }
    if (compression_ == 0) {
        // Plain frames stand alone.
        if (decoded_ != index) DecodeInto(frames_[static_cast<std::size_t>(index)]);
    } else {
        if (index < decoded_) {
            std::fill(canvas_.begin(), canvas_.end(), 0);
            decoded_ = -1;
        }
        for (int i = decoded_ + 1; i <= index; ++i) DecodeInto(frames_[static_cast<std::size_t>(i)]);
    }
    decoded_ = index;
    ToBitmap(target);
}

void TAviReader::DecodeInto(const FrameChunk& chunk) {
    if (chunk.size == 0) return;  // a dropped frame repeats the previous one
    const std::uint8_t* src = data_.data() + chunk.offset;
    const std::size_t n = chunk.size;
    const std::size_t w = static_cast<std::size_t>(width_), h = static_cast<std::size_t>(height_);
    if (compression_ == 0) {
        const std::size_t bpp = static_cast<std::size_t>(bitCount_ / 8);
        const std::size_t rowBytes = w * bpp;
        const std::size_t stride = (rowBytes + 3) & ~std::size_t{3};
        // Rows the chunk holds completely; the others keep their pixels.
        const std::size_t rows = std::min(h, n / stride + ((n % stride) >= rowBytes ? 1 : 0));
        for (std::size_t r = 0; r < rows; ++r) {
            const std::size_t y = topDown_ ? r : h - 1 - r;
            std::memcpy(&canvas_[y * rowBytes], src + r * stride, rowBytes);
        }
        return;
    }
    // RLE8, bottom-up: file rows count from the bottom.
    std::size_t i = 0;
    DecodeBmpRle([&]() -> int { return i < n ? src[i++] : -1; },
                 [&](int fileRow) { return &canvas_[(h - 1 - static_cast<std::size_t>(fileRow)) * w]; }, width_,
                 height_, false);
}

void TAviReader::ToBitmap(TBitmap& target) const {
    target.Clear();
    target.SetPixelFormat(TPixelFormat::pfDevice);
    target.SetSize(width_, height_);
    const std::size_t bpp = static_cast<std::size_t>(bitCount_ / 8);
    const std::size_t w = static_cast<std::size_t>(width_);
    for (int y = 0; y < height_; ++y) {
        std::uint8_t* dst = target.ScanLine(y);
        const std::uint8_t* row = &canvas_[static_cast<std::size_t>(y) * w * bpp];
        for (std::size_t x = 0; x < w; ++x) {
            std::uint8_t b, g, r;
            if (bpp == 1) {
                const TPaletteEntry e = palette_.Entry(row[x]);
                b = e.Blue;
                g = e.Green;
                r = e.Red;
            } else {
                b = row[x * bpp];
                g = row[x * bpp + 1];
                r = row[x * bpp + 2];
            }
            dst[x * 4] = b;
            dst[x * 4 + 1] = g;
            dst[x * 4 + 2] = r;
            dst[x * 4 + 3] = 0;
        }
    }
}

}  // namespace orv
