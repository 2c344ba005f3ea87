// The program's start-up and run, kept out of main() so tests can reach it.
#pragma once

#include <string>

namespace orv {

class SingleInstance;

// True (after showing the message) when another instance already runs.
bool RefuseSecondInstance(const SingleInstance& instance);

// True (after showing a message naming it) when appDir is not the user's
// own or others may write into it: the program uses it for nothing then.
bool RefuseSharedProgramFolder(const std::string& appDir);

// The whole program: one instance, globals, picture formats, windows, the
// message loop. Returns the exit code.
int RunOrvalis(int argc, char** argv);

}  // namespace orv
