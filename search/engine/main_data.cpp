#include "search/engine/main_data.h"

#include <stdexcept>

namespace orv {

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
