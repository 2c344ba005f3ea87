// One application object for all tests of a program (offscreen platform).
#pragma once

#include "platform/ui/application.h"

namespace orv::test {

inline TApplication& App() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static TApplication app(argc, argv);
    return app;
}

}  // namespace orv::test

namespace orv::test {
// Base for fixtures whose members are widgets: the application exists first.
struct WithApp {
    WithApp() { App(); }
};
}  // namespace orv::test
