// Code page 932 text at the file boundary. Strings are UTF-8 in memory; every
// text a file of the system stores is code page 932. Both directions are strict:
// a text that does not convert exactly, both ways, raises EConvertError and is
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

}  // namespace orv
