#include "filer/core/file_utils.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <exception>

#include "platform/base/file_system.h"
#include "platform/base/paths.h"
#include "platform/base/trash.h"

namespace orv {

namespace {

// An absolute path the system can be given whole (no zero byte in it).
bool IsAbsolute(const std::string& path) { return UsablePath(path) && path.front() == PathDelim; }

// A regular file or a symbolic link (never a folder, device or socket).
bool IsFileOrLink(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return false;
    return S_ISREG(st.st_mode) || S_ISLNK(st.st_mode);
}

// Names tried for one file before giving up; far beyond any real folder.
constexpr int kMaxRenames = 100000;

std::string NumberedName(const std::string& name, int index) {
    return index < 0 ? name : "[" + std::to_string(index) + "]" + name;
}

}  // namespace

bool RecycleFile(const std::string& path) {
    try {
        // The trash takes regular files and links only, and never deletes.
        return IsAbsolute(path) && MoveToTrash(path);
    } catch (...) {
        return false;
    }
}

namespace {

// The entry path names is, right now, the file of `expected`: the entry is
// opened without following it, its file compared, and the name looked up
// again for that same entry. What remains open is the moment between this
// answer and the unlink.
bool StillExpected(const std::string& path, const TFileStamp& expected) {
    const TFileHandle entry(::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!entry.Valid() || ::fstat(entry.Get(), &st) != 0) return false;
    // A link is removed itself; what was compared is the file it leads to.
    const TFileStamp file = S_ISLNK(st.st_mode) ? ReadFileStamp(path) : StampOf(st);
    struct stat named {};
    return file.Known && SameStamp(file, expected) && ::lstat(path.c_str(), &named) == 0 &&
           named.st_dev == st.st_dev && named.st_ino == st.st_ino;
}

}  // namespace

bool RemoveFile(const std::string& path, const TFileStamp* expected) {
    try {
        // Like the trash and the move: never a folder, pipe, device or socket.
        if (!IsAbsolute(path) || !IsFileOrLink(path)) return false;
        if (expected && !StillExpected(path, *expected)) return false;
        return DeleteFile(path);
    } catch (...) {
        return false;
    }
}

namespace {

// The first index from `from` on whose name no file holds. Only files count
// as taken; a sub-folder of that name is met by the no-replace move, which
// then goes on to the next name.
int FreeIndex(const std::string& folder, const std::string& name, int from) {
    int index = from;
    while (index < kMaxRenames && FileExists(folder + NumberedName(name, index))) ++index;
    return index;
}

}  // namespace

bool MoveCopyFile(const std::string& source, const std::string& folder, bool move) {
    try {
        if (!IsAbsolute(source) || !IsAbsolute(folder)) return false;
        const std::string name = ExtractFileName(source);
        if (name.empty() || !IsFileOrLink(source)) return false;
        const std::string dir = IncludeTrailingPathDelimiter(folder);
        if (!DirectoryExists(dir) && !ForceDirectories(dir)) return false;

        int index = FreeIndex(dir, name, -1);
        while (index < kMaxRenames) {
            const std::string dest = dir + NumberedName(name, index);
            const bool done = move ? MoveFileNoReplace(source, dest) : CopyFileNoReplace(source, dest);
            if (done) return true;
            if (errno != EEXIST) return false;
            // The name was taken between the test and the move: next one.
            index = FreeIndex(dir, name, index + 1);
        }
        return false;
    } catch (...) {
        return false;
    }
}

}  // namespace orv
