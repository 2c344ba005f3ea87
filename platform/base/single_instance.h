// Locks that keep two programs apart.
//
// TFolderLock: an exclusive lock on a folder (flock on the folder itself),
// held for the object's life and released by the system when the process
// ends. Another process asking for it meanwhile is refused; within this
// process, locks on one folder share one hold (the program folder may also
// be the work folder). A folder on a file system that takes no locks is
// still held open, unlocked, so its user can go on and say so.
//
// SingleInstance: a per-user lock named after a main window's class, so a
// program can ask whether a window of that class already exists in another
// process (flock on a file in $XDG_RUNTIME_DIR or the private temp folder),
// and, given the program folder, the folder lock on it, so one program
// folder serves one program whatever the login session or user.
#pragma once

#include <memory>
#include <string>

#include "platform/base/file_handle.h"

namespace orv {

class TFolderLock {
public:
    TFolderLock() = default;
    // Tries once, without waiting.
    explicit TFolderLock(const std::string& folder);

    // The folder is locked for this process.
    bool Held() const;
    // The lock was not taken because another process holds it (not for any
    // other reason, such as a folder that cannot be opened).
    bool HeldElsewhere() const { return heldElsewhere_; }
    // The open folder while it is held or unlockable, else -1.
    int Fd() const;

    struct Hold;

private:
    std::shared_ptr<Hold> hold_;
    bool heldElsewhere_ = false;
};

// Test hook: when set, every folder lock taken from then on behaves as on a
// file system without locks.
void SetSimulateUnlockableFolders(bool on);

class SingleInstance {
public:
    // programFolder empty: the per-user lock only.
    explicit SingleInstance(const std::string& className, const std::string& programFolder = {});
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another living process holds the lock of this class name,
    // or the lock of the program folder.
    bool AlreadyRunning() const { return alreadyRunning_; }

private:
    TFileHandle lock_;  // closing it releases the lock
    TFolderLock folder_;
    bool alreadyRunning_ = false;
};

}  // namespace orv
