// A child program started without arguments, polled without blocking.
#pragma once

#include <string>
#include <sys/types.h>

namespace orv {

class ChildProcess {
public:
    ChildProcess() = default;
    // A child still running then is not killed: a background thread waits for
    // it, so it never stays a zombie and the caller never blocks.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts program (a path) with no arguments, the caller's environment and
    // current folder. False (error text in *error) when it cannot be started
    // or a child of this object is still running.
    bool Start(const std::string& program, std::string* error = nullptr);
    // True while the child runs; reaps it when it has ended.
    bool Running();
    // Waits for the child; its exit code, 128 + signal number when it was
    // killed, -1 when there is no child.
    int Wait();
    // The exit code of the ended child as Wait gives it (-1 while running).
    int ExitCode() const { return exitCode_; }
    pid_t Pid() const { return pid_; }

private:
    void Record(int status);

    pid_t pid_ = -1;
    bool running_ = false;
    int exitCode_ = -1;
};

}  // namespace orv
