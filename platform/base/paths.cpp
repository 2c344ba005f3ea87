#include "platform/base/paths.h"

#include <mutex>
#include <unistd.h>
#include <vector>

namespace orv {

std::string IncludeTrailingPathDelimiter(std::string_view path) {
    std::string out(path);
    if (!out.empty() && out.back() != PathDelim) out.push_back(PathDelim);
    return out;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path) {
    std::string out(path);
    if (out.size() > 1 && out.back() == PathDelim) out.pop_back();
    return out;
}

std::string ExtractFileName(std::string_view path) {
    const auto slash = path.rfind(PathDelim);
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ExtractFilePath(std::string_view path) {
    const auto slash = path.rfind(PathDelim);
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string ExtractFileExt(std::string_view path) {
    const auto slash = path.rfind(PathDelim);
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const auto dot = path.rfind('.');
    if (dot == std::string_view::npos || dot < nameStart) return {};
    return std::string(path.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
    const std::string current = ExtractFileExt(path);
    std::string out(path.substr(0, path.size() - current.size()));
    out += ext;
    return out;
}

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

namespace {

std::mutex appDirMutex;
std::string appDirOverride;

std::string ExecutableDir() {
    std::vector<char> buf(4096);
    while (true) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return "./";
        if (static_cast<std::size_t>(n) < buf.size()) return ExtractFilePath(std::string_view(buf.data(), static_cast<std::size_t>(n)));
        buf.resize(buf.size() * 2);
    }
}

}  // namespace

std::string AppDir() {
    std::lock_guard lock(appDirMutex);
    if (!appDirOverride.empty()) return appDirOverride;
    static const std::string exeDir = ExecutableDir();
    return exeDir;
}

void SetAppDir(std::string dir) {
    std::lock_guard lock(appDirMutex);
    appDirOverride = IncludeTrailingPathDelimiter(dir);
}

}  // namespace orv
