#include "search/engine/pair_loop.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "platform/base/datetime.h"
#include "platform/base/file_system.h"
#include "platform/base/paths.h"
#include "platform/base/sound.h"
#include "platform/graphics/memory_budget.h"
#include "platform/graphics/picture_loader.h"
#include "search/engine/run_driver.h"
#include "search/engine/run_engine.h"
#include "search/engine/work_pool.h"

namespace orv {

// ---- the run log

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

// ---- the loop's state for one run

namespace {

constexpr std::chrono::milliseconds kSlice{20};
constexpr std::int32_t kUnknownSlot = -2;
constexpr std::int32_t kNotResident = -1;
constexpr std::size_t kGroupRows = 16;  // bits of the per-target answers

struct FileKey {
    std::uint64_t device;
    std::uint64_t inode;
    bool operator==(const FileKey&) const = default;
};
struct FileKeyHash {
    std::size_t operator()(const FileKey& k) const noexcept {
        return std::hash<std::uint64_t>()(k.device * 0x9E3779B97F4A7C15ull ^ k.inode);
    }
};

std::uint64_t DimsKey(std::int32_t width, std::int32_t height) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(width)) << 32) | static_cast<std::uint32_t>(height);
}

TFileIdentity StatIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return {};
    return TFileIdentity{true, static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace

struct TPairLoop::State {
    explicit State(int par) : need(par) {}

    TNeedTable need;
    std::size_t sources = 0, targets = 0;

    // Paths of both lists as numbers; a path and the file it names.
    std::vector<std::uint32_t> sourcePath, targetPath;  // list index -> path id
    std::vector<const std::string*> pathText;           // path id -> path
    std::vector<std::int32_t> fileId;                   // path id -> file id, -1 when missing
    std::unordered_map<FileKey, std::int32_t, FileKeyHash> fileIds;

    // Path ids that are the source of some log row.
    std::vector<std::uint8_t> logSource;
    std::uint64_t logRevision = 0;

    std::vector<std::int32_t> sourceWidth, sourceHeight, targetWidth, targetHeight;
    // Equal-size mode: target indexes of each size, ascending.
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> targetsBySize;

    // Signatures held in memory (a deque keeps references stable).
    std::deque<TCompactSignature> store;
    std::size_t storeBytes = 0;
    std::size_t budget = 0;
    std::unordered_map<const TSTitems*, std::int32_t> slotOfRecord;
    std::vector<std::int32_t> targetSlot;
    std::vector<const TCompactSignature*> targetResident;  // by target index, once known

    // Rows are scored in groups: a target, once read, is scored against
    // every row of the group that will meet it, so a large target list
    // streams through the cache once per group rather than once per row.
    // The answers are kept per target (one bit per row) until the rows ask.
    // With workers, the groups ahead are scored in chunks of targets while
    // the loop walks the current one; a slot holds one group.
    struct Group {
        std::size_t first = 0;
        bool used = false;
        std::array<const TCompactSignature*, kGroupRows> source{};
        std::array<TCompactSignature, kGroupRows> owned;
        std::array<bool, kGroupRows> done{};
        std::vector<std::uint16_t> scored, match;  // by target index

        // Worker scoring: rows given to the workers, their chunks of targets
        // from chunkStart on, which are done, and the tasks still running.
        std::uint16_t rows = 0;
        std::size_t chunkStart = 0, chunks = 0;
        std::unique_ptr<std::atomic<std::uint8_t>[]> chunkDone;
        std::atomic<std::size_t> nextChunk{0};
        std::atomic<bool> cancel{false};
        int active = 0;  // under Workers::mutex
    };
    static constexpr std::size_t kGroupsAhead = 3;
    std::array<Group, kGroupsAhead> groups;
    std::size_t current = 0;  // slot of the group the loop is in
    TCompactSignature scratch;

    // Workers and what they read: fixed before the first group is given out.
    struct Workers {
        std::unique_ptr<TWorkPool> pool;
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<const TCompactSignature*> targets;  // resident signatures, null when not
        std::size_t chunkTargets = 0;
        bool singleList = false;
        bool sameSize = false;
    };
    std::unique_ptr<Workers> workers;

    std::chrono::steady_clock::time_point lastSlice;
    int countdown = 0;
    bool visited = false, compared = false;
    std::size_t lastI = 0, lastJ = 0, comparedI = 0, comparedJ = 0;
};

// ---- the loop

TPairLoop::TPairLoop(TRunEngine& engine, TRunLog& log, TRunStatus& status, IPairHandOver* handOver)
    : engine_(engine), data_(engine.Data()), log_(log), status_(status), handOver_(handOver) {
    SetHooks({});
}

TPairLoop::~TPairLoop() = default;

void TPairLoop::SetHooks(TPairLoopHooks hooks) {
    hooks_ = std::move(hooks);
    if (!hooks_.Identify) hooks_.Identify = StatIdentity;
    if (!hooks_.LoadSignature) {
        hooks_.LoadSignature = [this](int side, std::size_t index) -> TCompactSignature {
            const TFileList& list = data_.WorkList(side);
            try {
                TBitmap bitmap;
                if (!engine_.GetChach(bitmap, list.Strings(index))) {
                    const TSTitemsPtr& item = list.Objects(index);
                    if (!item) return {};
                    // A missing or unreadable file leaves the bitmap empty.
                    LoadPictureToBitmap(engine_.SignaturePath(item->TmpNo), bitmap);
                }
                return CompactFromBitmap(bitmap);
            } catch (const std::exception&) {
                return {};
            }
        };
    }
    if (!hooks_.LoadPreview) {
        hooks_.LoadPreview = [](const std::string& path) -> std::unique_ptr<TBitmap> {
            auto bitmap = std::make_unique<TBitmap>();
            if (!LoadPictureToBitmap(path, *bitmap)) return nullptr;
            return bitmap;
        };
    }
}

bool TPairLoop::CheckEndList(const std::string& path) const { return data_.JyochyuList.Contains(path); }

bool TPairLoop::CheckLogList(std::size_t source, std::size_t target) const {
    return log_.Contains(data_.SourceFiles.Strings(source), data_.TargetFiles.Strings(target));
}

int TPairLoop::FazzyComp(std::size_t source, std::size_t target) {
    return CompareBitmaps(hooks_.LoadSignature(0, source), hooks_.LoadSignature(1, target));
}

std::size_t TPairLoop::SignatureBytes() const { return state_ ? state_->storeBytes : 0; }

std::size_t TPairLoop::SignatureBudget() const {
    if (data_.Chach <= 0) return 0;
    // The cache setting counts full signature bitmaps; held compactly, the
    // same memory keeps about eight times as many. A sixteenth of the
    // machine's memory is always granted, so a list of tens of thousands of
    // pictures stays in memory, where every core can score it, whatever the
    // setting.
    const std::size_t bySetting = static_cast<std::size_t>(data_.Chach) * kSignatureBitmapBytes;
    return std::max<std::size_t>(bySetting, PhysicalMemoryBytes() / 16);
}

void TPairLoop::Prepare() {
    state_ = std::make_unique<State>(data_.Par);
    State& st = *state_;
    const TFileList& sources = data_.SourceFiles;
    const TFileList& targets = data_.TargetFiles;
    st.sources = sources.Count();
    st.targets = targets.Count();

    std::unordered_map<std::string_view, std::uint32_t> ids;
    auto number = [&](const std::string& path) {
        auto [it, added] = ids.try_emplace(path, static_cast<std::uint32_t>(st.pathText.size()));
        if (added) st.pathText.push_back(&path);
        return it->second;
    };
    for (const auto& entry : sources) st.sourcePath.push_back(number(entry.Path));
    for (const auto& entry : targets) st.targetPath.push_back(number(entry.Path));

    // Existence and identity once per file; a match and a hand-over look again.
    st.fileId.assign(st.pathText.size(), -1);
    for (std::uint32_t id = 0; id < st.pathText.size(); ++id) RefreshIdentity(id);

    auto dims = [](const TFileList& list, std::vector<std::int32_t>& w, std::vector<std::int32_t>& h) {
        for (const auto& entry : list) {
            w.push_back(entry.Item ? entry.Item->Width : -1);
            h.push_back(entry.Item ? entry.Item->Height : -1);
        }
    };
    dims(sources, st.sourceWidth, st.sourceHeight);
    dims(targets, st.targetWidth, st.targetHeight);
    if (data_.SizeMode == 0)
        for (std::size_t j = 0; j < st.targets; ++j)
            st.targetsBySize[DimsKey(st.targetWidth[j], st.targetHeight[j])].push_back(j);

    st.budget = SignatureBudget();
    st.targetSlot.assign(st.targets, kUnknownSlot);
    st.targetResident.assign(st.targets, nullptr);
    AdoptCache();
    st.logRevision = log_.Revision() - 1;  // built at the first look
    st.lastSlice = std::chrono::steady_clock::now();
    st.countdown = clockStride_;
}

// The bitmaps of the memory cache become compact signatures (an eighth of
// their size, so they always fit the budget they came from), and the cache
// gives its memory back: signatures then cost the budget once, not twice.
void TPairLoop::AdoptCache() {
    State& st = *state_;
    auto adopt = [&](const TFileList& list, std::size_t index) {
        const TSTitems* record = list.Objects(index).get();
        if (!record || st.slotOfRecord.count(record) != 0) return;
        TBitmap bitmap;
        try {
            if (!engine_.GetChach(bitmap, list.Strings(index))) return;
            TCompactSignature signature = CompactFromBitmap(bitmap);
            if (st.storeBytes + signature.MemoryBytes() > st.budget) return;
            st.storeBytes += signature.MemoryBytes();
            st.store.push_back(std::move(signature));
            st.slotOfRecord[record] = static_cast<std::int32_t>(st.store.size() - 1);
        } catch (const std::exception&) {
            // Read from its file when needed.
        }
    };
    if (data_.ChachItems.empty()) return;
    for (std::size_t j = 0; j < st.targets; ++j) adopt(data_.TargetFiles, j);
    for (std::size_t i = 0; i < st.sources; ++i) adopt(data_.SourceFiles, i);
    engine_.FreeChach();
}

bool TPairLoop::RefreshIdentity(std::size_t pathId) {
    State& st = *state_;
    const TFileIdentity identity = hooks_.Identify(*st.pathText[pathId]);
    if (!identity.Exists) {
        st.fileId[pathId] = -1;
        return false;
    }
    auto [it, added] = st.fileIds.try_emplace(FileKey{identity.Device, identity.Inode},
                                              static_cast<std::int32_t>(st.fileIds.size()));
    st.fileId[pathId] = it->second;
    return true;
}

// Identical paths, one file under two names (links, bind mounts) and missing
// files are not compared.
bool TPairLoop::PairPasses(std::size_t i, std::size_t j) const {
    const State& st = *state_;
    const std::int32_t a = st.fileId[st.sourcePath[i]];
    const std::int32_t b = st.fileId[st.targetPath[j]];
    return a >= 0 && b >= 0 && a != b;
}

bool TPairLoop::CheckLogFast(std::size_t i, std::size_t j) {
    State& st = *state_;
    if (st.logRevision != log_.Revision()) {
        st.logSource.assign(st.pathText.size(), 0);
        std::unordered_map<std::string_view, std::uint32_t> ids;
        for (std::uint32_t id = 0; id < st.pathText.size(); ++id) ids.emplace(*st.pathText[id], id);
        for (const TLogRowView row : log_.Rows()) {
            auto it = ids.find(row[kLogSourcePath]);
            if (it != ids.end()) st.logSource[it->second] = 1;
        }
        st.logRevision = log_.Revision();
    }
    if (!st.logSource[st.sourcePath[i]]) return false;
    return CheckLogList(i, j);
}

const TCompactSignature& TPairLoop::Signature(int side, std::size_t index, TCompactSignature& scratch) {
    State& st = *state_;
    if (side == 1 && st.targetResident[index]) return *st.targetResident[index];
    const TSTitems* record = data_.WorkList(side).Objects(index).get();
    std::int32_t slot = side == 1 ? st.targetSlot[index] : kUnknownSlot;
    if (slot == kUnknownSlot) {
        auto it = st.slotOfRecord.find(record);
        slot = it != st.slotOfRecord.end() ? it->second : kUnknownSlot;
    }
    if (slot >= 0) {
        const TCompactSignature& resident = st.store[static_cast<std::size_t>(slot)];
        if (side == 1) {
            st.targetSlot[index] = slot;
            st.targetResident[index] = &resident;
        }
        return resident;
    }
    scratch = hooks_.LoadSignature(side, index);
    // Reading a file is slow: look at the clock after this pair.
    st.countdown = 1;
    // Targets are met again in every row, so they get the memory; a source
    // is read once per row anyway.
    if (side == 1 && slot == kUnknownSlot) {
        if (record && st.storeBytes + scratch.MemoryBytes() <= st.budget) {
            st.storeBytes += scratch.MemoryBytes();
            st.store.push_back(std::move(scratch));
            slot = static_cast<std::int32_t>(st.store.size() - 1);
        } else {
            slot = kNotResident;
        }
        if (record) st.slotOfRecord[record] = slot;
        st.targetSlot[index] = slot;
        if (slot >= 0) {
            st.targetResident[index] = &st.store.back();
            return st.store.back();
        }
    }
    return scratch;
}

// Resets slot `slot` for the group of rows from `first`: which rows are
// done, and no answers yet.
void TPairLoop::ResetGroup(std::size_t slot, std::size_t first) {
    State& st = *state_;
    State::Group& g = st.groups[slot];
    g.used = true;
    g.first = first;
    g.source.fill(nullptr);
    for (std::size_t r = 0; r < kGroupRows; ++r)
        g.done[r] = first + r >= st.sources || CheckEndList(data_.SourceFiles.Strings(first + r));
    g.scored.assign(st.targets, 0);
    g.match.assign(st.targets, 0);
    g.rows = 0;
    g.chunks = 0;
}

std::size_t TPairLoop::GroupSlot(std::size_t first) {
    State& st = *state_;
    State::Group& cur = st.groups[st.current];
    if (!cur.used || cur.first != first) {
        if (!st.workers) {
            ResetGroup(st.current, first);
        } else {
            // Groups are given out ahead in order; the loop only moves on.
            std::size_t found = st.groups.size();
            for (std::size_t n = 0; n < st.groups.size(); ++n)
                if (st.groups[n].used && st.groups[n].first == first) found = n;
            if (found == st.groups.size()) {
                found = (st.current + 1) % st.groups.size();
                GiveOut(found, first);
            }
            st.current = found;
            // Keep the workers busy with the groups after this one.
            for (std::size_t ahead = 1; ahead < st.groups.size(); ++ahead) {
                const std::size_t next = first + ahead * kGroupRows;
                if (next >= st.sources) break;
                const std::size_t slot = (found + ahead) % st.groups.size();
                if (!(st.groups[slot].used && st.groups[slot].first == next)) GiveOut(slot, next);
            }
        }
    }
    return st.current;
}

bool TPairLoop::Reaches(std::size_t i, std::size_t j) {
    State& st = *state_;
    const std::size_t first = i / kGroupRows * kGroupRows;
    const std::size_t slot = GroupSlot(first);
    State::Group& g = st.groups[slot];
    const std::size_t row = i - first;
    const auto bit = static_cast<std::uint16_t>(1u << row);
    if (st.workers && (g.rows & bit) != 0 && j >= g.chunkStart && !AwaitChunk(slot, j)) {
        // Stop or pause came while the workers were still on this pair: it
        // is scored here, as the single-threaded loop would have.
        TCompactSignature scratch;
        const TCompactSignature& target = Signature(1, j, scratch);
        return ScoreReaches(*g.source[row], target, st.need);
    }
    if ((g.scored[j] & bit) == 0) ScoreGroup(slot, row, j);
    return (g.match[j] & bit) != 0;
}

// Whether pair (first + r, j) is one the loop will meet, by the tests that
// do not change during the loop.
static bool MayMeet(bool singleList, bool sameSize, std::size_t i, std::size_t j,
                    const std::vector<std::int32_t>& sw, const std::vector<std::int32_t>& sh,
                    const std::vector<std::int32_t>& tw, const std::vector<std::int32_t>& th) {
    if (singleList && j <= i) return false;
    return !sameSize || (sw[i] == tw[j] && sh[i] == th[j]);
}

// Scores target j against row `row` of the group and every later row of it
// that will meet this target (by the same tests the loop makes first).
void TPairLoop::ScoreGroup(std::size_t slot, std::size_t row, std::size_t j) {
    State& st = *state_;
    State::Group& g = st.groups[slot];
    const TCompactSignature& target = Signature(1, j, st.scratch);
    for (std::size_t r = row; r < kGroupRows; ++r) {
        const std::size_t i = g.first + r;
        if (i >= st.sources) break;
        if (r != row) {
            if (g.done[r] || !PairPasses(i, j)) continue;
            if (!MayMeet(data_.SingleList == 1, data_.SizeMode == 0, i, j, st.sourceWidth, st.sourceHeight,
                         st.targetWidth, st.targetHeight))
                continue;
        }
        if (!g.source[r]) g.source[r] = &Signature(0, i, g.owned[r]);
        const auto bit = static_cast<std::uint16_t>(1u << r);
        g.scored[j] |= bit;
        if (ScoreReaches(*g.source[r], target, st.need)) g.match[j] |= bit;
    }
}

// ---- scoring on workers

// From pair (i, j) on, the run of pairs that the loop would only count:
// pairs that are skipped for their files, and pairs compared without
// reaching the threshold by the workers' answers. Counts the compared ones
// into CompCount; lastCompared is one past the last compared target (0 for
// none). Stops before anything the loop must look at pair by pair.
std::size_t TPairLoop::QuietPairs(std::size_t i, std::size_t j, std::size_t& lastCompared) {
    constexpr std::size_t kMaxRun = 2048;  // the clock is looked at between runs
    State& st = *state_;
    if (st.logRevision != log_.Revision() || st.logSource[st.sourcePath[i]]) return 0;
    const std::size_t first = i / kGroupRows * kGroupRows;
    const std::size_t slot = GroupSlot(first);
    State::Group& g = st.groups[slot];
    const auto bit = static_cast<std::uint16_t>(1u << (i - first));
    if ((g.rows & bit) == 0 || j < g.chunkStart) return 0;
    const State::Workers& w = *st.workers;
    const std::size_t c = (j - g.chunkStart) / w.chunkTargets;
    if (c >= g.chunks || g.chunkDone[c].load(std::memory_order_acquire) == 0) return 0;
    // Up to the end of this chunk, which is scored.
    const std::size_t end = std::min({st.targets, g.chunkStart + (c + 1) * w.chunkTargets, j + kMaxRun});
    const std::int32_t source = st.fileId[st.sourcePath[i]];
    const bool sameSize = data_.SizeMode == 0;
    std::size_t k = j;
    std::int64_t compared = 0;
    for (; k < end; ++k) {
        const std::int32_t target = st.fileId[st.targetPath[k]];
        if (source < 0 || target < 0 || target == source) continue;  // skipped, only counted
        if (sameSize && (st.sourceWidth[i] != st.targetWidth[k] || st.sourceHeight[i] != st.targetHeight[k])) break;
        if ((g.scored[k] & bit) == 0 || (g.match[k] & bit) != 0) break;
        ++compared;
        lastCompared = k + 1;
    }
    data_.CompCount += compared;
    return k - j;
}

void TPairLoop::StartWorkers() {
    State& st = *state_;
    const unsigned threads = WorkerThreads(data_.Threads);
    if (threads <= 1 || st.sources == 0 || st.targets == 0) return;
    // A loop of a few hundred thousand pairs ends in milliseconds on its own
    // thread; starting workers for it would cost more than they save.
    constexpr double kWorthWorkers = 1 << 20;
    const double pairs = static_cast<double>(st.sources) * static_cast<double>(st.targets);
    if (data_.Threads == 0 && pairs < kWorthWorkers) return;
    auto w = std::make_unique<State::Workers>();
    w->singleList = data_.SingleList == 1;
    w->sameSize = data_.SizeMode == 0;
    // Every target that some row may meet is read now, in list order, so
    // the workers find it in memory; one that does not fit the budget is
    // scored by the loop itself, read when met as before.
    std::vector<std::uint8_t> wanted(st.targets, w->sameSize ? 0 : 1);
    if (w->sameSize)
        for (std::size_t i = 0; i < st.sources; ++i) {
            auto it = st.targetsBySize.find(DimsKey(st.sourceWidth[i], st.sourceHeight[i]));
            if (it != st.targetsBySize.end())
                for (const std::size_t j : it->second) wanted[j] = 1;
        }
    for (std::size_t j = 0; j < st.targets; ++j) {
        if (!wanted[j]) continue;
        Signature(1, j, st.scratch);
        engine_.Pump().Tick();
        // The rest is read when met, so Stop and Pause act after the first
        // pair as before.
        if (data_.StopFlag == 1 || data_.PauseFlag == 1) break;
    }
    w->targets = st.targetResident;
    w->chunkTargets = std::clamp<std::size_t>(st.targets / (std::size_t{threads} * 8), 64, 2048);
    w->pool = std::make_unique<TWorkPool>(threads);
    st.workers = std::move(w);
}

void TPairLoop::StopWorkers() {
    State& st = *state_;
    if (!st.workers) return;
    State::Workers& w = *st.workers;
    for (State::Group& g : st.groups) g.cancel.store(true);
    {
        std::unique_lock<std::mutex> lock(w.mutex);
        w.changed.wait(lock, [&st] {
            return std::all_of(st.groups.begin(), st.groups.end(), [](const State::Group& g) { return g.active == 0; });
        });
    }
    w.pool.reset();
    st.workers.reset();
}

// Gives the group of rows from `first` to the workers in slot `slot`, once
// the tasks of the group that held it have ended.
void TPairLoop::GiveOut(std::size_t slot, std::size_t first) {
    State& st = *state_;
    State::Workers& w = *st.workers;
    State::Group& g = st.groups[slot];
    g.cancel.store(true);
    {
        std::unique_lock<std::mutex> lock(w.mutex);
        w.changed.wait(lock, [&g] { return g.active == 0; });
    }
    ResetGroup(slot, first);
    g.cancel.store(false);
    // The rows' signatures are read here, on the loop's thread.
    for (std::size_t r = 0; r < kGroupRows; ++r) {
        if (g.done[r]) continue;
        g.source[r] = &Signature(0, first + r, g.owned[r]);
        g.rows = static_cast<std::uint16_t>(g.rows | (1u << r));
    }
    if (g.rows == 0) return;
    g.chunkStart = w.singleList ? std::min(first + 1, st.targets) : 0;
    g.chunks = (st.targets - g.chunkStart + w.chunkTargets - 1) / w.chunkTargets;
    if (g.chunks == 0) return;
    g.chunkDone = std::make_unique<std::atomic<std::uint8_t>[]>(g.chunks);
    for (std::size_t c = 0; c < g.chunks; ++c) g.chunkDone[c].store(0, std::memory_order_relaxed);
    g.nextChunk.store(0);
    const unsigned tasks = static_cast<unsigned>(std::min<std::size_t>(w.pool->Size(), g.chunks));
    {
        std::lock_guard<std::mutex> lock(w.mutex);
        g.active = static_cast<int>(tasks);
    }
    for (unsigned t = 0; t < tasks; ++t) w.pool->Post([this, slot] { ScoreChunks(slot); });
}

// A worker's share of a group: chunks in order until none is left.
void TPairLoop::ScoreChunks(std::size_t slot) {
    State& st = *state_;
    State::Workers& w = *st.workers;
    State::Group& g = st.groups[slot];
    for (;;) {
        const std::size_t c = g.nextChunk.fetch_add(1);
        if (c >= g.chunks || g.cancel.load(std::memory_order_relaxed)) break;
        const std::size_t from = g.chunkStart + c * w.chunkTargets;
        const std::size_t to = std::min(st.targets, from + w.chunkTargets);
        try {
            for (std::size_t j = from; j < to; ++j) {
                const TCompactSignature* target = w.targets[j];
                if (!target) continue;  // scored by the loop when met
                std::uint16_t scored = 0, match = 0;
                for (std::size_t r = 0; r < kGroupRows; ++r) {
                    const auto bit = static_cast<std::uint16_t>(1u << r);
                    if ((g.rows & bit) == 0) continue;
                    if (!MayMeet(w.singleList, w.sameSize, g.first + r, j, st.sourceWidth, st.sourceHeight,
                                 st.targetWidth, st.targetHeight))
                        continue;
                    scored = static_cast<std::uint16_t>(scored | bit);
                    if (ScoreReaches(*g.source[r], *target, st.need)) match = static_cast<std::uint16_t>(match | bit);
                }
                g.scored[j] = scored;
                g.match[j] = match;
            }
        } catch (...) {
            // Unreachable in practice; the loop then scores the chunk itself.
        }
        g.chunkDone[c].store(1, std::memory_order_release);
        std::lock_guard<std::mutex> lock(w.mutex);
        w.changed.notify_all();
    }
    std::lock_guard<std::mutex> lock(w.mutex);
    --g.active;
    w.changed.notify_all();
}

// Waits until the chunk holding target j is scored, keeping the window
// alive on the time slice. False when Stop or Pause came meanwhile.
bool TPairLoop::AwaitChunk(std::size_t slot, std::size_t j) {
    State& st = *state_;
    State::Workers& w = *st.workers;
    State::Group& g = st.groups[slot];
    const std::size_t c = (j - g.chunkStart) / w.chunkTargets;
    if (c >= g.chunks) return true;
    if (g.chunkDone[c].load(std::memory_order_acquire) != 0) return true;
    std::unique_lock<std::mutex> lock(w.mutex);
    while (g.chunkDone[c].load(std::memory_order_acquire) == 0) {
        if (w.changed.wait_until(lock, st.lastSlice + kSlice) == std::cv_status::timeout) {
            lock.unlock();
            Slice(st.lastI, st.lastJ, false);
            if (data_.StopFlag == 1 || data_.PauseFlag == 1) return false;
            lock.lock();
        }
    }
    return true;
}

bool TPairLoop::DoHikaku(std::size_t i, std::size_t j, bool& rowMatched) {
    State& st = *state_;
    const bool match = Reaches(i, j);
    // Before a match is logged, make sure both files are still there.
    if (match) {
        RefreshIdentity(st.sourcePath[i]);
        RefreshIdentity(st.targetPath[j]);
        if (!PairPasses(i, j)) return false;
    }
    ++data_.CompCount;
    // The previews follow on the time slice.
    st.compared = true;
    st.comparedI = i;
    st.comparedJ = j;
    if (match) {
        rowMatched = true;
        Found(i, j);
    }
    return true;
}

void TPairLoop::ShowPreviews(std::size_t i, std::size_t j) {
    const std::string& source = data_.SourceFiles.Strings(i);
    const std::string& target = data_.TargetFiles.Strings(j);
    IRunView& view = engine_.View();
    if (data_.Preview == 1) {
        try {
            if (data_.PrevSrcName != source || data_.PrevShown == 0) {
                auto picture = hooks_.LoadPreview(source);
                view.ShowPreview(0, picture.get(), source);
                data_.PrevSrcName = source;
            }
            if (data_.PrevTgtName != target || data_.PrevShown == 0) {
                auto picture = hooks_.LoadPreview(target);
                view.ShowPreview(1, picture.get(), target);
                data_.PrevTgtName = target;
            }
        } catch (const std::exception&) {
            // A preview that fails to show does not concern the run.
        }
    }
    data_.PrevShown = data_.Preview;
}

// Labels, previews and window messages, on the time slice or when forced.
void TPairLoop::Slice(std::size_t i, std::size_t j, bool force) {
    State& st = *state_;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - st.lastSlice < kSlice) return;
    if (st.visited) status_.SetLabel(i, j);
    if (st.compared) {
        ShowPreviews(st.comparedI, st.comparedJ);
        st.compared = false;
    }
    engine_.Pump().Now();
    st.lastSlice = std::chrono::steady_clock::now();
}

void TPairLoop::Found(std::size_t i, std::size_t j) {
    State& st = *state_;
    ++data_.FindCount;
    Slice(i, j, true);
    if (data_.DoFindSound == 1 && FileExists(data_.FindSound)) PlayWave(data_.FindSound, true);
    DoSyori(i, j);
    // The hand-over may have moved or removed either file.
    RefreshIdentity(st.sourcePath[i]);
    RefreshIdentity(st.targetPath[j]);
}

void TPairLoop::DoSyori(std::size_t source, std::size_t target) {
    log_.Add(MakeLogRow(data_.SourceFiles[source], data_.TargetFiles[target]));
    const std::size_t row = log_.Count() - 1;
    // Keep the loop's log lookup in step without rebuilding it.
    if (state_ && source < state_->sourcePath.size() && state_->logRevision + 1 == log_.Revision() &&
        state_->sourcePath[source] < state_->logSource.size()) {
        state_->logSource[state_->sourcePath[source]] = 1;
        state_->logRevision = log_.Revision();
    }
    if ((data_.SyoriMode == 0 || data_.SyoriMode == 2) && handOver_) {
        // The handler's answer may clear the stop request; one made before
        // the hand-over (while the window processed messages) still counts.
        const bool stopBefore = data_.StopFlag == 1;
        std::string text = handOver_->HandOverPair(source, target);
        if (stopBefore) data_.StopFlag = 1;
        const bool inStep = state_ && state_->logRevision == log_.Revision();
        log_.SetResult(row, std::move(text));
        if (inStep) state_->logRevision = log_.Revision();
    }
}

void TPairLoop::RecordRow(std::size_t i) {
    data_.JyochyuList.Add(data_.SourceFiles.Strings(i));
    engine_.View().SetCaption("Orvalis - " + ExtractFileName(data_.PrjFileName) + " " +
                              std::to_string(data_.JyochyuList.Count()) + kProgressRecordedSuffix);
    data_.ProjectChanged = 1;
}

void TPairLoop::RunRow(std::size_t i) {
    State& st = *state_;
    bool rowMatched = false;
    std::size_t j = data_.SingleList == 1 ? i + 1 : 0;

    const std::vector<std::size_t>* sameSize = nullptr;
    std::size_t cursor = 0;
    if (data_.SizeMode == 0) {
        auto it = st.targetsBySize.find(DimsKey(st.sourceWidth[i], st.sourceHeight[i]));
        if (it != st.targetsBySize.end()) sameSize = &it->second;
    }

    while (j < st.targets) {
        if (--st.countdown <= 0) {
            st.countdown = clockStride_;
            Slice(st.lastI, st.lastJ, false);
        }
        // Equal-size mode: pairs of other sizes are only counted, so they
        // are counted in one step, unless a pause or stop waits for the
        // next pair.
        if (data_.SizeMode == 0 && data_.StopFlag == 0 && data_.PauseFlag != 1) {
            std::size_t next = st.targets;
            if (sameSize) {
                while (cursor < sameSize->size() && (*sameSize)[cursor] < j) ++cursor;
                if (cursor < sameSize->size()) next = (*sameSize)[cursor];
            }
            if (next > j) {
                const std::int64_t before = data_.LoopCount;
                data_.LoopCount += static_cast<std::int64_t>(next - j);
                status_.Advanced(before);
                st.visited = true;
                st.lastI = i;
                st.lastJ = next - 1;
                j = next;
                continue;
            }
        }

        // Pairs the workers found below the threshold are counted in runs.
        if (st.workers && data_.StopFlag == 0 && data_.PauseFlag != 1) {
            std::size_t lastCompared = 0;
            const std::size_t quiet = QuietPairs(i, j, lastCompared);
            if (quiet > 0) {
                const std::int64_t before = data_.LoopCount;
                data_.LoopCount += static_cast<std::int64_t>(quiet);
                status_.Advanced(before);
                st.visited = true;
                st.lastI = i;
                st.lastJ = j + quiet - 1;
                if (lastCompared > 0) {
                    st.compared = true;
                    st.comparedI = i;
                    st.comparedJ = lastCompared - 1;
                }
                st.countdown -= static_cast<int>(quiet / 16);
                j += quiet;
                continue;
            }
        }

        const std::int64_t before = data_.LoopCount++;
        if (data_.LoopCount % 100 == 0) status_.Advanced(before);
        st.visited = true;
        st.lastI = i;
        st.lastJ = j;

        if (PairPasses(i, j)) {
            bool passes = true;
            if (!CheckLogFast(i, j) &&
                (data_.SizeMode != 0 ||
                 (st.sourceWidth[i] == st.targetWidth[j] && st.sourceHeight[i] == st.targetHeight[j])))
                passes = DoHikaku(i, j, rowMatched);
            if (passes) {
                if (data_.StopFlag == 1) break;
                if (data_.PauseFlag == 1) {
                    Slice(i, j, true);
                    engine_.PauseWait();
                }
                if (rowMatched && data_.OneEnd == 1) break;
            }
        }
        ++j;
    }
}

void TPairLoop::HikakuMain() {
    IRunView& view = engine_.View();
    Prepare();
    State& st = *state_;
    view.SetGaugeMax(static_cast<std::int64_t>(st.sources));
    data_.StartTime = Now();
    status_.Start();
    // The workers are stopped on every way out, before the state goes.
    struct WorkersGuard {
        TPairLoop& loop;
        ~WorkersGuard() { loop.StopWorkers(); }
    } workersGuard{*this};
    StartWorkers();

    for (std::size_t i = 0; i < st.sources; ++i) {
        view.SetGaugePosition(static_cast<std::int64_t>(i) + 1);
        const bool done = CheckEndList(data_.SourceFiles.Strings(i));
        if (!done) RunRow(i);
        Slice(st.lastI, st.lastJ, false);
        if (!done) RecordRow(i);
        if (data_.StopFlag == 1) break;
    }
    // The labels end showing the last pair visited with the final counts.
    if (st.visited) status_.SetLabel(st.lastI, st.lastJ);
    StopWorkers();

    // The signatures' memory goes with the run; the figure stays for callers.
    const std::size_t bytes = st.storeBytes;
    state_ = std::make_unique<State>(data_.Par);
    state_->storeBytes = bytes;
}

}  // namespace orv
