// The program's start-up and run, kept out of main() so tests can reach it.
#pragma once

namespace orv {

class SingleInstance;

// True (after showing the message) when another instance already runs.
bool RefuseSecondInstance(const SingleInstance& instance);

// The whole program: one instance, globals, picture formats, windows, the
// message loop. Returns the exit code.
int RunOrvalis(int argc, char** argv);

}  // namespace orv
