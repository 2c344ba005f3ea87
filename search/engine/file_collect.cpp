// File collection: the counting and collecting passes over the two lists,
// the folder walk, the handling of one file and the identical-lists test.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <unordered_set>

#include "platform/base/datetime.h"
#include "platform/base/file_system.h"
#include "platform/base/paths.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/memory_budget.h"
#include "search/engine/image_utils.h"
#include "search/engine/path_admission.h"
#include "search/engine/run_engine.h"
#include "search/engine/signature_index.h"
#include "search/engine/work_pool.h"

namespace orv {

namespace {

constexpr char kNoFilesText[] = "：比較元または対象にひとつもファイルが存在しません";
constexpr char kUnreadableText[] = "は正常に読み込めませんでした";
constexpr char kNoSizeText[] = "のサイズ取得に失敗しました";
constexpr char kWorkFolderText[] = "：作業フォルダに書き込めません";

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

bool TRunEngine::CheckTaiouFileType(const std::string& path) const {
    const std::string ext = LowerAscii(ExtractFileExt(path));
    return std::find(data_.TaiouExts.begin(), data_.TaiouExts.end(), ext) != data_.TaiouExts.end();
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

void TRunEngine::GetFileListMain() {
    data_.FileCount = {0, 0};
    runNumbers_.clear();
    workFolderFailed_ = false;

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
    GetTempList();
    const unsigned threads = WorkerThreads(data_.Threads);
    if (threads <= 1) {
        pass(kModeCollect);
        return;
    }
    // The walk first, then its files in order, loaded ahead by the workers.
    listed_.clear();
    if (!pass(kModeList)) {
        listed_.clear();
        return;
    }
    CollectWithWorkers(threads);
}

// One load made ahead: a worker fills Prepared, then sets Done.
struct TRunEngine::TLoadJob {
    std::string Path;
    TFileStamp Before;  // the file as the load began
    TPreparedSignature Prepared;
    bool Done = false;
    std::mutex Mutex;
    std::condition_variable Finished;
};

void TRunEngine::CollectWithWorkers(unsigned threads) {
    const std::vector<TListedFile> files = std::move(listed_);
    listed_.clear();
    std::unordered_set<std::string> sources;
    for (const TListedFile& f : files)
        if (f.Side == 0) sources.insert(f.Path);

    const std::uint64_t limit = memoryBudget_ > 0 ? memoryBudget_ : PhysicalMemoryBytes() / 4;
    TMemoryBudget budget(limit > 0 ? limit : std::uint64_t{1} << 30);
    std::vector<std::shared_ptr<TLoadJob>> jobs(files.size());
    {
        TWorkPool pool(threads);
        // However the walk ends (a stop, a failure), the loads not started
        // are dropped and those in hand end at once when they wait for
        // memory, or finish unheeded; the pool then waits for them.
        struct TEndLoads {
            TWorkPool& pool;
            TMemoryBudget& budget;
            std::shared_ptr<TLoadJob>& inHand;
            ~TEndLoads() {
                inHand.reset();
                try {
                    budget.Cancel();
                    pool.DropQueued();
                } catch (...) {
                    // The pool's own end drops the queued loads as well.
                }
            }
        } endLoads{pool, budget, ahead_};
        // Enough loads in flight to keep every worker busy while the walk
        // stores the signatures that are ready.
        const std::size_t window = std::size_t{threads} * 4;
        std::size_t posted = 0;
        for (std::size_t k = 0; k < files.size(); ++k) {
            for (; posted < files.size() && posted < k + window; ++posted) {
                const TListedFile& f = files[posted];
                // A target that is also a source shares its record: no load.
                if (f.Side == 1 && sources.count(f.Path) != 0) continue;
                if (!WillLoad(f.Path)) continue;
                auto job = std::make_shared<TLoadJob>();
                job->Path = f.Path;
                jobs[posted] = job;
                pool.Post([job, &budget] {
                    TPreparedSignature prepared;
                    const TFileStamp before = ReadFileStamp(job->Path);
                    {
                        TMemoryBudgetScope scope(budget);
                        prepared = PrepareSignature(job->Path);
                    }
                    std::lock_guard<std::mutex> lock(job->Mutex);
                    job->Before = before;
                    job->Prepared = std::move(prepared);
                    job->Done = true;
                    job->Finished.notify_all();
                });
            }
            ahead_ = jobs[k];
            GetImageInfo(files[k].Path, files[k].Side, kModeCollect);
            ahead_.reset();
            jobs[k].reset();
            if (data_.StopFlag == 1) break;
            PauseWait();
        }
    }
}

// A guess, made cheaply: the handling of the file in its turn decides. A
// wrong guess costs a load for nothing or a load on the window's thread.
bool TRunEngine::WillLoad(const std::string& path) {
    if (IsOwnWorkFile(path)) return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const TDateTime fileDate = FileDateToDateTime(static_cast<std::int64_t>(st.st_mtime));
    return FindReusable(path, fileDate, StampOf(st), false) == nullptr;
}

void TRunEngine::GetDirListOne(const std::string& folder, int side, int mode) {
    std::vector<FolderEntry> entries;
    if (!ListFolder(folder, entries) || entries.empty()) return;
    const std::string base = IncludeTrailingPathDelimiter(folder);
    for (const FolderEntry& entry : entries) {
        pump_.Tick();
        if (entry.isDir && !entry.isSymlink) {
            // Linked folders are not entered: a link cycle would never end.
            if (data_.SubFolder == 1) GetDirListOne(base + entry.name + PathDelim, side, mode);
        } else if (!entry.isDir && !entry.linkToDir && CheckTaiouFileType(entry.name)) {
            GetImageInfo(base + entry.name, side, mode);
        }
        if (data_.StopFlag == 1) return;
        PauseWait();
    }
}

void TRunEngine::GetImageInfo(const std::string& path, int side, int mode) {
    if (!CheckTaiouFileType(path)) return;
    if (mode == kModeList) {
        listed_.push_back(TListedFile{path, side});
        pump_.Tick();
        return;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    // A signature file would match its own picture.
    if (IsOwnWorkFile(path)) return;

    std::string caption;
    if (mode == kModeCount) {
        const std::int32_t count = ++data_.FileCount[side == 0 ? 0 : 1];
        if (count % 10 == 0) {
            caption = "ファイル存在のチェック中 [" + std::to_string(count) + "] " + path;
            view_.SetLabelInfo(1, caption, caption);
        }
        pump_.Tick();
        return;
    }
    ++data_.FileNo;
    view_.SetGaugePosition(data_.FileNo);
    caption = "情報収集と一時ファイル作成中 [" + std::to_string(data_.FileNo) + "] " + path;
    view_.SetLabelInfo(1, caption, caption);
    pump_.Tick();

    if (!IsStorablePath(path)) {
        view_.AppendLog(UnusablePathMessage(path));
        return;
    }

    TFileList& work = data_.WorkList(side);
    // First: a target that is also a source shares the source's record.
    if (side == 1) {
        const std::ptrdiff_t index = data_.SourceFiles.IndexOf(path);
        if (index >= 0) {
            work.Add(path, data_.SourceFiles.Objects(static_cast<std::size_t>(index)));
            return;
        }
    }
    const TDateTime fileDate = FileDateToDateTime(static_cast<std::int64_t>(st.st_mtime));
    const TFileStamp stamp = StampOf(st);
    // Second: a signature made by an earlier run of this very file. The size
    // comes from the file, since the index holds only 32 bits of it.
    if (const TTmpList* reuse = FindReusable(path, fileDate, stamp)) {
        auto item = std::make_shared<TSTitems>(*reuse->Item);
        item->FileSize = static_cast<std::int64_t>(st.st_size);
        item->Stamp = stamp;
        runNumbers_.emplace(item->TmpNo, path);
        work.Add(path, std::move(item));
        return;
    }
    // Third: load the image and make its signature (loaded ahead when
    // workers help).
    TPreparedSignature prepared;
    bool loaded = false;
    if (ahead_ && ahead_->Path == path) {
        // Wait, keeping the window alive; a stop ends the collection
        // without this file.
        std::unique_lock<std::mutex> lock(ahead_->Mutex);
        while (!ahead_->Finished.wait_for(lock, std::chrono::milliseconds(10), [this] { return ahead_->Done; })) {
            lock.unlock();
            pump_.Tick();
            if (data_.StopFlag == 1) return;
            lock.lock();
        }
        // A file changed around the load is loaded again, so the stamp
        // tells the content the signature was made from.
        if (SameStamp(ahead_->Before, stamp)) {
            prepared = std::move(ahead_->Prepared);
            loaded = true;
        }
    }
    if (!loaded) prepared = PrepareSignature(path);
    AddLoaded(path, side, fileDate, stamp, prepared);
}

void TRunEngine::AddLoaded(const std::string& path, int side, TDateTime fileDate, const TFileStamp& stamp,
                           TPreparedSignature& prepared) {
    const std::int64_t fileSize = stamp.Size;
    if (prepared.Raised || !prepared.Loaded) {
        view_.AppendLog(path + kUnreadableText);
        return;
    }
    if (prepared.Width <= 0 || prepared.Height <= 0 || !prepared.Signature) {
        view_.AppendLog(path + kNoSizeText);
        return;
    }
    try {
        auto item = std::make_shared<TSTitems>();
        item->FileDate = fileDate;
        item->FileSize = fileSize;
        item->Stamp = stamp;
        item->Width = prepared.Width;
        item->Height = prepared.Height;
        item->TmpNo = prepared.FileBytes.empty() ? -1 : StoreSignature(prepared.FileBytes);
        if (item->TmpNo < 0) {
            if (WorkFolderFailed()) {
                ReportWorkFolderFailure();
            } else {
                view_.AppendLog(path + kUnreadableText);
            }
            return;
        }
        if (!WriteTmpBMPInfo(path, item->FileSize, item->FileDate, item->Width, item->Height, item->TmpNo, &stamp)) {
            // A signature without its record would be taken for the image of
            // an older record that names the same number.
            DeleteFile(SignaturePath(item->TmpNo));
            ReportWorkFolderFailure();
            return;
        }
        runNumbers_[item->TmpNo] = path;
        RemoveSupersededSignatures(path);
        SetChach(*prepared.Signature, path);
        data_.WorkList(side).Add(path, std::move(item));
    } catch (const std::exception&) {
        view_.AppendLog(path + kUnreadableText);
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
