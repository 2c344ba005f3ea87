// What the pair handler does to the user's files: to the trash, erase, move
// or copy with renaming on clashes. Plain functions
// without state that answer false instead of raising and show nothing.
#pragma once

#include <string>

#include "platform/base/file_system.h"

namespace orv {

// Moves one regular file or symbolic link to the trash. Never deletes for
// good: where there is no trash, the answer is false.
bool RecycleFile(const std::string& path);

// Deletes one regular file or symbolic link (never a folder, pipe, device or
// socket). Needs no write permission of the file itself, only of its folder;
// no mode is changed. With `expected`, only while the name still holds the
// entry whose file (a link's target for a link) has that stamp, checked on
// the entry opened without following it right before the name is removed.
bool RemoveFile(const std::string& path, const TFileStamp* expected = nullptr);

// Moves (move = true) or copies the file into folder under its own name; a
// name already taken by a file gives "[0]name", "[1]name", ... The folder is
// created with its missing parents. Never replaces an existing file, also
// when one appears under the chosen name meanwhile. Empty or relative paths
// give false before anything is touched.
bool MoveCopyFile(const std::string& source, const std::string& folder, bool move);

}  // namespace orv
