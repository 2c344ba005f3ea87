#include "search/engine/path_admission.h"

#include <algorithm>

#include "platform/base/codec.h"

namespace orv {

bool IsStorablePath(std::string_view utf8Path) {
    // UTF-8 never uses bytes below 0x80 inside a multi-byte character, so a
    // byte test finds every control character.
    const bool hasControl = std::any_of(utf8Path.begin(), utf8Path.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
    return !hasControl && IsCp932Representable(utf8Path);
}

std::string UnusablePathMessage(std::string_view utf8Path) {
    return std::string(utf8Path) + "は使用できない文字を含むため処理できません";
}

}  // namespace orv
