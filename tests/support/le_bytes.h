// Byte writers for building binary files in tests: numbers appended to or
// written into a byte buffer (std::string or std::vector<std::uint8_t>),
// least significant byte first, with big-endian counterparts for the formats
// that store numbers that way. Signed values are written in two's complement.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace orv::test {

// Appends the low `width` bytes of value, least significant first.
template <class Bytes>
void PutLe(Bytes& out, std::uint64_t value, int width) {
    using Byte = typename Bytes::value_type;
    for (int i = 0; i < width; ++i) out.push_back(static_cast<Byte>((value >> (8 * i)) & 0xFF));
}
template <class Bytes>
void PutLe16(Bytes& out, std::uint64_t value) { PutLe(out, value, 2); }
template <class Bytes>
void PutLe32(Bytes& out, std::uint64_t value) { PutLe(out, value, 4); }

// Appends the low `width` bytes of value, most significant first.
template <class Bytes>
void PutBe(Bytes& out, std::uint64_t value, int width) {
    using Byte = typename Bytes::value_type;
    for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<Byte>((value >> (8 * i)) & 0xFF));
}
template <class Bytes>
void PutBe16(Bytes& out, std::uint64_t value) { PutBe(out, value, 2); }
template <class Bytes>
void PutBe32(Bytes& out, std::uint64_t value) { PutBe(out, value, 4); }

// Overwrites `width` bytes at offset `at`, which the buffer (a container or
// a pointer into one) must already hold.
template <class Bytes>
void SetLe(Bytes&& b, std::size_t at, std::uint64_t value, int width) {
    using Byte = std::remove_reference_t<decltype(b[0])>;
    for (int i = 0; i < width; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<Byte>((value >> (8 * i)) & 0xFF);
}
template <class Bytes>
void SetLe16(Bytes&& b, std::size_t at, std::uint64_t value) { SetLe(b, at, value, 2); }
template <class Bytes>
void SetLe32(Bytes&& b, std::size_t at, std::uint64_t value) { SetLe(b, at, value, 4); }

template <class Bytes>
void SetBe(Bytes&& b, std::size_t at, std::uint64_t value, int width) {
    using Byte = std::remove_reference_t<decltype(b[0])>;
    for (int i = 0; i < width; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<Byte>((value >> (8 * (width - 1 - i))) & 0xFF);
}
template <class Bytes>
void SetBe16(Bytes&& b, std::size_t at, std::uint64_t value) { SetBe(b, at, value, 2); }
template <class Bytes>
void SetBe32(Bytes&& b, std::size_t at, std::uint64_t value) { SetBe(b, at, value, 4); }

// The little-endian bytes of value as a string, for files spelled out inline.
inline std::string Le(std::uint64_t value, int width) {
    std::string out;
    PutLe(out, value, width);
    return out;
}
inline std::string Le16(std::uint64_t value) { return Le(value, 2); }
inline std::string Le32(std::uint64_t value) { return Le(value, 4); }

}  // namespace orv::test
