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
        s.Left = ini.ReadInteger(kResWindow, "Left", 0);
        s.Top = ini.ReadInteger(kResWindow, "Top", 0);
        s.Width = ini.ReadInteger(kResWindow, "Width", 900);
        s.Height = ini.ReadInteger(kResWindow, "Height", 675);
        s.Max = ini.ReadBool(kResWindow, "Max", false);
        s.Dir = ini.ReadString(kResWindow, "Dir", defaultDir);
    } catch (const std::exception&) {
        // An unreadable settings file: the defaults.
    }
    return s;
}

void SaveResWindow(const std::string& iniPath, const TResWindowSettings& settings) {
    TIniFile ini(iniPath);
    TIniFile::Batch batch(ini);
    if (settings.Max) {
        ini.WriteBool(kResWindow, "Max", true);
    } else {
        ini.WriteBool(kResWindow, "Max", false);
        ini.WriteInteger(kResWindow, "Left", settings.Left);
        ini.WriteInteger(kResWindow, "Top", settings.Top);
        ini.WriteInteger(kResWindow, "Width", settings.Width);
        ini.WriteInteger(kResWindow, "Height", settings.Height);
    }
    ini.WriteString(kResWindow, "Dir", settings.Dir);
    batch.Commit();
}

}  // namespace orv
