// What the pair handler writes back: the answer Result.dat for the main
// program, and its own section ResWindow of the shared settings file. No Qt.
#pragma once

#include <string>
#include <vector>

#include "platform/base/program_files.h"

namespace orv {

// Replaces path with section Result: Stop, then Text0.. (every entry, empty
// ones included), then Log0.. (none when logs is empty). A text that is not
// UTF-8 is written empty, so the numbering has no gap. The file is replaced
// atomically (temporary file, sync, rename): a reader finds the earlier
// answer or this one, never a part. Raises only when the file cannot be
// written at all.
void WriteResultFile(const std::string& path, bool stop, const std::vector<std::string>& texts,
                     const std::vector<std::string>& logs);

// The window's placement and move folder.
struct TResWindowSettings {
    int Left = 0;
    int Top = 0;
    int Width = 900;
    int Height = 675;
    bool Max = false;
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
