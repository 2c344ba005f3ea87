// The format base class and the routines the readers share.
#include "formats/image_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/base/stream.h"
#include "platform/graphics/messages.h"

namespace orv {
namespace {

using Bytes = std::vector<std::uint8_t>;

class TestGraphic : public TFormatGraphic {
public:
    using TFormatGraphic::SetImageSize;
};

TEST(FormatGraphic, PropertiesAreClearedAndCopied) {
    TFormatGraphic a;
    EXPECT_EQ(a.ImageProperties.Width, 0u);
    EXPECT_EQ(a.ImageProperties.Gamma, 0.0f);

    a.ImageProperties.Width = 7;
    a.ImageProperties.RowsPerStrip = {1, 2, 3};
    a.ImageProperties.FilterMethod = 4;
    TMemoryStream stream;
    EXPECT_FALSE(a.ReadImageProperties(stream, 0));
    EXPECT_EQ(a.ImageProperties.Width, 0u);
    EXPECT_TRUE(a.ImageProperties.RowsPerStrip.empty());
    EXPECT_EQ(a.ImageProperties.FilterMethod, 0);
    EXPECT_EQ(a.ImageProperties.Gamma, 1.0f);

    // From another format object the record is copied, from a plain bitmap not.
    TFormatGraphic b;
    b.ImageProperties.Height = 9;
    b.ImageProperties.JPEGTables = {1, 2};
    b.SetPixelFormat(TPixelFormat::pf24bit);
    b.SetSize(2, 3);
    a.Assign(b);
    EXPECT_EQ(a.ImageProperties.Height, 9u);
    EXPECT_EQ(a.ImageProperties.JPEGTables, (Bytes{1, 2}));
    EXPECT_EQ(a.Width(), 2);
    TBitmap plain;
    plain.SetPixelFormat(TPixelFormat::pf24bit);
    plain.SetSize(5, 1);
    a.Assign(plain);
    EXPECT_EQ(a.ImageProperties.Height, 9u);
    EXPECT_EQ(a.Width(), 5);

    EXPECT_TRUE(TFormatGraphic::ClassInfo().InheritsFrom(TBitmap::ClassInfo()));
    EXPECT_TRUE(a.InheritsFrom(TFormatGraphic::ClassInfo()));
}

TEST(FormatGraphic, SizeGateBeforeAllocation) {
    TestGraphic g;
    g.SetPixelFormat(TPixelFormat::pf8bit);
    g.SetImageSize(3, 2);
    EXPECT_EQ(g.Width(), 3);
    EXPECT_EQ(g.Height(), 2);
    for (auto [w, h] : {std::pair<std::int64_t, std::int64_t>{1 << 20, 1 << 10}, {(1 << 20) + 1, 1},
                        {-1, 5}, {std::int64_t{1} << 40, std::int64_t{1} << 40}}) {
        EXPECT_THROW(g.SetImageSize(w, h), EInvalidGraphic) << w << "x" << h;
    }
    EXPECT_EQ(g.Width(), 3);
}

TEST(FormatGraphic, CanLoadFileAsksTheClassTest) {
    const std::string path = ::testing::TempDir() + "/can_load_test.bin";
    {
        TFileStream out(path, FileMode::Create);
        out.WriteBuffer("MAGIC", 5);
    }
    static const TGraphicClass magicClass{
        "TMagicGraphic", nullptr,
        [](TStream& s) {
            char buf[5] = {};
            return s.Read(buf, 5) == 5 && std::string(buf, 5) == "MAGIC";
        },
        &TFormatGraphic::ClassInfo()};
    EXPECT_TRUE(TFormatGraphic::CanLoadFile(magicClass, path));
    EXPECT_FALSE(TFormatGraphic::CanLoadFile(TFormatGraphic::ClassInfo(), path));
    std::remove(path.c_str());
    EXPECT_THROW(TFormatGraphic::CanLoadFile(magicClass, path), EFOpenError);
}

TEST(SharedRoutines, ErrorTexts) {
    try {
        RaiseImageErrorFmt(msg::NotSupported, "JBIG", "TIF");
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Cannot load image. JBIG not supported for TIF files.");
    }
    try {
        RaiseImageErrorFmt(msg::JPEGErrorNumber, 42);
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "JPEG error #42");
    }
    EXPECT_THROW(RaiseImageErrorFmt(msg::InvalidImage, "PNG"), EInvalidGraphic);
    EXPECT_EQ(FormatImageMessage("100%% %s", std::vector<std::string>{}), "100% ");
}

TEST(SharedRoutines, ByteOrder) {
    EXPECT_EQ(ReverseLong(0x01020304u), 0x04030201u);
    Bytes words{1, 2, 3, 4};
    ReverseWords(words.data(), 2);
    EXPECT_EQ(words, (Bytes{2, 1, 4, 3}));
    Bytes longs{1, 2, 3, 4, 5, 6, 7, 8};
    ReverseLongs(longs.data(), 2);
    EXPECT_EQ(longs, (Bytes{4, 3, 2, 1, 8, 7, 6, 5}));
}

TEST(SharedRoutines, DifferencingStaysInsideTheRow) {
    Bytes row{10, 5, 5};
    UndoDifferencing8(row.data(), row.size(), 2);
    EXPECT_EQ(row, (Bytes{10, 15, 20}));

    Bytes rgb{1, 2, 3, 1, 1, 1, 255, 0, 1};
    UndoDifferencing24(rgb.data(), rgb.size(), 2);
    EXPECT_EQ(rgb, (Bytes{1, 2, 3, 2, 3, 4, 1, 3, 5}));

    // A count larger than the row stops at the row's end; 0 does nothing.
    Bytes tail{1, 1, 1, 1, 0xEE};
    UndoDifferencing32(tail.data(), 4, 100);
    EXPECT_EQ(tail, (Bytes{1, 1, 1, 1, 0xEE}));
    Bytes still{1, 1};
    UndoDifferencing8(still.data(), 2, 0);
    EXPECT_EQ(still, (Bytes{1, 1}));

    // Pixel-aware form: 8-bit samples step by the samples per pixel.
    Bytes pixels{1, 2, 1, 1, 0xEE};
    EXPECT_TRUE(UndoHorizontalDifferencing(pixels.data(), 4, 2, 2, 8, false));
    EXPECT_EQ(pixels, (Bytes{1, 2, 2, 3, 0xEE}));
    // 16-bit samples add as words in file byte order.
    Bytes be{0x00, 0xFF, 0x00, 0x01};
    EXPECT_TRUE(UndoHorizontalDifferencing(be.data(), 4, 2, 1, 16, true));
    EXPECT_EQ(be, (Bytes{0x00, 0xFF, 0x01, 0x00}));
    Bytes le{0xFF, 0x00, 0x01, 0x00};
    EXPECT_TRUE(UndoHorizontalDifferencing(le.data(), 4, 2, 1, 16, false));
    EXPECT_EQ(le, (Bytes{0xFF, 0x00, 0x00, 0x01}));
    // Sub-byte samples are left alone; a width beyond the row is cut to it.
    Bytes packed{0x12, 0x34};
    EXPECT_FALSE(UndoHorizontalDifferencing(packed.data(), 2, 4, 1, 4, false));
    EXPECT_EQ(packed, (Bytes{0x12, 0x34}));
    Bytes shortRow{1, 1, 1, 0xEE};
    EXPECT_TRUE(UndoHorizontalDifferencing(shortRow.data(), 3, 1000, 1, 8, false));
    EXPECT_EQ(shortRow, (Bytes{1, 2, 3, 0xEE}));
}

TEST(SharedRoutines, Upsample2x) {
    Bytes plane(16, 0xEE);
    plane[0] = 0;
    plane[1] = 100;
    plane[4] = 100;
    plane[5] = 200;
    ASSERT_TRUE(Upsample2x(2, 2, 4, plane.data(), plane.size()));
    EXPECT_EQ(plane, (Bytes{0, 50, 100, 100, 50, 100, 150, 150, 100, 150, 200, 200, 100, 150, 200, 200}));

    Bytes one{7, 0xEE, 0xEE, 0xEE};
    ASSERT_TRUE(Upsample2x(1, 1, 2, one.data(), one.size()));
    EXPECT_EQ(one, (Bytes{7, 7, 7, 7}));

    // Buffers or strides too small for the doubled plane are refused.
    Bytes small(15, 1);
    EXPECT_FALSE(Upsample2x(2, 2, 4, small.data(), small.size()));
    EXPECT_EQ(small, Bytes(15, 1));
    EXPECT_FALSE(Upsample2x(3, 1, 5, small.data(), small.size()));
    EXPECT_FALSE(Upsample2x(0, 2, 4, small.data(), small.size()));
}

TEST(SharedRoutines, BuffersAndLimits) {
    const Bytes buffer = AllocateWorkBuffer(1000, "TEST");
    EXPECT_EQ(buffer, Bytes(1000, 0));
    EXPECT_THROW(AllocateWorkBuffer(kMaxWorkBuffer + 1, "TEST"), EInvalidGraphic);
    EXPECT_EQ(PackedRowBytes(0xFFFFFFFFull, 32), 0x3FFFFFFFCull);

    TMemoryStream stream(Bytes(10));
    stream.Seek(4, SeekOrigin::Beginning);
    EXPECT_NO_THROW(CheckBytesLeft(stream, 6, "TEST"));
    EXPECT_THROW(CheckBytesLeft(stream, 7, "TEST"), EInvalidGraphic);

    EXPECT_EQ(ProgressPercent(0, 0), 0);
    EXPECT_EQ(ProgressPercent(1, 3), 33);
    EXPECT_EQ(ProgressPercent(2, 3), 67);
    EXPECT_EQ(ProgressPercent(5, 3), 100);
}

}  // namespace
}  // namespace orv
