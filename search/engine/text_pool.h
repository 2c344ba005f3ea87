// A pool of distinct texts, each stored once and named by a 32-bit number.
// A run log repeats the same paths, sizes, dates and results across many
// rows; rows that hold numbers instead of strings stay small however long
// the log grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace orv {

class TTextPool {
public:
    static constexpr std::uint32_t kNoText = UINT32_MAX;

    TTextPool();
    // A pool moved from is empty again (it still holds the empty text).
    TTextPool(TTextPool&& other);
    TTextPool& operator=(TTextPool&& other);
    TTextPool(const TTextPool&) = delete;
    TTextPool& operator=(const TTextPool&) = delete;

    // The number of text; equal texts get the same number. The empty text
    // is number 0. Raises std::length_error past 2^32 - 2 texts.
    std::uint32_t Intern(std::string_view text);
    // The number of text, or kNoText when the pool does not hold it.
    std::uint32_t Find(std::string_view text) const;
    std::string_view Text(std::uint32_t id) const {
        const Entry& e = entries_[id];
        return {e.data, e.size};
    }
    std::size_t Count() const { return entries_.size(); }
    // Empties the pool (only the empty text stays).
    void Clear();
    // Bytes the pool holds: texts, their records and the lookup table.
    std::size_t MemoryBytes() const;

private:
    struct Entry {
        const char* data;
        std::uint32_t size;
    };
    static std::uint32_t Hash(std::string_view text);
    std::size_t Slot(std::string_view text, std::uint32_t hash) const;
    const char* Store(std::string_view text);
    void Grow();

    std::vector<Entry> entries_;
    // Open addressing over entries: number + 1 (0 for a free slot) with the
    // text's hash, so a probe that misses does not touch the entry. Its size
    // is a power of two at least twice the number of texts.
    struct SlotEntry {
        std::uint32_t id1;
        std::uint32_t hash;
    };
    std::vector<SlotEntry> slots_;
    // Texts live in blocks that never move, so Text() views stay valid.
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* free_ = nullptr;
    std::size_t left_ = 0;
    std::size_t blockBytes_ = 0;
};

}  // namespace orv
