#include "platform/base/stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/base/errors.h"
#include "platform/base/file_system.h"

namespace orv {

std::int64_t TStream::Size() {
    const std::int64_t pos = Position();
    const std::int64_t end = Seek(0, SeekOrigin::End);
    Seek(pos, SeekOrigin::Beginning);
    return end;
}

std::int64_t TStream::Remaining() {
    return std::max<std::int64_t>(0, Size() - Position());
}

void TStream::ReadBuffer(void* buffer, std::size_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, std::size_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError();
}

// ---- TFileStream ----

TFileStream::TFileStream(const std::string& path, FileMode mode, TLinks links) : path_(path) {
    int flags = 0;
    switch (mode) {
    case FileMode::OpenRead: flags = O_RDONLY; break;
    case FileMode::OpenReadWrite: flags = O_RDWR; break;
    case FileMode::Create: flags = O_RDWR | O_CREAT | O_TRUNC; break;
    }
    // Only regular files: a pipe or device under the name would block the
    // open or every read.
    if (links == TLinks::NoFollow) flags |= O_NOFOLLOW;
    fd_ = OpenRegularFile(path, flags, 0666);
    if (!fd_.Valid()) {
        const int err = errno;
        const std::string reason = err == ENXIO ? "Not a regular file" : std::strerror(err);
        if (mode == FileMode::Create) throw EFCreateError(path, reason);
        throw EFOpenError(path, reason);
    }
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(fd_.Get(), out + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
    const auto* in = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd_.Get(), in + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, SeekOrigin origin) {
    const int whence = origin == SeekOrigin::Beginning ? SEEK_SET
                     : origin == SeekOrigin::Current   ? SEEK_CUR
                                                       : SEEK_END;
    const off_t r = ::lseek(fd_.Get(), static_cast<off_t>(offset), whence);
    if (r < 0) throw EStreamError(std::string("Stream seek error: ") + std::strerror(errno));
    return r;
}

std::int64_t TFileStream::Size() {
    struct stat st {};
    if (::fstat(fd_.Get(), &st) != 0) return TStream::Size();
    return st.st_size;
}

void SaveFileAtomic(const std::string& path, std::string_view bytes, TLinks links) {
    TAtomicWriteFailure failure = TAtomicWriteFailure::Create;
    if (WriteFileAtomic(path, bytes, nullptr, &failure, links)) return;
    const std::string reason = std::strerror(errno);
    if (failure == TAtomicWriteFailure::Write) throw EWriteError(path, reason);
    throw EFCreateError(path, reason);
}

// ---- TMemoryStream ----

TMemoryStream::TMemoryStream(const void* data, std::size_t size)
    : data_(static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + size) {}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
    if (pos_ >= data_.size()) return 0;
    const std::size_t n = std::min(count, data_.size() - pos_);
    if (n != 0) std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
    if (count == 0) return 0;
    // A position far past the end (Seek allows it) must not wrap the sum.
    if (count > data_.max_size() || pos_ > data_.max_size() - count) return 0;
    if (pos_ + count > data_.size()) data_.resize(pos_ + count);
    std::memcpy(data_.data() + pos_, buffer, count);
    pos_ += count;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
    std::int64_t base = 0;
    if (origin == SeekOrigin::Current) base = static_cast<std::int64_t>(pos_);
    else if (origin == SeekOrigin::End) base = static_cast<std::int64_t>(data_.size());
    if ((offset > 0 && base > std::numeric_limits<std::int64_t>::max() - offset) || base + offset < 0)
        throw EStreamError("Stream seek error");
    pos_ = static_cast<std::size_t>(base + offset);
    return base + offset;
}

void TMemoryStream::Clear() {
    data_.clear();
    pos_ = 0;
}

void TMemoryStream::SetSize(std::size_t size) {
    data_.resize(size);
    pos_ = std::min(pos_, size);
}

void TMemoryStream::LoadFromFile(const std::string& path) {
    TFileStream file(path, FileMode::OpenRead);
    LoadFromStream(file);
}

void TMemoryStream::LoadFromStream(TStream& source) {
    source.SetPosition(0);
    const std::int64_t size = source.Size();
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    source.ReadBuffer(bytes.data(), bytes.size());
    data_ = std::move(bytes);
    pos_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& path) const {
    TFileStream file(path, FileMode::Create);
    file.WriteBuffer(data_.data(), data_.size());
}

}  // namespace orv
