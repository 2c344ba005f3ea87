// A per-user lock named after a main window's class, so a program can ask
// whether a window of that class already exists in another process. The lock
// (flock on a file in $XDG_RUNTIME_DIR or the private temp folder) is held for
// the object's life and released by the system when the process ends.
#pragma once

#include <string>

#include "platform/base/file_handle.h"

namespace orv {

class SingleInstance {
public:
    explicit SingleInstance(const std::string& className);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another living process holds the lock of this class name.
    bool AlreadyRunning() const { return alreadyRunning_; }

private:
    TFileHandle lock_;  // closing it releases the lock
    bool alreadyRunning_ = false;
};

}  // namespace orv
