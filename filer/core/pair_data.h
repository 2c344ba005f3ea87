// The pair handler's data: the hand-over the main program wrote
// (DoFiles.Dat, and DoFiles2.Dat for a whole log) read into pairs, and the
// three file actions that record a result text per pair and failure lines.
// No Qt: the automatic mode runs without a display.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/handover_files.h"

namespace orv {

// PairFile, the modes, actions and sides: handover_files.h.

struct TPairData {
    THandOverMode DoingNo = THandOverMode::Automatic;
    // The hand-over's identity, given back with every answer.
    std::string Request;
    // The pair shown; always a valid index when there are pairs.
    std::size_t LoadNo = 0;
    // Automatic: the action, the move folder, and the file's side.
    TPairAction Syori = TPairAction::Erase;
    std::string TgtDir;
    TPairSide Target = TPairSide::Source;
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

// Takes the hand-over away from folder (which ends with '/') and reads it:
// DoFiles.Dat and DoFiles2.Dat are gone before anything is acted on, so a
// later start never acts on them again. Never raises.
TPairData ReadPairData(const std::string& folder);

// ---- file actions

// Runs the action on `path` for pair `index` of `side`:
// ResText[index] becomes the side text plus the outcome, and a failure adds
// a line to ResLog. Then the answer so far goes to AnswerPath (Stop=0), so
// that a file acted on is reported even when filer ends before its window
// closes. An empty or relative path is refused before any system
// call. In modes 1 and 2 a pair whose two sides are one file (device and
// inode) is refused too. No file mode is changed.
// Right before acting, the file is compared with its stamp from the
// hand-over, when known, and with `shown` (the file as the window showed it;
// null where nothing was shown): a file there that differs is refused with
// the action's failure text.
void DoPairAction(TPairData& data, TPairAction action, const std::string& path, const std::string& folder,
                  std::size_t index, TPairSide side, const TFileStamp* shown = nullptr);

// A pair's result text tells that an action was done: not empty, and not
// an action's failure.
bool IsHandledText(const std::string& text);

// Automatic: the one action on the one file. Nothing for no action.
void RunAutomatic(TPairData& data);

}  // namespace orv
