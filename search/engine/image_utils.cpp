#include "search/engine/image_utils.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "formats/abitmap.h"
#include "platform/base/file_system.h"

namespace orv {

namespace {

// Sampling step of a reduction from s to n pixels: 1 when s div 2 < n, up
// to 6 from a factor of 6 on.
int SamplingStep(std::int64_t s, std::int64_t n) {
    for (int step = 1; step < 6; ++step)
        if (s / (step + 1) < n) return step;
    return 6;
}

// Block bounds rnd(s * i / n) for i = 0..n, ties to even.
std::vector<std::int64_t> BlockBounds(std::int64_t s, std::int64_t n) {
    std::vector<std::int64_t> bounds(static_cast<std::size_t>(n) + 1);
    for (std::int64_t i = 0; i <= n; ++i)
        bounds[static_cast<std::size_t>(i)] =
            static_cast<std::int64_t>(std::nearbyint(static_cast<double>(s * i) / static_cast<double>(n)));
    return bounds;
}

}  // namespace

int ClampByte(double value) {
    if (value >= 255.0) return 255;
    if (!(value > 0.0)) return 0;
    return static_cast<int>(std::nearbyint(value));
}

bool AvgResize(TBitmap& bitmap, std::int32_t newWidth, std::int32_t newHeight) {
    try {
        const std::int64_t sw = bitmap.Width(), sh = bitmap.Height();
        const std::int64_t nw = newWidth, nh = newHeight;
        TBitmap result;
        result.SetPixelFormat(TPixelFormat::pf24bit);
        result.SetSize(newWidth, newHeight);
        bitmap.SetPixelFormat(TPixelFormat::pf24bit);
        if (nw == 0 || nh == 0) {
            bitmap.MoveAssign(result);
            return true;
        }
        const int stepX = SamplingStep(sw, nw), stepY = SamplingStep(sh, nh);
        const std::vector<std::int64_t> xs = BlockBounds(sw, nw), ys = BlockBounds(sh, nh);
        const bool hasSource = sw > 0 && sh > 0;

        for (std::int64_t y = 0; y < nh; ++y) {
            const std::int64_t y0 = ys[static_cast<std::size_t>(y)], y1 = ys[static_cast<std::size_t>(y) + 1];
            std::uint8_t* out = result.ScanLine(static_cast<int>(y));
            for (std::int64_t x = 0; x < nw; ++x, out += 3) {
                const std::int64_t x0 = xs[static_cast<std::size_t>(x)], x1 = xs[static_cast<std::size_t>(x) + 1];
                std::uint64_t b = 0, g = 0, r = 0, n = 0;
                for (std::int64_t row = y0; row < y1; row += stepY) {
                    const std::uint8_t* line = bitmap.ScanLine(static_cast<int>(row));
                    for (std::int64_t col = x0; col < x1; col += stepX) {
                        const std::uint8_t* p = line + 3 * col;
                        b += p[0];
                        g += p[1];
                        r += p[2];
                        ++n;
                    }
                }
                if (n == 0) {
                    // An empty block (the side grows) takes the source pixel
                    // at its corner instead of black, so thin images do not
                    // get rows of black in common.
                    if (hasSource) {
                        const std::uint8_t* p = bitmap.ScanLine(static_cast<int>(std::min(y0, sh - 1))) +
                                                3 * std::min(x0, sw - 1);
                        out[0] = p[0];
                        out[1] = p[1];
                        out[2] = p[2];
                    }
                    continue;
                }
                const double count = static_cast<double>(n);
                out[0] = static_cast<std::uint8_t>(ClampByte(static_cast<double>(b) / count));
                out[1] = static_cast<std::uint8_t>(ClampByte(static_cast<double>(g) / count));
                out[2] = static_cast<std::uint8_t>(ClampByte(static_cast<double>(r) / count));
            }
        }
        bitmap.MoveAssign(result);
        return true;
    } catch (...) {
        return false;
    }
}

bool GrayScaleBitmap(TBitmap& bitmap) {
    try {
        TABitmap::GrayScale(bitmap);
        return true;
    } catch (...) {
        return false;
    }
}

// A trailing '/' changes nothing for stat: it only refuses what is no folder.
bool IsDirectory(const std::string& path) { return DirectoryExists(path); }

}  // namespace orv
