#include <gtest/gtest.h>

#include "platform/ui/forms.h"
#include "ui/qt_app.h"
#include "widgets/visual_panel3d.h"

namespace orv {
namespace {

constexpr TColor Gray(int v) { return RGBColor(static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v)); }

class VisualPanelTest : public ::testing::Test, test::WithApp {
protected:
    void SetUp() override { test::App(); }

    // A panel of the given size and gray colour with nothing drawn but what
    // the test switches on.
    TVisualPanel3D& Panel(int w, int h, int gray) {
        panel_.SetBounds(0, 0, w, h);
        panel_.SetColor(Gray(gray));
        panel_.DrawLine = false;
        panel_.GradeWidth = -1;
        return panel_;
    }
    TColor At(int x, int y) { return panel_.Face().GetPixel(x, y); }

    TForm form_;
    TVisualPanel3D panel_{&form_, "VisualPanel3D1", &form_};
};

TEST_F(VisualPanelTest, BandHeightRoundsHalvesToEven) {
    EXPECT_EQ(TVisualPanel3D::BandHeight(645), 11);
    EXPECT_EQ(TVisualPanel3D::BandHeight(90), 2);   // 1.5
    EXPECT_EQ(TVisualPanel3D::BandHeight(150), 2);  // 2.5
    EXPECT_EQ(TVisualPanel3D::BandHeight(210), 4);  // 3.5
    EXPECT_EQ(TVisualPanel3D::BandHeight(30), 0);   // 0.5
    EXPECT_EQ(TVisualPanel3D::BandHeight(59), 1);
    EXPECT_EQ(TVisualPanel3D::BandHeight(0), 0);
}

TEST_F(VisualPanelTest, GradientBandsOfATallPanel) {
    Panel(20, 645, 100).GradePanel = true;
    panel_.PaintFace();
    EXPECT_EQ(At(0, 0), Gray(130));
    EXPECT_EQ(At(19, 10), Gray(130));
    EXPECT_EQ(At(5, 11), Gray(129));
    EXPECT_EQ(At(5, 637), Gray(73));
    // Band 59 would start at 649: the lowest visible band is 58 (k = -28).
    EXPECT_EQ(At(5, 638), Gray(72));
    EXPECT_EQ(At(5, 644), Gray(72));
}

TEST_F(VisualPanelTest, GradientBandsOfLowPanels) {
    Panel(20, 90, 100).GradePanel = true;
    panel_.PaintFace();
    EXPECT_EQ(At(3, 1), Gray(130));
    EXPECT_EQ(At(3, 2), Gray(129));
    EXPECT_EQ(At(3, 89), Gray(86));  // band 44 from y = 88

    // Bands of height 0 all cover the whole panel; the last one stays.
    Panel(20, 30, 100);
    panel_.PaintFace();
    EXPECT_EQ(At(3, 0), Gray(71));
    EXPECT_EQ(At(19, 29), Gray(71));
}

// Each band is painted once, down to the next band's top; what shows is what
// painting every band down to the bottom edge shows.
TEST_F(VisualPanelTest, GradientShowsWhatBandsPaintedToTheBottomShow) {
    for (int h = 1; h <= 700; h += h < 130 ? 1 : 41) {
        Panel(3, h, 100).GradePanel = true;
        panel_.PaintFace();
        const int band = TVisualPanel3D::BandHeight(h);
        TBitmap reference;
        reference.SetSize(3, h);
        for (int i = 0; i < 60; ++i) reference.FillRect(TRect{0, i * band, 3, h}, Gray(130 - i));
        for (int y = 0; y < h; ++y) ASSERT_EQ(At(2, y), reference.GetPixel(2, y)) << "height " << h << ", row " << y;
    }
}

TEST_F(VisualPanelTest, FaceIsRenderedAgainOnlyForANewLook) {
    Panel(40, 30, 100).GradePanel = true;
    panel_.UpdateFace();
    const std::uint64_t first = panel_.FaceRevision();
    panel_.UpdateFace();
    EXPECT_EQ(panel_.FaceRevision(), first);
    // The plain fields change without telling the panel; the face notices.
    panel_.GradeWidth = 2;
    panel_.UpdateFace();
    EXPECT_EQ(panel_.FaceRevision(), first + 1);
    EXPECT_EQ(At(20, 0), Gray(140));
    panel_.SetBounds(0, 0, 41, 30);
    panel_.UpdateFace();
    EXPECT_EQ(panel_.FaceRevision(), first + 2);
    EXPECT_EQ(panel_.Face().Width(), 41);
}

TEST_F(VisualPanelTest, WhiteGradientClampsAtTheTop) {
    Panel(10, 60, 255).GradePanel = true;
    panel_.PaintFace();
    EXPECT_EQ(At(0, 0), Gray(255));
    EXPECT_EQ(At(0, 30), Gray(255));  // k = 0
    EXPECT_EQ(At(0, 31), Gray(254));
    EXPECT_EQ(At(0, 59), Gray(226));
}

TEST_F(VisualPanelTest, CaptionIsDrawnOverTheGradient) {
    Panel(200, 60, 200).GradePanel = true;
    panel_.SetCaption("比較元リスト");
    panel_.PaintFace();
    int dark = 0;
    for (int x = 60; x < 140; ++x)
        for (int y = 20; y < 40; ++y) dark += ColorRed(At(x, y)) < 100 ? 1 : 0;
    EXPECT_GT(dark, 20);
}

TEST_F(VisualPanelTest, FourBevelRingsAndTheLines) {
    Panel(100, 50, 100).GradeWidth = 3;
    panel_.PaintFace();
    EXPECT_EQ(At(50, 0), Gray(160));  // outer top: lightened by 60
    EXPECT_EQ(At(0, 25), Gray(136));  // outer left: by 36, painted over the top
    EXPECT_EQ(At(50, 1), Gray(140));
    EXPECT_EQ(At(1, 25), Gray(124));
    EXPECT_EQ(At(50, 2), Gray(120));
    EXPECT_EQ(At(2, 25), Gray(112));
    EXPECT_EQ(At(50, 3), Gray(100));  // innermost ring: the colour itself
    EXPECT_EQ(At(97, 25), Gray(100)); // right strips: undarkened at W - G...
    EXPECT_EQ(At(98, 25), Gray(88));
    EXPECT_EQ(At(99, 25), Gray(76));  // ...darkest at the edge
    EXPECT_EQ(At(50, 49), Gray(60));  // bottom: darkest at the edge
    EXPECT_EQ(At(50, 48), Gray(80));
    EXPECT_EQ(At(50, 47), Gray(100));

    panel_.DrawLine = true;
    panel_.PaintFace();
    // Highlight frames (4, 4, W - 3, H - 3), shadow (3, 3, W - 4, H - 4).
    EXPECT_EQ(At(50, 4), clWhite);
    EXPECT_EQ(At(4, 25), clWhite);
    EXPECT_EQ(At(96, 25), clWhite);
    EXPECT_EQ(At(50, 46), clWhite);
    EXPECT_EQ(At(50, 3), clBlack);
    EXPECT_EQ(At(3, 25), clBlack);
    EXPECT_EQ(At(95, 25), clBlack);
    EXPECT_EQ(At(50, 45), clBlack);
    EXPECT_EQ(At(50, 25), Gray(100));
}

TEST_F(VisualPanelTest, TopOnlyRingsAndBorder) {
    Panel(40, 30, 100).GradeWidth = 2;
    panel_.GradeTopOnly = true;
    panel_.Border = true;
    panel_.PaintFace();
    EXPECT_EQ(At(0, 0), clBlack);      // border over the ring
    EXPECT_EQ(At(20, 1), Gray(120));
    EXPECT_EQ(At(20, 2), Gray(100));
    EXPECT_EQ(At(39, 15), clBlack);
    EXPECT_EQ(At(20, 29), clBlack);
    EXPECT_EQ(At(1, 15), Gray(100));   // no left ring
}

TEST_F(VisualPanelTest, NegativeGradeWidthDrawsOnlyTheLines) {
    Panel(30, 20, 100).DrawLine = true;
    panel_.PaintFace();
    // Lines frame (0, 0, W + 1, H + 1) and (-1, -1, W, H).
    EXPECT_EQ(At(10, 0), clWhite);
    EXPECT_EQ(At(0, 10), clWhite);
    EXPECT_EQ(At(29, 10), clBlack);
    EXPECT_EQ(At(10, 19), clBlack);
    EXPECT_EQ(At(10, 10), Gray(100));
}

TEST_F(VisualPanelTest, HugeGradeWidthStaysCheap) {
    Panel(30, 20, 100).GradeWidth = 2'000'000'000;
    panel_.PaintFace();  // would take minutes ring by ring
    EXPECT_EQ(At(10, 5), Gray(255));   // top strip of ring 5
    EXPECT_EQ(At(10, 10), Gray(0));    // bottom strip of ring 10 over it
}

// FNV-1a over the face's colours, row by row.
std::uint64_t FaceSum(const TBitmap& face) {
    std::uint64_t h = 1469598103934665603ull;
    for (int y = 0; y < face.Height(); ++y)
        for (int x = 0; x < face.Width(); ++x) h = (h ^ face.GetPixel(x, y)) * 1099511628211ull;
    return h ^ (static_cast<std::uint64_t>(face.Width()) << 32 | static_cast<std::uint32_t>(face.Height()));
}

// Faces of whole panels as they were painted before the painting was made
// cheaper (each band then painted down to the bottom edge): the same pixels.
TEST_F(VisualPanelTest, FacesKeepTheirPixels) {
    struct Look {
        int w, h, gray, grade;
        bool gradient, topOnly, border, lines;
        std::uint64_t sum;
    };
    const Look looks[] = {
        {120, 645, 100, 5, true, false, false, true, 0x30db95f9ccde1e5aull},
        {90, 90, 200, 3, true, false, true, true, 0x694b63c04844b6a7ull},
        {64, 30, 255, 2, true, true, false, false, 0xd25fe267fed2cbddull},
        {200, 61, 40, -1, true, false, false, true, 0xba8d574744a0df80ull},
        {33, 149, 128, 0, true, false, true, false, 0x48978017aaeb3796ull},
        {50, 40, 100, 4, false, false, false, true, 0x49d11378ead327a1ull},
        {17, 7, 10, 8, false, false, true, true, 0xbe585059fd230434ull},
    };
    for (const Look& l : looks) {
        Panel(l.w, l.h, l.gray).GradeWidth = l.grade;
        panel_.GradePanel = l.gradient;
        panel_.GradeTopOnly = l.topOnly;
        panel_.Border = l.border;
        panel_.DrawLine = l.lines;
        panel_.PaintFace();
        EXPECT_EQ(FaceSum(panel_.Face()), l.sum) << l.w << " x " << l.h;
    }
}

TEST_F(VisualPanelTest, ClientAreaKeepsFivePixelsWhateverTheMargins) {
    Panel(100, 80, 100);
    panel_.TopMgn = 8;
    EXPECT_EQ(panel_.ClientRect(), (TRect{5, 5, 95, 75}));
    TPanel child(&form_, "child", &panel_);
    child.SetAlign(TAlign::alClient);
    EXPECT_EQ(child.Left(), 5);
    EXPECT_EQ(child.Width(), 90);
}

}  // namespace
}  // namespace orv
