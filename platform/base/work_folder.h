// A folder the program keeps files of its own in that it trusts when it reads
// them again (the signature files and their index): opened once, locked
// against other programs for as long as this object lives, and used only
// when it is the user's own and no one else may write into it. Every file
// operation goes through the open folder, so a folder renamed or replaced
// meanwhile is not reached, and none follows a link at a file's name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/stat.h>

#include "platform/base/file_handle.h"
#include "platform/base/single_instance.h"

namespace orv {

class TWorkFolder {
public:
    enum class TState {
        Ready,       // open, the user's own, written by no one else
        Missing,     // no folder of that name can be opened
        NotPrivate,  // another user owns it, or group or others may write it
        InUse,       // another process holds its lock
    };

    TWorkFolder() = default;
    // Opens folder and takes its lock. makePrivate: the folder is the
    // program's default one, which is made (mode 0700) when missing, and
    // whose mode is set to 0700 when it is the user's own.
    TWorkFolder(const std::string& folder, bool makePrivate);
    TWorkFolder(const TWorkFolder&) = delete;
    TWorkFolder& operator=(const TWorkFolder&) = delete;

    TState State() const { return state_; }
    bool Ready() const { return state_ == TState::Ready; }
    // Ready, but its file system took no lock: another program could use it
    // at the same time.
    bool Unlocked() const { return Ready() && !lock_.Held(); }
    // The folder as given, with its delimiter.
    const std::string& Path() const { return path_; }

    // Each of these fails (false or an empty handle, errno set) when the
    // folder is not ready, for a name that is not a plain file name, and for
    // a link at the name (ELOOP).

    // Creates a new file (mode 0600) that no name held before.
    TFileHandle CreateNew(std::string_view name) const;
    // Opens a regular file for appending, created when missing.
    TFileHandle OpenAppend(std::string_view name) const;
    // Reads a whole regular file; st, when given, receives its status.
    // maxBytes >= 0: a larger file fails with EFBIG.
    bool ReadWhole(std::string_view name, std::string& out, std::int64_t maxBytes = -1,
                   struct stat* st = nullptr) const;
    // Reads a small file with one read of up to capacity bytes into buffer:
    // its byte count, or -1 (errno set). A count of capacity may mean the
    // file is longer; anything but a regular file reads as nothing or
    // fails. No status is asked, so its caller must know the content it
    // expects (a checksum).
    std::int64_t ReadOnce(std::string_view name, char* buffer, std::size_t capacity) const;
    // Replaces what the name holds with a new regular file of bytes, through
    // a new file renamed over the name itself; the old content stays when
    // anything fails.
    bool Replace(std::string_view name, std::string_view bytes) const;
    // Removes the name (a link is removed itself); false for a folder.
    bool Remove(std::string_view name) const;

private:
    int Fd() const { return Ready() ? lock_.Fd() : -1; }

    TFolderLock lock_;
    std::string path_;
    TState state_ = TState::Missing;
};

}  // namespace orv
