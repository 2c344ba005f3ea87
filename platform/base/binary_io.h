// Little-endian values and stored strings over a stream.
//
// Stored string: a 16-bit little-endian length n = byte length of the stored
// text + 1, then the n-1 bytes of the text's stored form (codec.h: code page
// 932, or the UTF-8 byte-order mark and UTF-8) and a terminating zero byte.
//
// The reader never reads past the end of its stream: every count and length
// is checked against the bytes that remain before anything is allocated, and
// a short or damaged file raises EReadError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/base/stream.h"

namespace orv {

class BinaryWriter {
public:
    explicit BinaryWriter(TStream& stream) : stream_(stream) {}

    void WriteInt32(std::int32_t value);
    void WriteInt64(std::int64_t value);
    // 64-bit IEEE 754, little-endian.
    void WriteDouble(double value);
    void WriteBytes(const void* data, std::size_t count);
    // Raises EConvertError for a text that is not valid UTF-8, one that holds
    // a zero character, or one whose stored form has 65535 bytes or more (its
    // length would not fit the 16-bit field). Nothing is written then.
    void WriteStoredString(std::string_view utf8);

    TStream& Stream() { return stream_; }

private:
    TStream& stream_;
};

// The bytes of a stored string for utf8 (same refusals as WriteStoredString).
std::string EncodeStoredString(std::string_view utf8);

class BinaryReader {
public:
    explicit BinaryReader(TStream& stream) : stream_(stream) {}

    std::uint16_t ReadUInt16();
    std::int32_t ReadInt32();
    std::int64_t ReadInt64();
    double ReadDouble();
    void ReadBytes(void* data, std::size_t count);
    // Reads a stored string and returns it as UTF-8. Raises EReadError when
    // the length field is 0 (no room for the terminator), exceeds what
    // remains, the last byte is not zero, a zero byte comes before it, or the
    // text is in neither stored form: no writer of these files produces such
    // a string, so the file is damaged.
    std::string ReadStoredString();
    // The same stored string as its stored bytes, not converted: a
    // view into buffer, valid until buffer changes. Raises EReadError for a
    // damaged length or terminator or a zero byte inside (the text itself is
    // not checked otherwise).
    std::string_view ReadStoredBytes(std::string& buffer);

    // Bytes between the position and the end of the stream.
    std::int64_t Remaining() { return stream_.Remaining(); }
    // Raises EReadError unless count items of bytesPerItem bytes each fit
    // into what remains (a negative count is damaged too). Call it before
    // allocating anything sized by count.
    void CheckCount(std::int64_t count, std::int64_t bytesPerItem);

    TStream& Stream() { return stream_; }

private:
    TStream& stream_;
};

// The UTF-8 text of a stored string's bytes as ReadStoredBytes gives them.
// Raises EReadError for bytes in neither stored form.
std::string DecodeStoredText(std::string_view bytes);

}  // namespace orv
