// Project files (".ovp": lists, handling settings, log rows) and progress
// lists (".ovl": the source files whose row is finished), both little-endian
// binary with stored strings. Reading checks the whole file before anything is
// returned, so a caller applies a project only when it was read completely.
// Saving writes each file to a temporary file in the same folder and renames
// it over the old one only after the write succeeded.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "search/engine/log_table.h"
#include "search/engine/run_choices.h"

namespace orv {


struct TProjectData {
    std::vector<std::string> Sources, Targets;  // list captions; folders end with '/'
    // Stored as SizeMode, SyoriMode, SelTgt, NearMode, DoAction (the tie
    // rule before the action), SubFolder, OneEnd, TgtDir.
    THandling Handling;
    TLogTable LogRows;
    // Filled by reading only: paths of the file that the program refuses
    // (IsStorablePath); they were left out of the lists, the move folder and
    // the log. The caller names each with UnusablePathMessage.
    std::vector<std::string> Refused;
};

// The progress list that belongs to a project: its path with the extension
// changed to ".ovl".
std::string ProgressListPath(const std::string& projectPath);

// Byte images of the two files. Encoding raises EConvertError (nothing is
// produced) when a path is refused (IsStorablePath) or a text is not valid
// UTF-8 or too long for a stored string.
std::string EncodeProjectFile(const TProjectData& project);
// The same with log in place of project.LogRows (the window's log is not
// copied into the project to be saved).
std::string EncodeProjectFile(const TProjectData& project, const TLogTable& log);
std::string EncodeProgressList(const std::vector<std::string>& progress);
// Decoding raises EReadError for a short, long or damaged image; every count
// is checked against the bytes left before anything is allocated.
TProjectData DecodeProjectFile(std::string_view bytes);
std::vector<std::string> DecodeProgressList(std::string_view bytes);

// What a file that does not read says it should have been (EFileFormatError).
inline constexpr const char* kProjectFileKind = "プロジェクトファイル";
inline constexpr const char* kProgressListKind = "比較進行記録ファイル";

// Read a whole file and decode it. A file that cannot be opened raises
// EFOpenError; an empty, short or damaged one EFileFormatError, naming the
// file and its kind.
TProjectData ReadProjectFile(const std::string& path);
std::vector<std::string> ReadProgressList(const std::string& path);

// A project with its progress list (empty when there is none), both read and
// checked before either is returned: a damaged progress list fails the whole
// open, so a caller never applies half of a saved state.
struct TProjectFiles {
    TProjectData Project;
    std::vector<std::string> Progress;
};
TProjectFiles ReadProjectFiles(const std::string& path);

// Writes the project file and then the progress list (an empty progress
// record removes an existing progress list instead), each atomically. Both
// images are made before anything is written, so a text that cannot be stored
// writes nothing. A failed write raises and leaves the old file in place.
// A log, when given, is written in place of project.LogRows.
void SaveProjectFiles(const std::string& path, const TProjectData& project, const std::vector<std::string>& progress,
                      const TLogTable* log = nullptr);

}  // namespace orv
