#include "search/engine/signature.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "search/engine/signature_kernel.h"

namespace orv {
namespace {

// A 24-bit gray image in memory with rows padded to four bytes like a bitmap.
struct GrayImage {
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    std::vector<std::uint8_t> bytes;

    GrayImage(int w, int h, std::uint8_t fill = 0) : width(w), height(h), stride((w * 3 + 3) / 4 * 4) {
        bytes.assign(static_cast<std::size_t>(stride) * static_cast<std::size_t>(h), 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) Set(x, y, fill);
    }
    void Set(int x, int y, std::uint8_t gray) {
        std::uint8_t* p = &bytes[static_cast<std::size_t>(y * stride + x * 3)];
        p[0] = p[1] = p[2] = gray;
    }
    TGrayView View() const { return TGrayView{bytes.data(), width, height, stride, 3}; }
};

GrayImage RandomImage(int w, int h, std::mt19937& rng) {
    GrayImage image(w, h);
    std::uniform_int_distribution<int> gray(0, 255);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image.Set(x, y, static_cast<std::uint8_t>(gray(rng)));
    return image;
}

// A copy of image with about `changed` of every 1000 pixels moved to another band.
GrayImage Altered(const GrayImage& image, int changed, std::mt19937& rng) {
    GrayImage copy = image;
    std::uniform_int_distribution<int> permille(0, 999);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (permille(rng) < changed) copy.Set(x, y, static_cast<std::uint8_t>(image.View().Gray(x, y) ^ 0x80));
    return copy;
}

TEST(SimilarityScore, RoundedRatiosAndLimits) {
    EXPECT_EQ(ScoreFromCounts(53, 100), 52);
    EXPECT_EQ(ScoreFromCounts(59, 100), 58);
    EXPECT_EQ(ScoreFromCounts(106, 200), 52);  // the same ratio at another total
    EXPECT_EQ(ScoreFromCounts(54, 100), 54);
    EXPECT_EQ(ScoreFromCounts(75, 100), 75);
    EXPECT_EQ(ScoreFromCounts(4800, 6400), 75);
    EXPECT_EQ(ScoreFromCounts(6399, 6400), 99);
    EXPECT_EQ(ScoreFromCounts(6400, 6400), 100);
    EXPECT_EQ(ScoreFromCounts(0, 0), 0);
    EXPECT_EQ(ScoreFromCounts(5, 0), 0);
    EXPECT_EQ(ScoreFromCounts(0, 6400), 0);
}

// Every ratio a signature can produce: the rounded score is the integer
// percentage except exactly at 53/100 and 59/100.
TEST(SimilarityScore, MatchesIntegerPercentExceptTwoRatios) {
    for (std::int64_t total = 1; total <= TNeedTable::kTableTotal; ++total) {
        for (std::int64_t agree = 0; agree <= total; ++agree) {
            std::int64_t expected = agree * 100 / total;
            if (agree * 100 % total == 0 && (expected == 53 || expected == 59)) --expected;
            if (ScoreFromCounts(agree, total) != expected) {
                ADD_FAILURE() << agree << "/" << total << " scores " << ScoreFromCounts(agree, total);
                return;
            }
        }
    }
}

TEST(SimilarityNeed, SmallestCountReachingPar) {
    for (int par : {52, 53, 58, 59, 60, 75, 90, 100}) {
        const TNeedTable table(par);
        for (std::int64_t total = 1; total <= TNeedTable::kTableTotal; ++total) {
            const std::int64_t need = table.Need(total);
            ASSERT_GE(ScoreFromCounts(need, total), par) << par << " " << total;
            if (need > 0) {
                ASSERT_LT(ScoreFromCounts(need - 1, total), par) << par << " " << total;
            }
        }
    }
    // A score equal to Par matches; 53 of 100 does not reach 53.
    EXPECT_EQ(TNeedTable(75).Need(100), 75);
    EXPECT_TRUE(TNeedTable(75).Matches(4800, 6400));
    EXPECT_FALSE(TNeedTable(75).Matches(4799, 6400));
    EXPECT_EQ(TNeedTable(53).Need(100), 54);
    EXPECT_EQ(TNeedTable(52).Need(100), 52);
    // Out-of-table totals and impossible thresholds.
    EXPECT_EQ(TNeedTable(75).Need(20000), 15000);
    EXPECT_EQ(TNeedTable(101).Need(100), 101);
    EXPECT_EQ(TNeedTable(75).Need(0), 1);
    EXPECT_EQ(TNeedTable(0).Need(0), 0);
}

TEST(SimilarityPlain, BandsAndCoverage) {
    GrayImage a(4, 2, 0);
    EXPECT_EQ(CompareBitmaps(a.View(), a.View()), 100);

    // 31 and 32 straddle a band edge; 0 and 31 share one.
    GrayImage b(4, 2, 31);
    EXPECT_EQ(CompareBitmaps(a.View(), b.View()), 100);
    GrayImage c(4, 2, 32);
    EXPECT_EQ(CompareBitmaps(b.View(), c.View()), 0);

    std::mt19937 rng(7);
    GrayImage r = RandomImage(80, 80, rng);
    GrayImage inverse = r;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 80; ++x) inverse.Set(x, y, static_cast<std::uint8_t>(255 - r.View().Gray(x, y)));
    EXPECT_EQ(CompareBitmaps(r.View(), inverse.View()), 0);

    // A smaller target: uncovered source pixels disagree, the total stays
    // the source area (8 of 20 covered and equal -> 40).
    GrayImage big(5, 4, 100);
    GrayImage small(4, 2, 100);
    EXPECT_EQ(CountAgreePlain(big.View(), small.View()), 8);
    EXPECT_EQ(CompareBitmaps(big.View(), small.View()), 40);
    // A larger target: only the source area counts.
    EXPECT_EQ(CompareBitmaps(small.View(), big.View()), 100);
    // Empty sides.
    EXPECT_EQ(CompareBitmaps(TGrayView{}, big.View()), 0);
    EXPECT_EQ(CompareBitmaps(big.View(), TGrayView{}), 0);
}

TEST(SimilarityCompact, SameCountsAsPlainForAnySizes) {
    std::mt19937 rng(11);
    const int sizes[][2] = {{80, 80}, {1, 1}, {63, 1}, {65, 3}, {50, 30}, {80, 17}, {7, 80}};
    for (const auto& s : sizes) {
        for (const auto& t : sizes) {
            GrayImage src = RandomImage(s[0], s[1], rng);
            GrayImage tgt = (s[0] == t[0] && s[1] == t[1]) ? Altered(src, 300, rng) : RandomImage(t[0], t[1], rng);
            const TCompactSignature cs(src.View()), ct(tgt.View());
            ASSERT_EQ(CountAgree(cs, ct), CountAgreePlain(src.View(), tgt.View()))
                << s[0] << "x" << s[1] << " vs " << t[0] << "x" << t[1];
            ASSERT_EQ(CompareBitmaps(cs, ct), CompareBitmaps(src.View(), tgt.View()));
        }
    }
    const TCompactSignature full(RandomImage(80, 80, rng).View());
    EXPECT_EQ(full.PlaneWords() * 3 * sizeof(std::uint64_t), 2400u);
    EXPECT_EQ(CompareBitmaps(TCompactSignature{}, full), 0);
    EXPECT_EQ(CountAgree(full, TCompactSignature{}), 0);
}

TEST(SimilarityCompact, ThresholdAgreesWithScore) {
    std::mt19937 rng(23);
    const TNeedTable tables[] = {TNeedTable(60), TNeedTable(75), TNeedTable(90)};
    for (int round = 0; round < 300; ++round) {
        const int w = round % 3 == 0 ? 80 : 1 + static_cast<int>(rng() % 80);
        const int h = round % 3 == 0 ? 80 : 1 + static_cast<int>(rng() % 80);
        GrayImage src = RandomImage(w, h, rng);
        GrayImage tgt = Altered(src, static_cast<int>(rng() % 500), rng);
        const TCompactSignature cs(src.View()), ct(tgt.View());
        const int score = CompareBitmaps(src.View(), tgt.View());
        for (const auto& table : tables)
            ASSERT_EQ(ScoreReaches(cs, ct, table), score >= table.Par()) << w << "x" << h << " score " << score;
    }
}

// Pairs of different sizes whose covered part is close, at every kernel
// level: the early answer of the threshold test equals the full score's.
TEST(SimilarityCompact, MixedSizesAgreeWithScoreAtEveryLevel) {
    std::mt19937 rng(29);
    const TNeedTable table(75);
    for (TKernelLevel level : SupportedKernelLevels()) {
        ASSERT_TRUE(SetKernelLevel(level));
        for (int round = 0; round < 200; ++round) {
            const int w = 1 + static_cast<int>(rng() % 80), h = 1 + static_cast<int>(rng() % 80);
            const int tw = round % 2 ? w + static_cast<int>(rng() % (81 - w)) : 1 + static_cast<int>(rng() % 80);
            const int th = round % 2 ? h + static_cast<int>(rng() % (81 - h)) : 1 + static_cast<int>(rng() % 80);
            const GrayImage src = RandomImage(w, h, rng);
            const GrayImage near = Altered(src, static_cast<int>(rng() % 400), rng);
            GrayImage tgt = RandomImage(tw, th, rng);
            for (int y = 0; y < std::min(h, th); ++y)
                for (int x = 0; x < std::min(w, tw); ++x) tgt.Set(x, y, near.View().Gray(x, y));
            const TCompactSignature cs(src.View()), ct(tgt.View());
            ASSERT_EQ(CountAgree(cs, ct), CountAgreePlain(src.View(), tgt.View())) << KernelLevelName(level);
            ASSERT_EQ(ScoreReaches(cs, ct, table), CompareBitmaps(src.View(), tgt.View()) >= 75)
                << KernelLevelName(level) << " " << w << "x" << h << " vs " << tw << "x" << th;
        }
    }
    SetKernelLevel(SupportedKernelLevels().back());
}

TEST(SimilarityKernel, EveryLevelGivesTheSameCounts) {
    const auto levels = SupportedKernelLevels();
    ASSERT_FALSE(levels.empty());
    EXPECT_EQ(levels.front(), TKernelLevel::Portable);
    std::mt19937_64 rng(5);
    for (std::size_t words = 0; words <= 140; ++words) {
        // Buffers of exactly 3 x words so that any overrun shows under ASan.
        std::vector<std::uint64_t> a(words * 3), b(words * 3);
        for (auto& w : a) w = rng();
        // Targets close to the source, so that thresholds near the count matter.
        for (std::size_t i = 0; i < b.size(); ++i) b[i] = a[i] ^ (rng() & rng() & rng());
        const std::uint64_t expected = KernelCountAgree(TKernelLevel::Portable, a.data(), b.data(), words);
        for (TKernelLevel level : levels) {
            ASSERT_EQ(KernelCountAgree(level, a.data(), b.data(), words), expected)
                << KernelLevelName(level) << " words " << words;
            for (std::uint64_t need : {std::uint64_t{0}, expected / 2, expected, expected + 1, words * 64,
                                       words * 64 + 1}) {
                ASSERT_EQ(KernelReaches(level, a.data(), b.data(), words, need), expected >= need)
                    << KernelLevelName(level) << " words " << words << " need " << need;
            }
        }
    }
}

}  // namespace
}  // namespace orv
