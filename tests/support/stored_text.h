// Stored texts spelled out byte by byte, to build and check the system's files.
#pragma once

#include <string>
#include <vector>

#include "tests/support/le_bytes.h"

namespace orv::test {

// Names code page 932 cannot hold, which the system's files keep as UTF-8
// behind the byte-order mark: an accented letter, a kanji outside code page
// 932, one beyond the basic plane, an emoji, and a mix of them with Hangul.
inline const std::vector<std::string> kUtf8OnlyNames = {"josé", "森鷗外", "𠮷野家", "😀", "森鷗外_josé_😀_한글"};

// The stored text of such a name: the byte-order mark and its UTF-8 bytes.
inline std::string Utf8Form(const std::string& text) { return "\xEF\xBB\xBF" + text; }

// A stored string: 16-bit little-endian length (bytes + 1), the bytes, a zero.
inline std::string StoredString(const std::string& bytes) { return Le16(bytes.size() + 1) + bytes + '\0'; }

}  // namespace orv::test
