// What the main program knows about itself: its version text, its folders
// and the project named on the command line. Set once by the entry point.
#pragma once

#include <string>

namespace orv {

struct TProgramGlobals {
    std::string VerText = "0.00";
    std::string AppDir;  // ends with '/'
    std::string BmpDir;  // AppDir + "BMP/"
    std::string CmdFile;
};

TProgramGlobals& Globals();

// Section "Ver", key "No" of appDir + "Ver.ini"; "0.00" when missing.
std::string ReadVerText(const std::string& appDir);

// The first argument when there is one and it is not empty, else "".
std::string CommandLineFile(int argc, char** argv);

// Fills the globals for the program folder appDir (with or without '/').
void InitProgramGlobals(const std::string& appDir, const std::string& cmdFile);

inline constexpr const char* kMainFormClass = "TOV_MainForm";
inline constexpr const char* kAlreadyRunning = "既に起動中です。複数起動はできません";

}  // namespace orv
