// Byte streams over files and memory. Read returns the count delivered, so a
// reader can take what is there; ReadBuffer raises EReadError on a short read,
// so a reader that needs every byte stops at a damaged file. Positions are
// 64-bit. Failures of the stream layer are raised (EStreamError and its kinds).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/file_handle.h"
#include "platform/base/file_system.h"

namespace orv {

enum class SeekOrigin { Beginning, Current, End };

class TStream {
public:
    virtual ~TStream() = default;
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Reads up to count bytes; returns how many were delivered.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    // Writes up to count bytes; returns how many were written.
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    // Moves the position; returns the new position. Raises EStreamError for
    // a position before the start.
    virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;

    std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(std::int64_t pos) { Seek(pos, SeekOrigin::Beginning); }
    virtual std::int64_t Size();
    // Bytes between the position and the end (never negative).
    std::int64_t Remaining();

    // Exact read: raises EReadError when fewer than count bytes are available.
    void ReadBuffer(void* buffer, std::size_t count);
    // Exact write: raises EWriteError when not every byte was written.
    void WriteBuffer(const void* buffer, std::size_t count);
};

enum class FileMode {
    OpenRead,       // existing file, read only
    OpenReadWrite,  // existing file, read and write
    Create,         // create or truncate, read and write
};

class TFileStream : public TStream {
public:
    // Raises EFCreateError (Create) or EFOpenError when the file cannot be
    // opened as a regular file (with NoFollow: a link at path cannot).
    TFileStream(const std::string& path, FileMode mode, TLinks links = TLinks::Follow);

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t Size() override;
    const std::string& FileName() const { return path_; }

private:
    std::string path_;
    TFileHandle fd_;
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> data) : data_(std::move(data)) {}
    TMemoryStream(const void* data, std::size_t size);

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }

    void Clear();
    void SetSize(std::size_t size);
    const std::uint8_t* Memory() const { return data_.data(); }
    std::uint8_t* Memory() { return data_.data(); }
    const std::vector<std::uint8_t>& Bytes() const { return data_; }

    void LoadFromFile(const std::string& path);
    void SaveToFile(const std::string& path) const;
    void LoadFromStream(TStream& source);

private:
    std::vector<std::uint8_t> data_;
    std::size_t pos_ = 0;
};

// Replaces the whole file with bytes as WriteFileAtomic does (the old file
// stays whole on failure; links as `links` says), raising like a file stream:
// EFCreateError when the new file cannot be created or put in place,
// EWriteError when it cannot be written whole, each with the path and the
// system's reason.
void SaveFileAtomic(const std::string& path, std::string_view bytes, TLinks links = TLinks::Follow);

}  // namespace orv
