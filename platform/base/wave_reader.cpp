#include "platform/base/wave_reader.h"

#include <cstring>

namespace orv {
namespace {

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool Fail(std::string* error, const char* why) {
    if (error) *error = why;
    return false;
}

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

}  // namespace

bool ParseWave(const std::uint8_t* data, std::size_t size, WaveClip& out, std::string* error) {
    out = WaveClip{};
    if (!data || size < 12) return Fail(error, "too short for a RIFF header");
    if (std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0) return Fail(error, "not a RIFF WAVE file");
    // The RIFF size may overstate a truncated file: trust only what is there.
    std::size_t end = size;
    const std::uint64_t riffEnd = static_cast<std::uint64_t>(Le32(data + 4)) + 8;
    if (riffEnd >= 12 && riffEnd < end) end = static_cast<std::size_t>(riffEnd);

    bool haveFormat = false;
    std::size_t pos = 12;
    while (end - pos >= 8) {
        const std::uint8_t* id = data + pos;
        const std::uint32_t chunkSize = Le32(data + pos + 4);
        pos += 8;
        const std::size_t available = end - pos;
        if (std::memcmp(id, "fmt ", 4) == 0) {
            if (chunkSize < 16 || chunkSize > available) return Fail(error, "bad format chunk");
            const std::uint8_t* f = data + pos;
            std::uint16_t tag = Le16(f);
            if (tag == kFormatExtensible && chunkSize >= 40) tag = Le16(f + 24);  // sub-format GUID starts with the tag
            if (tag != kFormatPcm) return Fail(error, "not PCM");
            out.channels = Le16(f + 2);
            out.sampleRate = Le32(f + 4);
            out.bitsPerSample = Le16(f + 14);
            if (out.channels < 1 || out.channels > 2) return Fail(error, "unsupported channel count");
            if (out.bitsPerSample != 8 && out.bitsPerSample != 16) return Fail(error, "unsupported sample size");
            if (out.sampleRate < 1000 || out.sampleRate > 384000) return Fail(error, "unsupported sample rate");
            haveFormat = true;
        } else if (std::memcmp(id, "data", 4) == 0) {
            if (!haveFormat) return Fail(error, "data before format");
            // A data chunk cut short by the end of the file plays what is there.
            std::size_t bytes = chunkSize < available ? chunkSize : available;
            bytes -= bytes % out.FrameBytes();
            out.samples = data + pos;
            out.sampleBytes = bytes;
            return true;
        }
        if (chunkSize > available) break;
        pos += chunkSize;
        if ((chunkSize & 1) != 0 && pos < end) ++pos;  // chunks are padded to even sizes
    }
    return Fail(error, haveFormat ? "no data chunk" : "no format chunk");
}

}  // namespace orv
