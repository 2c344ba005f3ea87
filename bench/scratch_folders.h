// The folders of a benchmark program's generated pictures and of its run's
// work files, made under the system's temporary folder and removed with
// everything in them when the program ends.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace orv::bench {

struct ScratchFolders {
    std::string root, images, work;  // each with a trailing '/'

    // prefix names the program's folder ("orv-bench-collect").
    explicit ScratchFolders(const std::string& prefix) {
        std::string tmpl = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (!::mkdtemp(tmpl.data())) std::abort();
        root = tmpl + "/";
        images = root + "images/";
        work = root + "work/";
        std::filesystem::create_directories(images);
        MakeWork();
    }
    ~ScratchFolders() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    ScratchFolders(const ScratchFolders&) = delete;
    ScratchFolders& operator=(const ScratchFolders&) = delete;

    // A fresh work folder. The old one is only moved aside (and removed at
    // the end): on a file system without a journal, creating files right
    // after thousands were deleted costs a millisecond each, which would
    // time the file system's inode search rather than the run.
    void ClearWork() const {
        std::error_code ec;
        std::filesystem::rename(work, root + "old" + std::to_string(++retired_), ec);
        MakeWork();
    }

private:
    // A work folder no one else may write, whatever the umask: a run uses no
    // other.
    void MakeWork() const {
        std::filesystem::create_directories(work);
        std::filesystem::permissions(work, std::filesystem::perms::owner_all);
    }

    mutable int retired_ = 0;
};

}  // namespace orv::bench
