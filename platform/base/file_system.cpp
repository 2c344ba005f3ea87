#include "platform/base/file_system.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "platform/base/errors.h"
#include "platform/base/file_handle.h"
#include "platform/base/paths.h"

namespace orv {
namespace {

std::atomic<bool> simulateCrossDevice{false};

// Stores the text of err (and leaves errno = err) for the caller.
bool Fail(int err, std::string* error, const std::string& what = {}) {
    if (error) *error = what.empty() ? std::string(std::strerror(err)) : what + ": " + std::strerror(err);
    errno = err;
    return false;
}

// The cause for a path UsablePath refuses.
int UnusableCause(const std::string& path) { return path.empty() ? ENOENT : EINVAL; }

bool HasZeroByte(std::string_view text) { return text.find('\0') != std::string_view::npos; }

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

void SyncFolderOf(const std::string& path) {
    std::string dir = ExtractFilePath(path);
    if (dir.empty()) dir = ".";
    TFileHandle d(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (d.Valid()) ::fsync(d.Get());
}

// Copies the bytes, mode and times of the open file src (stat st) into a new
// file `to`. On failure the new file is removed and errno tells why.
bool CopyOpenFile(int src, const struct stat& st, const std::string& to, std::string* error) {
    TFileHandle dst(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!dst.Valid()) return Fail(errno, error, "cannot create " + to);
    auto abandon = [&](int err, const std::string& what) {
        dst.Close();
        ::unlink(to.c_str());
        return Fail(err, error, what);
    };
    std::vector<char> buf(1 << 20);
    while (true) {
        const ssize_t n = ::read(src, buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return abandon(errno, "read error");
        }
        if (n == 0) break;
        if (!dst.WriteAll(buf.data(), static_cast<std::size_t>(n))) return abandon(errno, "write error on " + to);
    }
    if (::fchmod(dst.Get(), st.st_mode & 07777) != 0) return abandon(errno, "cannot set the mode of " + to);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::futimens(dst.Get(), times) != 0) return abandon(errno, "cannot set the times of " + to);
    if (::fsync(dst.Get()) != 0) return abandon(errno, "cannot sync " + to);
    if (!dst.Close()) {
        const int err = errno;
        ::unlink(to.c_str());
        return Fail(err, error, "write error on " + to);
    }
    SyncFolderOf(to);
    return true;
}

// Copies `from` (a regular file or a symlink, not followed) to a new `to`.
bool CopyEntry(const std::string& from, const std::string& to, std::string* error) {
    struct stat lst {};
    if (::lstat(from.c_str(), &lst) != 0) return Fail(errno, error, from);
    if (S_ISLNK(lst.st_mode)) {
        std::vector<char> target(static_cast<std::size_t>(lst.st_size > 0 ? lst.st_size : PATH_MAX) + 1);
        const ssize_t n = ::readlink(from.c_str(), target.data(), target.size());
        if (n < 0) return Fail(errno, error, from);
        if (static_cast<std::size_t>(n) >= target.size()) return Fail(ENAMETOOLONG, error, from);
        // symlink fails with EEXIST when `to` exists: never a replacement.
        if (::symlink(std::string(target.data(), static_cast<std::size_t>(n)).c_str(), to.c_str()) != 0)
            return Fail(errno, error, "cannot create " + to);
        return true;
    }
    if (!S_ISREG(lst.st_mode)) return Fail(EINVAL, error, from + " is not a file");
    TFileHandle src(OpenRegularFile(from, O_RDONLY | O_NOFOLLOW));
    if (!src.Valid()) return Fail(errno, error, from);
    struct stat st {};
    if (::fstat(src.Get(), &st) != 0) return Fail(errno, error, from);
    return CopyOpenFile(src.Get(), st, to, error);
}

std::string Getenv(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

}  // namespace

bool UsablePath(std::string_view path) { return !path.empty() && !HasZeroByte(path); }

TFileHandle OpenRegularFile(const std::string& path, int flags, mode_t mode) {
    if (!UsablePath(path)) {
        errno = UnusableCause(path);
        return {};
    }
    TFileHandle fd(::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, mode));
    if (!fd.Valid()) return {};
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return {};
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
        return {};
    }
    // Reads and writes of a regular file wait as usual from here on.
    if ((flags & O_NONBLOCK) == 0) {
        const int fl = ::fcntl(fd.Get(), F_GETFL);
        if (fl < 0 || ::fcntl(fd.Get(), F_SETFL, fl & ~O_NONBLOCK) != 0) return {};
    }
    return fd;
}

bool PrivateFolder(const struct stat& st) {
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 022) == 0;
}

bool PrivateFolder(const std::string& path) {
    struct stat st {};
    return UsablePath(path) && ::stat(path.c_str(), &st) == 0 && PrivateFolder(st);
}

bool FileExists(const std::string& path, TLinks links) {
    struct stat st {};
    if (!UsablePath(path)) return false;
    const int found = links == TLinks::Follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    return found == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return UsablePath(path) && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return UsablePath(path) && ::lstat(path.c_str(), &st) == 0;
}

bool DeleteFile(const std::string& path, std::string* error) {
    if (!UsablePath(path)) return Fail(UnusableCause(path), error, path);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return Fail(errno, error, path);
    if (S_ISDIR(st.st_mode)) return Fail(EISDIR, error, path);
    if (::unlink(path.c_str()) != 0) return Fail(errno, error, path);
    return true;
}

bool ForceDirectories(const std::string& path, std::string* error) {
    if (path.empty()) return Fail(ENOENT, error, "empty folder path");
    if (!UsablePath(path)) return Fail(EINVAL, error, path);
    const std::string full = ExcludeTrailingPathDelimiter(path);
    if (DirectoryExists(full)) return true;
    std::size_t pos = full[0] == '/' ? 1 : 0;
    while (pos <= full.size()) {
        std::size_t next = full.find('/', pos);
        if (next == std::string::npos) next = full.size();
        const std::string part = full.substr(0, next);
        if (!part.empty() && ::mkdir(part.c_str(), 0777) != 0) {
            const int err = errno;
            if (err != EEXIST || !DirectoryExists(part)) return Fail(err == EEXIST ? ENOTDIR : err, error, part);
        }
        pos = next + 1;
    }
    return true;
}

std::int64_t FileSize(const std::string& path) {
    struct stat st {};
    if (!UsablePath(path) || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return st.st_size;
}

bool ListFolder(const std::string& path, std::vector<FolderEntry>& out, std::string* error) {
    out.clear();
    if (HasZeroByte(path)) return Fail(EINVAL, error, path);
    std::unique_ptr<DIR, DirCloser> dir(::opendir(path.empty() ? "." : path.c_str()));
    if (!dir) return Fail(errno, error, path);
    const int dfd = ::dirfd(dir.get());
    while (true) {
        errno = 0;
        const dirent* e = ::readdir(dir.get());
        if (!e) {
            if (errno != 0) return Fail(errno, error, path);
            break;
        }
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        FolderEntry entry;
        entry.name = name;
        struct stat st {};
        // An entry that vanished meanwhile is left out.
        if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISLNK(st.st_mode)) {
            entry.isSymlink = true;
            struct stat target {};
            if (::fstatat(dfd, e->d_name, &target, 0) == 0) {
                entry.linkToDir = S_ISDIR(target.st_mode);
                if (S_ISREG(target.st_mode)) {
                    entry.isRegular = true;
                    st = target;
                }
            }
        } else {
            entry.isDir = S_ISDIR(st.st_mode);
            entry.isRegular = S_ISREG(st.st_mode);
        }
        entry.size = st.st_size;
        entry.mtime = st.st_mtim.tv_sec;
        out.push_back(std::move(entry));
    }
    std::sort(out.begin(), out.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return true;
}

std::vector<FolderEntry> ListFolder(const std::string& path) {
    std::vector<FolderEntry> out;
    if (!ListFolder(path, out, nullptr)) out.clear();
    return out;
}

bool RenameNoReplace(const std::string& from, const std::string& to, std::string* error) {
    if (!UsablePath(from) || !UsablePath(to)) return Fail(EINVAL, error, from + " -> " + to);
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    const int err = errno;
    if (err != EINVAL && err != ENOSYS) return Fail(err, error, from + " -> " + to);
    // File systems without RENAME_NOREPLACE: link fails with EEXIST when the
    // target exists, so this never replaces either. Folders cannot be moved
    // this way.
    if (::link(from.c_str(), to.c_str()) != 0) return Fail(errno, error, from + " -> " + to);
    if (::unlink(from.c_str()) != 0) {
        const int unlinkErr = errno;
        ::unlink(to.c_str());
        return Fail(unlinkErr, error, from);
    }
    return true;
}

bool MoveFileNoReplace(const std::string& from, const std::string& to, std::string* error) {
    if (!UsablePath(from) || !UsablePath(to)) return Fail(EINVAL, error, from + " -> " + to);
    if (!simulateCrossDevice.load()) {
        if (RenameNoReplace(from, to, error)) return true;
        if (errno != EXDEV) return false;
    }
    // Another file system: the target must not exist (checked again by O_EXCL).
    if (PathExists(to)) return Fail(EEXIST, error, to);
    if (!CopyEntry(from, to, error)) return false;
    if (::unlink(from.c_str()) != 0) {
        // The source stays where it was, so the copy must go: one file, not two.
        const int err = errno;
        ::unlink(to.c_str());
        return Fail(err, error, "cannot remove " + from);
    }
    return true;
}

bool CopyFileNoReplace(const std::string& from, const std::string& to, std::string* error) {
    if (!UsablePath(from) || !UsablePath(to)) return Fail(EINVAL, error, from + " -> " + to);
    struct stat st {};
    if (::stat(from.c_str(), &st) != 0) return Fail(errno, error, from);
    if (!S_ISREG(st.st_mode)) return Fail(EINVAL, error, from + " is not a file");
    TFileHandle src(OpenRegularFile(from, O_RDONLY));
    if (!src.Valid()) return Fail(errno, error, from);
    if (::fstat(src.Get(), &st) != 0) return Fail(errno, error, from);
    return CopyOpenFile(src.Get(), st, to, error);
}

TFileHandle CreateTemporaryFile(int dirfd, const std::string& folder, std::string_view name, mode_t mode,
                                std::string& tmp) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
        // Shortened so a long file name still leaves room for the suffix.
        tmp = folder + "." + std::string(name.substr(0, 200)) + "." + suffix + ".tmp";
        TFileHandle fd(::openat(dirfd, tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (fd.Valid() || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return {};
}

bool WriteFileAtomic(const std::string& path, std::string_view bytes, std::string* error,
                     TAtomicWriteFailure* failure, TLinks links) {
    auto failed = [&](TAtomicWriteFailure step, int err) {
        if (failure) *failure = step;
        return Fail(err, error, path);
    };
    if (!UsablePath(path)) return failed(TAtomicWriteFailure::Create, UnusableCause(path));
    std::string target = path;
    struct stat st {};
    bool haveOld = false;
    if (links == TLinks::Follow && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Replace the file the link points at, not the link itself; a link
        // that leads nowhere is not replaced either.
        char* real = ::realpath(path.c_str(), nullptr);
        if (!real) return failed(TAtomicWriteFailure::Create, errno);
        target = real;
        std::free(real);
    }
    const int found = links == TLinks::Follow ? ::stat(target.c_str(), &st) : ::lstat(path.c_str(), &st);
    // Without following, a link at the name is replaced as a missing file
    // would be: its target is never looked at.
    if (found == 0 && !S_ISLNK(st.st_mode)) {
        // Only a regular file is ever replaced: a folder, a pipe or a device
        // under the name stays what it is, and nothing is written.
        if (!S_ISREG(st.st_mode)) return failed(TAtomicWriteFailure::Create, S_ISDIR(st.st_mode) ? EISDIR : ENXIO);
        haveOld = true;
    }
    std::string tmp;
    TFileHandle fd = CreateTemporaryFile(AT_FDCWD, ExtractFilePath(target), ExtractFileName(target), 0666, tmp);
    if (!fd.Valid()) return failed(TAtomicWriteFailure::Create, errno);
    auto abandon = [&](int err) {
        fd.Reset();
        ::unlink(tmp.c_str());
        return failed(TAtomicWriteFailure::Write, err);
    };
    if (!fd.WriteAll(bytes.data(), bytes.size())) return abandon(errno);
    if (haveOld && ::fchmod(fd.Get(), st.st_mode & 07777) != 0) return abandon(errno);
    if (::fsync(fd.Get()) != 0) return abandon(errno);
    if (!fd.Close()) return abandon(errno);
    // rename replaces the name itself: a link there is never followed.
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        return failed(TAtomicWriteFailure::Create, err);
    }
    SyncFolderOf(target);
    return true;
}

bool ReadFileBytes(const std::string& path, std::string& out, std::string* error, std::int64_t maxBytes,
                   TLinks links) {
    out.clear();
    TFileHandle fd(OpenRegularFile(path, O_RDONLY | (links == TLinks::NoFollow ? O_NOFOLLOW : 0)));
    if (!fd.Valid()) return Fail(errno, error, path);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return Fail(errno, error, path);
    if (maxBytes >= 0 && st.st_size > maxBytes) return Fail(EFBIG, error, path);
    out.reserve(static_cast<std::size_t>(st.st_size));
    if (!ReadOpenFile(fd.Get(), out, maxBytes)) return Fail(errno, error, path);
    return true;
}

bool ReadOpenFile(int fd, std::string& out, std::int64_t maxBytes) {
    char buf[65536];
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            out.clear();
            errno = err;
            return false;
        }
        if (n == 0) return true;
        out.append(buf, static_cast<std::size_t>(n));
        // The file may grow while it is read.
        if (maxBytes >= 0 && static_cast<std::int64_t>(out.size()) > maxBytes) {
            out.clear();
            errno = EFBIG;
            return false;
        }
    }
}

namespace {

// The value of XDG_DOCUMENTS_DIR in user-dirs.dirs, "" when not set there.
std::string XdgDocumentsFromConfig(const std::string& home) {
    std::string config = Getenv("XDG_CONFIG_HOME");
    if (config.empty() || config[0] != '/') config = home + "/.config";
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_DOCUMENTS_DIR=";
    while (std::getline(in, line)) {
        std::size_t p = line.find_first_not_of(" \t");
        if (p == std::string::npos || line.compare(p, key.size(), key) != 0) continue;
        std::string value = line.substr(p + key.size());
        while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t')) value.pop_back();
        if (value.size() < 2 || value.front() != '"' || value.back() != '"') continue;
        value = value.substr(1, value.size() - 2);
        // Only "$HOME/..." and absolute paths are valid there.
        if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
        else if (value.empty() || value[0] != '/') continue;
        std::string unescaped;
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) ++i;
            unescaped.push_back(value[i]);
        }
        return unescaped;
    }
    return {};
}

bool SafePrivateFolder(const std::string& dir) {
    struct stat st {};
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}

}  // namespace

std::string DocumentsDir() {
    std::string home = Getenv("HOME");
    if (home.empty()) home = "/";
    home = ExcludeTrailingPathDelimiter(home);
    std::string docs = XdgDocumentsFromConfig(home);
    if (docs.empty() && DirectoryExists(home + "/Documents")) docs = home + "/Documents";
    if (docs.empty()) docs = home;
    return IncludeTrailingPathDelimiter(docs);
}

namespace {

std::string TempBase() {
    std::string base = Getenv("TMPDIR");
    if (base.empty() || base[0] != '/' || !DirectoryExists(base)) base = "/tmp";
    return ExcludeTrailingPathDelimiter(base);
}

}  // namespace

std::string PrivateTempStem() { return TempBase() + "/orvalis-" + std::to_string(::getuid()) + "/"; }

std::string PrivateTempDir() {
    static std::mutex mutex;
    static std::string cached;
    std::lock_guard lock(mutex);
    if (!cached.empty() && SafePrivateFolder(cached)) return IncludeTrailingPathDelimiter(cached);
    const std::string base = TempBase();
    const std::string stem = ExcludeTrailingPathDelimiter(PrivateTempStem());
    if (::mkdir(stem.c_str(), 0700) == 0 || errno == EEXIST) {
        if (SafePrivateFolder(stem)) {
            cached = stem;
            return IncludeTrailingPathDelimiter(cached);
        }
    }
    // Someone else owns that name, or it is not private: take a fresh one.
    std::string templ = stem + "-XXXXXX";
    if (::mkdtemp(templ.data()) != nullptr) {
        cached = templ;
        return IncludeTrailingPathDelimiter(cached);
    }
    throw EOSError("Cannot create a private temporary folder in " + base + ": " + std::strerror(errno));
}

bool DeviceInode(const std::string& path, std::uint64_t& dev, std::uint64_t& ino) {
    struct stat st {};
    if (!UsablePath(path) || ::stat(path.c_str(), &st) != 0) return false;
    dev = static_cast<std::uint64_t>(st.st_dev);
    ino = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

bool SameFile(const std::string& a, const std::string& b) {
    std::uint64_t da = 0, ia = 0, db = 0, ib = 0;
    return DeviceInode(a, da, ia) && DeviceInode(b, db, ib) && da == db && ia == ib;
}

namespace {

std::int64_t Nanoseconds(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + static_cast<std::int64_t>(t.tv_nsec);
}

}  // namespace

TFileStamp StampOf(const struct stat& st) {
    return TFileStamp{true,
                      static_cast<std::uint64_t>(st.st_dev),
                      static_cast<std::uint64_t>(st.st_ino),
                      static_cast<std::int64_t>(st.st_size),
                      Nanoseconds(st.st_mtim),
                      Nanoseconds(st.st_ctim)};
}

TFileStamp ReadFileStamp(const std::string& path) {
    struct stat st {};
    if (!UsablePath(path) || ::stat(path.c_str(), &st) != 0) return {};
    return StampOf(st);
}

bool SameStamp(const TFileStamp& a, const TFileStamp& b) {
    return a.Device == b.Device && a.Inode == b.Inode && a.Size == b.Size && a.ModifiedNs == b.ModifiedNs &&
           a.ChangedNs == b.ChangedNs;
}

void SetSimulateCrossDevice(bool on) { simulateCrossDevice.store(on); }

}  // namespace orv
