#include "search/engine/main_data.h"

#include <sys/stat.h>

#include <stdexcept>

namespace orv {

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
    if (::stat(path.c_str(), &st) != 0) return {};
    return StampOf(st);
}

bool SameStamp(const TFileStamp& a, const TFileStamp& b) {
    return a.Device == b.Device && a.Inode == b.Inode && a.Size == b.Size && a.ModifiedNs == b.ModifiedNs &&
           a.ChangedNs == b.ChangedNs;
}

void TFileList::Add(std::string path, TSTitemsPtr item) {
    first_.try_emplace(path, entries_.size());
    entries_.push_back(Entry{std::move(path), std::move(item)});
}

void TFileList::Clear() {
    entries_.clear();
    first_.clear();
}

void TFileList::Delete(std::size_t index) {
    if (index >= entries_.size()) throw std::out_of_range("TFileList::Delete");
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
    Reindex();
}

std::ptrdiff_t TFileList::IndexOf(const std::string& path) const {
    const auto it = first_.find(path);
    return it == first_.end() ? -1 : static_cast<std::ptrdiff_t>(it->second);
}

void TFileList::Reindex() {
    first_.clear();
    for (std::size_t i = 0; i < entries_.size(); ++i) first_.try_emplace(entries_[i].Path, i);
}

}  // namespace orv
