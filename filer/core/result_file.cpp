#include "filer/core/result_file.h"

#include <exception>

#include "platform/base/errors.h"
#include "platform/base/file_system.h"
#include "platform/base/ini_file.h"

namespace orv {

namespace {

constexpr const char* kResWindow = "ResWindow";

}  // namespace

std::string DefaultMoveFolder() { return DocumentsDir() + "OV_TMP/"; }

TResWindowSettings ReadResWindow(const std::string& iniPath, const std::string& defaultDir) {
    TResWindowSettings s;
    s.Dir = defaultDir;
    try {
        TIniFile ini(iniPath);
        static_cast<TWindowPlacement&>(s) = ReadWindowPlacement(ini, kResWindow);
        s.Dir = ini.ReadString(kResWindow, "Dir", defaultDir);
    } catch (const std::exception&) {
        // An unreadable settings file: the defaults.
    }
    return s;
}

void SaveResWindow(const std::string& iniPath, const TResWindowSettings& settings) {
    TIniFile ini(iniPath);
    TIniFile::Batch batch(ini);
    WriteWindowPlacement(ini, kResWindow, settings);
    ini.WriteString(kResWindow, "Dir", settings.Dir);
    batch.Commit();
}

}  // namespace orv
