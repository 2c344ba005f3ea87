// The CUT reader: pictures and palette files made here, the palette found
// beside the picture, and data or palettes that claim more than they hold.
#include "formats/fmt_cut.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "formats/library.h"
#include "platform/base/stream.h"
#include "platform/graphics/picture_loader.h"
#include "tests/support/le_bytes.h"
#include "tests/support/reader_test_support.h"

namespace orv {
namespace {

using reader_test::Bytes;
using test::PutLe16;
using Rows = std::vector<Bytes>;

// Codes rows as runs of three or more equal bytes and literal stretches,
// each row closed by a 0.
Bytes CutFile(std::uint16_t width, std::uint16_t height, const Rows& rows) {
    Bytes out;
    PutLe16(out, width);
    PutLe16(out, height);
    PutLe16(out, 0);
    for (const Bytes& row : rows) {
        Bytes coded;
        std::size_t i = 0;
        while (i < row.size()) {
            std::size_t j = i;
            while (j < row.size() && row[j] == row[i] && j - i < 127) ++j;
            if (j - i >= 3) {
                coded.push_back(static_cast<std::uint8_t>(0x80 | (j - i)));
                coded.push_back(row[i]);
            } else {
                j = i;
                while (j < row.size() && j - i < 127 && !(j + 2 < row.size() && row[j] == row[j + 1] && row[j] == row[j + 2]))
                    ++j;
                coded.push_back(static_cast<std::uint8_t>(j - i));
                coded.insert(coded.end(), row.begin() + static_cast<std::ptrdiff_t>(i),
                             row.begin() + static_cast<std::ptrdiff_t>(j));
            }
            i = j;
        }
        coded.push_back(0);
        PutLe16(out, static_cast<std::uint16_t>(coded.size()));
        out.insert(out.end(), coded.begin(), coded.end());
    }
    return out;
}

// A palette file: highest index at offset 12, six-byte entries from offset
// 40 that never cross a 512-byte block; whole blocks unless cut.
Bytes PaletteFile(std::uint16_t highest, const std::vector<TPaletteEntry>& entries) {
    Bytes out(512, 0);
    test::SetLe16(out, 12, highest);
    std::size_t block = 0, position = 40;
    for (const TPaletteEntry& e : entries) {
        if (position > 506) {
            out.resize(out.size() + 512, 0);
            block += 512;
            position = 0;
        }
        // Components are words whose high byte is ignored.
        const std::uint8_t values[6] = {e.Red, 0xAA, e.Green, 0xBB, e.Blue, 0xCC};
        for (int k = 0; k < 6; ++k) out[block + position + k] = values[k];
        position += 6;
    }
    return out;
}

std::vector<TPaletteEntry> Colours(std::size_t n) {
    std::vector<TPaletteEntry> entries(n);
    for (std::size_t i = 0; i < n; ++i)
        entries[i] = TPaletteEntry{static_cast<std::uint8_t>(i * 3), static_cast<std::uint8_t>(255 - i),
                                   static_cast<std::uint8_t>(i ^ 0x5A), 0};
    return entries;
}

Rows Picture(int w, int h) {
    Rows rows(h, Bytes(w));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) rows[y][x] = static_cast<std::uint8_t>(x < 7 ? 200 : (x * 13 + y * 7) & 255);
    return rows;
}

class CUTFiles : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::path(::testing::TempDir()) /
                  ("cut_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string Write(const std::string& name, const Bytes& bytes) {
        const std::string path = (folder_ / name).string();
        TMemoryStream(bytes).SaveToFile(path);
        return path;
    }

    std::filesystem::path folder_;
};

TEST_F(CUTFiles, PaletteBesideThePictureColoursIt) {
    const Rows rows = Picture(40, 6);
    const std::string picture = Write("pic.cut", CutFile(40, 6, rows));
    const auto colours = Colours(256);
    Write("pic.pal", PaletteFile(255, colours));
    TCUTGraphic cut;
    cut.LoadFromFile(picture);
    ASSERT_EQ(cut.PixelFormat(), TPixelFormat::pf8bit);
    ASSERT_EQ(cut.Width(), 40);
    ASSERT_EQ(cut.Height(), 6);
    EXPECT_EQ(cut.Palette().Count(), 256u);
    // Entries from later blocks too: 79 fit into the first one.
    EXPECT_EQ(cut.Palette().Entry(79), colours[79]);
    EXPECT_EQ(cut.Palette().Entry(80), colours[80]);
    EXPECT_EQ(cut.Palette().Entry(255), colours[255]);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(cut.ScanLine(y)[x], rows[y][x]) << x << "," << y;
}

TEST_F(CUTFiles, PaletteCountsAreTheHighestIndexPlusOneAtMost256) {
    const std::string picture = Write("a.cut", CutFile(8, 1, Picture(8, 1)));
    Write("a.pal", PaletteFile(15, Colours(16)));
    TCUTGraphic cut;
    cut.LoadFromFile(picture);
    EXPECT_EQ(cut.Palette().Count(), 16u);
    EXPECT_EQ(cut.Palette().Entry(15), Colours(16)[15]);

    // 65535 would wrap to no entries in 16 bits and overrun 256 otherwise.
    Write("a.pal", PaletteFile(65535, Colours(256)));
    cut.LoadFromFile(picture);
    EXPECT_EQ(cut.Palette().Count(), 256u);
    EXPECT_EQ(cut.Palette().Entry(200), Colours(256)[200]);

    // A file that ends inside a block it needs fails the load.
    Bytes cutShort = PaletteFile(255, Colours(256));
    cutShort.resize(700);
    Write("a.pal", cutShort);
    EXPECT_THROW(cut.LoadFromFile(picture), EReadError);
}

TEST_F(CUTFiles, WithoutAPaletteFileIndicesShowGray) {
    const std::string picture = Write("gray.cut", CutFile(40, 6, Picture(40, 6)));
    TCUTGraphic cut;
    cut.LoadFromFile(picture);
    EXPECT_EQ(cut.GetPixel(0, 0), RGBColor(200, 200, 200));

    // A stream load on an object that never loaded a file: gray as well.
    TCUTGraphic fromStream;
    TMemoryStream stream(CutFile(40, 6, Picture(40, 6)));
    fromStream.LoadFromStream(stream);
    EXPECT_TRUE(fromStream.PaletteFileName().empty());
    EXPECT_EQ(fromStream.GetPixel(3, 2), RGBColor(200, 200, 200));
}

TEST_F(CUTFiles, PaletteNameMayDifferInLetterCaseAlsoThroughTheRegistry) {
    TImageFormatsScope formats;
    const std::string picture = Write("Scan.CUT", CutFile(40, 6, Picture(40, 6)));
    Write("SCAN.Pal", PaletteFile(255, Colours(256)));
    TBitmap bitmap;
    ASSERT_TRUE(LoadPictureToBitmap(picture, bitmap));
    const TPaletteEntry e = Colours(256)[200];
    EXPECT_EQ(bitmap.GetPixel(0, 5), RGBColor(e.Red, e.Green, e.Blue));
    // The exact name wins over one that differs in case.
    Write("Scan.pal", PaletteFile(15, Colours(16)));
    TCUTGraphic cut;
    cut.LoadFromFile(picture);
    EXPECT_EQ(cut.Palette().Count(), 16u);
}

TEST(CUTReader, RowsBeyondTheDataOrTheWidthStayInTheirBounds) {
    // Rows wider than the picture are cut at its width; the next row starts
    // after the closing 0.
    Rows wide = Picture(30, 3);
    Bytes file = CutFile(10, 4, wide);
    // The last row's closing 0 is missing: the data end inside it.
    file.pop_back();
    TCUTGraphic cut;
    TMemoryStream stream(file);
    cut.LoadFromStream(stream);
    ASSERT_EQ(cut.Width(), 10);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 10; ++x) ASSERT_EQ(cut.ScanLine(y)[x], wide[y][x]) << x << "," << y;
    for (int x = 0; x < 10; ++x) EXPECT_EQ(cut.ScanLine(3)[x], 0);
}

TEST(CUTReader, EmptyAndOversizedHeaders) {
    for (const Bytes& file : {CutFile(0, 5, {}), CutFile(5, 0, {}), Bytes{1, 0, 1}}) {
        TCUTGraphic cut;
        TMemoryStream stream(file);
        EXPECT_NO_THROW(cut.LoadFromStream(stream));
        EXPECT_TRUE(cut.Empty());
    }
    TCUTGraphic cut;
    TMemoryStream huge(CutFile(65535, 65535, {}));
    EXPECT_THROW(cut.LoadFromStream(huge), EInvalidGraphic);
    TMemoryStream stream(CutFile(5, 5, {}));
    EXPECT_FALSE(TCUTGraphic::CanLoadStream(stream));
}

}  // namespace
}  // namespace orv
