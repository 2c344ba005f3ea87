// Every test program gets a temporary folder of its own, named in TMPDIR for
// the program and the programs it starts. The run's default work folder lives
// under it, and a run holds its work folder: test programs running side by
// side must not meet in one.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

class PrivateTmpDir {
public:
    PrivateTmpDir() {
        const char* base = std::getenv("TMPDIR");
        std::string templ = std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/orv_tests_XXXXXX";
        if (::mkdtemp(templ.data()) == nullptr) return;
        path_ = templ;
        ::setenv("TMPDIR", path_.c_str(), 1);
    }
    ~PrivateTmpDir() {
        if (path_.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    PrivateTmpDir(const PrivateTmpDir&) = delete;
    PrivateTmpDir& operator=(const PrivateTmpDir&) = delete;

private:
    std::string path_;
};

const PrivateTmpDir privateTmpDir;

}  // namespace
