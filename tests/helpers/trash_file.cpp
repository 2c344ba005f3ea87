// Test helper: moves ORV_TRASH_PATH to the trash with the environment it was
// started with (HOME, XDG_DATA_HOME), so GIO sees them from its first use.
// Exit 0 on success, 1 on failure (reason on stderr), 2 without a path.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/base/trash.h"

int main() {
    const char* path = std::getenv("ORV_TRASH_PATH");
    if (!path) return 2;
    std::string error;
    if (orv::MoveToTrash(path, &error)) return 0;
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
}
