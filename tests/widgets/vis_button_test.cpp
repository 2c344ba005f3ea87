#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <QCoreApplication>
#include <QMouseEvent>

#include "platform/base/errors.h"
#include "platform/base/sound.h"
#include "platform/ui/scripted_dialogs.h"
#include "platform/ui/forms.h"
#include "ui/qt_app.h"
#include "widgets/vis_button.h"

namespace orv {
namespace {

constexpr TColor kRed = RGBColor(255, 0, 0), kGreen = RGBColor(0, 255, 0), kBlue = RGBColor(0, 0, 255);
constexpr TColor kBack = RGBColor(10, 20, 30), kYellow = RGBColor(255, 255, 0);

// A strip of three solid looks (red, green, blue), each look w x h.
TBitmap Strip(int w, int h, int totalHeight = -1) {
    TBitmap b;
    b.SetSize(w, totalHeight < 0 ? 3 * h : totalHeight);
    b.FillRect(TRect{0, 0, w, b.Height()}, RGBColor(255, 0, 255));
    b.FillRect(TRect{0, 0, w, h}, kRed);
    b.FillRect(TRect{0, h, w, 2 * h}, kGreen);
    b.FillRect(TRect{0, 2 * h, w, 3 * h}, kBlue);
    return b;
}

// Calls a function from inside each play (the sound "plays" then).
class SoundProbe : public ISoundPlayer {
public:
    std::function<void()> during;
    std::vector<std::string> played;
    void Play(const std::string& path, bool synchronous) override {
        EXPECT_TRUE(synchronous);
        played.push_back(path);
        if (during) during();
    }
};

class VisButtonTest : public ::testing::Test, test::WithApp {
protected:
    VisButtonTest() {
        back_.SetBevelOuter(TPanel::TBevel::bvNone);
        back_.SetColor(kBack);
        back_.SetBounds(0, 0, 200, 100);
        previous_ = SetSoundPlayer(probe_);
    }
    ~VisButtonTest() override { SetSoundPlayer(previous_); }

    TColor At(int x, int y) { return button_.Face().GetPixel(x, y); }
    void Press() { button_.MouseDown(TMouseButton::mbLeft, 0, 1, 1); }
    void Release() { button_.MouseUp(TMouseButton::mbLeft, 0, 1, 1); }

    TForm form_;
    TPanel back_{&form_, "Pan_P1B", &form_};
    TVisButton button_{&form_, "P1B_AddFile", &back_};
    std::shared_ptr<SoundProbe> probe_ = std::make_shared<SoundProbe>();
    std::shared_ptr<ISoundPlayer> previous_;
};

TEST_F(VisButtonTest, TakesTheSizeOfOneLook) {
    EXPECT_EQ(button_.Width(), 20);
    EXPECT_EQ(button_.Height(), 60);
    button_.SetBitMap(Strip(93, 32));
    button_.SetBounds(10, 10, 116, 40);  // any resize snaps to the look
    EXPECT_EQ(button_.Width(), 93);
    EXPECT_EQ(button_.Height(), 32);
    button_.SetTransParent(true);
    button_.SetBitMap(Strip(186, 32));
    button_.SetWidth(5);
    EXPECT_EQ(button_.Width(), 93);
    EXPECT_EQ(button_.Height(), 32);
    EXPECT_EQ(button_.Left(), 10);
}

TEST_F(VisButtonTest, NormalAndDisabledLooks) {
    button_.SetBitMap(Strip(10, 10));
    button_.SetWidth(1);
    button_.PaintFace();
    EXPECT_EQ(At(0, 0), kRed);
    EXPECT_EQ(At(9, 9), kRed);
    button_.SetEnable(false);  // paints at once
    EXPECT_EQ(At(5, 5), kBlue);
    const std::uint64_t painted = button_.FaceRevision();
    button_.SetEnable(false);  // shown already
    EXPECT_EQ(button_.FaceRevision(), painted);
    EXPECT_TRUE(button_.Widget()->isEnabled());  // the widget stays enabled
}

TEST_F(VisButtonTest, ADisabledWindowShowsTheDisabledLook) {
    button_.SetBitMap(Strip(10, 10));
    button_.SetWidth(1);
    form_.SetEnabled(false);
    button_.UpdateFace();
    EXPECT_EQ(At(5, 5), kBlue);
    form_.SetEnabled(true);
    button_.UpdateFace();
    EXPECT_EQ(At(5, 5), kRed);
    // Switched while the window is disabled, it shows its own state after.
    form_.SetEnabled(false);
    button_.SetEnable(false);
    form_.SetEnabled(true);
    button_.UpdateFace();
    EXPECT_EQ(At(5, 5), kBlue);
}

TEST_F(VisButtonTest, RowsStartAtThirdsOfAnUnevenStrip) {
    // 98 rows: looks start at 0, 32 and 64; rows 96 and 97 are never shown.
    button_.SetBitMap(Strip(4, 32, 98));
    button_.SetWidth(1);
    EXPECT_EQ(button_.Height(), 32);
    button_.SetEnable(false);
    for (int y = 0; y < 32; ++y) EXPECT_EQ(At(2, y), kBlue) << y;
}

TEST_F(VisButtonTest, PressShowsThePressedLookWhileTheSoundPlays) {
    button_.SetBitMap(Strip(10, 10));
    button_.SetWidth(1);
    button_.SetSoundName("/app/BMP/Click.wav");
    button_.PaintFace();
    std::vector<TColor> seen;
    probe_->during = [&] { seen.push_back(At(5, 5)); };
    button_.OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { seen.push_back(At(5, 5)); };
    Press();
    EXPECT_EQ(probe_->played, std::vector<std::string>{"/app/BMP/Click.wav"});
    EXPECT_EQ(seen, (std::vector<TColor>{kGreen, kGreen}));
    EXPECT_EQ(At(5, 5), kRed);  // repainted after the handler
}

// Buttons switched together show in one repaint of their window.
TEST_F(VisButtonTest, ButtonsSwitchedTogetherShowInOneRepaint) {
    TVisButton second{&form_, "P1B_AddDir", &back_};
    for (TVisButton* b : {&button_, &second}) {
        b->SetBitMap(Strip(10, 10));
        b->SetWidth(1);
    }
    second.SetLeft(50);
    form_.SetBounds(0, 0, 200, 100);
    form_.Show();
    test::App().ProcessMessages();
    test::RepaintCounter repaints(form_.Widget()->window());
    {
        TShowFacesTogether together;
        button_.SetEnable(false);
        second.SetEnable(false);
        EXPECT_EQ(repaints.count, 0);
    }
    EXPECT_EQ(repaints.count, 1);
    // The repaint reaches the buttons: the screen shows the new looks.
    EXPECT_TRUE(repaints.painted.count(button_.Widget()) && repaints.painted.count(second.Widget()));
    EXPECT_EQ(At(5, 5), kBlue);
    EXPECT_EQ(second.Face().GetPixel(5, 5), kBlue);
}

TEST_F(VisButtonTest, DisablingInsideTheHandlerLeavesTheDisabledLook) {
    button_.SetBitMap(Strip(10, 10));
    button_.SetWidth(1);
    button_.OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { button_.SetEnable(false); };
    Press();
    EXPECT_EQ(At(5, 5), kBlue);
}

TEST_F(VisButtonTest, DisabledPressDoesNothingButReleaseStillRepaints) {
    button_.SetBitMap(Strip(10, 10));
    button_.SetWidth(1);
    button_.SetSoundName("/app/BMP/Click.wav");
    button_.SetEnable(false);
    int downs = 0, ups = 0;
    button_.OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { ++downs; };
    button_.OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { ++ups; };
    button_.Face().FillRect(TRect{0, 0, 10, 10}, kYellow);  // stale pixels
    Press();
    EXPECT_EQ(At(5, 5), kYellow);  // no look drawn
    EXPECT_EQ(downs, 0);
    EXPECT_TRUE(probe_->played.empty());
    Release();
    EXPECT_EQ(ups, 1);
    EXPECT_EQ(At(5, 5), kBlue);
}

// The mouse reaches no control of a disabled window, as with Qt's own
// widgets: no pressed look, no sound, no handler, on the button or under it.
TEST_F(VisButtonTest, ADisabledWindowTakesNoMouseInput) {
    button_.SetBitMap(Strip(10, 10));
    button_.SetWidth(1);
    button_.SetSoundName("/app/BMP/Click.wav");
    int calls = 0;
    const TMouseEvent count = [&](TObject*, TMouseButton, TShiftState, int, int) { ++calls; };
    button_.OnMouseDown = button_.OnMouseUp = back_.OnMouseDown = back_.OnMouseUp = count;
    button_.OnDblClick = back_.OnDblClick = [&](TObject*) { ++calls; };
    form_.SetEnabled(false);
    using E = QEvent;
    for (const E::Type type : {E::MouseButtonPress, E::MouseButtonRelease, E::MouseButtonDblClick, E::MouseButtonRelease}) {
        const Qt::MouseButtons held = type == E::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, QPointF(3, 4), QPointF(3, 4), Qt::LeftButton, held, Qt::NoModifier);
        QCoreApplication::sendEvent(button_.Widget(), &event);
    }
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(probe_->played.empty());
}

TEST_F(VisButtonTest, MouseEventsReachTheButtonOnlyAndFailuresAreShown) {
    auto dialogs = std::make_shared<TScriptedDialogs>();
    auto previousDialogs = SetDialogService(dialogs);
    button_.SetBitMap(Strip(10, 10));
    button_.SetWidth(1);
    int panelDowns = 0, downs = 0, ups = 0;
    back_.OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { ++panelDowns; };
    button_.OnMouseDown = [&](TObject*, TMouseButton button, TShiftState, int x, int y) {
        ++downs;
        EXPECT_EQ(button, TMouseButton::mbRight);
        EXPECT_EQ(x, 3);
        EXPECT_EQ(y, 4);
        throw Exception("ハンドラの失敗");
    };
    button_.OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { ++ups; };
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(3, 4), QPointF(3, 4), Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(button_.Widget(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(3, 4), QPointF(3, 4), Qt::RightButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(button_.Widget(), &release);
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(ups, 1);
    EXPECT_EQ(panelDowns, 0);
    EXPECT_EQ(dialogs->Texts(TScriptedDialogs::Kind::Error), std::vector<std::string>{"ハンドラの失敗"});
    EXPECT_EQ(At(5, 5), kRed);
    SetDialogService(previousDialogs);
}

TEST_F(VisButtonTest, EmptySoundNameIsSilent) {
    button_.SetBitMap(Strip(10, 10));
    Press();
    EXPECT_TRUE(probe_->played.empty());
}

TEST_F(VisButtonTest, FailingHandlerDoesNotLeaveTheButtonPressed) {
    button_.SetBitMap(Strip(10, 10));
    button_.SetWidth(1);
    button_.OnMouseDown = [](TObject*, TMouseButton, TShiftState, int, int) { throw std::runtime_error("x"); };
    EXPECT_THROW(Press(), std::runtime_error);
    EXPECT_EQ(At(5, 5), kRed);
}

TEST_F(VisButtonTest, MaskLetsTheBackgroundThrough) {
    // Each look: image in the left 10 columns, mask in the right 10. Left
    // half of the look: image and mask white (see-through); right half:
    // mask black, image yellow (drawn).
    TBitmap strip;
    strip.SetSize(20, 30);
    strip.FillRect(TRect{0, 0, 20, 30}, clWhite);
    for (int row = 0; row < 3; ++row) {
        strip.FillRect(TRect{5, row * 10, 10, row * 10 + 10}, row == 1 ? kGreen : kYellow);
        strip.FillRect(TRect{15, row * 10, 20, row * 10 + 10}, clBlack);
    }
    button_.SetTransParent(true);
    button_.SetBitMap(strip);
    button_.SetBounds(30, 40, 1, 1);
    EXPECT_EQ(button_.Width(), 10);
    button_.PaintFace();
    EXPECT_EQ(At(2, 5), kBack);
    EXPECT_EQ(At(7, 5), kYellow);
    // The pressed look goes over the normal one with the same mask.
    std::vector<TColor> seen;
    button_.OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) {
        seen = {At(2, 5), At(7, 5)};
    };
    Press();
    EXPECT_EQ(seen, (std::vector<TColor>{kBack, kGreen}));
}

TEST_F(VisButtonTest, SourceBlockIsClippedToTheStrip) {
    // Without a resize the control keeps 20 x 60 while the strip is 10 x 30:
    // the strip is copied as far as it goes, the rest shows the background.
    button_.SetBitMap(Strip(10, 10));
    button_.PaintFace();
    EXPECT_EQ(At(5, 5), kRed);
    EXPECT_EQ(At(5, 25), kBlue);
    EXPECT_EQ(At(15, 5), kBack);
    EXPECT_EQ(At(5, 45), kBack);
}

TEST_F(VisButtonTest, CaptionIsDrawnCentred) {
    TBitmap white;
    white.SetSize(60, 60);
    white.FillRect(TRect{0, 0, 60, 60}, clWhite);
    button_.SetBitMap(white);
    button_.SetWidth(1);
    button_.SetCaption("追加");
    button_.PaintFace();
    int dark = 0, darkEdge = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 60; ++x) {
            const bool isDark = ColorRed(At(x, y)) < 128;
            dark += isDark;
            if (x < 10 || x >= 50) darkEdge += isDark;
        }
    EXPECT_GT(dark, 10);
    EXPECT_EQ(darkEdge, 0);
}

}  // namespace
}  // namespace orv
