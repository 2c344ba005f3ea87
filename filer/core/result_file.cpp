#include "filer/core/result_file.h"

#include <sys/stat.h>

#include <exception>

#include "platform/base/errors.h"
#include "platform/base/file_system.h"
#include "platform/base/ini_file.h"

namespace orv {

namespace {

constexpr const char* kResult = "Result";
constexpr const char* kResWindow = "ResWindow";

// The entry itself is a regular file (a link is not).
bool IsRegularEntry(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void WriteOrEmpty(TIniFile& ini, const std::string& key, const std::string& value) {
    try {
        ini.WriteString(kResult, key, value);
    } catch (const EConvertError&) {
        ini.WriteString(kResult, key, "");
    }
}

}  // namespace

void WriteResultFile(const std::string& path, bool stop, const std::vector<std::string>& texts,
                     const std::vector<std::string>& logs) {
    // The new answer replaces the old one in one rename, so an answer given
    // earlier stays readable until this one is complete. Only a link or
    // anything else that is no regular file goes first: the answer never
    // lands elsewhere through it.
    if (PathExists(path) && !IsRegularEntry(path)) DeleteFile(path);
    TIniFile ini(path, kMaxAnswerFileBytes);
    TIniFile::Batch batch(ini, true);
    ini.WriteBool(kResult, "Stop", stop);
    for (std::size_t i = 0; i < texts.size(); ++i) WriteOrEmpty(ini, "Text" + std::to_string(i), texts[i]);
    for (std::size_t j = 0; j < logs.size(); ++j) WriteOrEmpty(ini, "Log" + std::to_string(j), logs[j]);
    batch.Commit();
}

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
