// The exception hierarchy of the whole system. Each kind of failure has one
// fixed form of message, so it reads the same in every box and log line that
// shows it; the file errors name the path, then the system's reason.
#pragma once

#include <stdexcept>
#include <string>

namespace orv {

// Base of every exception the system raises itself.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

class EStreamError : public Exception {
public:
    using Exception::Exception;
};

// Fewer bytes were available than an exact read asked for.
class EReadError : public EStreamError {
public:
    EReadError() : EStreamError("Stream read error") {}
    using EStreamError::EStreamError;
};

class EWriteError : public EStreamError {
public:
    EWriteError() : EStreamError("Stream write error") {}
    using EStreamError::EStreamError;
    // A file that was created but could not be written whole (a full disk).
    EWriteError(const std::string& path, const std::string& reason)
        : EStreamError("ファイル \"" + path + "\". " + reason + " に書き込めません") {}
};

// A file of the system's own that opened but does not read as what it should
// be (empty, cut short, damaged, of another kind). kind names what the file
// should have been ("プロジェクトファイル"); the stream layer's own text is
// never shown for it.
class EFileFormatError : public EReadError {
public:
    EFileFormatError(const std::string& path, const std::string& kind)
        : EReadError("ファイル \"" + path + "\" は Orvalis の" + kind + "として読み込めません") {}
};

// reason: the system's text for why (strerror), without the path.
class EFOpenError : public EStreamError {
public:
    explicit EFOpenError(const std::string& path, const std::string& reason = {})
        : EStreamError("ファイル \"" + path + "\". " + (reason.empty() ? "" : reason + " ") + "は開けません") {}
};

class EFCreateError : public EStreamError {
public:
    explicit EFCreateError(const std::string& path, const std::string& reason = {})
        : EStreamError("ファイル \"" + path + "\". " + (reason.empty() ? "" : reason + " ") + "を作成できません") {}
};

// An ini file that cannot be written (missing folder, no permission). Its
// text names the file alone: "<path> に書き込めません".
class EIniFileError : public EFCreateError {
public:
    explicit EIniFileError(const std::string& path) : EFCreateError(path), message_(path + " に書き込めません") {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// A text or number that does not convert (code page 932, integer texts, ...).
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A failure of the operating system, with its error text.
class EOSError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace orv
