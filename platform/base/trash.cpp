#include "platform/base/trash.h"

#include <cerrno>
#include <cstring>
#include <gio/gio.h>
#include <memory>
#include <sys/stat.h>

#include "platform/base/file_system.h"

namespace orv {
namespace {

struct GObjectUnref {
    void operator()(gpointer p) const { g_object_unref(p); }
};
struct GErrorFree {
    void operator()(GError* e) const { g_error_free(e); }
};

}  // namespace

bool MoveToTrash(const std::string& path, std::string* error) {
    try {
        if (!UsablePath(path)) {
            if (error) *error = "unusable path";
            return false;
        }
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            if (error) *error = path + ": " + std::strerror(errno);
            return false;
        }
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
            if (error) *error = path + ": not a file";
            return false;
        }
        std::unique_ptr<GFile, GObjectUnref> file(g_file_new_for_path(path.c_str()));
        if (!file) {
            if (error) *error = path + ": cannot be reached";
            return false;
        }
        GError* raw = nullptr;
        const bool ok = g_file_trash(file.get(), nullptr, &raw) != FALSE;
        std::unique_ptr<GError, GErrorFree> err(raw);
        if (!ok) {
            if (error) *error = path + ": " + (err && err->message ? err->message : "cannot be moved to the trash");
            return false;
        }
        return true;
    } catch (...) {
        try {
            if (error) *error = "cannot be moved to the trash";
        } catch (...) {
        }
        return false;
    }
}

}  // namespace orv
