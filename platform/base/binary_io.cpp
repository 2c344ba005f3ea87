#include "platform/base/binary_io.h"

#include <bit>
#include <cstring>
#include <limits>

#include "platform/base/codec.h"
#include "platform/base/errors.h"

namespace orv {
namespace {

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big);

template <class T> void PutLE(std::uint8_t* out, T value) {
    using U = std::make_unsigned_t<T>;
    U u = static_cast<U>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        out[i] = static_cast<std::uint8_t>(u & 0xFF);
        u = static_cast<U>(u >> 8);
    }
}

template <class T> void WriteLE(TStream& stream, T value) {
    std::uint8_t b[sizeof(T)];
    PutLE(b, value);
    stream.WriteBuffer(b, sizeof b);
}

template <class T> T GetLE(const std::uint8_t* in) {
    using U = std::make_unsigned_t<T>;
    U u = 0;
    for (std::size_t i = sizeof(T); i-- > 0;) u = static_cast<U>((u << 8) | in[i]);
    return static_cast<T>(u);
}

// The largest stored length is 0xFFFF, so the text may have 0xFFFE bytes.
constexpr std::size_t kMaxStoredTextBytes = std::numeric_limits<std::uint16_t>::max() - 1;

}  // namespace

void BinaryWriter::WriteInt32(std::int32_t value) { WriteLE(stream_, value); }
void BinaryWriter::WriteInt64(std::int64_t value) { WriteLE(stream_, value); }

void BinaryWriter::WriteDouble(double value) { WriteInt64(std::bit_cast<std::int64_t>(value)); }

void BinaryWriter::WriteBytes(const void* data, std::size_t count) { stream_.WriteBuffer(data, count); }

std::string EncodeStoredString(std::string_view utf8) {
    if (utf8.find('\0') != std::string_view::npos)
        throw EConvertError("A stored string cannot hold a zero character");
    const std::string text = ToStoredText(utf8);
    // A longer text would wrap the 16-bit length and corrupt every value that
    // follows it in the file. The limit counts the bytes of the stored form.
    if (text.size() > kMaxStoredTextBytes)
        throw EConvertError("Text too long for a stored string (" + std::to_string(text.size()) + " bytes)");
    std::string out(2, '\0');
    const auto n = static_cast<std::uint16_t>(text.size() + 1);
    PutLE(reinterpret_cast<std::uint8_t*>(out.data()), n);
    out += text;
    out.push_back('\0');
    return out;
}

void BinaryWriter::WriteStoredString(std::string_view utf8) {
    const std::string bytes = EncodeStoredString(utf8);
    stream_.WriteBuffer(bytes.data(), bytes.size());
}

std::uint16_t BinaryReader::ReadUInt16() {
    std::uint8_t b[2];
    stream_.ReadBuffer(b, sizeof b);
    return GetLE<std::uint16_t>(b);
}

std::int32_t BinaryReader::ReadInt32() {
    std::uint8_t b[4];
    stream_.ReadBuffer(b, sizeof b);
    return GetLE<std::int32_t>(b);
}

std::int64_t BinaryReader::ReadInt64() {
    std::uint8_t b[8];
    stream_.ReadBuffer(b, sizeof b);
    return GetLE<std::int64_t>(b);
}

double BinaryReader::ReadDouble() { return std::bit_cast<double>(ReadInt64()); }

void BinaryReader::ReadBytes(void* data, std::size_t count) { stream_.ReadBuffer(data, count); }

void BinaryReader::CheckCount(std::int64_t count, std::int64_t bytesPerItem) {
    if (count < 0 || bytesPerItem < 0) throw EReadError("Damaged file: negative count");
    const std::int64_t left = Remaining();
    if (bytesPerItem != 0 && count > left / bytesPerItem)
        throw EReadError("Damaged file: count " + std::to_string(count) + " exceeds the data left");
}

std::string_view BinaryReader::ReadStoredBytes(std::string& buffer) {
    const std::uint16_t n = ReadUInt16();
    if (n == 0) throw EReadError("Damaged file: stored string without terminator");
    CheckCount(n, 1);
    buffer.resize(n);
    stream_.ReadBuffer(buffer.data(), buffer.size());
    if (buffer.back() != '\0') throw EReadError("Damaged file: stored string not terminated");
    // No writer puts a zero byte inside the text: cutting the text there
    // would give another text than the file holds.
    const std::size_t end = buffer.find('\0');
    if (end != buffer.size() - 1) throw EReadError("Damaged file: stored string holds a zero byte");
    return std::string_view(buffer.data(), end);
}

std::string BinaryReader::ReadStoredString() {
    std::string raw;
    return DecodeStoredText(ReadStoredBytes(raw));
}

std::string DecodeStoredText(std::string_view bytes) {
    try {
        return FromStoredText(bytes);
    } catch (const EConvertError&) {
        throw EReadError("Damaged file: stored string is neither code page 932 nor UTF-8 text");
    }
}

}  // namespace orv
