// The hand-over files between the main program and the pair handler filer,
// both sides of each: DoFiles.Dat (what filer is asked to do), DoFiles2.Dat
// (the whole log, for the list mode) and Result.dat (filer's answer). The
// numbers the files hold are the enumerations below; nothing else in either
// program reads or writes these files or knows their numbers. A link at one
// of their names is never followed: it reads as no file, and a write
// replaces the name itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/base/file_system.h"
#include "platform/base/program_files.h"
#include "platform/base/stream.h"

namespace orv {

class BinaryWriter;

// What filer is asked to do (DoFiles.Dat "No", filer's DoingNo): one action
// on one file without a window, one pair shown to the user, or the whole
// log. Any other stored number is kept as read and means none of them.
enum class THandOverMode : std::int32_t { Automatic = 0, OnePair = 1, WholeLog = 2 };

// What is done to a file (the settings page's Radio_Do, DoAction;
// DoFiles.Dat "Syori"; filer's action buttons). None: nothing chosen; any
// other stored number is kept as read and does nothing either.
enum class TPairAction : std::int32_t { None = -1, Recycle = 0, Erase = 1, Move = 2 };
// The one action that needs a folder.
inline bool NeedsFolder(TPairAction action) { return action == TPairAction::Move; }
// The action's done and failed texts; null for no action.
const THandlerActionText* ActionTexts(TPairAction action);

// Which file of a pair (DoFiles.Dat "Target", the side of a result text).
enum class TPairSide : std::int32_t { Source = 0, Target = 1 };
// "比較元のファイル" or "比較対象のファイル".
inline const char* SideText(TPairSide side) { return side == TPairSide::Source ? kSideSource : kSideTarget; }

// One side of a pair, every field as the main program formatted it, and
// the file as it was compared (Known false when the hand-over has none).
struct PairFile {
    std::string File;
    std::string Data;  // date and time text
    std::string Size;  // " #,###0"
    std::string Width;
    std::string Height;
    TFileStamp Stamp{};
};

// ---- DoFiles.Dat: section "Doing"; the keys present depend on No. After
// the keys of the mode come the stamps of its files, when known ("Stamp" of
// File, "Stamp L" and "Stamp R" of a pair; value: device, inode, size,
// modification and change time in nanoseconds, in decimal, separated by
// commas), then "Request", the identity of the hand-over that filer gives
// back in its answer. A hand-over without them acts without the checks.
struct TDoFiles {
    THandOverMode No = THandOverMode::Automatic;
    std::string Request;
    // WholeLog: the pair shown first.
    std::int64_t LoadNo = 0;
    // Automatic: the action, the move folder, the file and its side.
    TPairAction Syori = TPairAction::Erase;
    std::string TgtDir;
    std::string File;
    TPairSide Target = TPairSide::Source;
    TFileStamp Stamp;  // of File
    // OnePair: the source (" L") and the target (" R").
    PairFile L, R;
    PairFile& Side(TPairSide side) { return side == TPairSide::Source ? L : R; }
    const PairFile& Side(TPairSide side) const { return side == TPairSide::Source ? L : R; }
};

// Replaces path with the keys of files.No in their order (none but No for a
// mode outside the three).
void WriteDoFiles(const std::string& path, const TDoFiles& files);
// Reads path as filer does: a missing file or key gives the defaults (No 0,
// Syori 1, Target 0, Width and Height "0", the rest empty); Load No and
// Request are read in every mode. Anything under the name but a regular file
// (a link, a pipe, a folder), a section that does not decode or a stamp that
// does not read raises EReadError.
TDoFiles ReadDoFiles(const std::string& path);

// ---- DoFiles2.Dat: int32 rows - 1, one record per row, int32 -1. A record
// is eleven stored strings in log-row order: the source's path, size, date,
// width and height, the same of the target, and the row's result text.
// When stamps are known, the end marker is followed by int32 rows and, per
// row, the source's and the target's stamp: five int64 each (device, inode,
// size, modification and change time in nanoseconds; size -1 for none). A
// reader that stops at the end marker reads the rows alone.
inline constexpr std::size_t kDoFiles2RowStrings = 11;

struct TPairStamps {
    TFileStamp L, R;
};

// The bytes for `rows` rows (at least one); writeRecords writes their
// records in order. stamps: none, or one entry per row.
std::string EncodeDoFiles2(std::size_t rows, const std::function<void(BinaryWriter&)>& writeRecords,
                           const std::vector<TPairStamps>& stamps = {});

struct TDoFiles2 {
    std::vector<PairFile> PairL, PairR;
    std::vector<std::string> ResText;
};
// Raises EReadError for a short or damaged file; the count is checked
// against the bytes that remain before anything is allocated. A file that
// ends at the end marker (or without it) has no stamps.
TDoFiles2 ReadDoFiles2(TStream& stream);

// ---- taking and clearing the hand-over

// filer takes the hand-over file `path` away before it reads or acts on it:
// the name is renamed to path + kTakenSuffix, which the reader reads and
// then removes. Answers the taken name, or "" when nothing is there.
// Anything but a regular file (a link, a pipe) is removed as it is, never
// followed, and raises EReadError, as does a folder (left in place).
std::string TakeHandOverFile(const std::string& path);
// Removes the hand-over files of folder (which ends with '/'), taken ones
// included: the names themselves, never what a link points to.
void RemoveHandOverFiles(const std::string& folder);

// ---- Result.dat: section "Result".

// What filer answered. filer writes Stop first, so an answer without it (a
// missing, unreadable or damaged file) is no answer: Received false and
// nothing else set.
struct THandlerAnswer {
    bool Received = false;
    bool Stop = false;
    std::string Request;             // the hand-over's identity, given back
    std::vector<std::string> Texts;  // "Text0", "Text1", ... up to the first gap
    std::vector<std::string> Logs;   // "Log0", "Log1", ... up to the first gap
};

// Replaces path with Stop, Request (when not empty), then Text0.. (every
// entry, empty ones included), then Log0.. (none when logs is empty). A text
// that is not UTF-8 is written empty, so the numbering has no gap. The file
// is replaced atomically (temporary file, sync, rename): a reader finds the
// earlier answer or this one, never a part. Raises only when the file cannot
// be written at all.
void WriteResultFile(const std::string& path, const std::string& request, bool stop,
                     const std::vector<std::string>& texts, const std::vector<std::string>& logs);
// Anything under the name but a regular file is no answer.
THandlerAnswer ReadResultFile(const std::string& path);

}  // namespace orv
