#include "search/engine/pair_loop.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <string_view>
#include <unordered_map>

#include "platform/base/datetime.h"
#include "platform/base/file_system.h"
#include "platform/base/paths.h"
#include "platform/base/program_files.h"
#include "platform/base/sound.h"
#include "platform/graphics/picture_loader.h"
#include "search/engine/pair_scorer.h"
#include "search/engine/run_engine.h"
#include "search/engine/run_status.h"
#include "search/engine/signature_cache.h"
#include "search/engine/work_pool.h"

namespace orv {

namespace {

constexpr std::chrono::milliseconds kSlice{20};
// The previews' pictures are loaded freely until they have taken this long,
// then on at most 1/kPreviewShare of the loop's time: a large picture takes
// longer to load than a slice of comparing, so loading one in every slice
// would slow the run down several times.
constexpr std::chrono::milliseconds kPreviewAllowance{5};
constexpr int kPreviewShare = 20;

TFileIdentity StatIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return {};
    return TFileIdentity{true, static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace

// What the scorer asks of the loop: the progress record, and the window's
// time while it reads or waits.
class TPairLoop::Host : public IScoringHost {
public:
    explicit Host(TPairLoop& loop) : loop_(loop) {}
    bool RowDone(std::size_t i) override { return loop_.CheckEndList(loop_.data_.SourceFiles.Strings(i)); }
    bool Tick() override {
        loop_.engine_.Pump().Tick();
        return !Interrupted();
    }
    std::chrono::steady_clock::time_point NextSlice() const override;
    bool Slice() override;

private:
    bool Interrupted() const { return loop_.data_.StopFlag == 1 || loop_.data_.PauseFlag == 1; }
    TPairLoop& loop_;
};

// The loop's state for one run.
struct TPairLoop::State {
    explicit State(TPairLoop& loop)
        : lists(loop.data_.SourceFiles, loop.data_.TargetFiles, loop.data_.SizeMode == TSizeMode::SameSize),
          signatures(loop.data_.SourceFiles, loop.data_.TargetFiles, loop.SignatureBudget(), loop.hooks_.LoadSignature,
                     // Reading a file is slow: look at the clock after this pair.
                     [&loop] { loop.state_->countdown = 1; }),
          host(loop),
          scorer(lists, signatures, host, loop.data_.Par, loop.data_.SingleList == 1,
                 loop.data_.SizeMode == TSizeMode::SameSize) {}

    TPairLists lists;
    TSignatureCache signatures;
    Host host;
    TPairScorer scorer;

    // Path ids that are the source of some log row, and the target path
    // ids of the rows of each such source.
    std::vector<std::uint8_t> logSource;
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> logTargets;
    // Target indices by path id: the first, then the next of the same path.
    std::vector<std::uint32_t> firstTarget, nextTarget;
    // The targets of the row in hand that a log row pairs with its source,
    // ascending, for that row and log revision.
    std::vector<std::size_t> rowLogged;
    std::size_t rowLoggedFor = SIZE_MAX;
    std::uint64_t rowLoggedRevision = 0;
    // Path ids whose unreadable signature the run log has named.
    std::vector<std::uint8_t> unreadableNamed;
    std::uint64_t logRevision = 0;

    std::chrono::steady_clock::time_point lastSlice, loopStart;
    std::chrono::steady_clock::duration previewTime{};  // spent loading previews
    int countdown = 0;
    bool visited = false, compared = false;
    std::size_t lastI = 0, lastJ = 0, comparedI = 0, comparedJ = 0;
};

std::chrono::steady_clock::time_point TPairLoop::Host::NextSlice() const {
    return loop_.state_->lastSlice + kSlice;
}

bool TPairLoop::Host::Slice() {
    loop_.Slice(loop_.state_->lastI, loop_.state_->lastJ, false);
    return !Interrupted();
}

TPairLoop::TPairLoop(TRunEngine& engine, TRunLog& log, TRunStatus& status, IPairHandOver* handOver)
    : engine_(engine), data_(engine.Data()), log_(log), status_(status), handOver_(handOver) {
    SetHooks({});
}

TPairLoop::~TPairLoop() = default;

void TPairLoop::SetHooks(TPairLoopHooks hooks) {
    hooks_ = std::move(hooks);
    if (!hooks_.Identify) hooks_.Identify = StatIdentity;
    if (!hooks_.LoadSignature) {
        hooks_.LoadSignature = [this](int side, std::size_t index) {
            const TFileList& list = data_.WorkList(side);
            return engine_.LoadCompactSignature(list.Strings(index), list.Objects(index).get());
        };
    }
    if (!hooks_.LoadPreview) {
        hooks_.LoadPreview = [this](const std::string& path) -> std::unique_ptr<TBitmap> {
            auto bitmap = std::make_unique<TBitmap>();
            const TPreviewBox box = engine_.View().PreviewBox();
            if (!LoadPictureToFit(path, *bitmap, box.Width, box.Height)) return nullptr;
            return bitmap;
        };
    }
}

bool TPairLoop::CheckEndList(const std::string& path) const { return data_.JyochyuList.Contains(path); }

std::size_t TPairLoop::SignatureBytes() const { return state_ ? state_->signatures.Bytes() : signatureBytes_; }

std::size_t TPairLoop::SignatureBudget() const { return orv::SignatureBudget(data_.Chach); }

void TPairLoop::Prepare() {
    changedLogged_.clear();
    state_ = std::make_unique<State>(*this);
    State& st = *state_;
    // Existence and identity once per file, as the collection's look found
    // them; a match and a hand-over look again.
    std::vector<std::uint8_t> known(st.lists.Paths(), 0);
    auto identify = [&](std::uint32_t id, const TSTitemsPtr& record) {
        if (known[id]) return;
        known[id] = 1;
        if (record && record->Stamp.Known)
            st.lists.SetIdentity(id, TFileIdentity{true, record->Stamp.Device, record->Stamp.Inode});
        else
            RefreshIdentity(id);
    };
    for (std::size_t i = 0; i < st.lists.Sources(); ++i) identify(st.lists.SourcePath(i), data_.SourceFiles.Objects(i));
    for (std::size_t j = 0; j < st.lists.Targets(); ++j) identify(st.lists.TargetPath(j), data_.TargetFiles.Objects(j));
    // The signatures the collection read, and the memory cache's, move into
    // the loop's.
    TRunEngine::TKeptSignatures kept = engine_.TakeKeptSignatures();
    if (!data_.ChachItems.empty() || !kept.empty()) {
        st.signatures.Adopt(
            [this](TBitmap& bitmap, const std::string& path) { return engine_.GetChach(bitmap, path); },
            [&kept](const TSTitems* record, TCompactSignature& signature) {
                const auto it = kept.find(record);
                if (it == kept.end()) return false;
                signature = std::move(it->second.second);
                kept.erase(it);
                return true;
            });
        engine_.FreeChach();
    }
    st.logRevision = log_.Revision() - 1;  // built at the first look
    st.unreadableNamed.assign(st.lists.Paths(), 0);
    st.lastSlice = st.loopStart = std::chrono::steady_clock::now();
    st.countdown = kClockStride;
}

bool TPairLoop::RefreshIdentity(std::uint32_t pathId) {
    TPairLists& lists = state_->lists;
    return lists.SetIdentity(pathId, hooks_.Identify(lists.PathText(pathId)));
}

// The log's pairs by path id, rebuilt when the log changed behind the loop.
void TPairLoop::IndexLog() {
    State& st = *state_;
    if (st.logRevision == log_.Revision()) return;
    st.logSource.assign(st.lists.Paths(), 0);
    st.logTargets.clear();
    std::unordered_map<std::string_view, std::uint32_t> ids;
    for (std::uint32_t id = 0; id < st.lists.Paths(); ++id) ids.emplace(st.lists.PathText(id), id);
    for (const TLogRowView row : log_.Rows()) {
        auto source = ids.find(row[kLogSourcePath]);
        auto target = ids.find(row[kLogTargetPath]);
        if (source == ids.end() || target == ids.end()) continue;
        st.logSource[source->second] = 1;
        st.logTargets[source->second].push_back(target->second);
    }
    st.logRevision = log_.Revision();
}

bool TPairLoop::CheckLogList(std::size_t i, std::size_t j) {
    State& st = *state_;
    IndexLog();
    const std::uint32_t source = st.lists.SourcePath(i);
    if (!st.logSource[source]) return false;
    const std::vector<std::uint32_t>& targets = st.logTargets[source];
    return std::find(targets.begin(), targets.end(), st.lists.TargetPath(j)) != targets.end();
}

// The target indices that the log pairs with row i's source, ascending.
const std::vector<std::size_t>& TPairLoop::RowLogged(std::size_t i) {
    State& st = *state_;
    if (st.rowLoggedFor == i && st.rowLoggedRevision == st.logRevision) return st.rowLogged;
    if (st.firstTarget.empty()) {
        st.firstTarget.assign(st.lists.Paths(), UINT32_MAX);
        st.nextTarget.assign(st.lists.Targets(), UINT32_MAX);
        for (std::size_t j = st.lists.Targets(); j-- > 0;) {
            std::uint32_t& first = st.firstTarget[st.lists.TargetPath(j)];
            st.nextTarget[j] = first;
            first = static_cast<std::uint32_t>(j);
        }
    }
    st.rowLogged.clear();
    for (const std::uint32_t path : st.logTargets[st.lists.SourcePath(i)])
        for (std::uint32_t j = st.firstTarget[path]; j != UINT32_MAX; j = st.nextTarget[j]) st.rowLogged.push_back(j);
    std::sort(st.rowLogged.begin(), st.rowLogged.end());
    st.rowLoggedFor = i;
    st.rowLoggedRevision = st.logRevision;
    return st.rowLogged;
}

// From pair (i, j) on, the run of pairs that the loop would only count:
// pairs that are skipped for their files, and pairs compared without
// reaching the threshold by the workers' answers. Counts the compared ones
// into CompCount; lastCompared is one past the last compared target (0 for
// none). Stops before anything the loop must look at pair by pair.
std::size_t TPairLoop::QuietPairs(std::size_t i, std::size_t j, std::size_t& lastCompared) {
    constexpr std::size_t kMaxRun = 2048;  // the clock is looked at between runs
    State& st = *state_;
    IndexLog();
    // Pairs the log holds already are only counted.
    const std::vector<std::size_t>* logged = st.logSource[st.lists.SourcePath(i)] ? &RowLogged(i) : nullptr;
    std::size_t nextLogged = SIZE_MAX;
    std::size_t cursor = 0;
    if (logged) {
        cursor = static_cast<std::size_t>(std::lower_bound(logged->begin(), logged->end(), j) - logged->begin());
        if (cursor < logged->size()) nextLogged = (*logged)[cursor];
    }
    const TPairScorer::TAnswers answers = st.scorer.Ready(i, j);
    const std::size_t end = std::min(answers.end, j + kMaxRun);
    const bool sameSize = data_.SizeMode == TSizeMode::SameSize;
    // An unreadable signature is named when its first pair is compared.
    const bool unreadable = st.signatures.AnyFailed();
    const std::uint16_t* scored = answers.scored;
    const std::uint16_t* match = answers.match;
    const std::uint16_t bit = answers.bit;
    std::size_t k = j;
    std::int64_t compared = 0;
    std::size_t last = 0;  // one past the last compared target
    if (!logged && !sameSize && !unreadable) {
        // The common case, kept tight: it walks every pair of a large run.
        const std::int32_t source = st.lists.SourceFile(i);
        for (; k < end; ++k) {
            const std::int32_t target = st.lists.TargetFile(k);
            if (source < 0 || target < 0 || target == source) continue;  // skipped, only counted
            if ((scored[k] & bit) == 0 || (match[k] & bit) != 0) break;
            ++compared;
            last = k + 1;
        }
        data_.CompCount += compared;
        if (last > 0) lastCompared = last;
        return k - j;
    }
    for (; k < end; ++k) {
        bool inLog = false;
        if (k >= nextLogged) {
            while (cursor < logged->size() && (*logged)[cursor] < k) ++cursor;
            inLog = cursor < logged->size() && (*logged)[cursor] == k;
            nextLogged = cursor < logged->size() ? (*logged)[cursor] : SIZE_MAX;
        }
        if (!st.lists.PairPasses(i, k) || inLog) continue;  // skipped, only counted
        if (sameSize && !st.lists.SameSize(i, k)) break;
        if ((scored[k] & bit) == 0 || (match[k] & bit) != 0) break;
        if (unreadable && UnreadableUnnamed(i, k)) break;
        ++compared;
        last = k + 1;
    }
    data_.CompCount += compared;
    if (last > 0) lastCompared = last;
    return k - j;
}

bool TPairLoop::UnreadableUnnamed(std::size_t i, std::size_t j) const {
    const State& st = *state_;
    return (st.signatures.Failed(0, i) && !st.unreadableNamed[st.lists.SourcePath(i)]) ||
           (st.signatures.Failed(1, j) && !st.unreadableNamed[st.lists.TargetPath(j)]);
}

// A pair is never taken as "no match" in silence for a signature that
// could not be read: the log names each such picture once.
void TPairLoop::NameUnreadable(std::size_t i, std::size_t j) {
    State& st = *state_;
    auto name = [&](bool failed, std::uint32_t pathId) {
        if (!failed || st.unreadableNamed[pathId]) return;
        st.unreadableNamed[pathId] = 1;
        engine_.View().AppendLog(st.lists.PathText(pathId) + kSignatureUnreadableSuffix);
    };
    name(st.signatures.Failed(0, i), st.lists.SourcePath(i));
    name(st.signatures.Failed(1, j), st.lists.TargetPath(j));
}

bool TPairLoop::FazzyComp(std::size_t i, std::size_t j) { return state_->scorer.Reaches(i, j); }

bool TPairLoop::DoHikaku(std::size_t i, std::size_t j, bool& rowMatched) {
    State& st = *state_;
    const bool match = FazzyComp(i, j);
    if (st.signatures.AnyFailed()) NameUnreadable(i, j);
    // Before a match is logged, make sure both files are still there.
    if (match) {
        RefreshIdentity(st.lists.SourcePath(i));
        RefreshIdentity(st.lists.TargetPath(j));
        if (!st.lists.PairPasses(i, j)) return false;
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
        // Over its share of the time, the previews keep the pair they show.
        State& st = *state_;
        const auto start = std::chrono::steady_clock::now();
        if (st.previewTime > kPreviewAllowance && st.previewTime * kPreviewShare > start - st.loopStart) return;
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
        st.previewTime += std::chrono::steady_clock::now() - start;
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
    // A hand-over may have moved or removed either file.
    if (DoSyori(i, j)) {
        RefreshIdentity(st.lists.SourcePath(i));
        RefreshIdentity(st.lists.TargetPath(j));
    }
}

bool TPairLoop::DoSyori(std::size_t source, std::size_t target) {
    log_.Add(MakeLogRow(data_.SourceFiles[source], data_.TargetFiles[target]));
    const std::size_t row = log_.Count() - 1;
    // Keep the loop's log lookup in step without rebuilding it.
    if (state_ && source < state_->lists.Sources() && target < state_->lists.Targets() &&
        state_->logRevision + 1 == log_.Revision() && state_->lists.SourcePath(source) < state_->logSource.size()) {
        const std::uint32_t path = state_->lists.SourcePath(source);
        state_->logSource[path] = 1;
        state_->logTargets[path].push_back(state_->lists.TargetPath(target));
        state_->logRevision = log_.Revision();
    }
    if ((data_.SyoriMode == TSyoriMode::Automatic || data_.SyoriMode == TSyoriMode::EachPair) && handOver_ &&
        StillAsCompared(source, target)) {
        // The handler's answer may clear the stop request; one made before
        // the hand-over (while the window processed messages) still counts.
        const bool stopBefore = data_.StopFlag == 1;
        const std::uint64_t asked = log_.Revision();
        std::string text = handOver_->HandOverPair(source, target);
        if (stopBefore) data_.StopFlag = 1;
        // The answer belongs to the row it was asked for: a log changed
        // meanwhile may hold another pair under that row now.
        if (log_.Revision() == asked) {
            const bool inStep = state_ && state_->logRevision == log_.Revision();
            log_.SetResult(row, std::move(text));
            if (inStep) state_->logRevision = log_.Revision();
        }
        return true;
    }
    return false;
}

bool TPairLoop::StillAsCompared(std::size_t source, std::size_t target) {
    bool same = true;
    for (const TFileList::Entry* entry : {&data_.SourceFiles[source], &data_.TargetFiles[target]}) {
        if (!entry->Item || !entry->Item->Stamp.Known) continue;
        if (SameStamp(entry->Item->Stamp, ReadFileStamp(entry->Path))) continue;
        same = false;
        if (changedLogged_.insert(entry->Path).second) engine_.View().AppendLog(entry->Path + kChangedSinceCompared);
    }
    return same;
}

void TPairLoop::RecordRow(std::size_t i) {
    data_.JyochyuList.Add(data_.SourceFiles.Strings(i));
    engine_.View().SetCaption("Orvalis - " + ExtractFileName(data_.PrjFileName) + " " +
                              std::to_string(data_.JyochyuList.Count()) + kProgressRecordedSuffix);
    data_.ProjectChanged = 1;
}

// Counts `pairs` pairs of row i from target j on as visited; the labels
// then show the last of them.
void TPairLoop::Visit(std::size_t i, std::size_t j, std::size_t pairs) {
    State& st = *state_;
    const std::int64_t before = data_.LoopCount;
    data_.LoopCount += static_cast<std::int64_t>(pairs);
    status_.Advanced(before);
    st.visited = true;
    st.lastI = i;
    st.lastJ = j + pairs - 1;
}

void TPairLoop::RunRow(std::size_t i) {
    State& st = *state_;
    bool rowMatched = false;
    std::size_t j = data_.SingleList == 1 ? i + 1 : 0;

    const std::size_t targets = st.lists.Targets();
    const std::vector<std::size_t>* sameSize =
        data_.SizeMode == TSizeMode::SameSize ? st.lists.TargetsOfSize(i) : nullptr;
    std::size_t cursor = 0;

    while (j < targets) {
        if (--st.countdown <= 0) {
            st.countdown = kClockStride;
            Slice(st.lastI, st.lastJ, false);
        }
        // Equal-size mode: pairs of other sizes are only counted, so they
        // are counted in one step, unless a pause or stop waits for the
        // next pair.
        if (data_.SizeMode == TSizeMode::SameSize && data_.StopFlag == 0 && data_.PauseFlag != 1) {
            std::size_t next = targets;
            if (sameSize) {
                while (cursor < sameSize->size() && (*sameSize)[cursor] < j) ++cursor;
                if (cursor < sameSize->size()) next = (*sameSize)[cursor];
            }
            if (next > j) {
                Visit(i, j, next - j);
                j = next;
                continue;
            }
        }

        // Pairs the workers found below the threshold are counted in runs.
        if (st.scorer.HasWorkers() && data_.StopFlag == 0 && data_.PauseFlag != 1) {
            std::size_t lastCompared = 0;
            const std::size_t quiet = QuietPairs(i, j, lastCompared);
            if (quiet > 0) {
                Visit(i, j, quiet);
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

        Visit(i, j, 1);

        if (st.lists.PairPasses(i, j)) {
            bool passes = true;
            if (!CheckLogList(i, j) && (data_.SizeMode != TSizeMode::SameSize || st.lists.SameSize(i, j)))
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
    const std::size_t sources = st.lists.Sources();
    view.SetGaugeMax(static_cast<std::int64_t>(sources));
    data_.StartTime = Now();
    status_.Start();
    // The workers are stopped on every way out, before the state goes.
    struct WorkersGuard {
        TPairLoop& loop;
        ~WorkersGuard() {
            if (loop.state_) loop.state_->scorer.StopWorkers();
        }
    } workersGuard{*this};
    st.scorer.StartWorkers(WorkerThreads(data_.Threads), data_.Threads != 0);

    for (std::size_t i = 0; i < sources; ++i) {
        view.SetGaugePosition(static_cast<std::int64_t>(i) + 1);
        const bool done = CheckEndList(data_.SourceFiles.Strings(i));
        if (!done) RunRow(i);
        Slice(st.lastI, st.lastJ, false);
        if (!done) RecordRow(i);
        if (data_.StopFlag == 1) break;
    }
    // The labels end showing the last pair visited with the final counts.
    if (st.visited) status_.SetLabel(st.lastI, st.lastJ);
    st.scorer.StopWorkers();

    // The signatures' memory goes with the run; the figure stays for callers.
    signatureBytes_ = st.signatures.Bytes();
    state_.reset();
}

}  // namespace orv
