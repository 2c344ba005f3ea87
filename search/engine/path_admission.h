// Which paths the program admits. Every path it stores (projects, progress
// lists, settings, setting sets, hand-over files) is code page 932 text in a
// line- or length-based format, so a path that code page 932 cannot hold
// exactly, or that holds a control character, is refused where it enters the
// program (dialogs, drops, folder walks, project files) instead of being
// stored altered.
#pragma once

#include <string>
#include <string_view>

namespace orv {

// False when code page 932 cannot hold the path exactly, or when it holds a
// control character (any byte below 0x20, or 0x7F).
bool IsStorablePath(std::string_view utf8Path);

// The message (and run-log line) for a refused path: the path followed by
// "は使用できない文字を含むため処理できません".
std::string UnusablePathMessage(std::string_view utf8Path);

}  // namespace orv
