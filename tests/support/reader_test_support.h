// Helpers of the reader tests: whole files as bytes, loads from bytes (also
// through the picture loader) and their errors, a picture compared pixel for pixel with the raw output of
// another decoder, reference files by name, and a count of a load's
// progress notices.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "platform/base/stream.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture_loader.h"

namespace orv::reader_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ReadFileBytes(const std::string& path) {
    TMemoryStream stream;
    stream.LoadFromFile(path);
    return stream.Bytes();
}

template <class Graphic>
void Load(Graphic& graphic, const Bytes& file) {
    TMemoryStream stream(file);
    graphic.LoadFromStream(stream);
}

// The message of the error a load of `file` raises, "" when it loads;
// `sized` tells whether the picture got its size before the error.
template <class Graphic>
std::string LoadError(const Bytes& file, bool* sized = nullptr) {
    Graphic graphic;
    try {
        Load(graphic, file);
    } catch (const std::exception& e) {
        if (sized != nullptr) *sized = !graphic.Empty();
        return e.what();
    }
    return "";
}

// Loads `file` through the program's picture loader as a file called `name`
// in the test's temporary folder, so that its extension picks the class;
// the file goes again afterwards.
inline bool LoadAsFile(const Bytes& file, const std::string& name, TBitmap& bitmap) {
    const std::string path = ::testing::TempDir() + "/" + name;
    TMemoryStream(file).SaveToFile(path);
    const bool loaded = LoadPictureToBitmap(path, bitmap);
    std::remove(path.c_str());
    return loaded;
}

// expected: `channels` bytes per pixel (red, green, blue, and with 4 the
// alpha byte of a 32-bit row), rows top first; each channel may differ by
// up to `tolerance`. Reports the first few pixels that differ more.
inline void ExpectRGBPixels(const TBitmap& bitmap, const Bytes& expected, const std::string& name,
                            std::size_t channels = 3, int tolerance = 0) {
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(bitmap.Width()) * bitmap.Height() * channels) << name;
    auto near = [tolerance](int got, int want) { return std::abs(got - want) <= tolerance; };
    int mismatches = 0;
    for (int y = 0; y < bitmap.Height(); ++y) {
        for (int x = 0; x < bitmap.Width(); ++x) {
            const std::uint8_t* e = expected.data() + (static_cast<std::size_t>(y) * bitmap.Width() + x) * channels;
            const TColor c = bitmap.GetPixel(x, y);
            const bool alphaSame = channels != 4 || bitmap.ScanLine(y)[4 * x + 3] == e[3];
            const bool same = near(ColorRed(c), e[0]) && near(ColorGreen(c), e[1]) && near(ColorBlue(c), e[2]);
            if ((!same || !alphaSame) && mismatches++ < 5) {
                ADD_FAILURE() << name << " at " << x << "," << y << ": got " << int(ColorRed(c)) << ","
                              << int(ColorGreen(c)) << "," << int(ColorBlue(c)) << " want " << int(e[0]) << ","
                              << int(e[1]) << "," << int(e[2]);
            }
        }
    }
    EXPECT_EQ(mismatches, 0) << name;
}

// The same against the rows stored in the file at `path`.
inline void ExpectRGBPixels(const TBitmap& bitmap, const std::string& path, std::size_t channels = 3,
                            int tolerance = 0) {
    ExpectRGBPixels(bitmap, ReadFileBytes(path), path, channels, tolerance);
}

// A reference file and the pixel format it loads into.
struct ReferenceFile {
    const char* name;
    TPixelFormat format;
};

inline std::string ReferenceName(const ::testing::TestParamInfo<ReferenceFile>& info) { return info.param.name; }

// Counts the progress notices of a picture's loads by stage while it lives
// (declared after the picture).
struct ProgressCount {
    int starts = 0;
    int rows = 0;
    int ends = 0;

    explicit ProgressCount(TGraphic& graphic) : graphic_(graphic) {
        graphic.OnProgress = [this](TGraphic&, TProgressStage stage, std::uint8_t, bool, const TRect&,
                                    const std::string&) {
            if (stage == TProgressStage::Starting) ++starts;
            if (stage == TProgressStage::Running) ++rows;
            if (stage == TProgressStage::Ending) ++ends;
        };
    }
    ~ProgressCount() { graphic_.OnProgress = nullptr; }
    ProgressCount(const ProgressCount&) = delete;
    ProgressCount& operator=(const ProgressCount&) = delete;

private:
    TGraphic& graphic_;
};

}  // namespace orv::reader_test
