// Ini files with profile semantics, shared by two programs:
// - the file is code page 932 with CRLF lines (LF alone is read too); a value
//   code page 932 cannot hold is written in the UTF-8 stored form of codec.h
//   (byte-order mark, then UTF-8) and read back in either form;
// - section and key names ignore ASCII case; the first duplicate wins;
// - a missing key or a value that is not a decimal integer gives the default;
//   a Boolean is a non-zero integer and is written as "1" or "0";
// - a value that begins or ends with a blank or a double quote is written
//   inside one pair of double quotes; reading trims blanks and strips one
//   enclosing pair, so every value round-trips exactly;
// - every write re-reads the file and replaces it atomically, keeping other
//   sections, keys, their order and comment lines; a new key goes at the end
//   of its section, a new section at the end of the file;
// - reading a missing file gives the defaults; writing into a folder that does
//   not exist raises EFCreateError;
// - a value holding a zero byte reads as missing (the default is given): no
//   text of this file is ever cut short at a zero byte;
// - ini files are the programs' own: a symbolic link at the name is never
//   followed; it reads as a missing file, and a write replaces the link
//   itself with the new file;
// - only regular files of at most their size limit (kMaxIniFileBytes unless
//   the constructor names another) are read; anything else
//   reads as a missing file, and a write over it (or one that would make the
//   file larger) raises EIniFileError. Reading never blocks, whatever the
//   name holds (a pipe, a device).
// Names or values that cannot be stored exactly (a line break, a name with
// '=' or ']' or enclosing blanks or outside code page 932, a value that is not
// valid UTF-8) raise EConvertError and leave the file unchanged.
// One object is not meant to be shared between threads (reads keep a cache).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

class IniDocument;

// The system's own ini files are small; a larger one is damaged or planted.
inline constexpr std::int64_t kMaxIniFileBytes = 16 * 1024 * 1024;
// The pair handler's answer holds one line per log row of a whole-log
// hand-over: a million rows fit.
inline constexpr std::int64_t kMaxAnswerFileBytes = 128 * 1024 * 1024;

class TIniFile {
public:
    explicit TIniFile(std::string path, std::int64_t maxBytes = kMaxIniFileBytes);
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const std::string& FileName() const { return path_; }

    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
    int ReadInteger(std::string_view section, std::string_view key, int def) const;
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    bool SectionExists(std::string_view section) const;
    // False when a line of the section is in neither stored form: its key
    // reads as missing, and a later line of the same key would be read in
    // its place. True for a section that is not there.
    bool SectionDecodes(std::string_view section) const;
    // Key names of the section in file order (first occurrence of each).
    std::vector<std::string> ReadSection(std::string_view section) const;
    // Section names in file order (first occurrence of each).
    std::vector<std::string> ReadSections() const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    void WriteBool(std::string_view section, std::string_view key, bool value);
    void EraseSection(std::string_view section);
    void DeleteKey(std::string_view section, std::string_view key);

    // Batched writes: between BeginUpdate and UpdateFile, reads and writes work
    // on one in-memory copy, and UpdateFile replaces the file once.
    // CancelUpdate drops the pending changes. A fresh batch starts from an
    // empty file without reading the old one, so UpdateFile replaces it whole.
    void BeginUpdate(bool fresh = false);
    void UpdateFile();
    void CancelUpdate() noexcept;
    bool Updating() const { return pending_ != nullptr; }

    // RAII form: Commit() writes; leaving the scope without Commit() drops the
    // changes (so a failure half-way never writes half a batch).
    class Batch {
    public:
        explicit Batch(TIniFile& ini, bool fresh = false) : ini_(ini) { ini_.BeginUpdate(fresh); }
        ~Batch() { if (!done_) ini_.CancelUpdate(); }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
        void Commit() { done_ = true; ini_.UpdateFile(); }

    private:
        TIniFile& ini_;
        bool done_ = false;
    };

private:
    // Applies an edit: to the pending copy in a batch, else to a fresh read
    // of the file, which is then written back.
    template <class Edit> void Modify(Edit&& edit);
    IniDocument Load() const;
    void WriteBytes(const std::string& bytes) const;
    // The document reads work on: the pending batch, else the file as parsed
    // by the last read when it has not changed since.
    const IniDocument& View() const;

    struct ReadCache;
    std::string path_;
    std::int64_t maxBytes_;
    std::unique_ptr<IniDocument> pending_;
    mutable std::unique_ptr<ReadCache> cache_;
};

// Profile rules for one value text, exposed for tests and callers that parse
// values themselves: a decimal integer with optional sign, no blanks inside.
bool TryStrToInt(std::string_view text, int& out);

}  // namespace orv
