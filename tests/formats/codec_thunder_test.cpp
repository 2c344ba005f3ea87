#include "formats/codec_thunder.h"

#include <gtest/gtest.h>

#include "codec_test_data.h"

namespace orv {
namespace {

using codec_test::Bytes;
using codec_test::DecodeInto;
using codec_test::ReadData;

TEST(Thunder, MatchesLibtiffRowByRow) {
    // Width 13, four rows of 7 bytes, each row decoded from a fresh start.
    const Bytes packed = ReadData("thunder_s0.packed");
    const Bytes rows = ReadData("thunder_s0.rows");
    TThunderDecoder d(13);
    EXPECT_EQ(DecodeInto(d, packed, rows.size()), rows);
    const Bytes part = DecodeInto(d, packed, 10);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), rows.begin()));
}

TEST(Thunder, CodeKinds) {
    TThunderDecoder d(8);
    // 197: one pixel of 5; 99: fields skip, +0, -1 -> two pixels 5, 4.
    EXPECT_EQ(DecodeInto(d, {197, 99}, 4), (Bytes{0x55, 0x40, 0, 0}));
    // A run of 3 at an even count: two bytes, the second with a clear low half.
    EXPECT_EQ(DecodeInto(d, {0xC7, 0xC7, 0x03}, 4), (Bytes{0x77, 0x77, 0x70, 0}));
}

TEST(Thunder, RunsAreCutAtTheRowAndRowsRestart) {
    // Width 4: pixel 5, run 7 (cut to 3). Row 2 starts with last value 0:
    // two +0 deltas, then pixel 9 twice.
    TThunderDecoder d(4);
    EXPECT_EQ(DecodeInto(d, {0xC5, 0x07, 0x42, 0xC9, 0xC9}, 4), (Bytes{0x55, 0x55, 0x00, 0x99}));
    // Odd width: the last byte's low half is untouched padding.
    TThunderDecoder odd(3);
    EXPECT_EQ(DecodeInto(odd, {0xC1, 0x02, 0xC2, 0xC3, 0xC4}, 4), (Bytes{0x11, 0x10, 0x23, 0x40}));
}

}  // namespace
}  // namespace orv
