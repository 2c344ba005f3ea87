// Which paths the program admits. Every stored file keeps a path exactly
// (code page 932 where it fits, else UTF-8: codec.h), but the files are line-
// or length-based and the paths are shown and compared as text, so a path
// that is not valid UTF-8, or that holds a control character, is refused
// where it enters the program (dialogs, drops, folder walks, project files)
// instead of being stored altered.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/storable_path.h"

namespace orv {

// IsStorablePath and UnusablePathMessage: the rule the pair handler shares,
// in platform/base/storable_path.h.

}  // namespace orv
