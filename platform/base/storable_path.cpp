#include "platform/base/storable_path.h"

#include <cstdio>

#include "platform/base/codec.h"

namespace orv {

namespace {

// Length of the valid UTF-8 sequence starting at text[i] (no overlong forms,
// no surrogates, nothing above U+10FFFF), 0 when there is none.
std::size_t SequenceAt(std::string_view text, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b = at(i);
    if (b < 0x80) return 1;
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (b >= 0xC2 && b <= 0xDF) n = 2;
    else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (i + n > text.size() || at(i + 1) < lo || at(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
    return n;
}

// A C0 control, DEL, or a C1 control (C2 80 to C2 9F).
bool IsControl(std::string_view text, std::size_t i, std::size_t n) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (n == 1) return b < 0x20 || b == 0x7F;
    return n == 2 && b == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
}

}  // namespace

bool IsStorablePath(std::string_view utf8Path) {
    if (!IsValidUtf8(utf8Path)) return false;
    // In valid UTF-8 the C0 controls and DEL are single bytes, and the C1
    // controls U+0080 to U+009F are C2 80 to C2 9F
    // (valid UTF-8 always has a byte after C2).
    for (std::size_t i = 0; i < utf8Path.size(); ++i)
        if (IsControl(utf8Path, i, static_cast<unsigned char>(utf8Path[i]) == 0xC2 ? 2 : 1)) return false;
    return true;
}

std::string EscapeUnusableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = SequenceAt(text, i);
        if (n != 0 && !IsControl(text, i, n)) {
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        if (n == 0) n = 1;
        for (std::size_t k = 0; k < n; ++k) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(text[i + k]));
            out += hex;
        }
        i += n;
    }
    return out;
}

std::string UnusablePathMessage(std::string_view utf8Path) {
    return EscapeUnusableText(utf8Path) + "は使用できない文字を含むため処理できません";
}

}  // namespace orv
