// The main window's data model: everything a run reads and writes, kept free
// of any window so the engine and its tests work without one. The main window
// owns one TMainData; the fields carry the names the run's code uses.
//
// The names the engine uses, and what they mean:
//   Hikaku            comparison: HikakuMain is the pair loop over every
//                     source and target, DoHikaku compares one pair, and
//                     CheckSingleHikaku tells a run of one list against itself
//   Syori             handling of a match: DoSyori adds the log row and
//                     handles the pair; DoAutoSyori, DoOneSyori and DoEndSyori
//                     hand it (or the whole log) to the pair handler filer,
//                     which LoadFileUtil starts and waits for
//   SyoriMode         what a match triggers: automatic handling, log only,
//                     each pair by the user, or the whole log after the run
//   SelTgt, NearMode  which file of a pair automatic handling takes, and
//                     which side wins a tie
//   DoAction, TgtDir  what automatic handling does with that file, and the
//                     folder the move action moves it to
//   SizeMode          whether only pictures of equal width and height are
//                     compared
//   OneEnd            a match ends the source's row
//   Taiou, TaiouExts  supported: the picture extensions a run takes
//   Chach             the memory cache of signatures (Chach also its number
//                     of slots, ChachPos the slot filled next)
//   Tmp, TempList     the signature files in the work folder (TmpNo a file's
//                     number) and the index of them read at collection
//   TSTitems          what a run knows of one picture: date, size, width,
//                     height, signature number
//   JyochyuList       the progress record: the source files whose row of a
//                     run is finished, skipped by the next run
//   ResText           the pair handler's result texts of the last hand-over
//   Par               the similarity threshold in percent
//   NoTmpDel          keep the signature files when a run ends
//   FileNo, CompCount, FindCount, LoopCount
//                     the run's counters: files collected, pairs compared,
//                     matches found, pairs passed
//   FazzyComp         whether one pair's similarity score reaches Par
//   CheckEndList, CheckLogList
//                     a source already in the progress record, a pair
//                     already in the log
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/base/datetime.h"
#include "platform/base/file_system.h"
#include "platform/graphics/bitmap.h"
#include "search/engine/run_choices.h"

namespace orv {

// TFileStamp, which file a path named and in what state: file_system.h.

// What a run knows about one image file. One record may be shared by a source
// and a target entry of the same path.
struct TSTitems {
    TDateTime FileDate = 0;   // last-write time, local, 2-second resolution
    std::int64_t FileSize = 0;   // bytes; 64-bit so files of 2 GiB and more stay positive
    std::int32_t Width = 0;      // as loaded, before reduction
    std::int32_t Height = 0;
    std::int32_t TmpNo = 0;      // number of the signature file
    TFileStamp Stamp;            // the file as its signature was made or reused
    // The signature file's inode as written or as found for the reuse: a
    // file under its name with another inode stands for another picture.
    std::uint64_t SignatureSum = 0;
};

using TSTitemsPtr = std::shared_ptr<TSTitems>;

// A string list with objects: insertion order, duplicates allowed. A hash of
// the first index of every string keeps IndexOf constant-time, since the run
// asks it for every collected file and every source row.
class TFileList {
public:
    struct Entry {
        std::string Path;
        TSTitemsPtr Item;
    };

    void Add(std::string path, TSTitemsPtr item = nullptr);
    void Clear();
    void Delete(std::size_t index);
    std::size_t Count() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }
    const std::string& Strings(std::size_t index) const { return entries_.at(index).Path; }
    const TSTitemsPtr& Objects(std::size_t index) const { return entries_.at(index).Item; }
    const Entry& operator[](std::size_t index) const { return entries_.at(index); }
    // Index of the first entry equal to path (exact comparison), or -1.
    std::ptrdiff_t IndexOf(const std::string& path) const;
    bool Contains(const std::string& path) const { return IndexOf(path) >= 0; }

    auto begin() const { return entries_.begin(); }
    auto end() const { return entries_.end(); }

private:
    void Reindex();

    std::vector<Entry> entries_;
    std::unordered_map<std::string, std::size_t> first_;
};

// One slot of the memory cache of signatures.
struct TChach {
    std::unique_ptr<TBitmap> Bitmap;  // absent until the slot is first filled
    std::string Path;
};

// One record of the signature index as read at the start of a collection.
struct TTmpList {
    TSTitemsPtr Item;
    std::string Path;
    bool Current = false;  // made under this revision with its stamp: may be reused
};

// The extensions of the pictures a run takes, lower case with the dot.
inline const std::array<std::string, 5> kTaiouExts{".jpg", ".bmp", ".tga", ".png", ".tif"};
// The picture filter of the file dialog. It offers Photoshop files too,
// which the lists then pass over, as the program always has.
inline constexpr const char* kPictureFileFilter =
    "全てのファイル (*.JPG,*.BMP,*.TGA,*.TIF,*.PSD,*.PNG)|*.JPG;*.BMP;*.TGA;*.TIF;*.PSD;*.PNG|Jpeg(*.JPG)|*.JPG|"
    "ビットマップ(*.BMP)|*.BMP|TGA(*.TGA)|*.TGA|TIFF(*.TIF)|*.TIF|PhotoShop(*.PSD)|*.PSD|PNG(*.PNG)|*.PNG";

struct TMainData {
    std::array<std::string, 5> TaiouExts = kTaiouExts;
    std::int32_t FileNo = 0;
    std::uint8_t PauseFlag = 0;
    std::string PrevSrcName, PrevTgtName;

    // Memory cache: a ring of slots plus the slot of every cached path. Reset
    // and free it through TRunEngine::InitChach / FreeChach so the two agree.
    std::vector<TChach> ChachItems;
    std::unordered_map<std::string, std::size_t> ChachIndex;
    // Signature index in file order, and the records of every path in that
    // order, so a lookup keeps "the first usable record".
    std::vector<TTmpList> TempList;
    std::unordered_map<std::string, std::vector<std::size_t>> TempIndex;
    std::int32_t ChachPos = 0;

    std::string PrjFileName = "新規プロジェクト.ovp";
    TDateTime StartTime = 0;
    std::int64_t CompCount = 0, FindCount = 0, LoopCount = 0;
    std::vector<std::string> ResText;
    std::vector<std::string> IconKeys;
    std::uint8_t ProjectChanged = 0;
    std::array<std::int32_t, 2> FileCount{0, 0};
    std::uint8_t SingleList = 0;
    TFileList SourceFiles, TargetFiles;
    TFileList JyochyuList;
    std::string PrjDir, LogDir;
    TSizeMode SizeMode = TSizeMode::None;
    TSyoriMode SyoriMode = TSyoriMode::None;
    TSelTgt SelTgt = TSelTgt::None;
    TNearMode NearMode = TNearMode::None;
    TPairAction DoAction = TPairAction::None;
    std::uint8_t SubFolder = 0;
    std::uint8_t Preview = 0;
    std::uint8_t PrevShown = 0;
    std::int32_t Par = 75;
    std::int32_t Chach = 3000;
    std::string TgtDir;
    std::string MoveDir;
    std::array<std::string, 2> FileDlgDir, FolderDlgDir;
    std::uint8_t OneEnd = 0;
    std::string FindSound, EndSound;
    std::uint8_t DoFindSound = 0, DoEndSound = 0;
    std::uint8_t NoTmpDel = 0;
    std::uint8_t StopFlag = 0;
    std::uint8_t Running = 0;

    // Work folder of the signature files; the delimiter is added where file
    // names are built, and an empty one means the private temp folder.
    std::string WorkDir;

    // Worker threads of a run (decoding pictures, scoring pairs): 0 for one
    // per core where the work is large enough to gain from them; 1 does all
    // the work on the window's thread.
    std::int32_t Threads = 0;

    // Draws the signature numbers; seeded once per window.
    std::mt19937 Random{std::random_device{}()};

    TFileList& WorkList(int side) { return side == 0 ? SourceFiles : TargetFiles; }
};

}  // namespace orv
