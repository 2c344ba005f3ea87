// Which paths the programs admit. Every stored file keeps a path exactly
// (code page 932 where it fits, else UTF-8: codec.h), but the files are line-
// or length-based and the paths are shown and compared as text, so a path
// that is not valid UTF-8, or that holds a control character, is refused
// where it enters a program (dialogs, drops, folder walks, project files,
// the pair handler's hand-over) instead of being stored or acted on altered.
// Both programs use this one rule.
#pragma once

#include <string>
#include <string_view>

namespace orv {

// False when the path is not valid UTF-8, or when it holds a control
// character (U+0000 to U+001F, U+007F to U+009F).
bool IsStorablePath(std::string_view utf8Path);

// The text as it can be shown on one line: every byte of a control character
// and every byte that is not part of valid UTF-8 is written as \xNN (two
// upper-case hex digits); everything else is kept.
std::string EscapeUnusableText(std::string_view text);

// The message (and log line) for a refused path: the path, escaped as above,
// followed by "は使用できない文字を含むため処理できません".
std::string UnusablePathMessage(std::string_view utf8Path);

}  // namespace orv
