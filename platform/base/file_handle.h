// An open file descriptor with one owner. The owner closes it when it goes
// (or is given another one); ownership moves, it is never copied, so no
// descriptor is closed twice or left open on an early return.
#pragma once

#include <cstddef>

namespace orv {

class TFileHandle {
public:
    TFileHandle() noexcept = default;
    // Takes over fd; a negative value holds nothing.
    explicit TFileHandle(int fd) noexcept : fd_(fd < 0 ? -1 : fd) {}
    // Closes the descriptor; an error close reports is ignored here, and
    // errno stays as it was.
    ~TFileHandle() { Reset(); }

    TFileHandle(TFileHandle&& other) noexcept : fd_(other.Release()) {}
    TFileHandle& operator=(TFileHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;

    int Get() const noexcept { return fd_; }
    bool Valid() const noexcept { return fd_ >= 0; }
    explicit operator bool() const noexcept { return Valid(); }

    // Hands the descriptor to the caller, who then closes it.
    int Release() noexcept {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes the one held (ignoring the result, errno unchanged) and takes
    // over fd.
    void Reset(int fd = -1) noexcept;
    // Closes now and tells whether close succeeded: a late write error (a
    // full disk or a network file system) shows here, so callers that wrote
    // check it. False with errno set on failure; true when nothing was held.
    bool Close() noexcept;

    // Writes all size bytes, going on after short writes and interruptions.
    // False with errno set when the file takes no more (EIO when write makes
    // no progress).
    bool WriteAll(const void* data, std::size_t size) const;

private:
    int fd_ = -1;
};

}  // namespace orv
