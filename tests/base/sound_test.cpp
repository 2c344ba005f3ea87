#include "platform/base/sound.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "platform/base/wave_reader.h"
#include "tests/support/le_bytes.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace orv {
namespace {

using test::PutLe16;
using test::PutLe32;

// A WAVE file: format chunk, optional extra chunk before the data.
std::string MakeWave(unsigned tag, unsigned channels, std::uint32_t rate, unsigned bits, const std::string& samples,
                     const std::string& extraChunk = {}, std::uint32_t dataSizeField = 0xFFFFFFFFu) {
    std::string body = "WAVE";
    body += "fmt ";
    PutLe32(body, 16);
    PutLe16(body, tag);
    PutLe16(body, channels);
    PutLe32(body, rate);
    PutLe32(body, rate * channels * bits / 8);
    PutLe16(body, channels * bits / 8);
    PutLe16(body, bits);
    body += extraChunk;
    body += "data";
    PutLe32(body, dataSizeField == 0xFFFFFFFFu ? static_cast<std::uint32_t>(samples.size()) : dataSizeField);
    body += samples;
    std::string out = "RIFF";
    PutLe32(out, static_cast<std::uint32_t>(body.size()));
    return out + body;
}

bool Parse(const std::string& bytes, WaveClip& clip) {
    return ParseWave(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), clip);
}

TEST(WaveReader, AcceptsPcmLayouts) {
    WaveClip clip;
    const std::string mono = MakeWave(1, 1, 8000, 8, "\x80\x81\x82");  // the clip points into it
    ASSERT_TRUE(Parse(mono, clip));
    EXPECT_EQ(clip.channels, 1);
    EXPECT_EQ(clip.sampleRate, 8000u);
    EXPECT_EQ(clip.bitsPerSample, 8);
    EXPECT_EQ(clip.sampleBytes, 3u);
    EXPECT_EQ(std::memcmp(clip.samples, "\x80\x81\x82", 3), 0);

    // Odd-sized chunk before the data: skipped with its pad byte.
    std::string list = "LIST";
    PutLe32(list, 3);
    list += "abc";
    list.push_back('\0');
    ASSERT_TRUE(Parse(MakeWave(1, 2, 44100, 16, std::string(8, '\x01'), list), clip));
    EXPECT_EQ(clip.channels, 2);
    EXPECT_EQ(clip.FrameBytes(), 4u);
    EXPECT_EQ(clip.sampleBytes, 8u);

    // A data chunk longer than the file plays the whole frames that are there.
    std::string cut = MakeWave(1, 2, 22050, 16, std::string(10, '\x02'), {}, 1000);
    ASSERT_TRUE(Parse(cut, clip));
    EXPECT_EQ(clip.sampleBytes, 8u);
    EXPECT_LE(clip.samples + clip.sampleBytes, reinterpret_cast<const std::uint8_t*>(cut.data()) + cut.size());
}

TEST(WaveReader, RefusesWhatItCannotPlay) {
    WaveClip clip;
    const std::string pcm(4, '\0');
    EXPECT_FALSE(Parse(MakeWave(3, 1, 8000, 32, pcm), clip));   // float samples
    EXPECT_FALSE(Parse(MakeWave(1, 1, 8000, 24, pcm), clip));   // 24 bits
    EXPECT_FALSE(Parse(MakeWave(1, 3, 8000, 16, pcm), clip));   // three channels
    EXPECT_FALSE(Parse(MakeWave(1, 1, 0, 16, pcm), clip));      // no rate
    EXPECT_FALSE(Parse("RIFF\x04\0\0\0WAVE", clip));            // no chunks
    EXPECT_FALSE(Parse("RIFX\x04\0\0\0WAVE", clip));
    EXPECT_FALSE(Parse("RIFF", clip));
    // Chunk sizes pointing far past the end.
    std::string huge = "RIFF";
    PutLe32(huge, 0xFFFFFFF0u);
    huge += "WAVEfmt ";
    PutLe32(huge, 0xFFFFFFF0u);
    huge += std::string(16, '\0');
    EXPECT_FALSE(Parse(huge, clip));
    std::string junk = "RIFF";
    PutLe32(junk, 100);
    junk += "WAVEjunk";
    PutLe32(junk, 0xFFFFFFFFu);
    EXPECT_FALSE(Parse(junk, clip));
    // Data before its format.
    std::string early = "RIFF";
    PutLe32(early, 16);
    early += "WAVEdata";
    PutLe32(early, 4);
    early += pcm;
    EXPECT_FALSE(Parse(early, clip));
    // Every prefix of a good file is handled without reading past it.
    const std::string good = MakeWave(1, 1, 8000, 16, std::string(64, '\x10'));
    for (std::size_t n = 0; n <= good.size(); ++n) {
        std::vector<std::uint8_t> exact(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        ParseWave(exact.data(), exact.size(), clip);
    }
}

TEST(Sound, RecorderReplacesThePlayer) {
    auto recorder = std::make_shared<SoundRecorder>();
    const auto previous = SetSoundPlayer(recorder);
    ASSERT_TRUE(previous);
    PlayWave("/app/BMP/Click.wav", true);
    PlayWave("", false);
    EXPECT_EQ(recorder->calls, (std::vector<std::pair<std::string, bool>>{{"/app/BMP/Click.wav", true}, {"", false}}));
    EXPECT_EQ(SetSoundPlayer(nullptr), recorder);
}

TEST(Sound, RealPlayerReturnsAtOnceWithoutSoundOrDevice) {
    test::TempDir dir;
    test::WriteAll(dir / "bad.wav", "RIFF....WAVEnothing");
    test::WriteAll(dir / "short.wav", MakeWave(1, 1, 8000, 8, std::string(800, '\x80')));  // 0.1 s
    // A device that does not exist: the file is good, the open fails.
    test::ScopedEnv alsa("ALSA_CONFIG_PATH", dir / "no-such-alsa.conf");
    AlsaSoundPlayer player;
    testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& name : {std::string(), dir / "missing.wav", dir / "bad.wav", dir.path(), dir / "short.wav"}) {
        player.Play(name, true);
        player.Play(name, false);
    }
    player.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace orv
