#include "search/engine/setting_sets.h"

#include "platform/base/errors.h"
#include "platform/base/file_system.h"
#include "platform/base/ini_file.h"
#include "platform/base/paths.h"
#include "search/engine/path_admission.h"

namespace orv {

namespace {

constexpr char kSection[] = "Set";

}  // namespace

std::string SettingSetFolder(const std::string& appDir) { return IncludeTrailingPathDelimiter(appDir) + "Set/"; }

std::string SettingSetPath(const std::string& appDir, int n) {
    return SettingSetFolder(appDir) + "Setting" + std::to_string(n) + ".dat";
}

std::vector<std::string> LoadSettingNames(const std::string& appDir) {
    std::vector<std::string> names;
    for (int n = 0;; ++n) {
        const std::string path = SettingSetPath(appDir, n);
        if (!FileExists(path)) break;
        names.push_back(TIniFile(path).ReadString(kSection, "Name", ""));
    }
    return names;
}

TSettingSet LoadSettingSet(const std::string& appDir, int n) {
    const TIniFile ini(SettingSetPath(appDir, n));
    TSettingSet set;
    set.Name = ini.ReadString(kSection, "Name", "");
    set.SubDir = ini.ReadBool(kSection, "Check SubDir", false);
    set.OnceEnd = ini.ReadBool(kSection, "Once End", false);
    set.CheckSize = ini.ReadInteger(kSection, "Check Size", -1);
    set.DoMode = ini.ReadInteger(kSection, "Do Mode", -1);
    set.ATarget = ini.ReadInteger(kSection, "A Target", -1);
    set.ADo = ini.ReadInteger(kSection, "A Do", -1);
    set.ADoitu = ini.ReadInteger(kSection, "A Doitu", -1);
    set.TgtDir = ini.ReadString(kSection, "A TgtDir", "");
    // A hand-edited file may hold a folder the program refuses to store.
    if (!IsStorablePath(set.TgtDir)) set.TgtDir.clear();
    return set;
}

void WriteSettingSet(const std::string& appDir, int n, const TSettingSet& set) {
    if (!IsStorablePath(set.TgtDir)) throw EConvertError(UnusablePathMessage(set.TgtDir));
    TIniFile ini(SettingSetPath(appDir, n));
    TIniFile::Batch batch(ini);
    ini.WriteString(kSection, "Name", set.Name);
    ini.WriteBool(kSection, "Check SubDir", set.SubDir);
    ini.WriteBool(kSection, "Once End", set.OnceEnd);
    ini.WriteInteger(kSection, "Check Size", set.CheckSize);
    ini.WriteInteger(kSection, "Do Mode", set.DoMode);
    ini.WriteInteger(kSection, "A Target", set.ATarget);
    ini.WriteInteger(kSection, "A Do", set.ADo);
    ini.WriteInteger(kSection, "A Doitu", set.ADoitu);
    ini.WriteString(kSection, "A TgtDir", set.TgtDir);
    batch.Commit();
}

int StoreSettingSet(const std::string& appDir, const TSettingSet& set,
                    const std::function<bool(int n)>& confirmOverwrite) {
    int n = 0;
    for (; FileExists(SettingSetPath(appDir, n)); ++n) {
        const std::string name = TIniFile(SettingSetPath(appDir, n)).ReadString(kSection, "Name", "");
        if (SameTextAscii(name, set.Name) && confirmOverwrite && confirmOverwrite(n)) break;
    }
    WriteSettingSet(appDir, n, set);
    return n;
}

TDeleteSetResult DeleteSettingSet(const std::string& appDir, int n, int count) {
    TDeleteSetResult result;
    if (n < 0 || n >= count) return result;
    if (!DeleteFile(SettingSetPath(appDir, n), &result.Error)) return result;
    result.Deleted = true;
    // A rename never replaces: a file that is in the way stops the renumbering
    // instead of being overwritten, and the list then shows what is on disk.
    for (int k = n + 1; k < count; ++k) {
        if (!RenameNoReplace(SettingSetPath(appDir, k), SettingSetPath(appDir, k - 1), &result.Error)) return result;
        ++result.Renumbered;
    }
    return result;
}

}  // namespace orv
