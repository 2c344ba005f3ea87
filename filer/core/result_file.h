// What the pair handler keeps of its own: the section ResWindow of the shared
// settings file. Its answer, Result.dat: handover_files.h. No Qt.
#pragma once

#include <string>
#include <vector>

#include "platform/base/handover_files.h"
#include "platform/base/window_placement.h"

namespace orv {

// The window's placement and move folder.
struct TResWindowSettings : TWindowPlacement {
    std::string Dir;
};

// The documents folder + "OV_TMP/".
std::string DefaultMoveFolder();
// Reads section ResWindow (defaults for what is missing or unreadable).
TResWindowSettings ReadResWindow(const std::string& iniPath, const std::string& defaultDir);
// Writes section ResWindow: a maximised window stores only Max and Dir, so
// the earlier normal placement is kept for the next start.
void SaveResWindow(const std::string& iniPath, const TResWindowSettings& settings);

}  // namespace orv
