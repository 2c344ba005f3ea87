#include "formats/codec_photocd.h"

#include <gtest/gtest.h>

#include "codec_test_data.h"

namespace orv {
namespace {

using codec_test::Bytes;

// Builds a residual stream: table bytes, then bit-level sequences.
class ResidualWriter {
public:
    // entries: (code length, left-aligned 16-bit code, key)
    void Table(std::initializer_list<std::tuple<int, std::uint16_t, std::uint8_t>> entries) {
        Byte(static_cast<std::uint8_t>(entries.size() - 1));
        for (auto [length, code, key] : entries) {
            Byte(static_cast<std::uint8_t>(length - 1));
            Byte(static_cast<std::uint8_t>(code >> 8));
            Byte(static_cast<std::uint8_t>(code));
            Byte(key);
        }
    }
    // A sync header for a row of a plane (0, 2 or 3; 1 aborts).
    void Header(unsigned plane, unsigned row) {
        Put(0xFFFFFE, 24);
        Put(plane, 2);
        Put(row, 13);
        Put(0, 1);
    }
    void Put(std::uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) bits_.push_back((value >> i) & 1);
    }
    Bytes Finish() {
        Bytes out = bytes_;
        for (std::size_t i = 0; i < bits_.size(); ++i) {
            if (i % 8 == 0) out.push_back(0);
            if (bits_[i]) out.back() |= static_cast<std::uint8_t>(0x80u >> (i % 8));
        }
        for (int i = 0; i < 8; ++i) out.push_back(0);
        return out;
    }

private:
    void Byte(std::uint8_t b) { bytes_.push_back(b); }
    Bytes bytes_;
    std::vector<int> bits_;
};

struct Planes {
    explicit Planes(std::size_t rowLength, std::size_t rows)
        : luma(rowLength * rows, 100), chroma1(rowLength * rows / 2, 100), chroma2(rowLength * rows / 2, 100) {
        p.Data[0] = luma.data();
        p.Data[1] = chroma1.data();
        p.Data[2] = chroma2.data();
        p.Size[0] = luma.size();
        p.Size[1] = chroma1.size();
        p.Size[2] = chroma2.size();
    }
    Bytes luma, chroma1, chroma2;
    TPCDPlanes p;
};

TPCDStop RunResiduals(const Bytes& stream, Planes& planes, std::size_t rowLength, std::uint32_t stopRow) {
    TMemoryStream s(stream);
    TPCDDecoder d(s);
    return d.DecodePlanes(planes.p, rowLength, stopRow);
}

TEST(PhotoCD, AddsKeysClampsAndStopsAtTheStopRow) {
    ResidualWriter w;
    w.Table({{1, 0x0000, 10}, {2, 0x8000, 200}});  // "0" adds 10, "10" adds -56
    w.Header(0, 1);
    w.Put(0b0, 1);
    w.Put(0b10, 2);
    w.Put(0b0, 1);
    w.Put(0b10, 2);
    w.Header(0, 3);  // the stop row: nothing after it is applied
    w.Put(0, 1);
    Planes planes(4, 4);
    planes.luma[4] = 250;
    planes.luma[7] = 20;
    EXPECT_EQ(RunResiduals(w.Finish(), planes, 4, 3), TPCDStop::StopRow);
    EXPECT_EQ(Bytes(planes.luma.begin() + 4, planes.luma.begin() + 8), (Bytes{255, 44, 110, 0}));
    EXPECT_EQ(planes.luma[12], 100);
}

TEST(PhotoCD, MissingTablesBadRowsAndAbort) {
    // One table only (row length up to 1536): a chroma header stops decoding.
    ResidualWriter w;
    w.Table({{1, 0x0000, 1}});
    w.Header(0, 200);  // far outside the plane: codes are decoded, nothing stored
    w.Put(0, 5);
    w.Header(2, 0);
    w.Put(0, 3);
    Planes planes(4, 4);
    const Bytes before = planes.luma;
    EXPECT_EQ(RunResiduals(w.Finish(), planes, 4, 999), TPCDStop::EndOfData);
    EXPECT_EQ(planes.luma, before);
    EXPECT_EQ(planes.chroma1, Bytes(8, 100));

    ResidualWriter a;
    a.Table({{1, 0x0000, 1}});
    a.Header(1, 0);
    Planes p2(4, 4);
    EXPECT_EQ(RunResiduals(a.Finish(), p2, 4, 999), TPCDStop::Aborted);

    // Code length above 16 in a table.
    Planes p3(4, 4);
    EXPECT_EQ(RunResiduals(Bytes{0x00, 0x20, 0, 0, 0, 0, 0, 0}, p3, 4, 0), TPCDStop::EndOfData);
    // Empty and short streams end without reading past them.
    EXPECT_EQ(RunResiduals(Bytes{}, p3, 4, 0), TPCDStop::EndOfData);
    EXPECT_EQ(RunResiduals(Bytes{0x05, 0x01}, p3, 4, 0), TPCDStop::EndOfData);
}

TEST(PhotoCD, ThreeTablesForWideImages) {
    ResidualWriter w;
    w.Table({{1, 0x0000, 1}});
    w.Table({{1, 0x0000, 2}});
    w.Table({{1, 0x0000, 3}});
    w.Header(3, 2);  // chroma 2, row 2 -> its row 1
    w.Put(0, 2);
    w.Header(0, 0);
    w.Put(0, 1);
    Planes planes(2000, 4);
    EXPECT_EQ(RunResiduals(w.Finish(), planes, 2000, 9999), TPCDStop::EndOfData);
    EXPECT_EQ(planes.chroma2[2000], 103);
    EXPECT_EQ(planes.chroma2[2001], 103);
    EXPECT_EQ(planes.chroma2[2002], 100);
    EXPECT_EQ(planes.luma[0], 101);
    EXPECT_EQ(planes.chroma1[0], 100);
}

}  // namespace
}  // namespace orv
