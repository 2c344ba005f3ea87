// The rows of a run log held compactly: every row is eleven text numbers
// into one pool of distinct texts, so a log of a million matches among a few
// thousand pictures costs little more than its numbers. Rows read as views
// (row[column] is a std::string_view), write through SetCell or
// table[row][column] = text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "search/engine/text_pool.h"

namespace orv {

class BinaryWriter;

enum TLogColumn : std::size_t {
    kLogSourcePath = 0,
    kLogSourceSize,
    kLogSourceDate,
    kLogSourceWidth,
    kLogSourceHeight,
    kLogTargetPath,
    kLogTargetSize,
    kLogTargetDate,
    kLogTargetWidth,
    kLogTargetHeight,
    kLogResult,
    kLogColumns
};

// One row of the run log as plain texts: source path, size, date, width,
// height, then the same five of the target, then the handling result.
using TLogRow = std::array<std::string, kLogColumns>;

class TLogTable;

class TLogRowView {
public:
    TLogRowView(const TLogTable& table, std::size_t row) : table_(&table), row_(row) {}
    std::string_view operator[](std::size_t column) const;
    std::size_t Index() const { return row_; }
    TLogRow Texts() const;

private:
    const TLogTable* table_;
    std::size_t row_;
};

class TLogTable {
public:
    using TIds = std::array<std::uint32_t, kLogColumns>;

    class CellRef {
    public:
        CellRef(TLogTable& table, std::size_t row, std::size_t column) : table_(table), row_(row), column_(column) {}
        CellRef& operator=(std::string_view text) {
            table_.SetCell(row_, column_, text);
            return *this;
        }
        // Copies the other cell's text, as a string cell would (a = b = text).
        CellRef& operator=(const CellRef& other) { return *this = std::string(std::string_view(other)); }
        operator std::string_view() const { return table_.Cell(row_, column_); }

    private:
        TLogTable& table_;
        std::size_t row_, column_;
    };
    class RowRef {
    public:
        RowRef(TLogTable& table, std::size_t row) : table_(table), row_(row) {}
        CellRef operator[](std::size_t column) { return {table_, row_, column}; }
        std::string_view operator[](std::size_t column) const { return table_.Cell(row_, column); }

    private:
        TLogTable& table_;
        std::size_t row_;
    };
    class const_iterator {
    public:
        const_iterator(const TLogTable& table, std::size_t row) : table_(&table), row_(row) {}
        TLogRowView operator*() const { return {*table_, row_}; }
        const_iterator& operator++() {
            ++row_;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return row_ == other.row_; }

    private:
        const TLogTable* table_;
        std::size_t row_;
    };

    TLogTable() = default;
    TLogTable(std::initializer_list<TLogRow> rows);
    TLogTable(const std::vector<TLogRow>& rows);  // NOLINT: plain rows convert
    TLogTable(const TLogTable& other);
    TLogTable& operator=(const TLogTable& other);
    // A table moved from is empty.
    TLogTable(TLogTable&& other) : rows_(std::move(other.rows_)), pool_(std::move(other.pool_)) { other.rows_.clear(); }
    TLogTable& operator=(TLogTable&& other) {
        if (this == &other) return *this;
        rows_ = std::move(other.rows_);
        other.rows_.clear();
        pool_ = std::move(other.pool_);
        return *this;
    }

    std::size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }
    void reserve(std::size_t rows) { rows_.reserve(rows); }
    // Empties the table and its texts.
    void clear();
    void push_back(const TLogRow& row);
    // A row of text numbers from Intern (raises std::out_of_range for a
    // number the table does not hold).
    void AppendIds(const TIds& ids);
    std::uint32_t Intern(std::string_view text) { return pool_.Intern(text); }
    void erase(std::size_t row);

    // Raise std::out_of_range for a row or column that does not exist.
    std::string_view Cell(std::size_t row, std::size_t column) const { return pool_.Text(Ids(row).at(column)); }
    void SetCell(std::size_t row, std::size_t column, std::string_view text);
    TLogRowView operator[](std::size_t row) const { return {*this, row}; }
    // The same, raising std::out_of_range past the last row.
    TLogRowView at(std::size_t row) const {
        (void)Ids(row);
        return {*this, row};
    }
    RowRef operator[](std::size_t row) { return {*this, row}; }
    const_iterator begin() const { return {*this, 0}; }
    const_iterator end() const { return {*this, rows_.size()}; }

    // Text numbers: equal texts of the table have equal numbers.
    const TIds& Ids(std::size_t row) const { return rows_.at(row); }
    std::uint32_t FindText(std::string_view text) const { return pool_.Find(text); }
    std::string_view Text(std::uint32_t id) const { return pool_.Text(id); }
    std::size_t TextCount() const { return pool_.Count(); }

    // Bytes the table holds (rows and texts; texts left behind by SetCell
    // and erase stay until clear()).
    std::size_t MemoryBytes() const;

    friend bool operator==(const TLogTable& a, const TLogTable& b);

private:
    std::vector<TIds> rows_;
    TTextPool pool_;
};

// Each distinct text of a table converted once, for writers of many rows:
// a log repeats its paths, dates and results over and over.
class TLogTextCache {
public:
    using TConvert = std::function<std::string(std::string_view text)>;
    TLogTextCache(const TLogTable& table, TConvert convert);
    const std::string& Get(std::size_t row, std::size_t column);

private:
    const TLogTable& table_;
    TConvert convert_;
    std::vector<std::string> texts_;
    std::vector<bool> done_;
};

// Writes every cell of every row as a stored string, row by row, each
// distinct text encoded once. Raises EConvertError for a text the stored
// string cannot hold.
void WriteStoredRows(BinaryWriter& out, const TLogTable& rows);

}  // namespace orv
