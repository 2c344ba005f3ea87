#include "formats/codec_rle.h"
#include "platform/graphics/messages.h"

#include <algorithm>
#include <cstring>

namespace orv {

namespace {

// memcpy/memset with a count of 0 may see null pointers (empty buffers).
inline void CopyBytes(void* to, const void* from, std::size_t n) {
    if (n) std::memcpy(to, from, n);
}
inline void FillBytes(void* to, int value, std::size_t n) {
    if (n) std::memset(to, value, n);
}

std::size_t TargaPixelSize(std::int32_t depth) {
    switch (depth) {
    case 8: return 1;
    case 15:
    case 16: return 2;
    case 24: return 3;
    case 32: return 4;
    default: return 0;
    }
}

// Packets are short (PackBits: up to 128 bytes): they are moved in 16-, 8-
// or 4-byte pieces, the last piece overlapping the one before it, so that
// exactly n bytes are written. (A compiler's inline memcpy of a count it
// knows to be small may become a string instruction that costs more than the
// packet.)
inline void Move16(std::uint8_t* to, const std::uint8_t* from) {
    std::uint8_t chunk[16];
    std::memcpy(chunk, from, 16);
    std::memcpy(to, chunk, 16);
}

inline void CopyShort(std::uint8_t* to, const std::uint8_t* from, std::size_t n) {
    if (n >= 16) {
        if (n > 256) {
            std::memcpy(to, from, n);
            return;
        }
        for (std::size_t i = 0; i + 16 < n; i += 16) Move16(to + i, from + i);
        Move16(to + n - 16, from + n - 16);
    } else if (n >= 8) {
        std::uint64_t a, b;
        std::memcpy(&a, from, 8);
        std::memcpy(&b, from + n - 8, 8);
        std::memcpy(to, &a, 8);
        std::memcpy(to + n - 8, &b, 8);
    } else if (n >= 4) {
        std::uint32_t a, b;
        std::memcpy(&a, from, 4);
        std::memcpy(&b, from + n - 4, 4);
        std::memcpy(to, &a, 4);
        std::memcpy(to + n - 4, &b, 4);
    } else if (n > 0) {
        to[0] = from[0];
        to[n / 2] = from[n / 2];
        to[n - 1] = from[n - 1];
    }
}

inline void FillShort(std::uint8_t* to, std::uint8_t value, std::size_t n) {
    if (n >= 16) {
        if (n > 256) {
            std::memset(to, value, n);
            return;
        }
        std::uint8_t chunk[16];
        std::memset(chunk, value, 16);
        for (std::size_t i = 0; i + 16 < n; i += 16) std::memcpy(to + i, chunk, 16);
        std::memcpy(to + n - 16, chunk, 16);
    } else if (n >= 4) {
        const std::uint64_t v = 0x0101010101010101ull * value;
        if (n >= 8) {
            std::memcpy(to, &v, 8);
            std::memcpy(to + n - 8, &v, 8);
        } else {
            std::memcpy(to, &v, 4);
            std::memcpy(to + n - 4, &v, 4);
        }
    } else if (n > 0) {
        to[0] = to[n / 2] = to[n - 1] = value;
    }
}

// A literal of n bytes: copied as far as the output has room; the source
// moves past the whole literal as far as the packed data reach.
inline void CopyLiteral(const std::uint8_t*& src, const std::uint8_t* end, std::uint8_t*& out,
                        const std::uint8_t* outEnd, std::size_t n) {
    const std::size_t avail = std::min(n, static_cast<std::size_t>(end - src));
    const std::size_t k = std::min(avail, static_cast<std::size_t>(outEnd - out));
    CopyShort(out, src, k);
    out += k;
    src += avail;
}

// A run of n copies of one byte, cut to the room in the output.
inline void FillRun(std::uint8_t*& out, const std::uint8_t* outEnd, std::uint8_t value, std::size_t n) {
    const std::size_t k = std::min(n, static_cast<std::size_t>(outEnd - out));
    FillShort(out, value, k);
    out += k;
}

void RepeatPixel(std::uint8_t* out, const std::uint8_t* pixel, std::size_t pixelSize, std::size_t count) {
    if (pixelSize == 1) {
        FillBytes(out, pixel[0], count);
        return;
    }
    for (std::size_t i = 0; i < count; ++i, out += pixelSize) std::memcpy(out, pixel, pixelSize);
}

}  // namespace

// ---- Targa -----------------------------------------------------------------

TTargaRLEDecoder::TTargaRLEDecoder(std::int32_t colorDepth)
    : colorDepth_(colorDepth), pixelSize_(TargaPixelSize(colorDepth)) {}

void TTargaRLEDecoder::DecodeInit() { pendingCount_ = 0; }

std::size_t TTargaRLEDecoder::WritePending(std::uint8_t* out, std::size_t pixels) {
    const std::size_t n = std::min(pendingCount_, pixels);
    if (pendingRun_) {
        RepeatPixel(out, pending_.data(), pixelSize_, n);
    } else {
        CopyBytes(out, pending_.data() + pendingOffset_ * pixelSize_, n * pixelSize_);
        pendingOffset_ += n;
    }
    pendingCount_ -= n;
    return n;
}

void TTargaRLEDecoder::Decode(const std::uint8_t*& source, std::size_t packedSize,
                              std::uint8_t*& dest, std::size_t unpackedSize) {
    if (pixelSize_ == 0) return;
    const std::size_t p = pixelSize_;
    const std::uint8_t* src = source;
    const std::uint8_t* const end = source + packedSize;
    std::uint8_t* out = dest;
    std::size_t pixelsLeft = unpackedSize / p;

    if (pendingCount_ > 0) {
        const std::size_t n = WritePending(out, pixelsLeft);
        out += n * p;
        pixelsLeft -= n;
    }
    while (pixelsLeft > 0 && src < end) {
        const std::uint8_t header = *src++;
        const std::size_t n = (header & 127u) + 1;
        if (header & 128u) {
            if (static_cast<std::size_t>(end - src) < p) {
                src = end;
                break;
            }
            const std::uint8_t* pixel = src;
            src += p;
            const std::size_t now = std::min(n, pixelsLeft);
            RepeatPixel(out, pixel, p, now);
            out += now * p;
            pixelsLeft -= now;
            if (n > now) {
                CopyBytes(pending_.data(), pixel, p);
                pendingCount_ = n - now;
                pendingRun_ = true;
            }
        } else {
            const std::size_t available = static_cast<std::size_t>(end - src) / p;
            const std::size_t total = std::min(n, available);
            const std::size_t now = std::min(total, pixelsLeft);
            CopyBytes(out, src, now * p);
            out += now * p;
            pixelsLeft -= now;
            if (total > now) {
                CopyBytes(pending_.data(), src + now * p, (total - now) * p);
                pendingCount_ = total - now;
                pendingOffset_ = 0;
                pendingRun_ = false;
            }
            // A packet cut by the end of the data gives what it holds.
            src = total < n ? end : src + total * p;
        }
    }
    source = src;
}

std::size_t TTargaRLEDecoder::MaxEncodedSize(std::uint32_t count) const {
    // At worst every pixel carries a header of its own.
    return static_cast<std::size_t>(count) * (pixelSize_ + 1);
}

void TTargaRLEDecoder::Encode(const std::uint8_t* source, std::uint8_t* dest, std::size_t destCapacity,
                              std::uint32_t count, std::uint32_t& bytesStored) {
    bytesStored = 0;
    const std::size_t p = pixelSize_;
    if (p == 0) return;
    auto same = [&](std::size_t a, std::size_t b) {
        return std::memcmp(source + a * p, source + b * p, p) == 0;
    };
    std::size_t stored = 0;
    auto reserve = [&](std::size_t bytes) {
        if (bytes > destCapacity - stored) RaiseDecoderError(msg::TargaRLEBuffer);
    };
    std::size_t i = 0;
    while (i < count) {
        const std::size_t left = count - i;
        // Both counts are cut to 128, so neither scan needs to look further.
        const std::size_t horizon = std::min<std::size_t>(left, 129);
        std::size_t raw = left;
        for (std::size_t k = 0; k + 1 < horizon; ++k) {
            if (same(i + k, i + k + 1)) {
                raw = k;
                break;
            }
        }
        std::size_t run = 1;
        while (run < horizon && same(i, i + run)) ++run;
        raw = std::min<std::size_t>(raw, 128);
        run = std::min<std::size_t>(run, 128);
        if (raw > 0) {
            reserve(raw * p + 1);
            dest[stored++] = static_cast<std::uint8_t>(raw - 1);
            CopyBytes(dest + stored, source + i * p, raw * p);
            stored += raw * p;
            i += raw;
        } else if (run >= 2) {
            reserve(p + 1);
            dest[stored++] = static_cast<std::uint8_t>((run - 1) + 128);
            CopyBytes(dest + stored, source + i * p, p);
            stored += p;
            i += run;
        }
    }
    bytesStored = static_cast<std::uint32_t>(stored);
}

// ---- PackBits ----------------------------------------------------------------

void TPackbitsRLEDecoder::Decode(const std::uint8_t*& source, std::size_t packedSize,
                                 std::uint8_t*& dest, std::size_t unpackedSize) {
    const std::uint8_t* src = source;
    const std::uint8_t* const end = source + packedSize;
    std::uint8_t* out = dest;
    std::uint8_t* const outEnd = dest + unpackedSize;
    while (out < outEnd && src < end) {
        const auto h = static_cast<std::int8_t>(*src++);
        if (h >= 0) {
            CopyLiteral(src, end, out, outEnd, static_cast<std::size_t>(h) + 1);
        } else if (h != -128) {
            if (src >= end) break;
            FillRun(out, outEnd, *src++, static_cast<std::size_t>(1 - h));
        }
    }
    dest = out;
}

// ---- PCX -----------------------------------------------------------------------

void TPCXRLEDecoder::Decode(const std::uint8_t*& source, std::size_t packedSize,
                            std::uint8_t*& dest, std::size_t unpackedSize) {
    const std::uint8_t* src = source;
    const std::uint8_t* const end = source + packedSize;
    std::uint8_t* out = dest;
    std::uint8_t* const outEnd = dest + unpackedSize;
    while (out < outEnd && src < end) {
        const std::uint8_t b = *src++;
        if ((b & 0xC0u) == 0xC0u) {
            if (src >= end) break;
            FillRun(out, outEnd, *src++, b & 63u);
        } else {
            *out++ = b;
        }
    }
}

// ---- SGI -----------------------------------------------------------------------

TSGIRLEDecoder::TSGIRLEDecoder(std::uint8_t sampleSize) : sampleSize_(sampleSize) {}

void TSGIRLEDecoder::Decode(const std::uint8_t*& source, std::size_t packedSize,
                            std::uint8_t*& dest, std::size_t unpackedSize) {
    const std::size_t b = sampleSize_ == 16 ? 2 : 1;
    const std::uint8_t* src = source;
    const std::uint8_t* const end = source + packedSize;
    std::uint8_t* out = dest;
    std::uint8_t* const outEnd = dest + unpackedSize;
    while (out < outEnd && static_cast<std::size_t>(end - src) >= b) {
        const unsigned header = b == 2 ? (static_cast<unsigned>(src[0]) << 8) | src[1] : src[0];
        src += b;
        const std::size_t n = header & 127u;
        if (n == 0) break;
        if (header & 128u) {
            CopyLiteral(src, end, out, outEnd, n * b);
        } else {
            if (static_cast<std::size_t>(end - src) < b) break;
            if (b == 1) {
                FillRun(out, outEnd, *src, n);
            } else {
                for (std::size_t i = 0; i < n && outEnd - out >= 2; ++i) {
                    out[0] = src[0];
                    out[1] = src[1];
                    out += 2;
                }
                if (outEnd - out == 1) *out++ = src[0];  // an odd capacity takes the high byte
            }
            src += b;
        }
    }
}

// ---- CUT -----------------------------------------------------------------------

void TCUTRLEDecoder::Decode(const std::uint8_t*& source, std::size_t packedSize,
                            std::uint8_t*& dest, std::size_t unpackedSize) {
    const std::uint8_t* src = source;
    const std::uint8_t* const end = source + packedSize;
    std::uint8_t* out = dest;
    std::uint8_t* const outEnd = dest + unpackedSize;
    src += std::min<std::size_t>(2, packedSize);
    // Packets are read up to the closing 0 even when dest is full, so that
    // source ends at the start of the next row.
    while (src < end) {
        const std::uint8_t b = *src++;
        if (b == 0) break;
        const std::size_t n = b & 127u;
        if (b & 128u) {
            if (src >= end) break;
            FillRun(out, outEnd, *src++, n);
        } else {
            CopyLiteral(src, end, out, outEnd, n);
        }
    }
    source = src;
}

// ---- Paint Shop Pro -----------------------------------------------------------

void TPSPRLEDecoder::Decode(const std::uint8_t*& source, std::size_t packedSize,
                            std::uint8_t*& dest, std::size_t unpackedSize) {
    const std::uint8_t* src = source;
    const std::uint8_t* const end = source + packedSize;
    std::uint8_t* out = dest;
    std::uint8_t* const outEnd = dest + unpackedSize;
    while (src < end && out < outEnd) {
        const std::uint8_t b = *src++;
        if (b < 128) {
            CopyLiteral(src, end, out, outEnd, b);
        } else {
            if (src >= end) break;
            FillRun(out, outEnd, *src++, b - 128u);
        }
    }
}

// ---- RLA -----------------------------------------------------------------------

void TRLADecoder::Decode(const std::uint8_t*& source, std::size_t packedSize,
                         std::uint8_t*& dest, std::size_t unpackedSize) {
    const std::uint8_t* src = source;
    const std::uint8_t* const end = source + packedSize;
    std::uint8_t* out = dest;
    std::uint8_t* const outEnd = dest + unpackedSize;
    while (src < end && out < outEnd) {
        const auto k = static_cast<std::int8_t>(*src++);
        if (k >= 0) {
            if (src >= end) break;
            FillRun(out, outEnd, *src++, static_cast<std::size_t>(k) + 1);
        } else {
            CopyLiteral(src, end, out, outEnd, static_cast<std::size_t>(-k));
        }
    }
}

}  // namespace orv
