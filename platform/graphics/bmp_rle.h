// The run-length decoder of BMP pixel data (RLE8, and RLE4 with two pixels a
// byte), shared by the BMP reader and the AVI reader's RLE8 frames.
#pragma once

#include <algorithm>
#include <cstdint>

namespace orv {

// Writes pixel x of an 8-bit or 4-bit row, dropping pixels beyond the width.
inline void PutIndex(std::uint8_t* row, int x, int width, bool fourBits, unsigned value) {
    if (x < 0 || x >= width) return;
    if (!fourBits) {
        row[x] = static_cast<std::uint8_t>(value);
        return;
    }
    std::uint8_t& byte = row[x >> 1];
    value &= 15u;
    byte = static_cast<std::uint8_t>((x & 1) ? ((byte & 0xF0u) | value) : ((byte & 0x0Fu) | (value << 4)));
}

// Decodes run-length data into `height` rows of `width` indices. `next()`
// answers the next data byte, or -1 at the end of the data; `row(fileRow)`
// answers the pixel memory of the fileRow-th row in file order. Only the
// pixels the data set are written, so the rows keep what they held before
// (a delta skips pixels). Runs and deltas past a row's end are dropped and
// the column stays at the width; the data end, an end-of-bitmap code or a
// row past the last ends the decoding (an absolute run cut by the data end
// keeps the pixels it holds).
template <class NextByte, class RowOf>
void DecodeBmpRle(NextByte&& next, RowOf&& row, int width, int height, bool fourBits) {
    int x = 0, y = 0;  // y counts file rows
    while (y < height) {
        const int count = next();
        const int value = next();
        if (count < 0 || value < 0) break;
        if (count > 0) {
            std::uint8_t* line = row(y);
            for (int i = 0; i < count && x < width; ++i, ++x) {
                const unsigned v = fourBits ? ((i & 1) ? (value & 0x0F) : (value >> 4)) : static_cast<unsigned>(value);
                PutIndex(line, x, width, fourBits, v);
            }
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // delta
            const int dx = next();
            const int dy = next();
            if (dx < 0 || dy < 0) break;
            x = std::min(width, x + dx);
            y += dy;
        } else {  // absolute run of `value` pixels, padded to 16 bits
            std::uint8_t* line = row(y);
            const int bytes = fourBits ? (value + 1) / 2 : value;
            bool ended = false;
            for (int i = 0; i < bytes; ++i) {
                const int b = next();
                if (b < 0) {
                    ended = true;
                    break;
                }
                if (fourBits) {
                    PutIndex(line, x + 2 * i, width, true, static_cast<unsigned>(b) >> 4);
                    if (2 * i + 1 < value) PutIndex(line, x + 2 * i + 1, width, true, static_cast<unsigned>(b));
                } else {
                    PutIndex(line, x + i, width, false, static_cast<unsigned>(b));
                }
            }
            if (ended) break;
            x = std::min(width, x + value);
            if (bytes & 1) next();
        }
    }
}

}  // namespace orv
