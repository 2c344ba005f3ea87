#include "search/engine/signature_cache.h"

#include <algorithm>
#include <exception>

#include "platform/graphics/memory_budget.h"

namespace orv {

std::size_t SignatureBudget(std::int32_t chach) {
    if (chach <= 0) return 0;
    // The cache setting counts full signature bitmaps; held compactly, the
    // same memory keeps about eight times as many. A sixteenth of the
    // machine's memory is always granted, so a list of tens of thousands of
    // pictures stays in memory, where every core can score it, whatever the
    // setting.
    const std::size_t bySetting = static_cast<std::size_t>(chach) * kSignatureBitmapBytes;
    return std::max<std::size_t>(bySetting, PhysicalMemoryBytes() / 16);
}

TSignatureCache::TSignatureCache(const TFileList& sources, const TFileList& targets, std::size_t budget,
                                 TLoader load)
    : sources_(sources),
      targets_(targets),
      budget_(budget),
      load_(std::move(load)),
      targetSlot_(targets.Count(), kUnknownSlot),
      targetHeld_(targets.Count(), nullptr) {}

std::int32_t TSignatureCache::Hold(TCompactSignature& signature) {
    if (bytes_ + signature.MemoryBytes() > budget_) return kNotHeld;
    bytes_ += signature.MemoryBytes();
    held_.push_back(std::move(signature));
    return static_cast<std::int32_t>(held_.size() - 1);
}

void TSignatureCache::Adopt(const TBitmapLookup& cached) {
    auto adopt = [&](const TFileList& list, std::size_t index) {
        const TSTitems* record = list.Objects(index).get();
        if (!record || slotOfRecord_.count(record) != 0) return;
        TBitmap bitmap;
        try {
            if (!cached(bitmap, list.Strings(index))) return;
            TCompactSignature signature = CompactFromBitmap(bitmap);
            const std::int32_t slot = Hold(signature);
            if (slot >= 0) slotOfRecord_[record] = slot;
        } catch (const std::exception&) {
            // Read from its file when needed.
        }
    };
    for (std::size_t j = 0; j < targets_.Count(); ++j) adopt(targets_, j);
    for (std::size_t i = 0; i < sources_.Count(); ++i) adopt(sources_, i);
}

const TCompactSignature& TSignatureCache::Get(int side, std::size_t index, TCompactSignature& scratch) {
    if (side == 1 && targetHeld_[index]) return *targetHeld_[index];
    const TSTitems* record = List(side).Objects(index).get();
    std::int32_t slot = side == 1 ? targetSlot_[index] : kUnknownSlot;
    if (slot == kUnknownSlot) {
        auto it = slotOfRecord_.find(record);
        slot = it != slotOfRecord_.end() ? it->second : kUnknownSlot;
    }
    if (slot >= 0) {
        const TCompactSignature& held = held_[static_cast<std::size_t>(slot)];
        if (side == 1) {
            targetSlot_[index] = slot;
            targetHeld_[index] = &held;
        }
        return held;
    }
    scratch = load_(side, index);
    if (side == 1 && slot == kUnknownSlot) {
        slot = record ? Hold(scratch) : kNotHeld;
        if (record) slotOfRecord_[record] = slot;
        targetSlot_[index] = slot;
        if (slot >= 0) {
            targetHeld_[index] = &held_.back();
            return held_.back();
        }
    }
    return scratch;
}

}  // namespace orv
