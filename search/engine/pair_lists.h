// The two work lists as the pair loop reads them for one run: paths as
// numbers, each path's file as a number (one file under two names is one
// number), and the dimensions of every record, so the skip tests of a pair
// are a few array reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "search/engine/main_data.h"

namespace orv {

// A file as the loop sees it: whether it exists and which file it is.
struct TFileIdentity {
    bool Exists = false;
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
};

class TPairLists {
public:
    // Numbers the paths of both lists; every file counts as missing until
    // SetIdentity tells it. With bySize the targets are also filed by their
    // dimensions (the equal-size mode).
    TPairLists(const TFileList& sources, const TFileList& targets, bool bySize);

    std::size_t Sources() const { return sourcePath_.size(); }
    std::size_t Targets() const { return targetPath_.size(); }
    std::size_t Paths() const { return pathText_.size(); }
    std::uint32_t SourcePath(std::size_t i) const { return sourcePath_[i]; }
    std::uint32_t TargetPath(std::size_t j) const { return targetPath_[j]; }
    const std::string& PathText(std::uint32_t id) const { return *pathText_[id]; }

    // Records the file that path id names now; false when it is missing.
    bool SetIdentity(std::uint32_t id, const TFileIdentity& identity);
    // The file of a path, -1 when missing.
    std::int32_t SourceFile(std::size_t i) const { return fileId_[sourcePath_[i]]; }
    std::int32_t TargetFile(std::size_t j) const { return fileId_[targetPath_[j]]; }

    // Identical paths, one file under two names (links, bind mounts) and
    // missing files are not compared.
    bool PairPasses(std::size_t i, std::size_t j) const {
        const std::int32_t a = SourceFile(i), b = TargetFile(j);
        return a >= 0 && b >= 0 && a != b;
    }
    bool SameSize(std::size_t i, std::size_t j) const {
        return sourceWidth_[i] == targetWidth_[j] && sourceHeight_[i] == targetHeight_[j];
    }
    // Whether the loop meets pair (i, j), by the tests that do not change
    // during a loop: with one list only pairs after the diagonal, in the
    // equal-size mode only pairs of equal dimensions.
    bool MayMeet(bool singleList, bool sameSize, std::size_t i, std::size_t j) const {
        if (singleList && j <= i) return false;
        return !sameSize || SameSize(i, j);
    }
    // Equal-size mode: the targets of source i's dimensions, ascending; null
    // when there are none.
    const std::vector<std::size_t>* TargetsOfSize(std::size_t i) const;

private:
    static std::uint64_t DimsKey(std::int32_t width, std::int32_t height) {
        return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(width)) << 32) |
               static_cast<std::uint32_t>(height);
    }
    struct FileKey {
        std::uint64_t device;
        std::uint64_t inode;
        bool operator==(const FileKey&) const = default;
    };
    struct FileKeyHash {
        std::size_t operator()(const FileKey& k) const noexcept {
            return std::hash<std::uint64_t>()(k.device * 0x9E3779B97F4A7C15ull ^ k.inode);
        }
    };

    std::vector<std::uint32_t> sourcePath_, targetPath_;  // list index -> path id
    std::vector<const std::string*> pathText_;            // path id -> path
    std::vector<std::int32_t> fileId_;                    // path id -> file id, -1 when missing
    std::unordered_map<FileKey, std::int32_t, FileKeyHash> fileIds_;
    std::vector<std::int32_t> sourceWidth_, sourceHeight_, targetWidth_, targetHeight_;
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> targetsBySize_;
};

}  // namespace orv
