// Named setting sets: one ini file per set, appDir + "Set/Setting<n>.dat",
// numbered from 0 without gaps; the list of sets ends at the first missing
// number. A link at a set's name counts as missing and is replaced, never
// followed, when that set is written. Names are compared with letter case ignored, for every script
// (full-width, accented, Greek, Cyrillic letters alike).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "search/engine/run_choices.h"

namespace orv {

// The handling settings under a name. Keys of section "Set": "Name",
// "Check SubDir" SubFolder, "Once End" OneEnd, "Check Size" SizeMode,
// "Do Mode" SyoriMode, "A Target" SelTgt, "A Do" DoAction, "A Doitu"
// NearMode, "A TgtDir" TgtDir.
struct TSettingSet : THandling {
    std::string Name;

    bool operator==(const TSettingSet&) const = default;
};

// True when the names are equal with letter case ignored (Unicode's lower
// case of each character).
bool SameSettingName(std::string_view a, std::string_view b);

// appDir + "Set/"
std::string SettingSetFolder(const std::string& appDir);
// appDir + "Set/Setting" + n + ".dat"
std::string SettingSetPath(const std::string& appDir, int n);

// The names of files 0, 1, ... up to the first missing one, in that order.
std::vector<std::string> LoadSettingNames(const std::string& appDir);

// What a setting set that does not read says it should have been.
inline constexpr const char* kSettingSetKind = "保存設定ファイル";

// File n with the defaults for missing keys (all defaults for a missing file).
// A file that is there but holds no section "Set" (empty, damaged, not an
// ini file, unreadable) raises EFileFormatError naming it.
TSettingSet LoadSettingSet(const std::string& appDir, int n);

// Writes the nine keys of section "Set" in their order into file n. A missing
// "Set" folder is not created: the write raises EIniFileError
// ("%s に書き込めません", the file path). A move folder that cannot be stored
// raises EConvertError and writes nothing.
void WriteSettingSet(const std::string& appDir, int n, const TSettingSet& set);

// The save scan: walks files 0, 1, ...; for each whose name equals set.Name
// (SameSettingName) asks confirmOverwrite(n); true stops there. Otherwise
// the first missing number is taken. Writes the set there and returns n.
int StoreSettingSet(const std::string& appDir, const TSettingSet& set,
                    const std::function<bool(int n)>& confirmOverwrite);

struct TDeleteSetResult {
    bool Deleted = false;  // file n was removed
    int Renumbered = 0;    // later files moved down one number
    std::string Error;     // why deleting or renumbering stopped, empty when complete
};

// Deletes file n and moves files n+1 .. count-1 (count: the number of names
// the list shows) down one number each, without ever replacing a file; stops
// at the first failure, so the list read afterwards shows what is on disk.
TDeleteSetResult DeleteSettingSet(const std::string& appDir, int n, int count);

}  // namespace orv
