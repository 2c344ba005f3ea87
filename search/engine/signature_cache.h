// The signatures one pair loop holds in memory, in compact form, within a
// budget: the targets (every row meets them again) as they are first read,
// and whatever the run's memory cache of signature bitmaps held when the
// loop began. With worker threads the signatures the loop will need are
// read ahead on them, targets first, then sources, as far as the budget
// holds them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "search/engine/main_data.h"
#include "search/engine/signature.h"
#include "search/engine/work_pool.h"

namespace orv {

// The memory the signatures of a loop may take for the cache setting Chach
// (slots of one full signature bitmap each); 0 when the setting is 0 or less.
std::size_t SignatureBudget(std::int32_t chach);

class TSignatureCache {
public:
    // Reads the signature of entry index of a side (0 source, 1 target); an
    // unreadable one is empty. Called on worker threads by Preload.
    using TLoader = std::function<TCompactSignature(int side, std::size_t index)>;
    // Answers the bitmap the run's memory cache holds for a path, if any.
    using TBitmapLookup = std::function<bool(TBitmap& bitmap, const std::string& path)>;
    // Hands over the signature read already for a record, if any.
    using TKeptLookup = std::function<bool(const TSTitems* record, TCompactSignature& signature)>;

    // onRead is told on the calling thread after each read that Get made.
    TSignatureCache(const TFileList& sources, const TFileList& targets, std::size_t budget, TLoader load,
                    std::function<void()> onRead = {});
    TSignatureCache(const TSignatureCache&) = delete;
    TSignatureCache& operator=(const TSignatureCache&) = delete;

    // Takes in the signatures read already (kept) and the memory cache's
    // signatures of both lists' records, targets first, as far as they fit.
    // Held compactly they take an eighth of the memory they came from, so
    // the memory cache can then be freed and the signatures cost the budget
    // once, not twice.
    void Adopt(const TBitmapLookup& cached, const TKeptLookup& kept = {});

    // The signature of entry index of a side: the one held, or one read into
    // scratch. A target read is held from then on when it fits the budget.
    // An entry whose record is shared by both lists is held once.
    const TCompactSignature& Get(int side, std::size_t index, TCompactSignature& scratch);

    // Reads the signatures of these targets, then of these sources, on the
    // pool's threads and holds them in that order while they fit the budget.
    // tick keeps the window alive meanwhile; when it answers false the rest
    // is read when met.
    void Preload(const std::vector<std::size_t>& targets, const std::vector<std::size_t>& sources, TWorkPool& pool,
                 const std::function<bool()>& tick);

    // Whether Get answers this entry from memory.
    bool Held(int side, std::size_t index) const;
    // Whether the signature Get gave for this entry was empty: its file
    // could not be read.
    bool Failed(int side, std::size_t index) const { return failed_[side != 0][index] != 0; }
    bool AnyFailed() const { return anyFailed_; }

    // The targets held so far by target index, null where not (for workers,
    // which only read what is held).
    const std::vector<const TCompactSignature*>& HeldTargets() const { return targetHeld_; }
    // Memory the held signatures take.
    std::size_t Bytes() const { return bytes_; }

private:
    static constexpr std::int32_t kUnknownSlot = -2;
    static constexpr std::int32_t kNotHeld = -1;

    const TFileList& List(int side) const { return side == 0 ? sources_ : targets_; }
    const TCompactSignature& Find(int side, std::size_t index, TCompactSignature& scratch);
    // Holds the signature if it fits; its slot, or kNotHeld.
    std::int32_t Hold(TCompactSignature& signature);

    const TFileList& sources_;
    const TFileList& targets_;
    std::size_t budget_;
    TLoader load_;
    std::function<void()> onRead_;
    // A deque keeps references to the held signatures stable.
    std::deque<TCompactSignature> held_;
    std::size_t bytes_ = 0;
    std::unordered_map<const TSTitems*, std::int32_t> slotOfRecord_;
    std::vector<std::int32_t> targetSlot_;
    std::vector<const TCompactSignature*> targetHeld_;
    std::vector<std::uint8_t> failed_[2];
    bool anyFailed_ = false;
};

}  // namespace orv
