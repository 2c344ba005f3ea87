#include "search/engine/setting_sets.h"

#include <locale.h>
#include <wctype.h>

#include "platform/base/errors.h"
#include "platform/base/file_system.h"
#include "platform/base/ini_file.h"
#include "platform/base/paths.h"
#include "search/engine/path_admission.h"

namespace orv {

namespace {

constexpr char kSection[] = "Set";

// The next character of UTF-8 text, or (for a byte that starts no valid
// sequence) that byte alone, marked so it never equals a character.
char32_t NextChar(std::string_view text, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return 0x80000000u | byte(i++);
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0x80000000u | byte(i++);
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    i += length;
    return c;
}

// Lower case by the Unicode rules of the C library's UTF-8 locale, asked for
// by name so the user's own locale does not matter; ASCII only where the C
// library has no such locale.
char32_t LowerChar(char32_t c) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    if (!utf8 || c > 0x10FFFF) return c;
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), utf8));
}

}  // namespace

bool SameSettingName(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size())
        if (LowerChar(NextChar(a, i)) != LowerChar(NextChar(b, j))) return false;
    return i == a.size() && j == b.size();
}

std::string SettingSetFolder(const std::string& appDir) { return IncludeTrailingPathDelimiter(appDir) + "Set/"; }

std::string SettingSetPath(const std::string& appDir, int n) {
    return SettingSetFolder(appDir) + "Setting" + std::to_string(n) + ".dat";
}

std::vector<std::string> LoadSettingNames(const std::string& appDir) {
    std::vector<std::string> names;
    for (int n = 0;; ++n) {
        const std::string path = SettingSetPath(appDir, n);
        if (!FileExists(path, TLinks::NoFollow)) break;
        names.push_back(TIniFile(path).ReadString(kSection, "Name", ""));
    }
    return names;
}

TSettingSet LoadSettingSet(const std::string& appDir, int n) {
    const std::string path = SettingSetPath(appDir, n);
    const TIniFile ini(path);
    // Every set this program writes has the section; a file without it
    // would silently clear the whole settings page.
    if (FileExists(path, TLinks::NoFollow) && !ini.SectionExists(kSection))
        throw EFileFormatError(path, kSettingSetKind);
    TSettingSet set;
    set.Name = ini.ReadString(kSection, "Name", "");
    set.SubFolder = ini.ReadBool(kSection, "Check SubDir", false);
    set.OneEnd = ini.ReadBool(kSection, "Once End", false);
    set.SizeMode = ChoiceOf<TSizeMode>(ini.ReadInteger(kSection, "Check Size", -1));
    set.SyoriMode = ChoiceOf<TSyoriMode>(ini.ReadInteger(kSection, "Do Mode", -1));
    set.SelTgt = ChoiceOf<TSelTgt>(ini.ReadInteger(kSection, "A Target", -1));
    set.DoAction = ChoiceOf<TPairAction>(ini.ReadInteger(kSection, "A Do", -1));
    set.NearMode = ChoiceOf<TNearMode>(ini.ReadInteger(kSection, "A Doitu", -1));
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
    ini.WriteBool(kSection, "Check SubDir", set.SubFolder);
    ini.WriteBool(kSection, "Once End", set.OneEnd);
    ini.WriteInteger(kSection, "Check Size", ItemOf(set.SizeMode));
    ini.WriteInteger(kSection, "Do Mode", ItemOf(set.SyoriMode));
    ini.WriteInteger(kSection, "A Target", ItemOf(set.SelTgt));
    ini.WriteInteger(kSection, "A Do", ItemOf(set.DoAction));
    ini.WriteInteger(kSection, "A Doitu", ItemOf(set.NearMode));
    ini.WriteString(kSection, "A TgtDir", set.TgtDir);
    batch.Commit();
}

int StoreSettingSet(const std::string& appDir, const TSettingSet& set,
                    const std::function<bool(int n)>& confirmOverwrite) {
    int n = 0;
    for (; FileExists(SettingSetPath(appDir, n), TLinks::NoFollow); ++n) {
        const std::string name = TIniFile(SettingSetPath(appDir, n)).ReadString(kSection, "Name", "");
        if (SameSettingName(name, set.Name) && confirmOverwrite && confirmOverwrite(n)) break;
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
