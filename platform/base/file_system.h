// File-system operations. A path is tested with stat/lstat, never with a
// wildcard ('*' and '?' are ordinary characters). Moves and renames never
// replace an existing file.
//
// Failures are answers, not exceptions: an operation that can fail returns
// false (a query returns -1 or an empty result, as its comment says), leaves
// errno set to the cause and, when `error` is given, stores there a text
// naming what failed (mostly the path) and the system's reason. Nothing here
// raises, with one exception: PrivateTempDir, whose callers cannot go on
// without the folder. Callers that report a failure as an exception raise
// their own (the file stream and SaveFileAtomic in stream.h raise
// EFOpenError, EFCreateError and EWriteError).
//
// A path holding a zero byte names no file (the system would cut it there and
// act on another one): every function here refuses it with EINVAL.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

#include "platform/base/file_handle.h"

struct stat;

namespace orv {

// False for a path the system cannot be given: empty, or holding a zero byte.
bool UsablePath(std::string_view path);

// Whether a symbolic link at a file's name is followed. The user's own files
// (projects, progress lists, saved logs) are reached through a link the user
// placed; the program's own files (the settings, the setting sets, the
// hand-over files) never are: a link at their name reads as no file, and
// writing the file replaces the link itself.
enum class TLinks { Follow, NoFollow };

// Only the user may change what the folder holds: the user's own (effective
// user), and neither its group nor others may create, rename or remove names
// in it.
bool PrivateFolder(const struct stat& st);
// The same of the folder path names (links followed); false when there is
// none.
bool PrivateFolder(const std::string& path);

// Opens a file the system keeps its own data in: never blocks (a pipe or a
// device under the file's name would), and answers only for a regular file.
// flags are open(2) flags (O_CLOEXEC is added); the descriptor returned is
// blocking again. An empty handle with errno set on failure: EINVAL for a
// path holding a zero byte, ENXIO for anything but a regular file (EISDIR for
// a folder).
TFileHandle OpenRegularFile(const std::string& path, int flags, mode_t mode = 0666);

struct FolderEntry {
    std::string name;
    bool isDir = false;      // a real folder (a symlink to a folder is not)
    bool isSymlink = false;  // the entry itself is a symbolic link
    bool isRegular = false;  // a regular file, or a symlink to one
    bool linkToDir = false;  // a symbolic link whose target is a folder
    std::int64_t size = 0;   // bytes, of the target for a link to a file
    std::int64_t mtime = 0;  // last write, seconds since 1970 UTC
};

// A regular file (a folder is not a file). Follow: a symlink to one counts;
// NoFollow: only the entry itself.
bool FileExists(const std::string& path, TLinks links = TLinks::Follow);
// A folder (a symlink to a folder counts).
bool DirectoryExists(const std::string& path);
// The entry itself exists (lstat), whatever it is.
bool PathExists(const std::string& path);
// unlink; false on failure (a folder is never removed).
bool DeleteFile(const std::string& path, std::string* error = nullptr);
// Creates the folder and every missing parent; true when it exists after.
bool ForceDirectories(const std::string& path, std::string* error = nullptr);
// Size in bytes, -1 when not a reachable file.
std::int64_t FileSize(const std::string& path);

// Which file a path named, and in what state: a change of its content
// changes the change time (and a replacement the inode), whatever the
// modification time and size are set back to. Times in nanoseconds since
// 1970.
struct TFileStamp {
    bool Known = false;
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::int64_t Size = 0;
    std::int64_t ModifiedNs = 0;
    std::int64_t ChangedNs = 0;
};

TFileStamp StampOf(const struct stat& st);
// The stamp of the file path names now (links followed); Known false when
// there is none.
TFileStamp ReadFileStamp(const std::string& path);
// The same file in the same state: every field but Known equal.
bool SameStamp(const TFileStamp& a, const TFileStamp& b);

// The entries of a folder sorted by name in byte order, hidden ones included,
// "." and ".." left out; links are reported, never followed into.
bool ListFolder(const std::string& path, std::vector<FolderEntry>& out, std::string* error = nullptr);
// Same, empty on failure.
std::vector<FolderEntry> ListFolder(const std::string& path);

// Renames within one file system, failing with EEXIST when `to` exists.
bool RenameNoReplace(const std::string& from, const std::string& to, std::string* error = nullptr);
// Moves a file, also across file systems (copy with O_EXCL, mode and times
// kept, fsync, then the source removed). Never replaces `to`; on failure the
// source is kept and no partial copy is left.
bool MoveFileNoReplace(const std::string& from, const std::string& to, std::string* error = nullptr);
// Copies a regular file to a new file (O_EXCL), mode and times kept.
bool CopyFileNoReplace(const std::string& from, const std::string& to, std::string* error = nullptr);

// Creates a new file with a free temporary name made from name, never
// through a link: in folder (a path ending in the delimiter, or empty)
// relative to dirfd (AT_FDCWD for the current folder). tmp receives the path
// used; an empty handle with errno set on failure.
TFileHandle CreateTemporaryFile(int dirfd, const std::string& folder, std::string_view name, mode_t mode,
                                std::string& tmp);

// What a failed WriteFileAtomic could not do: create the new file or put it
// in place (folder missing, no permission), or write it whole (a full disk).
enum class TAtomicWriteFailure { Create, Write };
// Writes bytes to a temporary file in the same folder, syncs it and renames it
// over path. The old file keeps its content if anything fails, and no
// temporary file is left. Follow: a symlink at path has its target replaced,
// and a link that leads nowhere fails (its realpath error); NoFollow: the
// link itself is replaced by the new file. Only a regular file (or, with
// NoFollow, a link) is replaced: anything else fails with EISDIR for a
// folder, ENXIO otherwise, before anything is written.
bool WriteFileAtomic(const std::string& path, std::string_view bytes, std::string* error = nullptr,
                     TAtomicWriteFailure* failure = nullptr, TLinks links = TLinks::Follow);
// Reads a whole regular file; false when it cannot be opened or read, is no
// regular file, or (maxBytes >= 0) holds more than maxBytes (EFBIG). NoFollow:
// a link at path fails with ELOOP.
bool ReadFileBytes(const std::string& path, std::string& out, std::string* error = nullptr,
                   std::int64_t maxBytes = -1, TLinks links = TLinks::Follow);
// Appends what is left to read of the open file fd to out, going on after
// interruptions; false with errno set and out emptied when a read fails or
// (maxBytes >= 0) out grows past maxBytes (EFBIG).
bool ReadOpenFile(int fd, std::string& out, std::int64_t maxBytes = -1);

// The user's documents folder (XDG user dirs, then $HOME/Documents, then
// $HOME), with a trailing '/'.
std::string DocumentsDir();
// A per-user temporary folder of mode 0700 owned by the user ($TMPDIR or /tmp
// + "orvalis-<uid>"; a fresh mkdtemp folder when that one is not safe), with a
// trailing '/'. Created on first use; raises EOSError when no such folder can
// be made.
std::string PrivateTempDir();
// The folder PrivateTempDir makes when it can: $TMPDIR or /tmp +
// "orvalis-<uid>", with a trailing '/'. Nothing is made or tested.
std::string PrivateTempStem();

// Device and inode of the file (links followed); false when unreachable.
bool DeviceInode(const std::string& path, std::uint64_t& dev, std::uint64_t& ino);
// Both paths name the same existing file.
bool SameFile(const std::string& a, const std::string& b);

// Test hook: when set, MoveFileNoReplace behaves as if every rename crossed
// file systems (EXDEV), so the copy path can be tested on one file system.
void SetSimulateCrossDevice(bool on);

}  // namespace orv
