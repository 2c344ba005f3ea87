// Text at the file boundary. Strings are UTF-8 in memory; a text a file of the
// system stores is code page 932 wherever code page 932 holds it exactly, else
// the UTF-8 byte-order mark EF BB BF followed by its UTF-8 bytes (no code page
// 932 text starts with EF BB, so the two forms never meet). Every conversion
// is strict: a text that does not convert exactly raises EConvertError and is
// never silently replaced.
#pragma once

#include <string>
#include <string_view>

namespace orv {

// UTF-8 -> code page 932. Raises EConvertError for invalid UTF-8 or a character
// code page 932 cannot hold exactly.
std::string Utf8ToCp932(std::string_view utf8);

// Code page 932 -> UTF-8. Raises EConvertError for bytes that are not valid
// code page 932.
std::string Cp932ToUtf8(std::string_view cp932);

// True when utf8 is valid UTF-8 and converts to code page 932 and back to the
// same text.
bool IsCp932Representable(std::string_view utf8);

// True for well-formed UTF-8: no overlong forms, surrogates or code points
// beyond U+10FFFF.
bool IsValidUtf8(std::string_view text);

// The stored form of a text: its code page 932 bytes when they hold it
// exactly, else the byte-order mark and the UTF-8 bytes. Raises EConvertError
// for text that is not valid UTF-8.
std::string ToStoredText(std::string_view utf8);

// Reads either stored form back to UTF-8. Raises EConvertError for bytes that
// are neither code page 932 nor, after the byte-order mark, valid UTF-8.
std::string FromStoredText(std::string_view stored);

}  // namespace orv
