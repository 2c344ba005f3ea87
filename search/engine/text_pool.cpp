#include "search/engine/text_pool.h"

#include <cstring>
#include <functional>
#include <stdexcept>

namespace orv {
namespace {

constexpr std::size_t kBlock = 64 * 1024;
// Longer texts get a block of their own, so little of a block is left unused.
constexpr std::size_t kOwnBlock = kBlock / 8;

}  // namespace

TTextPool::TTextPool() { Clear(); }

TTextPool::TTextPool(TTextPool&& other) { *this = std::move(other); }

TTextPool& TTextPool::operator=(TTextPool&& other) {
    if (this == &other) return *this;
    entries_ = std::move(other.entries_);
    slots_ = std::move(other.slots_);
    blocks_ = std::move(other.blocks_);
    free_ = other.free_;
    left_ = other.left_;
    blockBytes_ = other.blockBytes_;
    other.Clear();
    return *this;
}

void TTextPool::Clear() {
    entries_.clear();
    entries_.shrink_to_fit();
    slots_.assign(16, SlotEntry{0, 0});
    blocks_.clear();
    free_ = nullptr;
    left_ = 0;
    blockBytes_ = 0;
    const std::uint32_t hash = Hash({});
    entries_.push_back({"", 0});
    slots_[hash & (slots_.size() - 1)] = {1, hash};
}

std::uint32_t TTextPool::Hash(std::string_view text) {
    return static_cast<std::uint32_t>(std::hash<std::string_view>()(text));
}

// The slot that holds text, or the free slot where it would go.
std::size_t TTextPool::Slot(std::string_view text, std::uint32_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const SlotEntry slot = slots_[i];
        if (slot.id1 == 0) return i;
        if (slot.hash != hash) continue;
        const Entry& e = entries_[slot.id1 - 1];
        if (e.size == text.size() && std::memcmp(e.data, text.data(), text.size()) == 0) return i;
    }
}

std::uint32_t TTextPool::Find(std::string_view text) const {
    const std::uint32_t id1 = slots_[Slot(text, Hash(text))].id1;
    return id1 == 0 ? kNoText : id1 - 1;
}

std::uint32_t TTextPool::Intern(std::string_view text) {
    const std::uint32_t hash = Hash(text);
    std::size_t i = Slot(text, hash);
    if (slots_[i].id1 != 0) return slots_[i].id1 - 1;
    if (entries_.size() >= kNoText - 1 || text.size() > UINT32_MAX) throw std::length_error("Text pool full");
    if ((entries_.size() + 1) * 2 > slots_.size()) {
        Grow();
        i = Slot(text, hash);
    }
    entries_.push_back({Store(text), static_cast<std::uint32_t>(text.size())});
    slots_[i] = {static_cast<std::uint32_t>(entries_.size()), hash};
    return static_cast<std::uint32_t>(entries_.size() - 1);
}

const char* TTextPool::Store(std::string_view text) {
    if (text.empty()) return "";
    if (text.size() >= kOwnBlock) {
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(text.size()));
        blockBytes_ += text.size();
        std::memcpy(blocks_.back().get(), text.data(), text.size());
        return blocks_.back().get();
    }
    if (left_ < text.size()) {
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlock));
        blockBytes_ += kBlock;
        free_ = blocks_.back().get();
        left_ = kBlock;
    }
    char* at = free_;
    std::memcpy(at, text.data(), text.size());
    free_ += text.size();
    left_ -= text.size();
    return at;
}

void TTextPool::Grow() {
    std::vector<SlotEntry> old(slots_.size() * 2, SlotEntry{0, 0});
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const SlotEntry& slot : old) {
        if (slot.id1 == 0) continue;
        std::size_t i = slot.hash & mask;
        while (slots_[i].id1 != 0) i = (i + 1) & mask;
        slots_[i] = slot;
    }
}

std::size_t TTextPool::MemoryBytes() const {
    return blockBytes_ + entries_.capacity() * sizeof(Entry) + slots_.capacity() * sizeof(SlotEntry) +
           blocks_.capacity() * sizeof(blocks_[0]);
}

}  // namespace orv
