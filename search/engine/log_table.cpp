#include "search/engine/log_table.h"

#include <stdexcept>

#include "platform/base/binary_io.h"

namespace orv {

std::string_view TLogRowView::operator[](std::size_t column) const { return table_->Cell(row_, column); }

TLogRow TLogRowView::Texts() const {
    TLogRow row;
    for (std::size_t c = 0; c < kLogColumns; ++c) row[c] = (*this)[c];
    return row;
}

TLogTable::TLogTable(std::initializer_list<TLogRow> rows) {
    rows_.reserve(rows.size());
    for (const TLogRow& row : rows) push_back(row);
}

TLogTable::TLogTable(const std::vector<TLogRow>& rows) {
    rows_.reserve(rows.size());
    for (const TLogRow& row : rows) push_back(row);
}

TLogTable::TLogTable(const TLogTable& other) : TLogTable() { *this = other; }

TLogTable& TLogTable::operator=(const TLogTable& other) {
    if (this == &other) return *this;
    TLogTable copy;
    copy.rows_.reserve(other.size());
    for (std::size_t r = 0; r < other.size(); ++r) {
        TIds ids;
        for (std::size_t c = 0; c < kLogColumns; ++c) ids[c] = copy.pool_.Intern(other.Cell(r, c));
        copy.rows_.push_back(ids);
    }
    *this = std::move(copy);
    return *this;
}

void TLogTable::clear() {
    rows_.clear();
    rows_.shrink_to_fit();
    pool_.Clear();
}

void TLogTable::push_back(const TLogRow& row) {
    TIds ids;
    for (std::size_t c = 0; c < kLogColumns; ++c) ids[c] = pool_.Intern(row[c]);
    rows_.push_back(ids);
}

void TLogTable::AppendIds(const TIds& ids) {
    for (std::uint32_t id : ids)
        if (id >= pool_.Count()) throw std::out_of_range("No such text in the log table");
    rows_.push_back(ids);
}

void TLogTable::erase(std::size_t row) {
    (void)Ids(row);
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
}

void TLogTable::SetCell(std::size_t row, std::size_t column, std::string_view text) {
    std::uint32_t& id = rows_.at(row).at(column);
    id = pool_.Intern(text);
}

std::size_t TLogTable::MemoryBytes() const { return rows_.capacity() * sizeof(TIds) + pool_.MemoryBytes(); }

bool operator==(const TLogTable& a, const TLogTable& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t r = 0; r < a.size(); ++r)
        for (std::size_t c = 0; c < kLogColumns; ++c)
            if (a.Cell(r, c) != b.Cell(r, c)) return false;
    return true;
}

TLogTextCache::TLogTextCache(const TLogTable& table, TConvert convert)
    : table_(table), convert_(std::move(convert)), texts_(table.TextCount()), done_(table.TextCount(), false) {}

const std::string& TLogTextCache::Get(std::size_t row, std::size_t column) {
    const std::uint32_t id = table_.Ids(row).at(column);
    if (!done_[id]) {
        texts_[id] = convert_(table_.Text(id));
        done_[id] = true;
    }
    return texts_[id];
}

void WriteStoredRows(BinaryWriter& out, const TLogTable& rows) {
    TLogTextCache stored(rows, [](std::string_view text) { return EncodeStoredString(text); });
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < kLogColumns; ++c) {
            const std::string& bytes = stored.Get(r, c);
            out.WriteBytes(bytes.data(), bytes.size());
        }
}

}  // namespace orv
