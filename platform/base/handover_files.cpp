#include "platform/base/handover_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
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
bool IsRegularEntry(const std::string& path) { return FileExists(path, TLinks::NoFollow); }

// ---- stamps as DoFiles.Dat values: "device,inode,size,mtime,ctime"

std::string StampText(const TFileStamp& s) {
    return std::to_string(s.Device) + "," + std::to_string(s.Inode) + "," + std::to_string(s.Size) + "," +
           std::to_string(s.ModifiedNs) + "," + std::to_string(s.ChangedNs);
}

template <class Int> bool TakeNumber(const char*& p, const char* end, Int& out, bool last) {
    const auto [next, ec] = std::from_chars(p, end, out);
    if (ec != std::errc() || next == p) return false;
    p = next;
    if (last) return p == end;
    if (p == end || *p != ',') return false;
    ++p;
    return true;
}

// A missing key: no stamp. A value that does not read: a damaged hand-over.
TFileStamp ReadStamp(const TIniFile& ini, const std::string& key, const std::string& path) {
    TFileStamp s;
    if (!ini.ValueExists(kDoing, key)) return s;
    const std::string text = ini.ReadString(kDoing, key, "");
    const char* p = text.data();
    const char* end = p + text.size();
    if (!TakeNumber(p, end, s.Device, false) || !TakeNumber(p, end, s.Inode, false) ||
        !TakeNumber(p, end, s.Size, false) || !TakeNumber(p, end, s.ModifiedNs, false) ||
        !TakeNumber(p, end, s.ChangedNs, true) || s.Size < 0)
        throw EReadError(path + ": " + key);
    s.Known = true;
    return s;
}

void WriteStamp(TIniFile& ini, const std::string& key, const TFileStamp& stamp) {
    if (stamp.Known) ini.WriteString(kDoing, key, StampText(stamp));
}

// ---- stamps in DoFiles2.Dat: five int64 each, size -1 for none

void WriteBinaryStamp(BinaryWriter& writer, const TFileStamp& s) {
    const TFileStamp none{};
    const TFileStamp& v = s.Known ? s : none;
    writer.WriteInt64(static_cast<std::int64_t>(v.Device));
    writer.WriteInt64(static_cast<std::int64_t>(v.Inode));
    writer.WriteInt64(s.Known ? v.Size : -1);
    writer.WriteInt64(v.ModifiedNs);
    writer.WriteInt64(v.ChangedNs);
}

TFileStamp ReadBinaryStamp(BinaryReader& reader) {
    TFileStamp s;
    s.Device = static_cast<std::uint64_t>(reader.ReadInt64());
    s.Inode = static_cast<std::uint64_t>(reader.ReadInt64());
    s.Size = reader.ReadInt64();
    s.ModifiedNs = reader.ReadInt64();
    s.ChangedNs = reader.ReadInt64();
    if (s.Size < -1) throw EReadError("DoFiles2.Dat: damaged stamp");
    s.Known = s.Size >= 0;
    return s;
}

constexpr std::int64_t kBinaryStampBytes = 5 * 8;

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
            WriteStamp(ini, "Stamp", files.Stamp);
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
            for (const TPairSide side : {TPairSide::Source, TPairSide::Target})
                WriteStamp(ini, std::string("Stamp") + kSuffixes[static_cast<int>(side)], files.Side(side).Stamp);
            break;
        case THandOverMode::WholeLog:
            ini.WriteString(kDoing, "Load No", std::to_string(files.LoadNo));
            break;
    }
    if (!files.Request.empty()) ini.WriteString(kDoing, "Request", files.Request);
    batch.Commit();
}

TDoFiles ReadDoFiles(const std::string& path) {
    // Anything under the name but a regular file (a folder, a pipe, a link)
    // is no hand-over; only a missing file reads as the defaults.
    std::string bytes;
    if (PathExists(path) &&
        (!IsRegularEntry(path) || !ReadFileBytes(path, bytes, nullptr, kMaxIniFileBytes, TLinks::NoFollow)))
        throw EReadError(path);
    TIniFile ini(path);
    // A line that does not decode could hide the key a later line repeats.
    if (!ini.SectionDecodes(kDoing)) throw EReadError(path);
    TDoFiles files;
    files.No = static_cast<THandOverMode>(ini.ReadInteger(kDoing, "No", 0));
    files.LoadNo = ini.ReadInteger(kDoing, "Load No", 0);
    files.Request = ini.ReadString(kDoing, "Request", "");
    switch (files.No) {
        case THandOverMode::Automatic:
            files.Syori = static_cast<TPairAction>(ini.ReadInteger(kDoing, "Syori", 1));
            files.TgtDir = ini.ReadString(kDoing, "Tgt Dir", "");
            files.File = ini.ReadString(kDoing, "File", "");
            files.Target = static_cast<TPairSide>(ini.ReadInteger(kDoing, "Target", 0));
            files.Stamp = ReadStamp(ini, "Stamp", path);
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
                f.Stamp = ReadStamp(ini, "Stamp" + sfx, path);
            }
            break;
        case THandOverMode::WholeLog:
            break;
    }
    return files;
}

std::string EncodeDoFiles2(std::size_t rows, const std::function<void(BinaryWriter&)>& writeRecords,
                           const std::vector<TPairStamps>& stamps) {
    TMemoryStream stream;
    BinaryWriter writer(stream);
    writer.WriteInt32(static_cast<std::int32_t>(rows) - 1);
    writeRecords(writer);
    writer.WriteInt32(-1);
    if (!stamps.empty()) {
        if (stamps.size() != rows) throw EWriteError("DoFiles2.Dat", "one pair of stamps per row");
        writer.WriteInt32(static_cast<std::int32_t>(rows));
        for (const TPairStamps& pair : stamps) {
            WriteBinaryStamp(writer, pair.L);
            WriteBinaryStamp(writer, pair.R);
        }
    }
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
    // The stamps follow the end marker; a file that ends there has none.
    if (reader.Remaining() <= 4) return log;
    if (reader.ReadInt32() != -1 || reader.ReadInt32() != rows) throw EReadError("DoFiles2.Dat: damaged stamps");
    reader.CheckCount(rows, 2 * kBinaryStampBytes);
    for (std::size_t r = 0; r < log.PairL.size(); ++r) {
        log.PairL[r].Stamp = ReadBinaryStamp(reader);
        log.PairR[r].Stamp = ReadBinaryStamp(reader);
    }
    return log;
}

std::string TakeHandOverFile(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return {};
        throw EReadError(path);
    }
    if (S_ISDIR(st.st_mode)) throw EReadError(path);
    // The rename moves the name itself and replaces a taken file left by an
    // earlier start: from here on no later start finds this hand-over.
    const std::string taken = path + kTakenSuffix;
    if (std::rename(path.c_str(), taken.c_str()) != 0) throw EReadError(path);
    if (!IsRegularEntry(taken)) {
        RemoveIfThere(taken);
        throw EReadError(path);
    }
    return taken;
}

void RemoveHandOverFiles(const std::string& folder) {
    for (const char* name : {kDoFilesName, kDoFiles2Name, kResultName}) {
        for (const std::string& path : {folder + name, folder + name + kTakenSuffix}) {
            try {
                RemoveIfThere(path);
            } catch (...) {
            }
        }
    }
}

void WriteResultFile(const std::string& path, const std::string& request, bool stop,
                     const std::vector<std::string>& texts, const std::vector<std::string>& logs) {
    // The new answer replaces the old one in one rename, so an answer given
    // earlier stays readable until this one is complete. Only a link or
    // anything else that is no regular file goes first: the answer never
    // lands elsewhere through it.
    if (PathExists(path) && !IsRegularEntry(path)) DeleteFile(path);
    TIniFile ini(path, kMaxAnswerFileBytes);
    TIniFile::Batch batch(ini, true);
    ini.WriteBool(kResult, "Stop", stop);
    if (!request.empty()) WriteOrEmpty(ini, "Request", request);
    for (std::size_t i = 0; i < texts.size(); ++i) WriteOrEmpty(ini, "Text" + std::to_string(i), texts[i]);
    for (std::size_t j = 0; j < logs.size(); ++j) WriteOrEmpty(ini, "Log" + std::to_string(j), logs[j]);
    batch.Commit();
}

THandlerAnswer ReadResultFile(const std::string& path) {
    THandlerAnswer answer;
    if (!IsRegularEntry(path)) return answer;
    try {
        TIniFile ini(path, kMaxAnswerFileBytes);
        // One read of the file for every key below; nothing is written back.
        TIniFile::Batch once(ini);
        if (!ini.ValueExists(kResult, "Stop")) return answer;
        answer.Stop = ini.ReadBool(kResult, "Stop", false);
        answer.Request = ini.ReadString(kResult, "Request", "");
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
