// File collection: the counting and collecting passes over the two lists,
// the folder walk, the handling of one file and the identical-lists test.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <unordered_set>

#include "platform/base/datetime.h"
#include "platform/base/file_handle.h"
#include "platform/base/file_system.h"
#include "platform/base/paths.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/memory_budget.h"
#include "search/engine/image_utils.h"
#include "search/engine/path_admission.h"
#include "search/engine/run_engine.h"
#include "search/engine/signature_cache.h"
#include "search/engine/signature_index.h"
#include "search/engine/work_pool.h"

namespace orv {

// One entry of a folder as the walk needs it, mostly from the listing's own
// entry type: a stat only for links and file systems that give no type.
struct TWalkEntry {
    std::string Name;
    bool IsDir = false;      // a folder, not a link to one
    bool LinkToDir = false;  // a link that leads to a folder
    bool IsFile = false;     // a regular file, not a link to one
};

// The folders one collection has read, so each is read once for both
// sides and both passes.
struct TRunEngine::TFolderListings {
    std::unordered_map<std::string, std::vector<TWalkEntry>> byFolder;
};

namespace {

constexpr char kNoFilesText[] = "：比較元または対象にひとつもファイルが存在しません";
constexpr char kUnreadableText[] = "は正常に読み込めませんでした";
constexpr char kNoSizeText[] = "のサイズ取得に失敗しました";
constexpr char kWorkFolderText[] = "：作業フォルダに書き込めません";

// Signature writes that may wait behind the walk; each holds a signature
// file's bytes and the signature.
constexpr std::size_t kMaxPendingStores = 64;
// Kept signatures a worker reads in one task.
constexpr std::size_t kReadBatch = 16;

struct TDirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// The entries of folder but "." and "..", sorted by name (byte order).
bool ListWalkFolder(const std::string& folder, std::vector<TWalkEntry>& out) {
    out.clear();
    std::unique_ptr<DIR, TDirCloser> dir(::opendir(folder.c_str()));
    if (!dir) return false;
    const int dfd = ::dirfd(dir.get());
    while (true) {
        errno = 0;
        const dirent* e = ::readdir(dir.get());
        if (!e) {
            if (errno != 0) return false;
            break;
        }
        const std::string_view name(e->d_name);
        if (name == "." || name == "..") continue;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st {};
            // An entry that vanished meanwhile is left out.
            if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            type = static_cast<unsigned char>(IFTODT(st.st_mode));
        }
        TWalkEntry entry;
        entry.Name = name;
        if (type == DT_LNK) {
            struct stat target {};
            entry.LinkToDir = ::fstatat(dfd, e->d_name, &target, 0) == 0 && S_ISDIR(target.st_mode);
        } else {
            entry.IsDir = type == DT_DIR;
            entry.IsFile = type == DT_REG;
        }
        out.push_back(std::move(entry));
    }
    std::sort(out.begin(), out.end(), [](const TWalkEntry& a, const TWalkEntry& b) { return a.Name < b.Name; });
    return true;
}

// Looks at (lstat) the regular files of a folder's entries that lookAt
// names, through the folder, which spares looking each one up by its whole
// path; looks[i] is entry i's, st_nlink 0 where none was taken.
void LookAtFiles(const std::string& folder, const std::vector<TWalkEntry>& entries,
                 const std::function<bool(std::string_view name)>& lookAt, std::vector<struct stat>& looks) {
    looks.assign(entries.size(), {});
    const TFileHandle dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.Valid()) return;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].IsFile || !lookAt(entries[i].Name)) continue;
        if (::fstatat(dir.Get(), entries[i].Name.c_str(), &looks[i], AT_SYMLINK_NOFOLLOW) != 0) looks[i] = {};
    }
}

}  // namespace

void TRunEngine::PauseWait() {
    while (data_.PauseFlag == 1) {
        view_.StopAnimation();
        pump_.Now();
        view_.Sleep(500);
        if (data_.StopFlag == 1) {
            data_.PauseFlag = 0;
            break;
        }
    }
}

void TRunEngine::LogEvent(const std::string& text) { view_.AppendLog(DateTimeToStr(Now()) + text); }

bool TRunEngine::CheckTaiouFileType(std::string_view path) const {
    // Asked of every entry of every folder walked: no copy of the name.
    const std::size_t slash = path.rfind(PathDelim);
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return false;
    const std::string_view ext = path.substr(dot);
    // The supported extensions are lower case: the name's matches ignoring ASCII case.
    return std::any_of(data_.TaiouExts.begin(), data_.TaiouExts.end(),
                       [ext](const std::string& taiou) { return SameTextAscii(ext, taiou); });
}

void TRunEngine::ReportWorkFolderFailure() {
    LogEvent(kWorkFolderText + SignatureFolder());
    // Every further picture would fail alike, and a run over the pictures
    // collected so far would record its source rows as done.
    data_.StopFlag = 1;
}

bool TRunEngine::IsOwnWorkFile(const std::string& path) const {
    if (IsWorkFileName(ExtractFileName(path))) return true;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
    const std::unique_ptr<char, decltype(&std::free)> target(::realpath(path.c_str(), nullptr), &std::free);
    return target && IsWorkFileName(ExtractFileName(target.get()));
}

bool TRunEngine::StatPicture(const std::string& path, struct stat& st) const {
    if (::lstat(path.c_str(), &st) != 0) return false;
    const bool link = S_ISLNK(st.st_mode);
    if (link && ::stat(path.c_str(), &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) return false;
    // A signature file would match its own picture.
    return link ? !IsOwnWorkFile(path) : !IsWorkFileName(ExtractFileName(path));
}

void TRunEngine::GetFileListMain() {
    data_.FileCount = {0, 0};
    runNumbers_.clear();
    workFolderFailed_ = false;
    kept_.clear();
    keptBytes_ = 0;
    keptBudget_ = SignatureBudget(data_.Chach);
    // Each folder is read once for both sides and both passes.
    TFolderListings listings;
    listings_ = &listings;
    struct TEndListings {
        TFolderListings*& listings;
        ~TEndListings() { listings = nullptr; }
    } endListings{listings_};

    // One pass over both sides; false when a stop ended it.
    auto pass = [&](int mode) -> bool {
        for (int side = 0; side < 2; ++side) {
            for (const std::string& entry : view_.ListEntries(side)) {
                pump_.Tick();
                if (IsDirectory(entry)) {
                    GetDirListOne(entry, side, mode);
                } else {
                    GetImageInfo(entry, side, mode);
                }
                if (data_.StopFlag == 1) return false;
                PauseWait();
            }
        }
        return true;
    };

    if (!pass(kModeCount)) return;
    if (data_.FileCount[0] == 0 || data_.FileCount[1] == 0) {
        LogEvent(kNoFilesText);
        return;
    }
    data_.FileNo = 0;
    view_.SetGaugeMax(static_cast<std::int64_t>(data_.FileCount[0]) + data_.FileCount[1] + 2);
    // The walk first, with one look at each file; its files are then
    // handled in walk order.
    listed_.clear();
    listed_.reserve(static_cast<std::size_t>(data_.FileCount[0]) + static_cast<std::size_t>(data_.FileCount[1]));
    listedPaths_.clear();
    // The index stays open for the records of this collection.
    struct TEnd {
        TRunEngine& engine;
        ~TEnd() {
            engine.CloseIndexAppend();
            engine.listedPaths_.clear();
        }
    } end{*this};
    if (!pass(kModeList)) {
        listed_.clear();
        return;
    }
    GetTempList([this](const std::string& path) { return listedPaths_.count(path) != 0; });
    CollectListed(WorkerThreads(data_.Threads));
}

// The work done ahead for one file: a worker reads the file's kept
// signature when it has candidates (Reused: the one whose file passed), and
// loads the picture when none passes; then it sets Done.
struct TRunEngine::TLoadJob {
    std::string Path;
    std::vector<TReuseCandidate> Candidates;
    std::size_t Reused = SIZE_MAX;  // TempList entry of the signature read
    TCompactSignature Kept;
    TPreparedSignature Prepared;
    bool Loaded = false;  // Prepared holds the picture's load
    bool Done = false;
    std::mutex Mutex;
    std::condition_variable Finished;
};

// One signature file and its index record for the writer; Number is its
// answer (-1: the work folder would not take them).
struct TRunEngine::TStoreJob {
    std::string Path;
    std::string Bytes;
    std::int64_t FileSize = 0;
    TDateTime FileDate = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    TFileStamp Stamp;
    std::int32_t Number = -1;
    std::uint64_t SignatureSum = 0;
    bool Done = false;
};

// The writer: one thread that stores the posted jobs in the order posted.
// After a failure it stores nothing more, as the one-thread collection ends
// at the file that failed.
class TRunEngine::TStoreQueue {
public:
    explicit TStoreQueue(TRunEngine& engine) : engine_(engine), thread_([this] { Run(); }) {}
    // Drops the jobs not yet started and waits for the one in hand.
    ~TStoreQueue() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ending_ = true;
            queue_.clear();
        }
        wake_.notify_all();
        thread_.join();
    }
    TStoreQueue(const TStoreQueue&) = delete;
    TStoreQueue& operator=(const TStoreQueue&) = delete;

    void Post(std::shared_ptr<TStoreJob> job) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(std::move(job));
        }
        wake_.notify_all();
    }
    // Whether job is done, waiting up to slice for it.
    bool Done(const TStoreJob& job, std::chrono::milliseconds slice) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (slice.count() <= 0) return job.Done;
        return done_.wait_for(lock, slice, [&job] { return job.Done; });
    }

private:
    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            wake_.wait(lock, [this] { return ending_ || !queue_.empty(); });
            if (ending_) return;
            const std::shared_ptr<TStoreJob> job = std::move(queue_.front());
            queue_.pop_front();
            std::int32_t number = -1;
            std::uint64_t sum = 0;
            if (!failed_) {
                lock.unlock();
                try {
                    number = engine_.StoreWithRecord(job->Path, job->Bytes, job->FileSize, job->FileDate, job->Width,
                                                     job->Height, job->Stamp, false, sum);
                } catch (...) {
                    number = -1;  // taken as the work folder's failure
                }
                lock.lock();
                failed_ = number < 0;
            }
            job->Number = number;
            job->SignatureSum = sum;
            job->Done = true;
            done_.notify_all();
        }
    }

    TRunEngine& engine_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::deque<std::shared_ptr<TStoreJob>> queue_;
    bool ending_ = false;
    bool failed_ = false;
    std::thread thread_;  // last: it starts with everything above in place
};

void TRunEngine::Effect(std::function<void()> effect) {
    if (pending_.empty()) {
        effect();
    } else {
        pending_.push_back(TPendingEffect{nullptr, std::move(effect)});
    }
}

void TRunEngine::AppendLogLine(const std::string& line) {
    Effect([this, line] { view_.AppendLog(line); });
}

void TRunEngine::AddToWorkList(int side, const std::string& path, TSTitemsPtr item) {
    if (pending_.empty()) {
        data_.WorkList(side).Add(path, std::move(item));
        return;
    }
    if (side == 0) pendingSources_.try_emplace(path, item);
    Effect([this, side, path, item] {
        data_.WorkList(side).Add(path, item);
        if (side == 0) {
            const auto it = pendingSources_.find(path);
            if (it != pendingSources_.end() && it->second == item) pendingSources_.erase(it);
        }
    });
}

bool TRunEngine::FlushStores(std::size_t keep) {
    while (!pending_.empty()) {
        TPendingEffect& front = pending_.front();
        if (front.Store) {
            const bool wait = pendingStores_ > keep;
            // The window stays alive while the writer catches up.
            while (!storeQueue_->Done(*front.Store, std::chrono::milliseconds(wait ? 10 : 0))) {
                if (!wait) return true;
                pump_.Tick();
            }
            --pendingStores_;
            if (front.Store->Number < 0) {
                // What the one-thread collection never reached is dropped.
                pending_.clear();
                pendingStores_ = 0;
                pendingSources_.clear();
                ReportWorkFolderFailure();
                return false;
            }
        }
        const std::function<void()> apply = std::move(front.Apply);
        pending_.pop_front();
        apply();
    }
    return true;
}

void TRunEngine::RunLoadJob(TLoadJob& job, TMemoryBudget& budget) const {
    std::size_t reused = SIZE_MAX;
    TCompactSignature kept;
    for (const TReuseCandidate& c : job.Candidates) {
        if (ReadKeptSignature(c, kept)) {
            reused = c.Entry;
            break;
        }
    }
    TPreparedSignature prepared;
    if (reused == SIZE_MAX) {
        TMemoryBudgetScope scope(budget);
        prepared = PrepareSignature(job.Path);
    }
    std::lock_guard<std::mutex> lock(job.Mutex);
    job.Reused = reused;
    job.Kept = std::move(kept);
    job.Prepared = std::move(prepared);
    job.Loaded = reused == SIZE_MAX;
    job.Done = true;
    job.Finished.notify_all();
}

void TRunEngine::CollectListed(unsigned threads) {
    const std::vector<TListedFile> files = std::move(listed_);
    listed_.clear();
    if (threads <= 1) {
        for (const TListedFile& f : files) {
            GetImageInfo(f.Path, f.Side, kModeCollect, false, &f.St);
            if (data_.StopFlag == 1) break;
            PauseWait();
        }
        return;
    }

    const std::uint64_t limit = memoryBudget_ > 0 ? memoryBudget_ : PhysicalMemoryBytes() / 4;
    TMemoryBudget budget(limit > 0 ? limit : std::uint64_t{1} << 30);
    std::vector<std::shared_ptr<TLoadJob>> jobs(files.size());
    {
        TStoreQueue stores(*this);
        TWorkPool pool(threads);
        // However the walk ends (a stop, a failure), the loads not started
        // are dropped and those in hand end at once when they wait for
        // memory, or finish unheeded; the pool then waits for them. The
        // writes waiting are dropped with the effects behind them.
        struct TEndLoads {
            TWorkPool& pool;
            TMemoryBudget& budget;
            std::shared_ptr<TLoadJob>& inHand;
            TRunEngine& engine;
            ~TEndLoads() {
                inHand.reset();
                engine.pending_.clear();
                engine.pendingStores_ = 0;
                engine.pendingSources_.clear();
                engine.storeQueue_ = nullptr;
                try {
                    budget.Cancel();
                    pool.DropQueued();
                } catch (...) {
                    // The pool's own end drops the queued loads as well.
                }
            }
        } endLoads{pool, budget, ahead_, *this};
        storeQueue_ = &stores;
        // Enough work in flight to keep every worker busy while the walk
        // stores the signatures that are ready. Kept signatures are read
        // kReadBatch to a task: each read takes far less than waking a
        // worker for it.
        const std::size_t window = std::size_t{threads} * kReadBatch * 2;
        static_assert(kReadBatch > 1);
        std::size_t posted = 0;
        std::vector<std::shared_ptr<TLoadJob>> batch;
        std::size_t batchFrom = 0;  // the file of the batch's first job
        auto post = [&] {
            if (batch.empty()) return;
            pool.Post([this, batch = std::move(batch), &budget] {
                for (const std::shared_ptr<TLoadJob>& job : batch) RunLoadJob(*job, budget);
            });
            batch.clear();
        };
        for (std::size_t k = 0; k < files.size(); ++k) {
            for (; posted < files.size() && posted < k + window; ++posted) {
                const TListedFile& f = files[posted];
                // A target that is also a source shares its record: no work.
                if (f.Side == 1 && files[listedPaths_.at(f.Path)].Side == 0) continue;
                auto job = std::make_shared<TLoadJob>();
                job->Path = f.Path;
                job->Candidates = ReuseCandidates(
                    f.Path, FileDateToDateTime(static_cast<std::int64_t>(f.St.st_mtime)), StampOf(f.St));
                jobs[posted] = job;
                // A picture to load goes alone, so loads spread over the workers.
                if (job->Candidates.empty()) post();
                if (batch.empty()) batchFrom = posted;
                batch.push_back(std::move(job));
                if (batch.size() == kReadBatch || batch.back()->Candidates.empty()) post();
            }
            // A batch is posted when full, or when the file in hand is in it.
            if (posted == files.size() || batchFrom <= k) post();
            if (!FlushStores(std::numeric_limits<std::size_t>::max())) break;
            ahead_ = jobs[k];
            GetImageInfo(files[k].Path, files[k].Side, kModeCollect, false, &files[k].St);
            ahead_.reset();
            jobs[k].reset();
            if (data_.StopFlag == 1) break;
            // A paused run shows everything handled so far.
            if (data_.PauseFlag == 1 && !DrainStores()) break;
            PauseWait();
        }
        DrainStores();
    }
}

void TRunEngine::GetDirListOne(const std::string& folder, int side, int mode) {
    const std::string base = IncludeTrailingPathDelimiter(folder);
    std::vector<TWalkEntry> own;
    const std::vector<TWalkEntry>* entries = &own;
    if (listings_) {
        const auto found = listings_->byFolder.find(base);
        if (found != listings_->byFolder.end()) {
            entries = &found->second;
        } else {
            if (!ListWalkFolder(folder, own)) return;
            entries = &listings_->byFolder.emplace(base, std::move(own)).first->second;
        }
    } else if (!ListWalkFolder(folder, own)) {
        return;
    }
    if (entries->empty()) return;
    // The listing pass looks at each picture; a target that is also a
    // source was looked at on the source side.
    std::vector<struct stat> looks;
    if (mode == kModeList)
        LookAtFiles(folder, *entries,
                    [&](std::string_view name) {
                        return CheckTaiouFileType(name) &&
                               listedPaths_.count(base + std::string(name)) == 0;
                    },
                    looks);
    for (std::size_t i = 0; i < entries->size(); ++i) {
        const TWalkEntry& entry = (*entries)[i];
        pump_.Tick();
        if (entry.IsDir) {
            // Linked folders are not entered: a link cycle would never end.
            if (data_.SubFolder == 1) GetDirListOne(base + entry.Name + PathDelim, side, mode);
        } else if (!entry.LinkToDir && CheckTaiouFileType(entry.Name)) {
            const bool looked = !looks.empty() && looks[i].st_nlink != 0;
            GetImageInfo(base + entry.Name, side, mode, entry.IsFile, looked ? &looks[i] : nullptr);
        }
        if (data_.StopFlag == 1) return;
        PauseWait();
    }
}

void TRunEngine::GetImageInfo(const std::string& path, int side, int mode, bool knownFile,
                              const struct stat* known) {
    if (!CheckTaiouFileType(path)) return;
    std::string caption;
    struct stat st {};
    if (mode == kModeList) {
        // The walk's one look at the file serves every later question; a
        // target that is also a source was looked at on the source side.
        const auto seen = listedPaths_.find(path);
        if (seen != listedPaths_.end()) {
            st = listed_[seen->second].St;
        } else if (known && S_ISREG(known->st_mode) && !IsWorkFileName(ExtractFileName(path))) {
            st = *known;
        } else if (!StatPicture(path, st)) {
            return;
        }
        listedPaths_.try_emplace(path, listed_.size());
        listed_.push_back(TListedFile{path, side, st});
        pump_.Tick();
        return;
    }
    if (mode == kModeCount) {
        // The walk has just seen the file; only its name is left to test.
        if (knownFile ? IsWorkFileName(ExtractFileName(path)) : !StatPicture(path, st)) return;
        const std::int32_t count = ++data_.FileCount[side == 0 ? 0 : 1];
        if (count % 10 == 0) {
            caption = "ファイル存在のチェック中 [" + std::to_string(count) + "] " + path;
            view_.SetLabelInfo(1, caption, caption);
        }
        pump_.Tick();
        return;
    }
    if (known) st = *known;
    else if (!StatPicture(path, st)) return;
    ++data_.FileNo;
    view_.SetGaugePosition(data_.FileNo);
    caption = "情報収集と一時ファイル作成中 [" + std::to_string(data_.FileNo) + "] " + path;
    view_.SetLabelInfo(1, caption, caption);
    pump_.Tick();

    if (!IsStorablePath(path)) {
        AppendLogLine(UnusablePathMessage(path));
        return;
    }

    // First: a target that is also a source shares the source's record.
    if (side == 1) {
        const std::ptrdiff_t index = data_.SourceFiles.IndexOf(path);
        if (index >= 0) {
            AddToWorkList(side, path, data_.SourceFiles.Objects(static_cast<std::size_t>(index)));
            return;
        }
        const auto waiting = pendingSources_.find(path);
        if (waiting != pendingSources_.end()) {
            AddToWorkList(side, path, waiting->second);
            return;
        }
    }
    CollectFile(path, side, st);
}

void TRunEngine::CollectFile(const std::string& path, int side, const struct stat& st) {
    const TDateTime fileDate = FileDateToDateTime(static_cast<std::int64_t>(st.st_mtime));
    const TFileStamp stamp = StampOf(st);
    // The work a worker did ahead for this file: wait for it, keeping the
    // window alive; a stop ends the collection without this file.
    const std::shared_ptr<TLoadJob> job = ahead_ && ahead_->Path == path ? ahead_ : nullptr;
    if (job) {
        std::unique_lock<std::mutex> lock(job->Mutex);
        while (!job->Finished.wait_for(lock, std::chrono::milliseconds(10), [&job] { return job->Done; })) {
            lock.unlock();
            pump_.Tick();
            if (data_.StopFlag == 1) return;
            lock.lock();
        }
    }
    // Second: a signature made by an earlier run of this very file, reused
    // when one read of its file shows it is the one written for the record.
    // The job's candidates are the ones of this look at the file.
    const std::vector<TReuseCandidate> candidates =
        job ? std::move(job->Candidates) : ReuseCandidates(path, fileDate, stamp);
    const TReuseCandidate* reused = nullptr;
    TCompactSignature kept;
    if (job) {
        for (const TReuseCandidate& c : candidates)
            if (c.Entry == job->Reused) reused = &c;
        if (reused) kept = std::move(job->Kept);
    } else {
        for (const TReuseCandidate& c : candidates)
            if (!reused && ReadKeptSignature(c, kept)) reused = &c;
    }
    if (reused) {
        auto item = std::make_shared<TSTitems>(*data_.TempList[reused->Entry].Item);
        // The size comes from the file, since the index holds only 32 bits of it.
        item->FileSize = static_cast<std::int64_t>(st.st_size);
        item->Stamp = stamp;
        runNumbers_.emplace(item->TmpNo, path);
        KeepSignature(item, std::move(kept));
        AddToWorkList(side, path, std::move(item));
        return;
    }
    // Third: load the image and make its signature (loaded ahead when
    // workers help).
    TPreparedSignature prepared = job && job->Loaded ? std::move(job->Prepared) : PrepareSignature(path);
    AddLoaded(path, side, fileDate, stamp, prepared);
}

void TRunEngine::AddLoaded(const std::string& path, int side, TDateTime fileDate, const TFileStamp& stamp,
                           TPreparedSignature& prepared) {
    const std::int64_t fileSize = stamp.Size;
    if (prepared.Raised || !prepared.Loaded) {
        AppendLogLine(path + kUnreadableText);
        return;
    }
    if (prepared.Width <= 0 || prepared.Height <= 0 || !prepared.Signature) {
        AppendLogLine(path + kNoSizeText);
        return;
    }
    try {
        auto item = std::make_shared<TSTitems>();
        item->FileDate = fileDate;
        item->FileSize = fileSize;
        item->Stamp = stamp;
        item->Width = prepared.Width;
        item->Height = prepared.Height;
        if (prepared.FileBytes.empty()) {
            AppendLogLine(path + kUnreadableText);
            return;
        }
        // Behind the walk unless older signatures of the path are to go
        // (their removal must not wait behind later writes).
        if (storeQueue_ && data_.TempIndex.count(path) == 0) {
            auto job = std::make_shared<TStoreJob>();
            job->Path = path;
            job->Bytes = std::move(prepared.FileBytes);
            job->FileSize = fileSize;
            job->FileDate = fileDate;
            job->Width = item->Width;
            job->Height = item->Height;
            job->Stamp = stamp;
            std::shared_ptr<TBitmap> signature = std::move(prepared.Signature);
            if (side == 0) pendingSources_.try_emplace(path, item);
            pending_.push_back(TPendingEffect{job, [this, job, signature, item, path, side] {
                                                  item->TmpNo = job->Number;
                                                  item->SignatureSum = job->SignatureSum;
                                                  runNumbers_[item->TmpNo] = path;
                                                  SetChach(*signature, path);
                                                  data_.WorkList(side).Add(path, item);
                                                  if (side == 0) {
                                                      const auto it = pendingSources_.find(path);
                                                      if (it != pendingSources_.end() && it->second == item)
                                                          pendingSources_.erase(it);
                                                  }
                                              }});
            ++pendingStores_;
            storeQueue_->Post(std::move(job));
            FlushStores(kMaxPendingStores);
            return;
        }
        if (!DrainStores()) return;
        item->TmpNo = StoreWithRecord(path, prepared.FileBytes, item->FileSize, item->FileDate, item->Width,
                                      item->Height, stamp, true, item->SignatureSum);
        if (item->TmpNo < 0) {
            ReportWorkFolderFailure();
            return;
        }
        runNumbers_[item->TmpNo] = path;
        RemoveSupersededSignatures(path);
        SetChach(*prepared.Signature, path);
        data_.WorkList(side).Add(path, std::move(item));
    } catch (const std::exception&) {
        AppendLogLine(path + kUnreadableText);
    }
}

bool TRunEngine::CheckSingleHikaku() {
    if (data_.SourceFiles.Count() != data_.TargetFiles.Count()) return false;
    for (std::size_t i = 0; i < data_.SourceFiles.Count(); ++i) {
        pump_.Tick();
        if (data_.SourceFiles.Strings(i) != data_.TargetFiles.Strings(i)) return false;
        if (data_.StopFlag == 1) return true;
    }
    return true;
}

}  // namespace orv
