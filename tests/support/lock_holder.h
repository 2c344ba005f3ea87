// Another process holding the locks of a second program: the helper
// hold_lock takes the single-instance lock of a class name, and the folder
// lock of a folder when one is given, until this object goes.
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <unistd.h>

#include "platform/base/process.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace orv::test {

class LockHolder {
public:
    // runtime: the holder's own session folder ($XDG_RUNTIME_DIR).
    LockHolder(const std::string& className, const std::string& folder, const std::string& runtime) {
        ScopedEnv c("ORV_LOCK_CLASS", className), d("ORV_LOCK_DIR", folder), r("XDG_RUNTIME_DIR", runtime),
            m("ORV_MARKER", dir_ / "marker"), e("ORV_RELEASE", dir_ / "release");
        if (!child_.Start(std::string(ORV_TEST_HELPERS) + "/helper_hold_lock")) return;
        for (int i = 0; i < 1000 && ::access((dir_ / "marker").c_str(), F_OK) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        took_ = ReadAll(dir_ / "marker") == "0";
    }
    ~LockHolder() {
        WriteAll(dir_ / "release", "");
        child_.Wait();
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    // The holder runs and took its locks.
    bool Took() const { return took_; }

private:
    TempDir dir_;
    ChildProcess child_;
    bool took_ = false;
};

}  // namespace orv::test
