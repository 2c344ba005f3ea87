// The run's engine: the signature store (signature files, their index, the
// memory cache) and the file collection that turns the two lists into work
// lists of image records. Plain C++ over the main window's data model; what
// the run shows goes through IRunView.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/base/file_handle.h"
#include "platform/base/work_folder.h"
#include "search/engine/main_data.h"
#include "search/engine/run_view.h"
#include "search/engine/signature.h"

namespace orv {

class TBitmap;
class TMemoryBudget;
struct TIndexRecord;

class TRunEngine {
public:
    // Collection modes of GetDirListOne and GetImageInfo.
    static constexpr int kModeCollect = 0;
    static constexpr int kModeCount = 1;
    // Notes the files of the collecting walk for workers to load ahead.
    static constexpr int kModeList = 2;

    TRunEngine(TMainData& data, IRunView& view);
    TRunEngine(const TRunEngine&) = delete;
    TRunEngine& operator=(const TRunEngine&) = delete;

    TMainData& Data() { return data_; }
    IRunView& View() { return view_; }
    TMessagePump& Pump() { return pump_; }

    // ---- signature store

    // The work folder with its delimiter; the private temp folder when
    // WorkDir is empty.
    std::string SignatureFolder() const;
    std::string SignaturePath(std::int32_t number) const;
    std::string IndexPath() const;

    // Opens and locks the work folder for a run (also when it is open
    // already: a folder that was not ready is tried again); its state.
    // Every file of the store goes through the folder opened here, which
    // the engine holds until CloseWorkFolder. Used outside a run (tests, the
    // close-time clean-up), the store opens it itself.
    TWorkFolder::TState OpenWorkFolder();
    void CloseWorkFolder();
    // The folder is in use, but its file system took no lock.
    bool WorkFolderUnlocked() const;

    // Turns the bitmap into the signature (ReduceToSignature) and stores it
    // in a new signature file. Returns its number, or -1
    // when no file could be created or written (nothing is left behind then;
    // WorkFolderFailed tells a work folder that takes no file from a bitmap
    // that could not be stored).
    std::int32_t MakeTmpBMPFile(TBitmap& bitmap);
    bool WorkFolderFailed() const { return workFolderFailed_; }
    // Appends one record to the index, with the file's stamp when one is
    // given. False when it could not be written whole; the index is then
    // left as it was.
    bool WriteTmpBMPInfo(const std::string& path, std::int64_t fileSize, TDateTime fileDate,
                         std::int32_t width, std::int32_t height, std::int32_t number,
                         const TFileStamp* stamp = nullptr, std::uint64_t signatureChecksum = 0);
    // Reads the index into TempList (whole records only, superseded numbers
    // dropped) and builds its path lookup; every number it names is kept
    // from new signatures. An index whose dead records (superseded, of
    // another revision, or of a picture that no longer exists) outnumber its
    // live ones is first rewritten with the live ones only. present: the
    // pictures the walk has just found, which need no look to be known.
    void GetTempList(const std::function<bool(const std::string& path)>& present = {});

    // The signature of a collected picture in compact form: the memory
    // cache's, else its signature file's (item names the file and its
    // checksum). One that cannot be read, or whose file is not the one
    // written for the record, is empty, and scores 0.
    TCompactSignature LoadCompactSignature(const std::string& path, const TSTitems* item) const;
    // The kept signatures the collection read for the pictures whose
    // signature it reused, by record, as far as the memory for signatures
    // holds them; handed over once.
    using TKeptSignatures = std::unordered_map<const TSTitems*, std::pair<TSTitemsPtr, TCompactSignature>>;
    TKeptSignatures TakeKeptSignatures();

    // Gives the cache Chach empty slots; frees every slot.
    void InitChach();
    void FreeChach();
    bool GetChach(TBitmap& dest, const std::string& path) const;
    void SetChach(const TBitmap& signature, const std::string& path);

    // Deletes every signature file of the work folder, then the index,
    // holding the folder's lock throughout. A folder that is not ready (in
    // use by another program, not private, missing) is left as it is: its
    // state.
    TWorkFolder::TState DeleteChashFile();
    // A signature file is left in the work folder (asked when the window
    // closes).
    bool LeftoverSignaturesExist() const;

    // ---- file collection

    // Waits while the run is paused; a stop ends the wait.
    void PauseWait();
    // Appends a run-log event line: the current date and time, then text
    // (which begins with the full-width colon).
    void LogEvent(const std::string& text);

    bool CheckTaiouFileType(std::string_view path) const;
    void GetFileListMain();
    void GetDirListOne(const std::string& folder, int side, int mode);
    // knownFile: the folder walk has just listed path as a regular file
    // that is no link, which is all the counting pass asks of it. known:
    // the file's status as the walk's look gave it (its lstat in the
    // listing pass, the status it serves the collection with after).
    void GetImageInfo(const std::string& path, int side, int mode, bool knownFile = false,
                      const struct stat* known = nullptr);
    bool CheckSingleHikaku();
    // The file's name, or the name a link leads to, has the form of the
    // run's own files (a signature or the index): never collected as a
    // picture, wherever it lies, since a kept, copied or moved signature
    // would match its own picture.
    bool IsOwnWorkFile(const std::string& path) const;

    // ---- tuning for tests

    // Signature numbers are first drawn from 0..randomMax, then searched in
    // order up to max.
    void SetSignatureNumberRange(std::int32_t randomMax, std::int32_t max);
    void SetMessageSlice(std::chrono::milliseconds slice) { pump_.SetSlice(slice); }
    // Bytes the pictures loading at once may take together; a quarter of
    // the machine's memory by default.
    void SetMemoryBudget(std::uint64_t bytes) { memoryBudget_ = bytes; }

private:
    // The work folder the store works in (opened on first use).
    std::shared_ptr<const TWorkFolder> Work() const;
    // The work folder of SignatureFolder(), opened when none is open or the
    // open one is another; retry: also when it was not ready.
    std::shared_ptr<const TWorkFolder> FolderOpened(bool retry) const;
    // Numbers the index or this run names, which no new signature takes.
    bool NumberTaken(std::int32_t number);
    void TakeNumber(std::int32_t number);
    // pump: keeps the window alive during a long search for a free number
    // (false off the window's thread).
    std::int32_t StoreSignature(const std::string& bmpBytes, bool pump = true);
    // Appends one record to the index through a descriptor kept open for
    // the collection (CloseIndexAppend ends it). False when it could not be
    // written whole; the index is then left as it was.
    bool AppendIndexRecord(const std::string& path, std::int64_t fileSize, TDateTime fileDate, std::int32_t width,
                           std::int32_t height, std::int32_t number, const TFileStamp* stamp,
                           std::uint64_t signatureChecksum);
    void CloseIndexAppend();
    // The signature file and then its index record of one loaded picture:
    // its number, or -1 when the work folder would not take them (nothing is
    // left behind then). pump as for StoreSignature; signatureChecksum
    // receives the signature file's checksum.
    std::int32_t StoreWithRecord(const std::string& path, const std::string& bmpBytes, std::int64_t fileSize,
                                 TDateTime fileDate, std::int32_t width, std::int32_t height,
                                 const TFileStamp& stamp, bool pump, std::uint64_t& signatureChecksum);
    // An index record of this revision made from the file as it is now:
    // its signature file is reused if it is the one written for the record
    // (its checksum) and of the size the record's picture gives.
    struct TReuseCandidate {
        std::size_t Entry = 0;  // in TempList
        std::int32_t Number = 0;
        std::uint64_t Sum = 0;
        std::int32_t Width = 0, Height = 0;  // of the signature
    };
    // The records of path made from the file as it is now (its date
    // fileDate, and its stamp now: the same inode, size and times), in index
    // order.
    std::vector<TReuseCandidate> ReuseCandidates(const std::string& path, TDateTime fileDate,
                                                 const TFileStamp& now) const;
    // Reads a candidate's signature file; false when it is not the file
    // written for the record or not of its size. Any thread.
    bool ReadKeptSignature(const TReuseCandidate& candidate, TCompactSignature& out) const;
    // One read of signature file number, decoded when its checksum is sum.
    bool ReadSignatureFile(std::int32_t number, std::uint64_t sum, TCompactSignature& out) const;
    // Keeps a reused signature read by the collection for the pair loop.
    void KeepSignature(const TSTitemsPtr& item, TCompactSignature signature);
    // Removes the signature files the index gave path before it got a new one.
    void RemoveSupersededSignatures(const std::string& path);
    // Rewrites the index with its live records and removes the signature
    // files that only dead records name. False when the index stays as it was.
    bool CompactIndex(const std::vector<TIndexRecord>& records, const std::vector<TIndexRecord>& live);
    // The work folder takes no more files: one run-log line, and the
    // collection ends as if stopped.
    void ReportWorkFolderFailure();
    // The collecting pass over the files the walk listed, in walk order,
    // with pictures loaded and kept signatures read ahead on worker threads
    // when there are several.
    void CollectListed(unsigned threads);
    // Handles the second and third rules for a file the collection has
    // looked at (st), with the work a worker may have done for it ahead.
    void CollectFile(const std::string& path, int side, const struct stat& st);
    // The stat of a picture the collection may take: a regular file, links
    // followed, that is not one of the run's own files. One lstat for a
    // file that is no link.
    bool StatPicture(const std::string& path, struct stat& st) const;
    // The third rule: stores the signature of a loaded picture.
    void AddLoaded(const std::string& path, int side, TDateTime fileDate, const TFileStamp& stamp,
                   TPreparedSignature& prepared);

    // ---- signatures stored behind the walk
    //
    // With workers, the signature files and index records of loaded pictures
    // are written in walk order on a thread of their own, since creating
    // thousands of files in one folder is serialised by the file system.
    // Everything the handling of a file shows or adds (log lines, work-list
    // entries, the cache) waits in order behind the writes before it, so the
    // outcome is the one-thread outcome, also when a write fails.
    struct TStoreJob;
    class TStoreQueue;
    struct TPendingEffect {
        std::shared_ptr<TStoreJob> Store;  // applies once this write is done
        std::function<void()> Apply;
    };
    // Applies effect now, or behind the writes pending.
    void Effect(std::function<void()> effect);
    void AddToWorkList(int side, const std::string& path, TSTitemsPtr item);
    void AppendLogLine(const std::string& line);
    // Applies the pending effects whose writes are done, waiting for writes
    // while more than keep are pending. False when a write failed: the
    // collection then ends as the one-thread collection ends there.
    bool FlushStores(std::size_t keep);
    bool DrainStores() { return FlushStores(0); }
    // The collection's writer while there is one (owned by CollectListed).
    TStoreQueue* storeQueue_ = nullptr;
    std::deque<TPendingEffect> pending_;
    std::size_t pendingStores_ = 0;
    // Source entries still waiting in pending_, by path (the first of each).
    std::unordered_map<std::string, TSTitemsPtr> pendingSources_;

    // Signatures read for reuse, for the pair loop, and the memory they take.
    TKeptSignatures kept_;
    std::size_t keptBytes_ = 0;
    std::size_t keptBudget_ = 0;

    // The index as AppendIndexRecord holds it open, and its size.
    TFileHandle indexOut_;
    std::int64_t indexOutSize_ = 0;

    struct TListedFile {
        std::string Path;
        int Side;
        struct stat St;  // the walk's look at the file
    };
    struct TLoadJob;
    // Does the work of a job ahead: reads its kept signature, or loads its
    // picture within the budget. On a worker.
    void RunLoadJob(TLoadJob& job, TMemoryBudget& budget) const;
    std::vector<TListedFile> listed_;
    // During GetFileListMain: the folders read so far.
    struct TFolderListings;
    TFolderListings* listings_ = nullptr;
    // The files of the walk by path: the index in listed_ of the first
    // listing of each.
    std::unordered_map<std::string, std::size_t> listedPaths_;
    // The load made ahead for the file in hand, if any.
    std::shared_ptr<TLoadJob> ahead_;
    std::uint64_t memoryBudget_ = 0;

    TMainData& data_;
    IRunView& view_;
    TMessagePump pump_;
    std::int32_t randomMax_;
    std::int32_t numberMax_;
    std::int32_t sequentialFrom_ = 0;
    // The signature numbers the work lists of this collection use, with the
    // path of each: an index record read before the collection may name a
    // number given afresh to another picture since.
    std::unordered_map<std::int32_t, std::string> runNumbers_;
    bool workFolderFailed_ = false;
    // Numbers no new signature may take; the writer thread takes them too.
    std::mutex numbersMutex_;
    std::unordered_set<std::int32_t> takenNumbers_;
    // Opened on first use, also from a const reader: both under folderMutex_.
    mutable std::mutex folderMutex_;
    mutable std::shared_ptr<TWorkFolder> folder_;
    static constexpr int kRandomTries = 64;
};

}  // namespace orv
