#include "search/engine/signature_index.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <bit>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "platform/base/binary_io.h"
#include "platform/base/codec.h"
#include "platform/base/errors.h"
#include "platform/base/paths.h"
#include "platform/base/file_system.h"
#include "search/engine/signature.h"

namespace orv {

namespace {

constexpr std::size_t kRecordTail = 8 + 4 * 4;  // date, size, width, height, number
// Revision, the picture's inode, size and two times, the signature's
// inode, the closing 0; revision 1 had no signature inode.
constexpr std::size_t kStampBytes = 1 + 5 * 8 + 1;
constexpr std::uint8_t kFirstRevision = 1;
constexpr std::size_t kFirstStampBytes = 1 + 4 * 8 + 1;
static_assert(kSignatureRevision > kFirstRevision);

std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::int32_t GetI32(const std::uint8_t* p) { return static_cast<std::int32_t>(GetU32(p)); }

std::uint64_t GetU64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(GetU32(p)) | static_cast<std::uint64_t>(GetU32(p + 4)) << 32;
}

double GetF64(const std::uint8_t* p) { return std::bit_cast<double>(GetU64(p)); }

void PutU64(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// The stamp behind the path's 0 byte, when the bytes there have its form.
void ParseStamp(const std::uint8_t* p, std::size_t size, TIndexRecord& rec) {
    const bool current = size == kStampBytes && p[0] == kSignatureRevision;
    const bool first = size == kFirstStampBytes && p[0] == kFirstRevision;
    if ((!current && !first) || p[size - 1] != 0) return;
    rec.Revision = p[0];
    rec.Stamp.Known = true;
    rec.Stamp.Inode = GetU64(p + 1);
    rec.Stamp.Size = static_cast<std::int64_t>(GetU64(p + 9));
    rec.Stamp.ModifiedNs = static_cast<std::int64_t>(GetU64(p + 17));
    rec.Stamp.ChangedNs = static_cast<std::int64_t>(GetU64(p + 25));
    if (current) rec.SignatureSum = GetU64(p + 33);
}

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string SignatureFileName(std::int32_t number) {
    return std::string(kSignaturePrefix) + std::to_string(number) + kSignatureExt;
}

bool IsSignatureFileName(std::string_view name) {
    constexpr std::string_view prefix(kSignaturePrefix);
    constexpr std::string_view ext(kSignatureExt);
    if (name.size() <= prefix.size() + ext.size() || name.substr(0, prefix.size()) != prefix) return false;
    const std::string_view digits = name.substr(prefix.size(), name.size() - prefix.size() - ext.size());
    if (digits.empty() || digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), IsAsciiDigit)) return false;
    return SameTextAscii(name.substr(name.size() - ext.size()), ext);
}

bool IsWorkFileName(std::string_view name) {
    return SameTextAscii(name, kSignatureIndexName) || IsSignatureFileName(UpperAscii(name));
}

std::string EncodeIndexRecord(const std::string& path, TDateTime fileDate, std::int64_t fileSize,
                              std::int32_t width, std::int32_t height, std::int32_t number,
                              const TFileStamp* stamp, std::uint64_t signatureChecksum) {
    const std::int64_t capped = std::clamp<std::int64_t>(fileSize, 0, std::numeric_limits<std::int32_t>::max());
    TMemoryStream stream;
    BinaryWriter writer(stream);
    std::string stored = EncodeStoredString(path);
    const std::size_t len = (stored.size() - 2) + (stamp && stamp->Known ? kStampBytes : 0);
    if (len != stored.size() - 2 && len <= 0xFFFF) {
        stored[0] = static_cast<char>(len & 0xFF);
        stored[1] = static_cast<char>(len >> 8);
        stored += static_cast<char>(kSignatureRevision);
        PutU64(stored, stamp->Inode);
        PutU64(stored, static_cast<std::uint64_t>(stamp->Size));
        PutU64(stored, static_cast<std::uint64_t>(stamp->ModifiedNs));
        PutU64(stored, static_cast<std::uint64_t>(stamp->ChangedNs));
        PutU64(stored, signatureChecksum);
        stored += '\0';
    }
    writer.WriteBytes(stored.data(), stored.size());
    writer.WriteDouble(fileDate);
    writer.WriteInt32(static_cast<std::int32_t>(capped));
    writer.WriteInt32(width);
    writer.WriteInt32(height);
    writer.WriteInt32(number);
    const std::vector<std::uint8_t>& bytes = stream.Bytes();
    return std::string(bytes.begin(), bytes.end());
}

std::vector<TIndexRecord> ParseSignatureIndex(const std::uint8_t* data, std::size_t size) {
    std::vector<TIndexRecord> records;
    std::size_t pos = 0;
    while (size - pos >= 2) {
        const std::size_t len = static_cast<std::size_t>(data[pos]) | static_cast<std::size_t>(data[pos + 1]) << 8;
        // A length of 0 leaves no room for the closing 0 byte; a record must
        // hold its path and all of its fixed fields.
        if (len == 0 || size - pos - 2 < len + kRecordTail) break;
        const std::uint8_t* text = data + pos + 2;
        if (text[len - 1] != 0) break;
        const auto* end = static_cast<const std::uint8_t*>(std::memchr(text, 0, len));
        TIndexRecord rec;
        try {
            rec.Path = FromStoredText(std::string_view(reinterpret_cast<const char*>(text),
                                                      static_cast<std::size_t>(end - text)));
            rec.PathValid = !rec.Path.empty();
        } catch (const Exception&) {
            rec.Path.clear();
            rec.PathValid = false;
        }
        const std::size_t pathEnd = static_cast<std::size_t>(end - text) + 1;
        ParseStamp(text + pathEnd, len - pathEnd, rec);
        const std::uint8_t* tail = text + len;
        rec.FileDate = GetF64(tail);
        rec.FileSize = GetI32(tail + 8);
        rec.Width = GetI32(tail + 12);
        rec.Height = GetI32(tail + 16);
        rec.TmpNo = GetI32(tail + 20);
        records.push_back(std::move(rec));
        pos += 2 + len + kRecordTail;
    }
    return records;
}

std::vector<TIndexRecord> ReadSignatureIndex(TStream& stream) {
    const std::int64_t remaining = stream.Remaining();
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(remaining));
    const std::size_t got = bytes.empty() ? 0 : stream.Read(bytes.data(), bytes.size());
    return ParseSignatureIndex(bytes.data(), got);
}

void DropSupersededRecords(std::vector<TIndexRecord>& records) {
    std::unordered_map<std::int32_t, std::size_t> latest;
    latest.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) latest[records[i].TmpNo] = i;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (latest[records[i].TmpNo] != i) continue;
        if (kept != i) records[kept] = std::move(records[i]);
        ++kept;
    }
    records.resize(kept);
}

bool IsUsableRecord(const TIndexRecord& record) {
    return record.PathValid && record.TmpNo >= 0 && record.Width > 0 && record.Height > 0;
}

bool IsCurrentRecord(const TIndexRecord& record) {
    return IsUsableRecord(record) && record.Revision == kSignatureRevision && record.Stamp.Known;
}

std::vector<TIndexRecord> LiveIndexRecords(const std::vector<TIndexRecord>& records) {
    // From the end: the first record met for a path or a number is its latest.
    std::unordered_set<std::string> paths;
    std::unordered_set<std::int32_t> numbers;
    std::vector<bool> live(records.size(), false);
    for (std::size_t i = records.size(); i-- > 0;) {
        const TIndexRecord& rec = records[i];
        const bool newNumber = numbers.insert(rec.TmpNo).second;
        const bool newPath = !rec.PathValid || paths.insert(rec.Path).second;
        live[i] = newNumber && newPath && IsCurrentRecord(rec);
    }
    std::vector<TIndexRecord> out;
    for (std::size_t i = 0; i < records.size(); ++i)
        if (live[i]) out.push_back(records[i]);
    return out;
}

namespace {

// The first bytes of a bitmap file that its size check reads.
constexpr std::size_t kBmpHeadBytes = 34;

bool BmpHeadSize(const std::uint8_t* head, std::int64_t fileSize, std::int32_t& width, std::int32_t& height) {
    if (head[0] != 'B' || head[1] != 'M' || GetU32(head + 14) < 40) return false;
    const std::int32_t w = GetI32(head + 18);
    const std::int32_t h = GetI32(head + 22);
    const unsigned bitCount = static_cast<unsigned>(head[28]) | static_cast<unsigned>(head[29]) << 8;
    if (w <= 0 || h == 0 || h == std::numeric_limits<std::int32_t>::min() || bitCount != 24 || GetU32(head + 30) != 0)
        return false;
    const std::int64_t rows = h < 0 ? -std::int64_t{h} : h;
    const std::int64_t stride = (std::int64_t{w} * 3 + 3) / 4 * 4;
    // stride * rows can exceed 64 bits for a header claiming 2^31 x 2^31:
    // compare the row count with the rows the file can hold instead.
    const std::int64_t pixelBytes = fileSize - std::int64_t{GetU32(head + 10)};
    if (pixelBytes < 0 || rows > pixelBytes / stride) return false;
    width = w;
    height = static_cast<std::int32_t>(rows);
    return true;
}

}  // namespace

bool SignatureBmpSize(std::string_view file, std::int32_t& width, std::int32_t& height) {
    return file.size() >= kBmpHeadBytes && BmpHeadSize(reinterpret_cast<const std::uint8_t*>(file.data()),
                                                       static_cast<std::int64_t>(file.size()), width, height);
}

}  // namespace orv
