// Fuzz target: the WAVE parser of the sound player. Whatever it accepts must
// describe whole frames inside the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/base/wave_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::WaveClip clip;
    if (orv::ParseWave(data, size, clip)) {
        if (clip.samples < data || clip.samples + clip.sampleBytes > data + size) std::abort();
        if (clip.FrameBytes() == 0 || clip.sampleBytes % clip.FrameBytes() != 0) std::abort();
        volatile std::uint8_t sink = 0;
        for (std::size_t i = 0; i < clip.sampleBytes; ++i) sink = static_cast<std::uint8_t>(sink ^ clip.samples[i]);
    }
    return 0;
}
