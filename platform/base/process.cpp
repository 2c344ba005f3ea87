#include "platform/base/process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "platform/base/file_system.h"

extern char** environ;

namespace orv {

ChildProcess::~ChildProcess() {
    if (!running_) return;
    if (Running()) {
        // Still running: let a background thread collect its exit status, so
        // the caller never blocks and the child never stays a zombie.
        try {
            std::thread([pid = pid_] {
                int status = 0;
                while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
                }
            }).detach();
        } catch (...) {
            // No thread to be had: the child is reaped when this process ends.
        }
    }
}

bool ChildProcess::Start(const std::string& program, std::string* error) {
    if (running_ && Running()) {
        if (error) *error = "a child process is still running";
        return false;
    }
    pid_ = -1;
    running_ = false;
    exitCode_ = -1;
    if (!UsablePath(program)) {
        // The system would cut the name at a zero byte and start another program.
        if (error) *error = "unusable program path";
        return false;
    }

    posix_spawnattr_t attr;
    if (::posix_spawnattr_init(&attr) != 0) {
        if (error) *error = "posix_spawnattr_init failed";
        return false;
    }
    // The child starts with no blocked signals and default SIGPIPE handling,
    // whatever this process set up for itself.
    sigset_t empty;
    sigemptyset(&empty);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    ::posix_spawnattr_setsigmask(&attr, &empty);
    ::posix_spawnattr_setsigdefault(&attr, &defaults);
    ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char> arg0(program.begin(), program.end());
    arg0.push_back('\0');
    char* argv[] = {arg0.data(), nullptr};
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), nullptr, &attr, argv, environ);
    ::posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        if (error) *error = program + ": " + std::strerror(rc);
        return false;
    }
    pid_ = pid;
    running_ = true;
    return true;
}

void ChildProcess::Record(int status) {
    running_ = false;
    if (WIFEXITED(status)) exitCode_ = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) exitCode_ = 128 + WTERMSIG(status);
    else exitCode_ = -1;
}

bool ChildProcess::Running() {
    if (!running_) return false;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return true;
    if (r == pid_) Record(status);
    else {
        // Reaped elsewhere (for example SIGCHLD ignored): it has ended.
        running_ = false;
        exitCode_ = -1;
    }
    return false;
}

int ChildProcess::Wait() {
    if (!running_) return exitCode_;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, 0);
    } while (r < 0 && errno == EINTR);
    if (r == pid_) Record(status);
    else {
        running_ = false;
        exitCode_ = -1;
    }
    return exitCode_;
}

}  // namespace orv
