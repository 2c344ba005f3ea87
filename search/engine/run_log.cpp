#include "search/engine/run_log.h"

#include "platform/base/datetime.h"

namespace orv {

void TRunLog::Add(const TLogRow& row) {
    rows_.push_back(row);
    const auto& ids = rows_.Ids(rows_.size() - 1);
    ++pairs_[Key(ids[kLogSourcePath], ids[kLogTargetPath])];
    ++revision_;
    if (OnRowAdded) OnRowAdded(rows_.size() - 1);
}

void TRunLog::SetResult(std::size_t index, std::string_view text) {
    rows_.SetCell(index, kLogResult, text);
    ++revision_;
    if (OnRowChanged) OnRowChanged(index);
}

void TRunLog::Delete(std::size_t index) {
    const auto& ids = rows_.Ids(index);
    auto it = pairs_.find(Key(ids[kLogSourcePath], ids[kLogTargetPath]));
    if (it != pairs_.end() && --it->second == 0) pairs_.erase(it);
    rows_.erase(index);
    ++revision_;
    if (OnReset) OnReset();
}

void TRunLog::Assign(TLogTable rows) {
    rows_ = std::move(rows);
    Reindex();
    ++revision_;
    if (OnReset) OnReset();
}

void TRunLog::Clear() { Assign({}); }

void TRunLog::Reindex() {
    pairs_.clear();
    pairs_.reserve(rows_.size());
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        const auto& ids = rows_.Ids(r);
        ++pairs_[Key(ids[kLogSourcePath], ids[kLogTargetPath])];
    }
}

bool TRunLog::Contains(const std::string& source, const std::string& target) const {
    const std::uint32_t s = rows_.FindText(source);
    if (s == TTextPool::kNoText) return false;
    const std::uint32_t t = rows_.FindText(target);
    return t != TTextPool::kNoText && pairs_.count(Key(s, t)) != 0;
}

TLogRow MakeLogRow(const TFileList::Entry& source, const TFileList::Entry& target) {
    TLogRow row;
    auto fill = [&row](std::size_t first, const TFileList::Entry& entry) {
        row[first] = entry.Path;
        if (entry.Item) {
            row[first + 1] = FormatSize(entry.Item->FileSize);
            row[first + 2] = DateTimeToStr(entry.Item->FileDate);
            row[first + 3] = std::to_string(entry.Item->Width);
            row[first + 4] = std::to_string(entry.Item->Height);
        }
    };
    fill(kLogSourcePath, source);
    fill(kLogTargetPath, target);
    return row;
}

}  // namespace orv
