// The run log: one row per match a run found, in the log row's order of
// texts, and the log row of a match.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "search/engine/log_table.h"
#include "search/engine/main_data.h"

namespace orv {

// The run log's rows (the window shows them) with a lookup of the
// source/target pairs they hold, kept in step with every change.
class TRunLog {
public:
    std::size_t Count() const { return rows_.size(); }
    bool Empty() const { return rows_.empty(); }
    // A copy of one row's texts; raises std::out_of_range past the last row.
    // Rows()[index] reads a row without copying it.
    TLogRow Row(std::size_t index) const { return rows_.at(index).Texts(); }
    const TLogTable& Rows() const { return rows_; }

    void Add(const TLogRow& row);
    void SetResult(std::size_t index, std::string_view text);
    void Delete(std::size_t index);
    void Assign(TLogTable rows);
    void Clear();

    // A row holds this source path as its caption and this target path as
    // its target (exact comparison, this direction only).
    bool Contains(const std::string& source, const std::string& target) const;
    // Counts every change; the pair loop notices changes made behind it.
    std::uint64_t Revision() const { return revision_; }

    // The window's list view follows the log through these.
    std::function<void(std::size_t index)> OnRowAdded;
    std::function<void(std::size_t index)> OnRowChanged;
    std::function<void()> OnReset;

private:
    static std::uint64_t Key(std::uint32_t source, std::uint32_t target) {
        return (static_cast<std::uint64_t>(source) << 32) | target;
    }
    void Reindex();

    TLogTable rows_;
    // (source path, target path) text numbers -> number of rows holding them
    std::unordered_map<std::uint64_t, std::uint32_t> pairs_;
    std::uint64_t revision_ = 0;
};

// Builds the log row of a match from the two work-list entries.
TLogRow MakeLogRow(const TFileList::Entry& source, const TFileList::Entry& target);

}  // namespace orv
