// Small helpers shared by the base-layer tests: a temporary folder removed at
// the end of the test, and whole-file reads and writes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace orv::test {

class TempDir {
public:
    explicit TempDir(const std::string& base = {}) {
        std::string root = base.empty() ? std::filesystem::temp_directory_path().string() : base;
        std::string templ = root + "/orv_base_test_XXXXXX";
        if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed in " + root);
        path_ = templ + "/";
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder with a trailing '/'.
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Names code page 932 cannot hold, which the system's files keep as UTF-8
// behind the byte-order mark: an accented letter, a kanji outside code page
// 932, one beyond the basic plane, an emoji, and a mix of them with Hangul.
inline const std::vector<std::string> kUtf8OnlyNames = {"josé", "森鷗外", "𠮷野家", "😀", "森鷗外_josé_😀_한글"};

// The stored text of such a name: the byte-order mark and its UTF-8 bytes.
inline std::string Utf8Form(const std::string& text) { return "\xEF\xBB\xBF" + text; }

// A stored string: 16-bit little-endian length (bytes + 1), the bytes, a zero.
inline std::string StoredString(const std::string& bytes) {
    const std::size_t n = bytes.size() + 1;
    return std::string{static_cast<char>(n & 0xFF), static_cast<char>(n >> 8)} + bytes + '\0';
}

// Sets an environment variable for one scope and restores it after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (had_) ::setenv(name_, old_.c_str(), 1);
        else ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

}  // namespace orv::test
