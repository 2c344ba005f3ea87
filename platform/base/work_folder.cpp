#include "platform/base/work_folder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/base/file_system.h"
#include "platform/base/paths.h"

namespace orv {

namespace {

// A name directly inside the folder: no delimiter, no zero byte, not "." or "..".
bool PlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

bool Refuse(int err) {
    errno = err;
    return false;
}

TFileHandle RefusedHandle(int err) {
    errno = err;
    return {};
}

// The default folder: made private when missing, and never a link (someone
// could have placed one under the default name before the first start).
bool PrepareDefaultFolder(const std::string& folder) {
    const std::string dir = ExcludeTrailingPathDelimiter(folder);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TWorkFolder::TWorkFolder(const std::string& folder, bool makePrivate) : path_(IncludeTrailingPathDelimiter(folder)) {
    if (!UsablePath(folder) || (makePrivate && !PrepareDefaultFolder(folder))) return;
    TFolderLock lock(path_);
    if (lock.HeldElsewhere()) {
        state_ = TState::InUse;
        return;
    }
    struct stat st {};
    if (lock.Fd() < 0 || ::fstat(lock.Fd(), &st) != 0) return;
    if (makePrivate) {
        struct stat named {};
        // The folder opened is the one checked above under that name.
        if (::lstat(ExcludeTrailingPathDelimiter(folder).c_str(), &named) != 0 || named.st_dev != st.st_dev ||
            named.st_ino != st.st_ino)
            return;
        if (st.st_uid == ::geteuid() && (st.st_mode & 077) != 0 && ::fchmod(lock.Fd(), 0700) == 0)
            st.st_mode &= ~static_cast<mode_t>(077);
    }
    if (!PrivateFolder(st)) {
        state_ = TState::NotPrivate;
        return;
    }
    lock_ = std::move(lock);
    state_ = TState::Ready;
}

TFileHandle TWorkFolder::CreateNew(std::string_view name) const {
    if (Fd() < 0 || !PlainName(name)) return RefusedHandle(Fd() < 0 ? EBADF : EINVAL);
    return TFileHandle(::openat(Fd(), std::string(name).c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
}

TFileHandle TWorkFolder::OpenAppend(std::string_view name) const {
    if (Fd() < 0 || !PlainName(name)) return RefusedHandle(Fd() < 0 ? EBADF : EINVAL);
    // Non-blocking, so a pipe under the name cannot hold the open; appends to
    // a regular file are not affected by the flag.
    TFileHandle fd(::openat(Fd(), std::string(name).c_str(),
                            O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0) return {};
    if (!S_ISREG(st.st_mode)) return RefusedHandle(ENXIO);
    return fd;
}

bool TWorkFolder::ReadWhole(std::string_view name, std::string& out, std::int64_t maxBytes, struct stat* st) const {
    out.clear();
    if (Fd() < 0 || !PlainName(name)) return Refuse(Fd() < 0 ? EBADF : EINVAL);
    // Reads of a regular file ignore O_NONBLOCK; anything else is refused
    // before it is read.
    TFileHandle fd(::openat(Fd(), std::string(name).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat own {};
    struct stat& info = st ? *st : own;
    if (!fd.Valid() || ::fstat(fd.Get(), &info) != 0) return false;
    if (!S_ISREG(info.st_mode)) return Refuse(S_ISDIR(info.st_mode) ? EISDIR : ENXIO);
    if (maxBytes >= 0 && info.st_size > maxBytes) return Refuse(EFBIG);
    out.reserve(static_cast<std::size_t>(info.st_size));
    return ReadOpenFile(fd.Get(), out, maxBytes);
}

std::int64_t TWorkFolder::ReadOnce(std::string_view name, char* buffer, std::size_t capacity) const {
    if (Fd() < 0 || !PlainName(name)) {
        errno = Fd() < 0 ? EBADF : EINVAL;
        return -1;
    }
    // Non-blocking: a pipe under the name reads as empty instead of waiting.
    const TFileHandle fd(::openat(Fd(), std::string(name).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid()) return -1;
    ssize_t n;
    do {
        n = ::read(fd.Get(), buffer, capacity);
    } while (n < 0 && errno == EINTR);
    return n;
}

bool TWorkFolder::Replace(std::string_view name, std::string_view bytes) const {
    if (Fd() < 0 || !PlainName(name)) return Refuse(Fd() < 0 ? EBADF : EINVAL);
    std::string temp;
    TFileHandle fd = CreateTemporaryFile(Fd(), {}, name, 0600, temp);
    if (!fd.Valid()) return false;
    const bool written = fd.WriteAll(bytes.data(), bytes.size()) && ::fsync(fd.Get()) == 0 && fd.Close();
    // renameat replaces the name itself: a link there is replaced, never
    // followed, and a folder there is not replaced at all.
    if (!written || ::renameat(Fd(), temp.c_str(), Fd(), std::string(name).c_str()) != 0) {
        const int err = errno;
        ::unlinkat(Fd(), temp.c_str(), 0);
        return Refuse(err);
    }
    ::fsync(Fd());
    return true;
}

bool TWorkFolder::Remove(std::string_view name) const {
    if (Fd() < 0 || !PlainName(name)) return Refuse(Fd() < 0 ? EBADF : EINVAL);
    return ::unlinkat(Fd(), std::string(name).c_str(), 0) == 0;
}

}  // namespace orv
