#include "platform/base/ini_file.h"

#include <cerrno>
#include <charconv>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::string UnquoteValue(std::string_view raw) {
    std::string_view v = TrimBlanks(raw);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    return std::string(v);
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

}  // namespace

// The lines of one ini file, parsed. Lines keep their text so that everything
// this program does not change is written back as it was.
class IniDocument {
public:
    enum class Kind { Other, Section, Key };
    struct Line {
        Kind kind = Kind::Other;
        std::string text;    // UTF-8, without the line end
        bool opaque = false; // in neither stored form: raw bytes kept in text
        std::string name;    // section or key name, ASCII-lowered
        std::string value;   // key value, trimmed and unquoted
    };

    static IniDocument Parse(const std::string& bytes) {
        IniDocument doc;
        std::optional<std::string> whole;
        try {
            whole = Cp932ToUtf8(bytes);
        } catch (const EConvertError&) {
        }
        // CR and LF are never part of a double-byte character, so the text
        // splits into lines the same before or after decoding.
        const std::string& source = whole ? *whole : bytes;
        std::size_t pos = 0;
        while (pos < source.size()) {
            std::size_t end = source.find('\n', pos);
            const std::size_t next = end == std::string::npos ? source.size() : end + 1;
            if (end == std::string::npos) end = source.size();
            std::string_view line(source.data() + pos, end - pos);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            doc.lines_.push_back(whole ? MakeLine(std::string(line)) : DecodeLine(line));
            pos = next;
        }
        return doc;
    }

    std::string Serialize() const {
        std::string out;
        bool anyOpaque = false;
        for (const Line& l : lines_) anyOpaque = anyOpaque || l.opaque;
        if (!anyOpaque) {
            std::string utf8;
            for (const Line& l : lines_) {
                utf8 += l.text;
                utf8 += "\r\n";
            }
            try {
                return Utf8ToCp932(utf8);
            } catch (const EConvertError&) {
                // A value outside code page 932: line by line below.
            }
        }
        for (const Line& l : lines_) {
            out += l.opaque ? l.text : EncodeLine(l.text);
            out += "\r\n";
        }
        return out;
    }

    // Index of the first section of that name, or npos.
    std::size_t FindSection(std::string_view section) const {
        BuildIndex();
        const auto it = sections_.find(LowerAscii(section));
        return it == sections_.end() ? npos : it->second;
    }

    // One past the last line of the section that starts at index s.
    std::size_t SectionEnd(std::size_t s) const {
        std::size_t i = s + 1;
        while (i < lines_.size() && lines_[i].kind != Kind::Section) ++i;
        return i;
    }

    // Index of the first key of that name in the first section of that name.
    std::size_t FindKey(std::string_view section, std::string_view key) const {
        BuildIndex();
        const auto it = keys_.find(IndexKey(LowerAscii(section), LowerAscii(key)));
        return it == keys_.end() ? npos : it->second;
    }

    const Line& At(std::size_t i) const { return lines_[i]; }

    std::vector<std::string> KeysOf(std::string_view section) const {
        std::vector<std::string> keys;
        const std::size_t s = FindSection(section);
        if (s == npos) return keys;
        std::unordered_set<std::string> seen;
        const std::size_t end = SectionEnd(s);
        for (std::size_t i = s + 1; i < end; ++i) {
            const Line& l = lines_[i];
            if (l.kind == Kind::Key && seen.insert(l.name).second) keys.push_back(KeyText(l));
        }
        return keys;
    }

    std::vector<std::string> Sections() const {
        std::vector<std::string> names;
        std::unordered_set<std::string> seen;
        for (const Line& l : lines_)
            if (l.kind == Kind::Section && seen.insert(l.name).second) names.push_back(SectionText(l));
        return names;
    }

    void Set(std::string_view section, std::string_view key, std::string_view value) {
        const std::string text = std::string(key) + "=" + QuoteValue(value);
        const std::size_t k = FindKey(section, key);
        if (k != npos) {
            // Keep the key's spelling as the file has it.
            lines_[k] = MakeLine(KeyText(lines_[k]) + "=" + QuoteValue(value));
            return;  // same line index, same name: the index stays valid
        }
        std::size_t s = FindSection(section);
        if (s == npos) {
            if (!lines_.empty() && !TrimBlanks(lines_.back().text).empty()) lines_.push_back(MakeLine(""));
            lines_.push_back(MakeLine("[" + std::string(section) + "]"));
            sections_.emplace(lines_.back().name, lines_.size() - 1);
            lines_.push_back(MakeLine(text));
            keys_.emplace(IndexKey(lines_[lines_.size() - 2].name, lines_.back().name), lines_.size() - 1);
            return;
        }
        // After the section's last non-blank line, so blank separator lines
        // stay between this section and the next.
        std::size_t at = SectionEnd(s);
        while (at > s + 1 && TrimBlanks(lines_[at - 1].text).empty() && !lines_[at - 1].opaque) --at;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), MakeLine(text));
        if (at + 1 == lines_.size()) keys_.emplace(IndexKey(lines_[s].name, lines_[at].name), at);  // nothing moved
        else indexed_ = false;
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

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

private:
    static std::string IndexKey(const std::string& section, const std::string& key) {
        // Names never hold a line break, so '\n' separates them unambiguously.
        return section + '\n' + key;
    }

    // Hash lookups instead of line scans: a result file read key by key has
    // thousands of keys.
    void BuildIndex() const {
        if (indexed_) return;
        sections_.clear();
        keys_.clear();
        const std::string* current = nullptr;  // lowered name of the section in hand
        bool firstOfName = false;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            const Line& l = lines_[i];
            if (l.kind == Kind::Section) {
                current = &l.name;
                firstOfName = sections_.emplace(l.name, i).second;
            } else if (l.kind == Kind::Key && current && firstOfName) {
                keys_.emplace(IndexKey(*current, l.name), i);
            }
        }
        indexed_ = true;
    }

    static Line DecodeLine(std::string_view raw) {
        try {
            return MakeLine(DecodeLineText(raw));
        } catch (const EConvertError&) {
            Line l;
            l.text = std::string(raw);
            l.opaque = true;
            return l;
        }
    }

    static Line MakeLine(std::string text) {
        Line l;
        l.text = std::move(text);
        const std::string_view t = TrimBlanks(l.text);
        if (t.empty() || t.front() == ';') return l;
        if (t.front() == '[') {
            const auto close = t.find(']');
            if (close != std::string_view::npos) {
                l.kind = Kind::Section;
                l.name = LowerAscii(TrimBlanks(t.substr(1, close - 1)));
            }
            return l;
        }
        const auto eq = t.find('=');
        if (eq == std::string_view::npos) return l;
        const std::string_view key = TrimBlanks(t.substr(0, eq));
        if (key.empty()) return l;
        l.kind = Kind::Key;
        l.name = LowerAscii(key);
        l.value = UnquoteValue(t.substr(eq + 1));
        return l;
    }

    static std::string KeyText(const Line& l) {
        const std::string_view t = TrimBlanks(l.text);
        return std::string(TrimBlanks(t.substr(0, t.find('='))));
    }

    static std::string SectionText(const Line& l) {
        const std::string_view t = TrimBlanks(l.text);
        return std::string(TrimBlanks(t.substr(1, t.find(']') - 1)));
    }

    std::vector<Line> lines_;
    mutable bool indexed_ = false;
    mutable std::unordered_map<std::string, std::size_t> sections_;
    mutable std::unordered_map<std::string, std::size_t> keys_;
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

TIniFile::TIniFile(std::string path) : path_(std::move(path)) {}



IniDocument TIniFile::Load() const {
    std::string bytes;
    if (!ReadFileBytes(path_, bytes)) {
        if (errno == ENOENT) return IniDocument();
        throw EIniFileError(path_);
    }
    return IniDocument::Parse(bytes);
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
    // Reading never fails: a missing or unreadable file reads as an empty one.
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return empty;
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return empty;
    ReadCache::Stamp stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    if (cache_ && cache_->stamp == stamp) return cache_->doc;
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return empty;
        if (n == 0) break;
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    auto fresh = std::make_unique<ReadCache>();
    fresh->stamp = stamp;
    fresh->doc = IniDocument::Parse(bytes);
    cache_ = std::move(fresh);
    return cache_->doc;
}

template <class Edit> void TIniFile::Modify(Edit&& edit) {
    if (pending_) {
        edit(*pending_);
        return;
    }
    IniDocument doc = Load();
    if (!edit(doc)) return;  // nothing to change: the file stays untouched
    const std::string bytes = doc.Serialize();
    try {
        WriteFileAtomic(path_, bytes);
    } catch (const EStreamError&) {
        throw EIniFileError(path_);
    }
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
    const IniDocument& doc = View();
    const std::size_t k = doc.FindKey(section, key);
    return k == IniDocument::npos ? std::string(def) : doc.At(k).value;
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
    int value = 0;
    return TryStrToInt(ReadString(section, key, ""), value) ? value : def;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
    return View().FindKey(section, key) != IniDocument::npos;
}

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

void TIniFile::BeginUpdate() {
    if (!pending_) pending_ = std::make_unique<IniDocument>(Load());
}

void TIniFile::UpdateFile() {
    if (!pending_) return;
    std::unique_ptr<IniDocument> doc = std::move(pending_);
    try {
        WriteFileAtomic(path_, doc->Serialize());
    } catch (const EStreamError&) {
        throw EIniFileError(path_);
    }
}

void TIniFile::CancelUpdate() noexcept { pending_.reset(); }

}  // namespace orv
