// Setting-set files of arbitrary content: reading fails only for a file
// without its section, and the set read is written and read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/base/errors.h"
#include "platform/base/file_system.h"
#include "search/engine/setting_sets.h"
#include "tests/support/temp_dir.h"

namespace {

// The program folder of the run, removed when the fuzzer ends.
const std::string& App() {
    static const orv::test::TempDir folder;
    static const bool made = orv::ForceDirectories(orv::SettingSetFolder(folder.path()));
    if (!made) std::abort();
    return folder.path();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orv;
    const std::string& app = App();
    DeleteFile(SettingSetPath(app, 1));
    if (!WriteFileAtomic(SettingSetPath(app, 0), std::string_view(reinterpret_cast<const char*>(data), size)))
        std::abort();
    const std::vector<std::string> names = LoadSettingNames(app);
    if (names.size() != 1) std::abort();
    TSettingSet set;
    try {
        set = LoadSettingSet(app, 0);
    } catch (const EFileFormatError&) {
        return 0;  // not a setting set: named to the user, nothing applied
    }
    if (names[0] != set.Name) std::abort();

    try {
        WriteSettingSet(app, 1, set);
    } catch (const EConvertError&) {
        return 0;  // a name with a character no ini value can hold
    }
    const TSettingSet back = LoadSettingSet(app, 1);
    if (!(back == set)) std::abort();
    return 0;
}
