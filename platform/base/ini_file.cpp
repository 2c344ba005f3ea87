#include "platform/base/ini_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/base/codec.h"
#include "platform/base/errors.h"
#include "platform/base/file_system.h"
#include "platform/base/paths.h"

namespace orv {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view UnquoteValue(std::string_view raw) {
    std::string_view v = TrimBlanks(raw);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    return v;
}

std::string QuoteValue(std::string_view value) {
    if (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) || value.front() == '"' || value.back() == '"'))
        return "\"" + std::string(value) + "\"";
    return std::string(value);
}

bool HasLineBreakOrZero(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos; }

void CheckStorable(std::string_view what, std::string_view text) {
    if (!IsCp932Representable(text)) throw EConvertError(std::string(what) + " cannot be stored in code page 932: " + std::string(text));
}

void CheckSectionName(std::string_view section) {
    if (section.empty() || HasLineBreakOrZero(section) || section.find(']') != std::string_view::npos ||
        TrimBlanks(section).size() != section.size())
        throw EConvertError("Invalid ini section name: " + std::string(section));
    CheckStorable("Section name", section);
}

void CheckKeyName(std::string_view key) {
    if (key.empty() || HasLineBreakOrZero(key) || key.find('=') != std::string_view::npos || key.front() == '[' ||
        key.front() == ';' || TrimBlanks(key).size() != key.size())
        throw EConvertError("Invalid ini key name: " + std::string(key));
    CheckStorable("Key name", key);
}

void CheckValue(std::string_view value) {
    if (HasLineBreakOrZero(value)) throw EConvertError("An ini value cannot hold a line break");
    if (!IsValidUtf8(value)) throw EConvertError("Value is not valid UTF-8: " + std::string(value));
}

// A line is code page 932 up to its first '=' and the blanks after it; the
// rest is a stored text, so a value code page 932 cannot hold is kept as UTF-8
// behind the byte-order mark while every other line stays as it was. '=' and
// blanks are never part of a double-byte character, so the split is the same
// in both encodings.
std::size_t StoredValueStart(std::string_view line) {
    std::size_t at = line.find('=');
    if (at == std::string_view::npos) return line.size();
    ++at;
    while (at < line.size() && IsBlank(line[at])) ++at;
    return at;
}

std::string EncodeLine(std::string_view utf8) {
    const std::size_t at = StoredValueStart(utf8);
    return Utf8ToCp932(utf8.substr(0, at)) + ToStoredText(utf8.substr(at));
}

std::string DecodeLineText(std::string_view raw) {
    const std::size_t at = StoredValueStart(raw);
    return Cp932ToUtf8(raw.substr(0, at)) + FromStoredText(raw.substr(at));
}

// FNV-1a over the ASCII-lowered bytes, so names that differ only in case
// hash alike.
std::uint32_t NameHash(std::string_view name, std::uint32_t h = 2166136261u) {
    for (char c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    return h;
}

// Spreads the hash over the low bits the table uses.
std::uint32_t Mix(std::uint32_t h) {
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    return h ^ (h >> 16);
}

// Line numbers by the hash of their name, the first line of each name only:
// open addressing with linear probing, 8 bytes a slot. `same(line)` tells
// whether a stored line carries the name looked for.
class LineTable {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    void Clear() {
        slots_.clear();
        used_ = 0;
    }
    void Reserve(std::size_t count) { Grow(count); }

    template <class Same> std::uint32_t Find(std::uint32_t hash, const Same& same) const {
        if (slots_.empty()) return kNone;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& slot = slots_[i];
            if (slot.line == kNone) return kNone;
            if (slot.hash == hash && same(slot.line)) return slot.line;
        }
    }

    // Adds line unless a line of the same name is there already.
    template <class Same> bool Insert(std::uint32_t hash, std::uint32_t line, const Same& same) {
        if (Find(hash, same) != kNone) return false;
        Grow(used_ + 1);
        Put(hash, line);
        ++used_;
        return true;
    }

private:
    struct Slot {
        std::uint32_t hash;
        std::uint32_t line;
    };

    void Put(std::uint32_t hash, std::uint32_t line) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = hash & mask;
        while (slots_[i].line != kNone) i = (i + 1) & mask;
        slots_[i] = Slot{hash, line};
    }

    // At most three quarters full, so probes stay short.
    void Grow(std::size_t count) {
        if (count * 4 <= slots_.size() * 3) return;
        std::size_t size = slots_.empty() ? 16 : slots_.size();
        while (count * 4 > size * 3) size *= 2;
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(size, Slot{0, kNone});
        for (const Slot& slot : old)
            if (slot.line != kNone) Put(slot.hash, slot.line);
    }

    std::vector<Slot> slots_;
    std::size_t used_ = 0;
};

}  // namespace

// The lines of one ini file, parsed. Every line keeps its text, so that
// everything this program does not change is written back as it was. The
// texts lie one after another in one buffer and a line is 12 bytes: offset,
// length, kind and flags; names and values are cut from the text when asked
// for. So a parsed file takes a small multiple of its size.
class IniDocument {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

private:
    // Whether a line found by hash carries the name looked for.
    struct SectionNamed {
        const IniDocument* doc;
        std::string_view name;
        bool operator()(std::uint32_t line) const { return SameTextAscii(doc->Name(line), name); }
    };
    struct KeyNamed {
        const IniDocument* doc;
        std::size_t sectionLine;
        std::string_view name;
        bool operator()(std::uint32_t line) const {
            return SameTextAscii(doc->Name(line), name) && doc->SectionOf(line) == sectionLine;
        }
    };

public:
    static IniDocument Parse(std::string bytes) {
        IniDocument doc;
        doc.lines_.reserve(static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
        doc.text_.reserve(Utf8Bound(bytes));
        // Decoded a block of lines at a time, so the whole file is never
        // held twice over. CR and LF are never part of a double-byte
        // character, so the text splits into lines the same before or after
        // decoding. A block that does not decode is decoded line by line,
        // and a line that does not either is kept as its raw bytes.
        std::size_t pos = 0;
        while (pos < bytes.size()) {
            std::size_t end = std::min(bytes.size(), pos + kBlockBytes);
            if (end < bytes.size()) {
                const std::size_t lf = bytes.find('\n', end);
                end = lf == std::string::npos ? bytes.size() : lf + 1;
            }
            const std::string_view block(bytes.data() + pos, end - pos);
            const std::size_t at = doc.text_.size();
            if (doc.AppendDecoded(Cp932ToUtf8, block)) {
                ForEachLine(std::string_view(doc.text_).substr(at), [&](std::size_t begin, std::size_t size) {
                    doc.lines_.push_back(doc.Classify(at + begin, size, 0));
                });
            } else {
                ForEachLine(block, [&](std::size_t begin, std::size_t size) {
                    const std::size_t lineAt = doc.text_.size();
                    const std::string_view raw = block.substr(begin, size);
                    const bool decoded = doc.AppendDecoded(DecodeLineText, raw);
                    if (!decoded) doc.text_ += raw;
                    doc.lines_.push_back(doc.Classify(lineAt, doc.text_.size() - lineAt, decoded ? 0 : kOpaque));
                });
            }
            pos = end;
        }
        return doc;
    }

    std::string Serialize() const {
        // Code page 932 never takes more bytes than UTF-8 for a text.
        std::size_t total = 0;
        for (const Line& l : lines_) total += l.size + 2;
        std::string out;
        out.reserve(total);
        std::string block;
        for (std::size_t i = 0; i < lines_.size();) {
            block.clear();
            const std::size_t first = i;
            for (; i < lines_.size() && block.size() < kBlockBytes; ++i) {
                const Line& l = lines_[i];
                if (l.flags & kOpaque) {
                    if (block.empty()) {
                        out += Text(l);
                        out += "\r\n";
                        ++i;
                    }
                    break;
                }
                block += Text(l);
                block += "\r\n";
            }
            try {
                out += Utf8ToCp932(block);
            } catch (const EConvertError&) {
                // A value outside code page 932: this block line by line.
                for (std::size_t k = first; k < i; ++k) {
                    out += EncodeLine(Text(lines_[k]));
                    out += "\r\n";
                }
            }
        }
        return out;
    }

    // Index of the first section of that name, or npos.
    std::size_t FindSection(std::string_view section) const {
        BuildIndex();
        return Found(sections_.Find(SectionHash(section), IsSection(section)));
    }

    // Index of the first key of that name in the first section of that name,
    // or npos. The key may be unusable (see Usable).
    std::size_t FindKey(std::string_view section, std::string_view key) const {
        const std::size_t s = FindSection(section);
        if (s == npos) return npos;
        return Found(keys_.Find(KeyHash(KeySeed(section), key), IsKey(s, key)));
    }

    // A value holding a zero byte reads as missing: the system would cut it
    // there and act on another text than the file holds.
    bool Usable(std::size_t i) const { return (lines_[i].flags & kInvalid) == 0; }

    std::string_view Value(std::size_t i) const {
        const std::string_view t = TrimBlanks(Text(lines_[i]));
        return UnquoteValue(t.substr(t.find('=') + 1));
    }

    // No line of the section (up to the next section line) failed to decode.
    bool SectionDecodes(std::string_view section) const {
        const std::size_t s = FindSection(section);
        if (s == npos) return true;
        const std::size_t end = SectionEnd(s);
        for (std::size_t i = s + 1; i < end; ++i)
            if (lines_[i].flags & kOpaque) return false;
        return true;
    }

    std::vector<std::string> KeysOf(std::string_view section) const {
        std::vector<std::string> keys;
        const std::size_t s = FindSection(section);
        if (s == npos) return keys;
        const std::size_t end = SectionEnd(s);
        for (std::size_t i = s + 1; i < end; ++i) {
            if (lines_[i].kind != Kind::Key || !Usable(i)) continue;
            const std::string_view name = Name(i);
            if (FindKey(section, name) == i) keys.emplace_back(name);
        }
        return keys;
    }

    std::vector<std::string> Sections() const {
        std::vector<std::string> names;
        BuildIndex();
        for (const std::uint32_t s : sectionLines_)
            if (FindSection(Name(s)) == s) names.emplace_back(Name(s));
        return names;
    }

    void Set(std::string_view section, std::string_view key, std::string_view value) {
        const std::size_t k = FindKey(section, key);
        if (k != npos) {
            // Keep the key's spelling as the file has it; same line, same
            // name: the index stays valid.
            const std::string text = std::string(Name(k)) + "=" + QuoteValue(value);
            lines_[k] = NewLine(text);
            return;
        }
        const std::string text = std::string(key) + "=" + QuoteValue(value);
        const std::size_t s = FindSection(section);
        if (s == npos) {
            if (!lines_.empty() && !TrimBlanks(Text(lines_.back())).empty()) lines_.push_back(NewLine(""));
            lines_.push_back(NewLine("[" + std::string(section) + "]"));
            const auto sectionLine = static_cast<std::uint32_t>(lines_.size() - 1);
            sectionLines_.push_back(sectionLine);
            sections_.Insert(SectionHash(section), sectionLine, IsSection(section));
            lines_.push_back(NewLine(text));
            keys_.Insert(KeyHash(KeySeed(section), key), static_cast<std::uint32_t>(lines_.size() - 1), IsKey(sectionLine, key));
            return;
        }
        // After the section's last non-blank line, so blank separator lines
        // stay between this section and the next.
        std::size_t at = SectionEnd(s);
        while (at > s + 1 && TrimBlanks(Text(lines_[at - 1])).empty() && !(lines_[at - 1].flags & kOpaque)) --at;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), NewLine(text));
        if (at + 1 == lines_.size())  // nothing moved
            keys_.Insert(KeyHash(KeySeed(section), key), static_cast<std::uint32_t>(at), IsKey(s, key));
        else
            indexed_ = false;
    }

    // Removes every occurrence of the section (duplicates too), so it is gone
    // for every reader afterwards.
    bool EraseSection(std::string_view section) {
        bool changed = false;
        std::size_t s;
        while ((s = FindSection(section)) != npos) {
            const std::size_t end = SectionEnd(s);
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(s), lines_.begin() + static_cast<std::ptrdiff_t>(end));
            indexed_ = false;
            changed = true;
        }
        return changed;
    }

    bool DeleteKey(std::string_view section, std::string_view key) {
        bool changed = false;
        std::size_t k;
        while ((k = FindKey(section, key)) != npos) {
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(k));
            indexed_ = false;
            changed = true;
        }
        return changed;
    }

private:
    enum class Kind : std::uint8_t { Other, Section, Key };
    enum : std::uint8_t {
        kOpaque = 1,   // not code page 932: the raw bytes are kept as text
        kInvalid = 2,  // a key line holding a zero byte
    };
    struct Line {
        std::uint32_t begin = 0;  // offset of the text in text_
        std::uint32_t size = 0;   // without the line end
        Kind kind = Kind::Other;
        std::uint8_t flags = 0;
    };

    // Lines are decoded and encoded in blocks of about this size.
    static constexpr std::size_t kBlockBytes = 64 * 1024;

    // The UTF-8 length of code page 932 bytes is at most this: a byte below
    // 0x80 stays one byte, a double-byte character or a half-width kana
    // becomes three.
    static std::size_t Utf8Bound(std::string_view bytes) {
        std::size_t high = 0;
        for (const char c : bytes) high += static_cast<unsigned char>(c) >= 0x80;
        return bytes.size() + 2 * high;
    }

    // Appends decode(bytes); false (and nothing appended) when the bytes do
    // not decode. decode is Cp932ToUtf8 for a block of lines, DecodeLineText
    // for one line whose value may be in either stored form.
    bool AppendDecoded(std::string (*decode)(std::string_view), std::string_view bytes) {
        try {
            text_ += decode(bytes);
            return true;
        } catch (const EConvertError&) {
            return false;
        }
    }

    template <class Visit> static void ForEachLine(std::string_view source, Visit&& visit) {
        std::size_t pos = 0;
        while (pos < source.size()) {
            std::size_t end = source.find('\n', pos);
            const std::size_t next = end == std::string_view::npos ? source.size() : end + 1;
            if (end == std::string_view::npos) end = source.size();
            std::size_t size = end - pos;
            if (size > 0 && source[end - 1] == '\r') --size;
            visit(pos, size);
            pos = next;
        }
    }

    static std::size_t Found(std::uint32_t line) { return line == LineTable::kNone ? npos : line; }

    std::string_view Text(const Line& l) const { return std::string_view(text_).substr(l.begin, l.size); }

    // The section or key name as the line writes it.
    std::string_view Name(std::size_t i) const {
        const std::string_view t = TrimBlanks(Text(lines_[i]));
        if (lines_[i].kind == Kind::Section) return TrimBlanks(t.substr(1, t.find(']') - 1));
        return TrimBlanks(t.substr(0, t.find('=')));
    }

    static std::uint32_t SectionHash(std::string_view section) { return Mix(NameHash(section)); }
    // A key's hash starts from its section's seed. Names never hold a line
    // break, so '\n' separates them unambiguously.
    static std::uint32_t KeySeed(std::string_view section) { return NameHash("\n", NameHash(section)); }
    static std::uint32_t KeyHash(std::uint32_t seed, std::string_view key) { return Mix(NameHash(key, seed)); }

    SectionNamed IsSection(std::string_view section) const { return SectionNamed{this, section}; }
    KeyNamed IsKey(std::size_t sectionLine, std::string_view key) const { return KeyNamed{this, sectionLine, key}; }

    // The section line a line belongs to (npos before the first section).
    std::size_t SectionOf(std::size_t line) const {
        const auto it = std::upper_bound(sectionLines_.begin(), sectionLines_.end(), line);
        return it == sectionLines_.begin() ? npos : *(it - 1);
    }

    // One past the last line of the section that starts at index s.
    std::size_t SectionEnd(std::size_t s) const {
        BuildIndex();
        const auto it = std::upper_bound(sectionLines_.begin(), sectionLines_.end(), s);
        return it == sectionLines_.end() ? lines_.size() : *it;
    }

    Line Classify(std::size_t begin, std::size_t size, std::uint8_t flags) const {
        Line l;
        l.begin = static_cast<std::uint32_t>(begin);
        l.size = static_cast<std::uint32_t>(size);
        l.flags = flags;
        if (flags & kOpaque) return l;
        const std::string_view t = TrimBlanks(Text(l));
        if (t.empty() || t.front() == ';') return l;
        if (t.front() == '[') {
            if (t.find(']') != std::string_view::npos) l.kind = Kind::Section;
            return l;
        }
        const auto eq = t.find('=');
        if (eq == std::string_view::npos || TrimBlanks(t.substr(0, eq)).empty()) return l;
        l.kind = Kind::Key;
        if (t.find('\0') != std::string_view::npos) l.flags |= kInvalid;
        return l;
    }

    // A line of new text, kept at the end of the buffer.
    Line NewLine(std::string_view text) {
        if (text_.size() + text.size() > std::numeric_limits<std::uint32_t>::max())
            throw EConvertError("An ini file cannot grow this large");
        const std::size_t at = text_.size();
        text_ += text;
        return Classify(at, text.size(), 0);
    }

    // Hash lookups instead of line scans: a result file read key by key has
    // thousands of keys.
    void BuildIndex() const {
        if (indexed_) return;
        sectionLines_.clear();
        sections_.Clear();
        keys_.Clear();
        std::size_t sectionCount = 0, keyCount = 0;
        for (const Line& l : lines_) {
            sectionCount += l.kind == Kind::Section;
            keyCount += l.kind == Kind::Key;
        }
        sectionLines_.reserve(sectionCount);
        sections_.Reserve(sectionCount);
        keys_.Reserve(keyCount);
        std::size_t current = npos;  // the section in hand, when it is the first of its name
        std::uint32_t seed = 0;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            const auto line = static_cast<std::uint32_t>(i);
            if (lines_[i].kind == Kind::Section) {
                sectionLines_.push_back(line);
                const std::string_view name = Name(i);
                current = sections_.Insert(SectionHash(name), line, IsSection(name)) ? i : npos;
                seed = KeySeed(name);
            } else if (lines_[i].kind == Kind::Key && current != npos) {
                const std::string_view key = Name(i);
                keys_.Insert(KeyHash(seed, key), line, IsKey(current, key));
            }
        }
        indexed_ = true;
    }

    std::string text_;
    std::vector<Line> lines_;
    mutable bool indexed_ = false;
    mutable std::vector<std::uint32_t> sectionLines_;  // every section line, in order
    mutable LineTable sections_;
    mutable LineTable keys_;
};

bool TryStrToInt(std::string_view text, int& out) {
    if (text.empty()) return false;
    std::string_view digits = text;
    bool negative = false;
    if (digits.front() == '+' || digits.front() == '-') {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty()) return false;
    long long value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
        if (value > 2147483648LL) return false;
    }
    if (negative) value = -value;
    if (value > 2147483647LL || value < -2147483648LL) return false;
    out = static_cast<int>(value);
    return true;
}

TIniFile::TIniFile(std::string path, std::int64_t maxBytes) : path_(std::move(path)), maxBytes_(maxBytes) {}

IniDocument TIniFile::Load() const {
    std::string bytes;
    if (!ReadFileBytes(path_, bytes, nullptr, maxBytes_, TLinks::NoFollow)) {
        // A link at the name is no file of ours: the write replaces it.
        if (errno == ENOENT || errno == ELOOP) return IniDocument();
        throw EIniFileError(path_);
    }
    return IniDocument::Parse(std::move(bytes));
}

// The parsed file of the last read and the identity it had. A write by any
// program replaces the file (new inode) or at least changes its change time,
// so a matching stamp means the same content.
struct TIniFile::ReadCache {
    struct Stamp {
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = -1;
        timespec mtime{}, ctime{};
        bool operator==(const Stamp& o) const {
            return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
                   mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
        }
    };
    Stamp stamp;
    IniDocument doc;
};

TIniFile::~TIniFile() = default;

const IniDocument& TIniFile::View() const {
    if (pending_) return *pending_;
    static const IniDocument empty;
    // Reading never fails: a missing, unreadable or oversized file, or one
    // that is no regular file, reads as an empty one.
    const TFileHandle file = OpenRegularFile(path_, O_RDONLY | O_NOFOLLOW);
    if (!file.Valid()) return empty;
    const int fd = file.Get();
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size > maxBytes_) return empty;
    ReadCache::Stamp stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    if (cache_ && cache_->stamp == stamp) return cache_->doc;
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    if (!ReadOpenFile(fd, bytes, maxBytes_)) return empty;
    cache_.reset();  // the old document goes before the new one is built
    auto fresh = std::make_unique<ReadCache>();
    fresh->stamp = stamp;
    fresh->doc = IniDocument::Parse(std::move(bytes));
    cache_ = std::move(fresh);
    return cache_->doc;
}

// Replaces the file; what could not be read back again is never written.
void TIniFile::WriteBytes(const std::string& bytes) const {
    if (static_cast<std::int64_t>(bytes.size()) > maxBytes_) throw EIniFileError(path_);
    if (!WriteFileAtomic(path_, bytes, nullptr, nullptr, TLinks::NoFollow)) throw EIniFileError(path_);
}

template <class Edit> void TIniFile::Modify(Edit&& edit) {
    if (pending_) {
        edit(*pending_);
        return;
    }
    IniDocument doc = Load();
    if (!edit(doc)) return;  // nothing to change: the file stays untouched
    WriteBytes(doc.Serialize());
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
    const IniDocument& doc = View();
    const std::size_t k = doc.FindKey(section, key);
    return k == IniDocument::npos || !doc.Usable(k) ? std::string(def) : std::string(doc.Value(k));
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
    int value = 0;
    return TryStrToInt(ReadString(section, key, ""), value) ? value : def;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
    const IniDocument& doc = View();
    const std::size_t k = doc.FindKey(section, key);
    return k != IniDocument::npos && doc.Usable(k);
}

bool TIniFile::SectionDecodes(std::string_view section) const { return View().SectionDecodes(section); }

bool TIniFile::SectionExists(std::string_view section) const {
    return View().FindSection(section) != IniDocument::npos;
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const {
    return View().KeysOf(section);
}

std::vector<std::string> TIniFile::ReadSections() const {
    return View().Sections();
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    CheckSectionName(section);
    CheckKeyName(key);
    CheckValue(value);
    Modify([&](IniDocument& doc) {
        doc.Set(section, key, value);
        return true;
    });
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TIniFile::EraseSection(std::string_view section) {
    Modify([&](IniDocument& doc) { return doc.EraseSection(section); });
}

void TIniFile::DeleteKey(std::string_view section, std::string_view key) {
    Modify([&](IniDocument& doc) { return doc.DeleteKey(section, key); });
}

void TIniFile::BeginUpdate(bool fresh) {
    if (!pending_) pending_ = fresh ? std::make_unique<IniDocument>() : std::make_unique<IniDocument>(Load());
}

void TIniFile::UpdateFile() {
    if (!pending_) return;
    std::unique_ptr<IniDocument> doc = std::move(pending_);
    WriteBytes(doc->Serialize());
}

void TIniFile::CancelUpdate() noexcept { pending_.reset(); }

}  // namespace orv
