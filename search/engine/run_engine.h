// The run's engine: the signature store (signature files, their index, the
// memory cache) and the file collection that turns the two lists into work
// lists of image records. Plain C++ over the main window's data model; what
// the run shows goes through IRunView.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

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
                         const TFileStamp* stamp = nullptr);
    // Reads the index into TempList (whole records only, superseded numbers
    // dropped) and builds its path lookup. An index whose dead records
    // (superseded, or of a picture that no longer exists) outnumber its live
    // ones is first rewritten with the live ones only.
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

    // Deletes every signature file of the work folder, then the index.
    void DeleteChashFile();
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
    void GetImageInfo(const std::string& path, int side, int mode);
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
    // Creates the signature file exclusively; -1 with errno set on failure.
    int CreateSignatureFile(std::int32_t number) const;
    std::int32_t StoreSignature(const std::string& bmpBytes);
    // The first usable index record of path made from the file as it is now
    // (its date fileDate and its stamp now), or null. A record with a stamp
    // needs the same inode, size and times; one without only the same date
    // and size, and a file not changed since the index and the signature
    // file were written. Without checkSignatureFile the record's signature
    // file is taken to be there and whole (a guess that costs no reads).
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
    // do not apply as things stand now).
    bool WillLoad(const std::string& path);
    // The third rule: stores the signature of a loaded picture.
    void AddLoaded(const std::string& path, int side, TDateTime fileDate, const TFileStamp& stamp,
                   TPreparedSignature& prepared);

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
    // The index's modification time when it was read (ns since 1970).
    std::int64_t indexWrittenNs_ = 0;
    static constexpr int kRandomTries = 64;
};

}  // namespace orv
