// Names of the files in the program folder (AppDir) that both programs use:
// the settings file they share, and the hand-over files through which the
// main program gives the pair handler a file, a pair or the whole log
// (DoFiles.Dat, DoFiles2.Dat) and takes its answer back (Result.dat).
#pragma once

namespace orv {

inline constexpr char kSettingsFileName[] = "Orvals.ini";
inline constexpr char kDoFilesName[] = "DoFiles.Dat";
inline constexpr char kDoFiles2Name[] = "DoFiles2.Dat";
inline constexpr char kResultName[] = "Result.dat";

}  // namespace orv
