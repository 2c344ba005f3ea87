// The pair handler's data: the hand-over the main program wrote
// (DoFiles.Dat, and DoFiles2.Dat for a whole log) read into pairs, and the
// three file actions that record a result text per pair and failure lines.
// No Qt: the automatic mode runs without a display.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/program_files.h"
#include "platform/base/stream.h"

namespace orv {

// One side of a pair, every field as the main program formatted it.
struct PairFile {
    std::string File;
    std::string Data;  // date and time text
    std::string Size;  // " #,###0"
    std::string Width;
    std::string Height;
};

struct TPairData {
    // 0 automatic (no window), 1 one pair, 2 the whole log.
    int DoingNo = 0;
    // The pair shown; always a valid index when there are pairs.
    std::size_t LoadNo = 0;
    // Mode 0: action (0 trash, 1 erase, 2 move), move folder, and whether
    // the file is the pair's source (0) or target (1).
    int Syori = 1;
    std::string TgtDir;
    int Target = 0;
    std::vector<PairFile> PairL, PairR;
    std::vector<std::string> ResText;  // per pair
    std::vector<std::string> ResLog;   // failure lines
    // False for an unknown mode or a hand-over that could not be read: the
    // handler then shows nothing and answers only Stop=0.
    bool Usable = true;
    // Where every file action leaves the answer so far (Result.dat) before
    // anything else happens; empty: nowhere. Answered tells whether the
    // answer on disk holds every action done.
    std::string AnswerPath;
    bool Answered = false;
};

// Reads the hand-over from folder (which ends with '/'). Never raises.
TPairData ReadPairData(const std::string& folder);
// The records of DoFiles2.Dat into PairL, PairR and ResText. Raises
// EReadError for a short or damaged file; the count is checked against the
// bytes that remain before anything is allocated.
void ReadDoFiles2(TStream& stream, TPairData& data);

// ---- file actions

// In the order of Syori (0 trash, 1 erase, 2 move).
enum class TPairAction { Recycle, Erase, Move };

// The side texts kSideSource and kSideTarget: program_files.h.

// Runs the action on `path` for pair `index` (side 0 source, 1 target):
// ResText[index] becomes the side text plus the outcome, and a failure adds
// a line to ResLog. Then the answer so far goes to AnswerPath (Stop=0), so
// that a file acted on is reported even when filer ends before its window
// closes. An empty or relative path is refused before any system
// call. In modes 1 and 2 a pair whose two sides are one file (device and
// inode) is refused too. No file mode is changed.
void DoPairAction(TPairData& data, TPairAction action, const std::string& path, const std::string& folder,
                  std::size_t index, int side);

// A pair's result text tells that an action was done: not empty, and not
// an action's failure.
bool IsHandledText(const std::string& text);

// Mode 0: the one action on the one file. Nothing for an unknown action.
void RunAutomatic(TPairData& data);

}  // namespace orv
