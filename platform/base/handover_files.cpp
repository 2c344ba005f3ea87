#include "platform/base/handover_files.h"

#include <sys/stat.h>

#include <exception>

#include "platform/base/binary_io.h"
#include "platform/base/errors.h"
#include "platform/base/file_system.h"
#include "platform/base/ini_file.h"

namespace orv {

namespace {

constexpr const char* kDoing = "Doing";
constexpr const char* kResult = "Result";
// A stored string takes at least its length field and the zero byte.
constexpr std::int64_t kMinRowBytes = kDoFiles2RowStrings * 3;

constexpr const char* kSuffixes[2] = {" L", " R"};

void RemoveIfThere(const std::string& path) {
    if (PathExists(path)) DeleteFile(path);
}

// The entry itself is a regular file (a link is not).
bool IsRegularEntry(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void WriteOrEmpty(TIniFile& ini, const std::string& key, const std::string& value) {
    try {
        ini.WriteString(kResult, key, value);
    } catch (const EConvertError&) {
        ini.WriteString(kResult, key, "");
    }
}

}  // namespace

const THandlerActionText* ActionTexts(TPairAction action) {
    const auto n = static_cast<std::int32_t>(action);
    return n >= 0 && n < 3 ? &kHandlerActionTexts[n] : nullptr;
}

void WriteDoFiles(const std::string& path, const TDoFiles& files) {
    RemoveIfThere(path);
    TIniFile ini(path);
    TIniFile::Batch batch(ini, true);
    ini.WriteInteger(kDoing, "No", static_cast<std::int32_t>(files.No));
    switch (files.No) {
        case THandOverMode::Automatic:
            ini.WriteInteger(kDoing, "Syori", static_cast<std::int32_t>(files.Syori));
            ini.WriteString(kDoing, "Tgt Dir", files.TgtDir);
            ini.WriteString(kDoing, "File", files.File);
            ini.WriteInteger(kDoing, "Target", static_cast<std::int32_t>(files.Target));
            break;
        case THandOverMode::OnePair:
            for (const TPairSide side : {TPairSide::Source, TPairSide::Target}) {
                const PairFile& f = files.Side(side);
                const std::string sfx = kSuffixes[static_cast<int>(side)];
                ini.WriteString(kDoing, "File" + sfx, f.File);
                ini.WriteString(kDoing, "Data" + sfx, f.Data);
                ini.WriteString(kDoing, "Size" + sfx, f.Size);
                ini.WriteString(kDoing, "Width" + sfx, f.Width);
                ini.WriteString(kDoing, "Height" + sfx, f.Height);
            }
            break;
        case THandOverMode::WholeLog:
            ini.WriteString(kDoing, "Load No", std::to_string(files.LoadNo));
            break;
    }
    batch.Commit();
}

TDoFiles ReadDoFiles(const std::string& path) {
    // Something under the name that cannot be read (a folder, a pipe, a link
    // leading nowhere) is no hand-over; only a missing file reads as the
    // defaults.
    std::string bytes;
    if (PathExists(path) && !ReadFileBytes(path, bytes, nullptr, kMaxIniFileBytes)) throw EReadError(path);
    TIniFile ini(path);
    // A line that does not decode could hide the key a later line repeats.
    if (!ini.SectionDecodes(kDoing)) throw EReadError(path);
    TDoFiles files;
    files.No = static_cast<THandOverMode>(ini.ReadInteger(kDoing, "No", 0));
    files.LoadNo = ini.ReadInteger(kDoing, "Load No", 0);
    switch (files.No) {
        case THandOverMode::Automatic:
            files.Syori = static_cast<TPairAction>(ini.ReadInteger(kDoing, "Syori", 1));
            files.TgtDir = ini.ReadString(kDoing, "Tgt Dir", "");
            files.File = ini.ReadString(kDoing, "File", "");
            files.Target = static_cast<TPairSide>(ini.ReadInteger(kDoing, "Target", 0));
            break;
        case THandOverMode::OnePair:
            for (const TPairSide side : {TPairSide::Source, TPairSide::Target}) {
                PairFile& f = files.Side(side);
                const std::string sfx = kSuffixes[static_cast<int>(side)];
                f.File = ini.ReadString(kDoing, "File" + sfx, "");
                f.Data = ini.ReadString(kDoing, "Data" + sfx, "");
                f.Size = ini.ReadString(kDoing, "Size" + sfx, "");
                f.Width = ini.ReadString(kDoing, "Width" + sfx, "0");
                f.Height = ini.ReadString(kDoing, "Height" + sfx, "0");
            }
            break;
        case THandOverMode::WholeLog:
            break;
    }
    return files;
}

std::string EncodeDoFiles2(std::size_t rows, const std::function<void(BinaryWriter&)>& writeRecords) {
    TMemoryStream stream;
    BinaryWriter writer(stream);
    writer.WriteInt32(static_cast<std::int32_t>(rows) - 1);
    writeRecords(writer);
    writer.WriteInt32(-1);
    const auto& bytes = stream.Bytes();
    return std::string(bytes.begin(), bytes.end());
}

TDoFiles2 ReadDoFiles2(TStream& stream) {
    BinaryReader reader(stream);
    const std::int32_t n = reader.ReadInt32();
    if (n < 0) throw EReadError("DoFiles2.Dat: negative row count");
    const std::int64_t rows = std::int64_t{n} + 1;
    reader.CheckCount(rows, kMinRowBytes);
    TDoFiles2 log;
    log.PairL.resize(static_cast<std::size_t>(rows));
    log.PairR.resize(static_cast<std::size_t>(rows));
    log.ResText.resize(static_cast<std::size_t>(rows));
    for (std::size_t r = 0; r < log.PairL.size(); ++r) {
        // The size comes before the date, as in the log row.
        for (PairFile* side : {&log.PairL[r], &log.PairR[r]}) {
            side->File = reader.ReadStoredString();
            side->Size = reader.ReadStoredString();
            side->Data = reader.ReadStoredString();
            side->Width = reader.ReadStoredString();
            side->Height = reader.ReadStoredString();
        }
        log.ResText[r] = reader.ReadStoredString();
    }
    return log;
}

void WriteResultFile(const std::string& path, bool stop, const std::vector<std::string>& texts,
                     const std::vector<std::string>& logs) {
    // The new answer replaces the old one in one rename, so an answer given
    // earlier stays readable until this one is complete. Only a link or
    // anything else that is no regular file goes first: the answer never
    // lands elsewhere through it.
    if (PathExists(path) && !IsRegularEntry(path)) DeleteFile(path);
    TIniFile ini(path, kMaxAnswerFileBytes);
    TIniFile::Batch batch(ini, true);
    ini.WriteBool(kResult, "Stop", stop);
    for (std::size_t i = 0; i < texts.size(); ++i) WriteOrEmpty(ini, "Text" + std::to_string(i), texts[i]);
    for (std::size_t j = 0; j < logs.size(); ++j) WriteOrEmpty(ini, "Log" + std::to_string(j), logs[j]);
    batch.Commit();
}

THandlerAnswer ReadResultFile(const std::string& path) {
    THandlerAnswer answer;
    try {
        TIniFile ini(path, kMaxAnswerFileBytes);
        // One read of the file for every key below; nothing is written back.
        TIniFile::Batch once(ini);
        if (!ini.ValueExists(kResult, "Stop")) return answer;
        answer.Stop = ini.ReadBool(kResult, "Stop", false);
        for (std::size_t n = 0; ini.ValueExists(kResult, "Text" + std::to_string(n)); ++n)
            answer.Texts.push_back(ini.ReadString(kResult, "Text" + std::to_string(n), ""));
        for (std::size_t m = 0; ini.ValueExists(kResult, "Log" + std::to_string(m)); ++m)
            answer.Logs.push_back(ini.ReadString(kResult, "Log" + std::to_string(m), ""));
        answer.Received = true;
    } catch (const std::exception&) {
        return THandlerAnswer{};
    }
    return answer;
}

}  // namespace orv
