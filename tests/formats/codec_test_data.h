// Shared helpers of the decoder tests: reference files and bit strings.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orv::codec_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ReadData(const std::string& name) {
    const std::string path = std::string(ORV_TEST_DATA) + "/codecs/" + name;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("missing test file " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "0011 0101 1" -> bytes, most significant bit first, zero padded; blanks ignored.
inline Bytes Bits(std::string_view text) {
    Bytes out;
    int n = 0;
    for (char c : text) {
        if (c != '0' && c != '1') continue;
        if (n % 8 == 0) out.push_back(0);
        if (c == '1') out.back() |= static_cast<std::uint8_t>(0x80u >> (n % 8));
        ++n;
    }
    return out;
}

// Runs a decoder on exactly sized buffers (so the sanitizers see any stray
// access) and returns dest.
template <class Decoder>
Bytes DecodeInto(Decoder& decoder, const Bytes& packed, std::size_t unpackedSize, std::uint8_t fill = 0) {
    Bytes in = packed;  // a private copy: a decoder must not need more
    Bytes out(unpackedSize, fill);
    const std::uint8_t* src = in.data();
    std::uint8_t* dst = out.data();
    decoder.Decode(src, in.size(), dst, out.size());
    return out;
}

}  // namespace orv::codec_test
