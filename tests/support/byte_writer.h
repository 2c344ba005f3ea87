// Numbers written into test files in either byte order: appended to the
// end of a byte buffer, or put at an offset inside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orv::test_bytes {

using Bytes = std::vector<std::uint8_t>;

// The `size` low bytes of v at `at`, most significant first when `big`.
inline void PutNumber(Bytes& out, std::size_t at, std::uint32_t v, int size, bool big) {
    for (int i = 0; i < size; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * (big ? size - 1 - i : i)));
}

inline void AppendNumber(Bytes& out, std::uint32_t v, int size, bool big) {
    out.resize(out.size() + static_cast<std::size_t>(size));
    PutNumber(out, out.size() - static_cast<std::size_t>(size), v, size, big);
}

inline void AppendLE16(Bytes& out, std::uint32_t v) { AppendNumber(out, v, 2, false); }
inline void AppendLE32(Bytes& out, std::uint32_t v) { AppendNumber(out, v, 4, false); }
inline void AppendBE16(Bytes& out, std::uint32_t v) { AppendNumber(out, v, 2, true); }
inline void AppendBE32(Bytes& out, std::uint32_t v) { AppendNumber(out, v, 4, true); }
inline void PutLE16(Bytes& out, std::size_t at, std::uint32_t v) { PutNumber(out, at, v, 2, false); }
inline void PutBE16(Bytes& out, std::size_t at, std::uint32_t v) { PutNumber(out, at, v, 2, true); }
inline void PutBE32(Bytes& out, std::size_t at, std::uint32_t v) { PutNumber(out, at, v, 4, true); }

}  // namespace orv::test_bytes
