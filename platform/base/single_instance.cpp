#include "platform/base/single_instance.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <sys/stat.h>
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

std::atomic<bool> simulateUnlockable{false};

// One flock try on fd; EWOULDBLOCK (held elsewhere) is told apart by errno.
bool TryFlock(int fd) {
    if (simulateUnlockable.load()) {
        errno = ENOLCK;
        return false;
    }
    int r;
    do {
        r = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    return r == 0;
}

}  // namespace

struct TFolderLock::Hold {
    TFileHandle fd;  // closing it releases the lock
    bool locked = false;
};

bool TFolderLock::Held() const { return hold_ != nullptr && hold_->locked; }

int TFolderLock::Fd() const { return hold_ ? hold_->fd.Get() : -1; }

void SetSimulateUnlockableFolders(bool on) { simulateUnlockable.store(on); }

TFolderLock::TFolderLock(const std::string& folder) {
    // flock belongs to the open folder, so a second open in this process
    // would be refused like another process: holds are shared by folder.
    static std::mutex mutex;
    static std::map<std::pair<dev_t, ino_t>, std::weak_ptr<Hold>> holds;
    if (!UsablePath(folder)) return;
    // O_CLOEXEC: a child program must not inherit (and so keep) the lock.
    TFileHandle fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0) return;
    const std::lock_guard<std::mutex> guard(mutex);
    std::weak_ptr<Hold>& entry = holds[{st.st_dev, st.st_ino}];
    if ((hold_ = entry.lock())) return;
    const bool locked = TryFlock(fd.Get());
    if (!locked && errno == EWOULDBLOCK) {
        heldElsewhere_ = true;
        return;
    }
    hold_ = std::make_shared<Hold>(Hold{std::move(fd), locked});
    entry = hold_;
}

SingleInstance::SingleInstance(const std::string& className, const std::string& programFolder) {
    if (!programFolder.empty()) {
        folder_ = TFolderLock(programFolder);
        alreadyRunning_ = folder_.HeldElsewhere();
    }
    std::string path;
    try {
        path = LockFolder() + "orvalis-" + SafeName(className) + ".lock";
    } catch (...) {
        return;  // no place for a lock: behave as the only instance
    }
    // O_CLOEXEC: a child program must not inherit (and so keep) the lock.
    TFileHandle lock(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!lock.Valid()) return;
    if (!TryFlock(lock.Get())) {
        alreadyRunning_ = alreadyRunning_ || errno == EWOULDBLOCK;
        return;
    }
    lock_ = std::move(lock);  // held until this object goes
}

SingleInstance::~SingleInstance() = default;

}  // namespace orv
