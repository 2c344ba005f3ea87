// The desktop shell: file-type icons for a path and opening a file or an
// address with the desktop's program.
#pragma once

#include <QIcon>
#include <string>

namespace orv {

// The icon the desktop shows for the path (a folder, or a file by its type),
// at the size asked for (32 for large, 16 for small icons).
QIcon FileTypeIcon(const std::string& path);
QPixmap FileTypePixmap(const std::string& path, int size);

// Opens a file or a URL with the desktop's program; false when that failed.
bool OpenDocument(const std::string& pathOrUrl);

}  // namespace orv
