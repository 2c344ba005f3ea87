#include "search/engine/path_admission.h"

#include "platform/base/codec.h"

namespace orv {

bool IsStorablePath(std::string_view utf8Path) {
    if (!IsValidUtf8(utf8Path)) return false;
    // In valid UTF-8 the C0 controls and DEL are single bytes, and the C1
    // controls U+0080 to U+009F are C2 80 to C2 9F
    // (valid UTF-8 always has a byte after C2).
    for (std::size_t i = 0; i < utf8Path.size(); ++i) {
        const auto b = static_cast<unsigned char>(utf8Path[i]);
        if (b < 0x20 || b == 0x7F) return false;
        if (b == 0xC2 && static_cast<unsigned char>(utf8Path[i + 1]) < 0xA0) return false;
    }
    return true;
}

std::string UnusablePathMessage(std::string_view utf8Path) {
    return std::string(utf8Path) + "は使用できない文字を含むため処理できません";
}

}  // namespace orv
