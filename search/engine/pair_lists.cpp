#include "search/engine/pair_lists.h"

#include <string_view>

namespace orv {

TPairLists::TPairLists(const TFileList& sources, const TFileList& targets, bool bySize) {
    std::unordered_map<std::string_view, std::uint32_t> ids;
    auto number = [&](const std::string& path) {
        auto [it, added] = ids.try_emplace(path, static_cast<std::uint32_t>(pathText_.size()));
        if (added) pathText_.push_back(&path);
        return it->second;
    };
    for (const auto& entry : sources) sourcePath_.push_back(number(entry.Path));
    for (const auto& entry : targets) targetPath_.push_back(number(entry.Path));
    fileId_.assign(pathText_.size(), -1);

    auto dims = [](const TFileList& list, std::vector<std::int32_t>& w, std::vector<std::int32_t>& h) {
        for (const auto& entry : list) {
            w.push_back(entry.Item ? entry.Item->Width : -1);
            h.push_back(entry.Item ? entry.Item->Height : -1);
        }
    };
    dims(sources, sourceWidth_, sourceHeight_);
    dims(targets, targetWidth_, targetHeight_);
    if (bySize)
        for (std::size_t j = 0; j < targetPath_.size(); ++j)
            targetsBySize_[DimsKey(targetWidth_[j], targetHeight_[j])].push_back(j);
}

bool TPairLists::SetIdentity(std::uint32_t id, const TFileIdentity& identity) {
    if (!identity.Exists) {
        fileId_[id] = -1;
        return false;
    }
    auto [it, added] = fileIds_.try_emplace(FileKey{identity.Device, identity.Inode},
                                            static_cast<std::int32_t>(fileIds_.size()));
    fileId_[id] = it->second;
    return true;
}

const std::vector<std::size_t>* TPairLists::TargetsOfSize(std::size_t i) const {
    auto it = targetsBySize_.find(DimsKey(sourceWidth_[i], sourceHeight_[i]));
    return it != targetsBySize_.end() ? &it->second : nullptr;
}

}  // namespace orv
