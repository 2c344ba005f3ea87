// Fuzz target: ini files of any content. Reading must not fail nor give a
// value holding a zero byte, and a write must round-trip its value and leave
// every other key's value as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/base/file_system.h"
#include "platform/base/ini_file.h"
#include "platform/base/paths.h"

namespace {

// On a memory file system when there is one: every write syncs its file.
struct FuzzFileName {
    std::string path = (::access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm/") : orv::PrivateTempDir()) +
                       "orv-fuzz-ini-" + std::to_string(::getpid()) + ".ini";
    ~FuzzFileName() { ::unlink(path.c_str()); }
};

const std::string& FuzzFile() {
    static const FuzzFileName name;
    return name.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = FuzzFile();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    orv::TIniFile ini(path);
    struct Value {
        std::string section, key, value;
    };
    std::vector<Value> before;
    for (const auto& section : ini.ReadSections())
        for (const auto& key : ini.ReadSection(section)) before.push_back({section, key, ini.ReadString(section, key, "")});
    // No value is ever handed out cut short at a zero byte.
    for (const auto& v : before)
        if (v.value.find('\0') != std::string::npos) std::abort();

    const std::string value = size > 0 && data[0] % 2 ? " \"odd\" value " : "\"";
    ini.WriteString("Fuzz", "Key", value);
    if (ini.ReadString("fuzz", "KEY", "") != value) std::abort();
    for (const auto& v : before) {
        if (orv::LowerAscii(v.section) == "fuzz" && orv::LowerAscii(v.key) == "key") continue;
        if (ini.ReadString(v.section, v.key, "\x01") != v.value) std::abort();
    }
    return 0;
}
