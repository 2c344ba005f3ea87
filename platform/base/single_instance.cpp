#include "platform/base/single_instance.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <utility>

#include "platform/base/file_system.h"
#include "platform/base/paths.h"

namespace orv {
namespace {

std::string LockFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && DirectoryExists(runtime)) return IncludeTrailingPathDelimiter(runtime);
    return PrivateTempDir();
}

// Keeps the class name readable in the file name but harmless as a path.
std::string SafeName(const std::string& className) {
    std::string out;
    for (char c : className) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
        out.push_back(plain ? c : '_');
    }
    return out;
}

}  // namespace

SingleInstance::SingleInstance(const std::string& className) {
    std::string path;
    try {
        path = LockFolder() + "orvalis-" + SafeName(className) + ".lock";
    } catch (...) {
        return;  // no place for a lock: behave as the only instance
    }
    // O_CLOEXEC: a child program must not inherit (and so keep) the lock.
    TFileHandle lock(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!lock.Valid()) return;
    int r;
    do {
        r = ::flock(lock.Get(), LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    if (r != 0) {
        alreadyRunning_ = errno == EWOULDBLOCK;
        return;
    }
    lock_ = std::move(lock);  // held until this object goes
}

SingleInstance::~SingleInstance() = default;

}  // namespace orv
