// The main program's part of the settings file "Orvals.ini": window placement,
// default folders, options and log column widths. The file is shared with the
// pair handler, whose section ("ResWindow") is never touched here.
#pragma once

#include <array>
#include <string>

#include "platform/base/program_files.h"  // kSettingsFileName
#include "platform/base/window_placement.h"

namespace orv {

// [MainWindow]: the placement (Left, Top, Width, Height, Max).
struct TIniSettings : TWindowPlacement {
    // [Path]; folders end with '/'
    std::string FilesL, FilesR;  // file dialog folders of the source and target lists
    std::string DirL, DirR;      // folder dialog folders of the source and target lists
    std::string Project;         // PrjDir
    std::string Log;             // LogDir
    std::string MoveDir;
    std::string WorkDir;         // used as read, even without a trailing '/'
    std::string FindSound, EndSound;
    // [Option]
    bool Preview = false;
    bool NoTmpDel = false;
    int Chach = 3000;
    int Par = 75;
    bool DoFindSound = true;
    bool DoEndSound = true;
    bool ListIcon = true;
    // [List] "0".."9": widths of log columns 0 to 9
    std::array<int, 10> ListWidths{100, 100, 100, 100, 100, 100, 100, 100, 100, 100};
};

// The defaults of every key: folders default to the documents folder, the work
// folder to the per-user private temp folder, sounds to appDir + "Sound/...".
// appDir ends with '/'.
TIniSettings DefaultIniSettings(const std::string& appDir);

// Reads the settings; never fails (missing file or key, or an unreadable value,
// gives the default). Creates the default project folder when "Project" holds
// exactly the default and that folder is missing. A "Par" outside 1..100 reads
// as 75 and a "Chach" above 100000 as 3000. A stored path that could not be
// stored again (control character) reads as its default.
TIniSettings LoadIniFile(const std::string& iniPath, const std::string& appDir);

// Writes every key of the main program in one atomic rewrite of the file,
// keeping all other sections and keys. With maximized, "MainWindow" gets only
// "Max" = 1 and the stored bounds stay. A path value that cannot be stored is
// skipped (the stored value stays). A failed write raises EIniFileError
// ("%s に書き込めません") and leaves the file as it was.
void SaveIniFile(const std::string& iniPath, const TIniSettings& settings, bool maximized);

}  // namespace orv
