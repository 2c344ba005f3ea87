#include "search/ui/program_globals.h"

#include "platform/base/ini_file.h"
#include "platform/base/paths.h"

namespace orv {

TProgramGlobals& Globals() {
    static TProgramGlobals globals;
    return globals;
}

std::string ReadVerText(const std::string& appDir) {
    try {
        TIniFile ini(IncludeTrailingPathDelimiter(appDir) + "Ver.ini");
        return ini.ReadString("Ver", "No", "0.00");
    } catch (...) {
        // An unreadable file counts as a missing one.
        return "0.00";
    }
}

std::string CommandLineFile(int argc, char** argv) {
    if (argc < 2 || argv == nullptr || argv[1] == nullptr) return {};
    return argv[1];
}

void InitProgramGlobals(const std::string& appDir, const std::string& cmdFile) {
    TProgramGlobals& g = Globals();
    g.AppDir = IncludeTrailingPathDelimiter(appDir);
    g.VerText = ReadVerText(g.AppDir);
    g.BmpDir = g.AppDir + "BMP/";
    g.CmdFile = cmdFile;
}

}  // namespace orv
