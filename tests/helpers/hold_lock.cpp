// Test helper: takes the single-instance lock of ORV_LOCK_CLASS (with the
// folder lock of ORV_LOCK_DIR when that is set), writes "1" (another holder
// exists) or "0" (lock taken) to the file ORV_MARKER, then keeps the lock
// until the file ORV_RELEASE appears (10 s at most).
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <unistd.h>

#include "platform/base/single_instance.h"

int main() {
    const char* cls = std::getenv("ORV_LOCK_CLASS");
    const char* marker = std::getenv("ORV_MARKER");
    const char* release = std::getenv("ORV_RELEASE");
    if (!cls || !marker || !release) return 2;
    const char* dir = std::getenv("ORV_LOCK_DIR");
    orv::SingleInstance lock(cls, dir ? dir : "");
    {
        const std::string tmp = std::string(marker) + ".part";
        std::ofstream(tmp) << (lock.AlreadyRunning() ? "1" : "0");
        std::rename(tmp.c_str(), marker);
    }
    for (int i = 0; i < 1000 && ::access(release, F_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return 0;
}
