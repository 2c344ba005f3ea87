// The run log saved as a text file: nine labelled lines per pair and a line of
// 56 '-', CRLF line ends, nothing else. The file is code page 932 when every
// text fits it, else UTF-8 with a byte-order mark.
#pragma once

#include <string>
#include <vector>

#include "search/engine/project_file.h"

namespace orv {

// The file's bytes. Raises EConvertError when a text is not valid UTF-8.
std::string FormatSavedLog(const std::vector<TLogRow>& rows);

// Writes the file atomically (an existing file is replaced only once the new
// one is complete). Raises EConvertError, EFCreateError or EWriteError.
void SaveLogFile(const std::string& path, const std::vector<TLogRow>& rows);

}  // namespace orv
