// The freedesktop trash (through GIO). Only a regular file or a symbolic
// link goes there, never a folder; a failure is reported, never turned into a
// permanent delete.
#pragma once

#include <string>

namespace orv {

// True when the file went to the trash. No exception leaves this function.
bool MoveToTrash(const std::string& path, std::string* error = nullptr);

}  // namespace orv
