#include "formats/codec_thunder.h"

#include <algorithm>

namespace orv {

namespace {

constexpr int kSkip2 = 2;  // 2-bit field value that gives no pixel
constexpr int kSkip3 = 4;  // 3-bit field value that gives no pixel
constexpr int kDelta2[4] = {0, 1, 0, -1};
constexpr int kDelta3[8] = {0, 1, 2, 3, 0, -3, -2, -1};

// One row of 4-bit pixels, never more than width pixels or the row's bytes.
class RowOutput {
public:
    RowOutput(std::uint8_t* row, std::size_t bytes, std::uint32_t width)
        : row_(row), limit_(std::min<std::size_t>(width, bytes * 2)) {}

    bool Full() const { return count_ >= limit_; }
    void Put(unsigned value) {
        last_ = value & 15u;
        if (count_ >= limit_) return;
        std::uint8_t& b = row_[count_ / 2];
        if (count_ & 1)
            b = static_cast<std::uint8_t>((b & 0xF0u) | last_);
        else
            b = static_cast<std::uint8_t>(last_ << 4);
        ++count_;
    }
    void Run(unsigned n) {
        for (unsigned i = 0; i < n && count_ < limit_; ++i) Put(last_);
    }
    unsigned Last() const { return last_; }

private:
    std::uint8_t* row_;
    std::size_t limit_;
    std::size_t count_ = 0;
    unsigned last_ = 0;
};

}  // namespace

TThunderDecoder::TThunderDecoder(std::uint32_t width) : width_(width) {}

void TThunderDecoder::Decode(const std::uint8_t*& source, std::size_t packedSize,
                             std::uint8_t*& dest, std::size_t unpackedSize) {
    const std::size_t rowBytes = (static_cast<std::size_t>(width_) + 1) / 2;
    if (rowBytes == 0) return;
    const std::uint8_t* src = source;
    const std::uint8_t* const end = source + packedSize;
    for (std::size_t rowStart = 0; rowStart < unpackedSize && src < end; rowStart += rowBytes) {
        RowOutput row(dest + rowStart, std::min(rowBytes, unpackedSize - rowStart), width_);
        while (src < end && !row.Full()) {
            const std::uint8_t code = *src++;
            switch (code >> 6) {
            case 0:  // run of the last value
                row.Run(code & 63u);
                break;
            case 1:
                for (int shift = 4; shift >= 0; shift -= 2) {
                    const int field = (code >> shift) & 3;
                    if (field != kSkip2) row.Put(row.Last() + static_cast<unsigned>(kDelta2[field]));
                }
                break;
            case 2:
                for (int shift = 3; shift >= 0; shift -= 3) {
                    const int field = (code >> shift) & 7;
                    if (field != kSkip3) row.Put(row.Last() + static_cast<unsigned>(kDelta3[field]));
                }
                break;
            default:
                row.Put(code & 15u);
                break;
            }
        }
    }
}

}  // namespace orv
