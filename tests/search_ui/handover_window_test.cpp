// The pair handler's window under a real window manager (see wm_session.sh):
// while the main window waits for it, it stays in front of the main window.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <fstream>

#include "search_ui/main_form_fixture.h"
#include "tests/support/x11_windows.h"

namespace orv::test {
namespace {

using HandOverWindowManager = MainFormTest;

// Ends the child programs of this process (a pair handler that never showed
// its window), so the wait for it ends.
void EndChildren() {
    DIR* proc = ::opendir("/proc");
    if (!proc) return;
    while (const dirent* e = ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
        std::ifstream stat("/proc/" + std::string(e->d_name) + "/stat");
        std::string self, name, state;
        pid_t parent = 0;
        if (pid > 0 && stat >> self >> name >> state >> parent && parent == ::getpid()) ::kill(pid, SIGKILL);
    }
    ::closedir(proc);
}

TEST_F(HandOverWindowManager, PairWindowStaysInFrontOfTheMainWindow) {
    X11Windows x11;
    if (!x11.Usable()) GTEST_SKIP() << "needs an X11 display with a window manager";
    fs::copy_file(fs::path(ORV_APPDIR_BUILT) / "filer", app_ / "filer");
    TOV_MainForm& f = Make();
    f.Show();
    f.RunLog.Add(TLogRow{});
    const xcb_window_t main = static_cast<xcb_window_t>(f.Widget()->winId());

    xcb_window_t pair = 0, parent = 0;
    std::vector<xcb_window_t> stacking;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!pair) {
            for (xcb_window_t w : x11.Stacking())
                if (x11.Name(w).rfind("処理選択", 0) == 0) pair = w;
            if (!pair && clock.elapsed() < 10000) return;
            if (!pair) {
                poll.stop();
                EndChildren();
                return;
            }
            // The main window comes to the front, as a click on it brings it.
            f.Widget()->raise();
            f.Widget()->activateWindow();
            clock.restart();
            return;
        }
        if (clock.elapsed() < 500) return;
        poll.stop();
        stacking = x11.Stacking();
        parent = x11.TransientFor(pair);
        x11.Close(pair);
    });
    poll.start(20);
    EXPECT_TRUE(f.HandOverWholeLog(0));
    ASSERT_NE(pair, 0u) << "no pair window";
    EXPECT_EQ(parent, main);
    const auto at = [&](xcb_window_t w) { return std::find(stacking.begin(), stacking.end(), w) - stacking.begin(); };
    EXPECT_GT(at(pair), at(main));
    EXPECT_TRUE(f.Enabled());
}

}  // namespace
}  // namespace orv::test
