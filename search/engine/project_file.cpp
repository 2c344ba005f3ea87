#include "search/engine/project_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/base/binary_io.h"
#include "platform/base/errors.h"
#include "platform/base/file_system.h"
#include "platform/base/paths.h"
#include "platform/base/stream.h"
#include "search/engine/path_admission.h"
#include "search/engine/text_pool.h"

namespace orv {

namespace {

// The smallest stored string: its length field and the terminating zero.
constexpr std::int64_t kMinStoredString = 3;
constexpr std::size_t kLogPathColumns[] = {kLogSourcePath, kLogTargetPath};

void RequireStorable(const std::string& path) {
    if (!IsStorablePath(path)) throw EConvertError(UnusablePathMessage(path));
}

// Counts are stored as int32 (entries minus one in the project file).
std::int32_t StoredCount(std::size_t count) {
    if (count > static_cast<std::size_t>(INT32_MAX)) throw EConvertError("Too many entries for a project file");
    return static_cast<std::int32_t>(count);
}

void WriteStringList(BinaryWriter& out, const std::vector<std::string>& list) {
    out.WriteInt32(StoredCount(list.size()) - 1);
    for (const std::string& s : list) out.WriteStoredString(s);
}

// A count as the project file stores it (entries minus one), checked against
// what is left for that many items of at least minItemBytes each.
std::int64_t ReadMinusOneCount(BinaryReader& in, std::int64_t minItemBytes) {
    const std::int64_t count = static_cast<std::int64_t>(in.ReadInt32()) + 1;
    in.CheckCount(count, minItemBytes);
    return count;
}

// Reads the list, leaving out the paths the program refuses.
std::vector<std::string> ReadPathList(BinaryReader& in, std::vector<std::string>& refused) {
    const std::int64_t count = ReadMinusOneCount(in, kMinStoredString);
    std::vector<std::string> list;
    list.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) {
        std::string s = in.ReadStoredString();
        if (IsStorablePath(s))
            list.push_back(std::move(s));
        else
            refused.push_back(std::move(s));
    }
    return list;
}

void RequireEnd(BinaryReader& in) {
    if (in.Remaining() != 0) throw EReadError("Damaged file: data after the last field");
}

std::string ReadWholeFile(const std::string& path) {
    // Opening a pipe or device named like a project would block or never end.
    if (PathExists(path) && !FileExists(path))
        throw EFOpenError(path, DirectoryExists(path) ? std::strerror(EISDIR) : "通常のファイルではありません");
    // The reason alone: the error names the path itself.
    std::string bytes;
    if (!ReadFileBytes(path, bytes)) throw EFOpenError(path, std::strerror(errno));
    return bytes;
}

bool IsAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x80; });
}

// Log rows repeat their paths, dates and results: each distinct stored text
// is converted and checked once, and the rows take the table's numbers. A
// run logs the matches of one source one after another, so a cell is first
// compared with the same cell of the row before.
void ReadLogRows(BinaryReader& in, std::int64_t rows, TProjectData& project) {
    TLogTable& log = project.LogRows;
    log.reserve(static_cast<std::size_t>(rows));
    TTextPool stored;                      // the file's bytes of each text
    std::vector<std::uint32_t> textOf{0};  // stored number -> table number (0: the empty text)
    TTextPool folders;                     // the file's bytes of path folders
    std::vector<std::string> folderText{std::string()};  // folder number -> its text
    std::vector<std::int8_t> storable;     // table number -> path check (-1 not yet)
    std::array<std::string, kLogColumns> previous;
    std::string buffer;
    TLogTable::TIds ids{};
    for (std::int64_t r = 0; r < rows; ++r) {
        for (std::size_t c = 0; c < kLogColumns; ++c) {
            const std::string_view bytes = in.ReadStoredBytes(buffer);
            if (r > 0 && bytes == previous[c]) continue;
            previous[c] = bytes;
            // ASCII reads the same in both encodings (sizes, dates, numbers).
            if (IsAscii(bytes)) {
                ids[c] = log.Intern(bytes);
                continue;
            }
            const std::uint32_t raw = stored.Intern(bytes);
            if (raw == textOf.size()) {
                // A path with an ASCII file name converts its folder once for
                // all the files in it ('/' is never part of a code page 932
                // character, and the encoding keeps no state between pieces).
                const std::size_t slash = bytes.rfind('/');
                std::string utf8;
                if (slash != std::string_view::npos && IsAscii(bytes.substr(slash + 1))) {
                    const std::string_view folder = bytes.substr(0, slash + 1);
                    const std::uint32_t id = folders.Intern(folder);
                    if (id == folderText.size()) folderText.push_back(DecodeStoredText(folder));
                    utf8.append(folderText[id]).append(bytes.substr(slash + 1));
                } else {
                    utf8 = DecodeStoredText(bytes);
                }
                textOf.push_back(log.Intern(utf8));
            }
            ids[c] = textOf[raw];
        }
        bool usable = true;
        for (std::size_t c : kLogPathColumns) {
            if (storable.size() <= ids[c]) storable.resize(ids[c] + 1, -1);
            std::int8_t& ok = storable[ids[c]];
            if (ok < 0) ok = IsStorablePath(log.Text(ids[c])) ? 1 : 0;
            if (!ok) {
                project.Refused.emplace_back(log.Text(ids[c]));
                usable = false;
            }
        }
        if (usable) log.AppendIds(ids);
    }
}

}  // namespace

std::string ProgressListPath(const std::string& projectPath) { return ChangeFileExt(projectPath, ".ovl"); }

std::string EncodeProjectFile(const TProjectData& project) { return EncodeProjectFile(project, project.LogRows); }

std::string EncodeProjectFile(const TProjectData& project, const TLogTable& log) {
    for (const std::string& s : project.Sources) RequireStorable(s);
    for (const std::string& s : project.Targets) RequireStorable(s);
    RequireStorable(project.Handling.TgtDir);
    // Each distinct text is checked and encoded once.
    std::vector<bool> checked(log.TextCount(), false);
    for (std::size_t r = 0; r < log.size(); ++r)
        for (std::size_t c : kLogPathColumns) {
            const std::uint32_t id = log.Ids(r)[c];
            if (checked[id]) continue;
            if (!IsStorablePath(log.Text(id))) throw EConvertError(UnusablePathMessage(log.Text(id)));
            checked[id] = true;
        }

    TMemoryStream stream;
    BinaryWriter out(stream);
    WriteStringList(out, project.Sources);
    WriteStringList(out, project.Targets);
    const THandling& h = project.Handling;
    for (std::int32_t item : {ItemOf(h.SizeMode), ItemOf(h.SyoriMode), ItemOf(h.SelTgt), ItemOf(h.NearMode),
                              ItemOf(h.DoAction)})
        out.WriteInt32(item);
    out.WriteInt32(h.SubFolder ? 1 : 0);
    out.WriteInt32(h.OneEnd ? 1 : 0);
    out.WriteStoredString(h.TgtDir);
    out.WriteInt32(StoredCount(log.size()) - 1);
    WriteStoredRows(out, log);
    const auto& bytes = stream.Bytes();
    return std::string(bytes.begin(), bytes.end());
}

std::string EncodeProgressList(const std::vector<std::string>& progress) {
    for (const std::string& s : progress) RequireStorable(s);
    TMemoryStream stream;
    BinaryWriter out(stream);
    out.WriteInt32(StoredCount(progress.size()));
    for (const std::string& s : progress) out.WriteStoredString(s);
    const auto& bytes = stream.Bytes();
    return std::string(bytes.begin(), bytes.end());
}

TProjectData DecodeProjectFile(std::string_view bytes) {
    TMemoryStream stream(bytes.data(), bytes.size());
    BinaryReader in(stream);
    TProjectData project;
    project.Sources = ReadPathList(in, project.Refused);
    project.Targets = ReadPathList(in, project.Refused);
    THandling& h = project.Handling;
    h.SizeMode = ChoiceOf<TSizeMode>(in.ReadInt32());
    h.SyoriMode = ChoiceOf<TSyoriMode>(in.ReadInt32());
    h.SelTgt = ChoiceOf<TSelTgt>(in.ReadInt32());
    h.NearMode = ChoiceOf<TNearMode>(in.ReadInt32());
    h.DoAction = ChoiceOf<TPairAction>(in.ReadInt32());
    h.SubFolder = in.ReadInt32() == 1;
    h.OneEnd = in.ReadInt32() == 1;
    h.TgtDir = in.ReadStoredString();
    if (!IsStorablePath(h.TgtDir)) {
        project.Refused.push_back(std::move(h.TgtDir));
        h.TgtDir.clear();
    }
    const std::int64_t rows = ReadMinusOneCount(in, kMinStoredString * kLogColumns);
    ReadLogRows(in, rows, project);
    RequireEnd(in);
    return project;
}

std::vector<std::string> DecodeProgressList(std::string_view bytes) {
    TMemoryStream stream(bytes.data(), bytes.size());
    BinaryReader in(stream);
    const std::int64_t count = in.ReadInt32();
    in.CheckCount(count, kMinStoredString);
    std::vector<std::string> progress;
    progress.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) {
        std::string s = in.ReadStoredString();
        // A path the program refuses can never be a finished source row.
        if (IsStorablePath(s)) progress.push_back(std::move(s));
    }
    RequireEnd(in);
    return progress;
}

namespace {

// Whatever the decoder finds wrong, the user is told which file failed and
// what it should have been.
template <class Decode>
auto DecodeFile(const std::string& path, const char* kind, Decode decode) {
    const std::string bytes = ReadWholeFile(path);
    try {
        return decode(bytes);
    } catch (const Exception&) {
        throw EFileFormatError(path, kind);
    }
}

}  // namespace

TProjectData ReadProjectFile(const std::string& path) {
    return DecodeFile(path, kProjectFileKind, [](std::string_view b) { return DecodeProjectFile(b); });
}

std::vector<std::string> ReadProgressList(const std::string& path) {
    return DecodeFile(path, kProgressListKind, [](std::string_view b) { return DecodeProgressList(b); });
}

TProjectFiles ReadProjectFiles(const std::string& path) {
    TProjectFiles files;
    files.Project = ReadProjectFile(path);
    const std::string listPath = ProgressListPath(path);
    if (FileExists(listPath)) files.Progress = ReadProgressList(listPath);
    return files;
}

void SaveProjectFiles(const std::string& path, const TProjectData& project, const std::vector<std::string>& progress,
                      const TLogTable* log) {
    const std::string projectBytes = EncodeProjectFile(project, log ? *log : project.LogRows);
    const std::string progressBytes = progress.empty() ? std::string() : EncodeProgressList(progress);
    const std::string listPath = ProgressListPath(path);

    SaveFileAtomic(path, projectBytes);
    if (!progress.empty()) {
        SaveFileAtomic(listPath, progressBytes);
    } else if (PathExists(listPath)) {
        // A progress list left behind would restore an old record on the next
        // open, so failing to remove it is a failed save.
        std::string error;
        if (!DeleteFile(listPath, &error) && errno != ENOENT)
            throw EOSError("Cannot delete file \"" + listPath + "\". " + error);
    }
}

}  // namespace orv
