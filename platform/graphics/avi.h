// Reader for RIFF AVI animations: one video stream of uncompressed (8, 24 or
// 32 bits per pixel) or RLE8 frames. Every size and offset from the file is
// checked against the bytes that are there; a damaged file raises
// EInvalidGraphic and never makes the reader step outside its buffers.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/graphics/bitmap.h"

namespace orv {

class TStream;

class TAviReader {
public:
    // Largest file taken into memory (the animations are small).
    static constexpr std::int64_t kMaxFileBytes = 64 * 1024 * 1024;

    void LoadFromFile(const std::string& path);
    void LoadFromStream(TStream& stream);
    void LoadFromBytes(std::vector<std::uint8_t> bytes);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int FrameCount() const { return static_cast<int>(frames_.size()); }
    // Time per frame in microseconds (at least 1000).
    std::uint32_t FrameInterval() const { return interval_; }

    // Makes target a device-format bitmap showing frame index (0-based).
    // RLE8 frames draw over the previous one, so frames decode in order; a
    // step back starts again from frame 0. A frame outside the range raises.
    void Frame(int index, TBitmap& target);

private:
    struct FrameChunk {
        std::size_t offset;
        std::size_t size;
    };
    struct ChunkWalker;
    // Finds the video stream's format and frames; raises for a damaged file.
    void Parse();
    // Reads the video stream's bitmap header and palette (the strf chunk).
    void ReadFormat(std::size_t at, std::size_t size);
    // Collects the video stream's frame chunks from the movi lists (and the
    // rec lists inside them).
    void CollectFrames(std::vector<std::pair<std::size_t, std::size_t>> lists, int videoStream);
    void DecodeInto(const FrameChunk& chunk);
    void ToBitmap(TBitmap& target) const;

    std::vector<std::uint8_t> data_;
    std::vector<FrameChunk> frames_;
    int width_ = 0;
    int height_ = 0;
    bool topDown_ = false;
    int bitCount_ = 0;
    std::uint32_t compression_ = 0;  // 0 uncompressed, 1 RLE8
    std::uint32_t interval_ = 66666;
    TPalette palette_;
    // The frame as decoded so far: indices (8 bits) or BGR(A) rows, top-down.
    std::vector<std::uint8_t> canvas_;
    int decoded_ = -1;
};

}  // namespace orv
