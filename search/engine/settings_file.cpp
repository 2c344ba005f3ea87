#include "search/engine/settings_file.h"

#include <exception>

#include "platform/base/file_system.h"
#include "platform/base/ini_file.h"
#include "platform/base/paths.h"
#include "search/engine/path_admission.h"

namespace orv {

namespace {

constexpr char kMainWindow[] = "MainWindow";
constexpr char kPath[] = "Path";
constexpr char kOption[] = "Option";
constexpr char kList[] = "List";

constexpr int kMaxChach = 100000;

std::string DefaultProjectDir(const std::string& myDocs) { return myDocs + "Orvalis Project/"; }

// Reading never fails: without a usable temp folder the work folder is left
// empty, which the run takes as the private temp folder again.
std::string TempDirOrEmpty() {
    try {
        return PrivateTempDir();
    } catch (const std::exception&) {
        return {};
    }
}

std::string ReadPath(const TIniFile& ini, const char* key, const std::string& def) {
    std::string value = ini.ReadString(kPath, key, def);
    return IsStorablePath(value) ? value : def;
}

void WritePath(TIniFile& ini, const char* key, const std::string& value) {
    if (IsStorablePath(value)) ini.WriteString(kPath, key, value);
}

}  // namespace

TIniSettings DefaultIniSettings(const std::string& appDir) {
    const std::string app = IncludeTrailingPathDelimiter(appDir);
    const std::string myDocs = DocumentsDir();
    TIniSettings s;
    s.FilesL = s.FilesR = s.DirL = s.DirR = myDocs;
    s.Project = DefaultProjectDir(myDocs);
    s.Log = myDocs;
    s.MoveDir = myDocs;
    s.WorkDir = TempDirOrEmpty();
    s.FindSound = app + "Sound/Comp.wav";
    s.EndSound = app + "Sound/Beep.wav";
    return s;
}

TIniSettings LoadIniFile(const std::string& iniPath, const std::string& appDir) {
    const TIniSettings def = DefaultIniSettings(appDir);
    const TIniFile ini(iniPath);
    TIniSettings s;

    static_cast<TWindowPlacement&>(s) = ReadWindowPlacement(ini, kMainWindow);

    s.FilesL = ReadPath(ini, "Files L", def.FilesL);
    s.FilesR = ReadPath(ini, "Files R", def.FilesR);
    s.DirL = ReadPath(ini, "Dir L", def.DirL);
    s.DirR = ReadPath(ini, "Dir R", def.DirR);
    s.Project = ReadPath(ini, "Project", def.Project);
    // Only the default project folder is made; a configured one never is.
    if (s.Project == def.Project && !DirectoryExists(s.Project)) ForceDirectories(s.Project);
    s.Log = ReadPath(ini, "Log", def.Log);
    s.MoveDir = ReadPath(ini, "MoveDir", def.MoveDir);
    s.WorkDir = ReadPath(ini, "WorkDir", def.WorkDir);

    s.Preview = ini.ReadBool(kOption, "Preview", def.Preview);
    s.NoTmpDel = ini.ReadBool(kOption, "No TMPDel", def.NoTmpDel);
    s.Chach = ini.ReadInteger(kOption, "Chach", def.Chach);
    // A cache far beyond the choices offered would exhaust memory.
    if (s.Chach > kMaxChach) s.Chach = def.Chach;
    s.Par = ini.ReadInteger(kOption, "Par", def.Par);
    // A threshold of 0 or less makes every pair a match, which with automatic
    // erasing deletes every file; one above 100 never matches.
    if (s.Par < 1 || s.Par > 100) s.Par = def.Par;
    s.DoFindSound = ini.ReadBool(kOption, "Do Find Sound", def.DoFindSound);
    s.DoEndSound = ini.ReadBool(kOption, "Do End Sound", def.DoEndSound);

    s.FindSound = ReadPath(ini, "Find Sound", def.FindSound);
    s.EndSound = ReadPath(ini, "End  Sound", def.EndSound);

    for (std::size_t i = 0; i < s.ListWidths.size(); ++i)
        s.ListWidths[i] = ini.ReadInteger(kList, std::to_string(i), def.ListWidths[i]);

    s.ListIcon = ini.ReadBool(kOption, "List Icon", def.ListIcon);
    return s;
}

void SaveIniFile(const std::string& iniPath, const TIniSettings& s, bool maximized) {
    TIniFile ini(iniPath);
    TIniFile::Batch batch(ini);

    TWindowPlacement placement = s;
    placement.Max = maximized;
    WriteWindowPlacement(ini, kMainWindow, placement);

    WritePath(ini, "Files L", s.FilesL);
    WritePath(ini, "Files R", s.FilesR);
    WritePath(ini, "Dir L", s.DirL);
    WritePath(ini, "Dir R", s.DirR);
    WritePath(ini, "Project", s.Project);
    WritePath(ini, "Log", s.Log);
    WritePath(ini, "WorkDir", s.WorkDir);
    WritePath(ini, "MoveDir", s.MoveDir);

    ini.WriteBool(kOption, "Preview", s.Preview);
    ini.WriteBool(kOption, "No TMPDel", s.NoTmpDel);
    ini.WriteInteger(kOption, "Chach", s.Chach);
    ini.WriteInteger(kOption, "Par", s.Par);
    ini.WriteBool(kOption, "Do Find Sound", s.DoFindSound);
    ini.WriteBool(kOption, "Do End Sound", s.DoEndSound);

    WritePath(ini, "Find Sound", s.FindSound);
    WritePath(ini, "End  Sound", s.EndSound);

    for (std::size_t i = 0; i < s.ListWidths.size(); ++i) ini.WriteInteger(kList, std::to_string(i), s.ListWidths[i]);

    ini.WriteBool(kOption, "List Icon", s.ListIcon);
    batch.Commit();
}

}  // namespace orv
