// Controls that live on the message loop: timers, the animation player, the
// time-sliced message processing.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "platform/graphics/graphic.h"
#include "platform/ui/animate.h"
#include "platform/ui/forms.h"
#include "platform/ui/std_controls.h"
#include "qt_app.h"

namespace orv {
namespace {

void RunLoopFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) test::App().ProcessMessages();
}

TEST(TimingControls, TimerDisabledByItsHandlerFiresOnce) {
    test::App();
    TForm form;
    TTimer timer(&form, "Timer1");
    timer.SetEnabled(false);
    timer.SetInterval(5);
    int fired = 0;
    timer.OnTimer = [&](TObject*) {
        timer.SetEnabled(false);
        ++fired;
    };
    RunLoopFor(30);
    EXPECT_EQ(fired, 0);
    timer.SetEnabled(true);
    RunLoopFor(60);
    EXPECT_EQ(fired, 1);
}

TEST(TimingControls, AnimationOpensOnItsFirstFramePlaysAndStops) {
    test::App();
    TForm form;
    TAnimate anim(&form, "Animate3", &form);
    anim.SetBounds(0, 0, 60, 60);
    anim.SetFileName(ORV_APPDIR_BUILT "/BMP/ani02.avi");
    EXPECT_EQ(anim.CurrentFrame(), 0);
    EXPECT_FALSE(anim.Active());
    anim.PaintFace();
    // The 50 x 50 clip is centred; the margin shows the form behind it.
    EXPECT_EQ(anim.Face().GetPixel(30, 1), ColorToRGB(clBtnFace));
    anim.Play();
    RunLoopFor(400);  // 80 ms a frame
    anim.Stop();
    const int held = anim.CurrentFrame();
    EXPECT_GT(held, 0);
    RunLoopFor(200);
    EXPECT_EQ(anim.CurrentFrame(), held);

    // A file that does not load leaves the player closed.
    EXPECT_THROW(anim.SetFileName(ORV_APPDIR_BUILT "/Ver.ini"), EInvalidGraphic);
    EXPECT_FALSE(anim.Opened());
    anim.Play();
    EXPECT_FALSE(anim.Active());
}

TEST(TimingControls, MessageLoopEndsWhenTheMainWindowCloses) {
    TApplication& app = test::App();
    TForm main(nullptr, "OV_MainForm");
    app.SetMainForm(&main);
    bool shown = false;
    main.OnShow = [&](TObject*) { shown = true; };
    TTimer closer(&main, "Timer1");
    closer.SetInterval(20);
    closer.OnTimer = [&](TObject*) {
        closer.SetEnabled(false);
        main.Close();
    };
    EXPECT_EQ(app.Run(), 0);  // shows the main window, returns once it closed
    EXPECT_TRUE(shown);
    EXPECT_FALSE(main.Widget()->isVisible());
}

TEST(TimingControls, MemoAndGauge) {
    test::App();
    TForm form;
    TMemo memo(&form, "ErrorLog", &form);
    EXPECT_EQ(memo.LineCount(), 0);
    memo.Add("2026/12/08 1:02:03：比較開始");
    memo.Add("/a/b.jpg の読込で予期せぬエラーが発生");
    EXPECT_EQ(memo.Lines(), (std::vector<std::string>{"2026/12/08 1:02:03：比較開始", "/a/b.jpg の読込で予期せぬエラーが発生"}));
    memo.Clear();
    EXPECT_EQ(memo.LineCount(), 0);
    TGauge gauge(&form, "Gauge1", &form);
    gauge.SetMaxValue(0);  // an empty run: no division by zero anywhere
    gauge.SetProgress(5);
    EXPECT_EQ(gauge.Progress(), 5);
}

}  // namespace
}  // namespace orv
