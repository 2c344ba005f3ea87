// One application object for all tests of a program (offscreen platform).
// It is made on first use and destroyed when the tests end, inside main:
// a QApplication torn down among the exit handlers would outlive Qt's own
// globals.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <memory>
#include <set>

#include "platform/ui/application.h"

namespace orv::test {

inline std::unique_ptr<TApplication>& AppHolder() {
    static std::unique_ptr<TApplication> app;
    return app;
}

inline TApplication& App() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    auto& app = AppHolder();
    if (!app) app = std::make_unique<TApplication>(argc, argv);
    return *app;
}

class AppEnvironment : public ::testing::Environment {
public:
    void TearDown() override { AppHolder().reset(); }
};

inline const bool kAppEnvironmentAdded = (::testing::AddGlobalTestEnvironment(new AppEnvironment), true);

// Base for fixtures whose members are widgets: the application exists first.
struct WithApp {
    WithApp() { App(); }
};

// Counts the repaints of one window while it lives: Qt repaints a window's
// widgets when one of them takes an update request.
class RepaintCounter : public QObject {
public:
    explicit RepaintCounter(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
    ~RepaintCounter() override { qApp->removeEventFilter(this); }
    int count = 0;
    int titles = 0;  // changes of the window's title
    std::multiset<QWidget*> painted;  // widgets that received a paint event, once per event

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(receiver);
        if (event->type() == QEvent::UpdateRequest && widget && widget->window() == window_) ++count;
        if (event->type() == QEvent::Paint && widget && widget->window() == window_) painted.insert(widget);
        if (event->type() == QEvent::WindowTitleChange && widget == window_) ++titles;
        return false;
    }

private:
    QWidget* window_;
};

}  // namespace orv::test
