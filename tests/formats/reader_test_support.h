// Helpers of the reader tests: whole files as bytes, and a picture compared
// pixel for pixel with the raw red, green, blue output of another decoder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/stream.h"
#include "platform/graphics/bitmap.h"

namespace orv::reader_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ReadFileBytes(const std::string& path) {
    TMemoryStream stream;
    stream.LoadFromFile(path);
    return stream.Bytes();
}

// expected: 3 bytes per pixel (red, green, blue), rows top first. Reports
// the first few pixels that differ.
inline void ExpectRGBPixels(const TBitmap& bitmap, const Bytes& expected, const std::string& name) {
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(bitmap.Width()) * bitmap.Height() * 3) << name;
    int mismatches = 0;
    for (int y = 0; y < bitmap.Height(); ++y) {
        for (int x = 0; x < bitmap.Width(); ++x) {
            const std::uint8_t* e = expected.data() + (static_cast<std::size_t>(y) * bitmap.Width() + x) * 3;
            const TColor c = bitmap.GetPixel(x, y);
            if (c != RGBColor(e[0], e[1], e[2]) && mismatches++ < 5) {
                ADD_FAILURE() << name << " at " << x << "," << y << ": got " << int(ColorRed(c)) << ","
                              << int(ColorGreen(c)) << "," << int(ColorBlue(c)) << " want " << int(e[0]) << ","
                              << int(e[1]) << "," << int(e[2]);
            }
        }
    }
    EXPECT_EQ(mismatches, 0) << name;
}

}  // namespace orv::reader_test
