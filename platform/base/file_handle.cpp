#include "platform/base/file_handle.h"

#include <cerrno>
#include <unistd.h>

namespace orv {
namespace {

// close is never repeated after EINTR: Linux releases the descriptor even
// then, and a second close could hit one another thread has opened since.
// The interrupted close has still ended the descriptor, so it counts as done.
int CloseOnce(int fd) noexcept {
    const int saved = errno;
    if (::close(fd) == 0 || errno == EINTR) {
        errno = saved;
        return 0;
    }
    return -1;
}

}  // namespace

void TFileHandle::Reset(int fd) noexcept {
    if (fd_ >= 0 && fd_ != fd) {
        // Often runs on the way out of a failure: errno keeps its cause.
        const int saved = errno;
        CloseOnce(fd_);
        errno = saved;
    }
    fd_ = fd < 0 ? -1 : fd;
}

bool TFileHandle::Close() noexcept {
    if (fd_ < 0) return true;
    return CloseOnce(Release()) == 0;
}

bool TFileHandle::WriteAll(const void* data, std::size_t size) const {
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, next, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        next += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace orv
