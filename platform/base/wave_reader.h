// RIFF/WAVE parsing for the sound player: PCM only, 8 or 16 bits per sample,
// one or two channels, any rate. Every chunk size is checked against the
// buffer; the parser never reads outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orv {

struct WaveClip {
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t bitsPerSample = 0;
    // The sample bytes, inside the parsed buffer (whole frames only).
    const std::uint8_t* samples = nullptr;
    std::size_t sampleBytes = 0;

    std::size_t FrameBytes() const { return static_cast<std::size_t>(channels) * (bitsPerSample / 8); }
};

// False (reason in *error) for anything that is not a playable PCM WAVE.
bool ParseWave(const std::uint8_t* data, std::size_t size, WaveClip& out, std::string* error = nullptr);

}  // namespace orv
