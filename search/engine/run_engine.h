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
                         const TFileStamp* stamp = nullptr, std::uint64_t signatureInode = 0);
    // Reads the index into TempList (whole records only, superseded numbers
    // dropped) and builds its path lookup; every number it names is kept
    // from new signatures. An index whose dead records (superseded, of
    // another revision, or of a picture that no longer exists) outnumber its
    // live ones is first rewritten with the live ones only.
    void GetTempList();

    // The signature of a collected picture in compact form: the memory
    // cache's, else its signature file's (item names the file). One that
    // cannot be read is empty, and scores 0.
    TCompactSignature LoadCompactSignature(const std::string& path, const TSTitems* item) const;

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

    bool CheckTaiouFileType(const std::string& path) const;
    void GetFileListMain();
    void GetDirListOne(const std::string& folder, int side, int mode);
    // knownFile: the folder walk has just listed path as a regular file
    // that is no link, which is all the counting pass asks of it.
    void GetImageInfo(const std::string& path, int side, int mode, bool knownFile = false);
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
    // Numbers the index or this run names, which no new signature takes.
    bool NumberTaken(std::int32_t number);
    void TakeNumber(std::int32_t number);
    // pump: keeps the window alive during a long search for a free number
    // (false off the window's thread). inode receives the new file's.
    std::int32_t StoreSignature(const std::string& bmpBytes, bool pump = true, std::uint64_t* inode = nullptr);
    // Appends one record to the index through a descriptor kept open for
    // the collection (CloseIndexAppend ends it). False when it could not be
    // written whole; the index is then left as it was.
    bool AppendIndexRecord(const std::string& path, std::int64_t fileSize, TDateTime fileDate, std::int32_t width,
                           std::int32_t height, std::int32_t number, const TFileStamp& stamp,
                           std::uint64_t signatureInode);
    void CloseIndexAppend();
    // The signature file and then its index record of one loaded picture:
    // its number, or -1 when the work folder would not take them (nothing is
    // left behind then). pump as for StoreSignature; signatureInode
    // receives the signature file's.
    std::int32_t StoreWithRecord(const std::string& path, const std::string& bmpBytes, std::int64_t fileSize,
                                 TDateTime fileDate, std::int32_t width, std::int32_t height,
                                 const TFileStamp& stamp, bool pump, std::uint64_t& signatureInode);
    // The first index record of path of this revision made from the file
    // as it is now (its date fileDate, and its stamp now: the same inode,
    // size and times), or null. Its signature file must be the one written
    // for it (its inode), whole and of the record's size; without
    // checkSignatureFile that is taken for granted (a guess that costs no
    // reads).
    const TTmpList* FindReusable(const std::string& path, TDateTime fileDate, const TFileStamp& now,
                                 bool checkSignatureFile = true);
    // Removes the signature files the index gave path before it got a new one.
    void RemoveSupersededSignatures(const std::string& path);
    // Rewrites the index with its live records and removes the signature
    // files that only dead records name. False when the index stays as it was.
    bool CompactIndex(const std::vector<TIndexRecord>& records, const std::vector<TIndexRecord>& live);
    // The work folder takes no more files: one run-log line, and the
    // collection ends as if stopped.
    void ReportWorkFolderFailure();
    // The collecting pass with pictures loaded ahead on worker threads; the
    // files are handled in walk order as the single-threaded pass does.
    void CollectWithWorkers(unsigned threads);
    // Whether the collecting pass will load this file (the first two rules
    // do not apply as things stand now); stamp is the file as it is now.
    bool WillLoad(const std::string& path, TFileStamp& stamp);
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
    // The collection's writer while there is one (owned by CollectWithWorkers).
    TStoreQueue* storeQueue_ = nullptr;
    std::deque<TPendingEffect> pending_;
    std::size_t pendingStores_ = 0;
    // Source entries still waiting in pending_, by path (the first of each).
    std::unordered_map<std::string, TSTitemsPtr> pendingSources_;

    // The index as AppendIndexRecord holds it open, and its size.
    TFileHandle indexOut_;
    std::int64_t indexOutSize_ = 0;

    struct TListedFile {
        std::string Path;
        int Side;
    };
    struct TLoadJob;
    std::vector<TListedFile> listed_;
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
    mutable std::mutex folderMutex_;
    std::shared_ptr<TWorkFolder> folder_;
    static constexpr int kRandomTries = 64;
};

}  // namespace orv
