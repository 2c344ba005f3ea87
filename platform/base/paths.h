// Path texts. The folder delimiter is '/'; file-name parts are split at the
// last '/' only. Comparisons of paths are exact; extension tests ignore ASCII
// case (LowerAscii, SameTextAscii).
#pragma once

#include <string>
#include <string_view>

namespace orv {

constexpr char PathDelim = '/';

// Appends '/' unless path already ends with one ("" stays "").
std::string IncludeTrailingPathDelimiter(std::string_view path);
// Removes one trailing '/', but never from the root "/".
std::string ExcludeTrailingPathDelimiter(std::string_view path);
// The part after the last '/' (the whole path when there is none).
std::string ExtractFileName(std::string_view path);
// The part up to and including the last '/' ("" when there is none).
std::string ExtractFilePath(std::string_view path);
// From the last '.' of the file-name part, with the dot; "" if none.
std::string ExtractFileExt(std::string_view path);
// Replaces (or appends) the extension; ext includes the dot or is "".
std::string ChangeFileExt(std::string_view path, std::string_view ext);

std::string LowerAscii(std::string_view text);
std::string UpperAscii(std::string_view text);
bool SameTextAscii(std::string_view a, std::string_view b);

// The program folder, with a trailing '/': the folder of the running
// executable unless SetAppDir gave another.
std::string AppDir();
// Sets the program folder (tests, and programs run from a copy). A trailing
// '/' is added when missing; "" returns to the executable's folder.
void SetAppDir(std::string dir);

}  // namespace orv
