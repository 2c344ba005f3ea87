#include "platform/base/sound.h"

#include <alsa/asoundlib.h>
#include <atomic>
#include <cstdarg>
#include <mutex>
#include <thread>

#include "platform/base/file_system.h"
#include "platform/base/wave_reader.h"

namespace orv {
namespace {

// The largest file the player reads: a click or a beep is a few kilobytes.
constexpr std::int64_t kMaxWaveFile = 64 << 20;

extern "C" void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsaOnce() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&SilentAlsaError); });
}

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};

// Plays a parsed clip on the default device until it ends or stop is set.
// Returns at once when there is no device.
void PlayClip(const WaveClip& clip, const std::atomic<bool>& stop) {
    SilenceAlsaOnce();
    snd_pcm_t* raw = nullptr;
    // Non-blocking open: a busy device must not hang the caller.
    if (snd_pcm_open(&raw, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0 || !raw) return;
    std::unique_ptr<snd_pcm_t, PcmCloser> pcm(raw);
    if (snd_pcm_nonblock(pcm.get(), 0) < 0) return;
    const snd_pcm_format_t format = clip.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    if (snd_pcm_set_params(pcm.get(), format, SND_PCM_ACCESS_RW_INTERLEAVED, clip.channels, clip.sampleRate, 1,
                           100000) < 0)
        return;
    const std::size_t frameBytes = clip.FrameBytes();
    const std::size_t totalFrames = clip.sampleBytes / frameBytes;
    // Small pieces so a stop request is noticed quickly.
    const std::size_t piece = clip.sampleRate / 20 + 1;
    std::size_t done = 0;
    while (done < totalFrames && !stop.load()) {
        const std::size_t n = std::min(piece, totalFrames - done);
        const snd_pcm_sframes_t w = snd_pcm_writei(pcm.get(), clip.samples + done * frameBytes, n);
        if (w < 0) {
            if (snd_pcm_recover(pcm.get(), static_cast<int>(w), 1) < 0) return;
            continue;
        }
        done += static_cast<std::size_t>(w);
    }
    if (stop.load()) snd_pcm_drop(pcm.get());
    else snd_pcm_drain(pcm.get());
}

// Reads and checks a file; false for anything that cannot be played.
bool LoadWave(const std::string& path, std::string& bytes, WaveClip& clip) {
    if (path.empty()) return false;
    const std::int64_t size = FileSize(path);
    if (size < 12 || size > kMaxWaveFile) return false;
    if (!ReadFileBytes(path, bytes)) return false;
    return ParseWave(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), clip);
}

}  // namespace

struct AlsaSoundPlayer::State {
    std::mutex mutex;  // guards worker
    std::thread worker;
    std::atomic<bool> stop{false};
};

AlsaSoundPlayer::AlsaSoundPlayer() : state_(std::make_unique<State>()) {}

AlsaSoundPlayer::~AlsaSoundPlayer() { Stop(); }

void AlsaSoundPlayer::Stop() {
    std::lock_guard lock(state_->mutex);
    StopLocked();
}

void AlsaSoundPlayer::StopLocked() {
    state_->stop.store(true);
    if (state_->worker.joinable()) state_->worker.join();
    state_->stop.store(false);
}

void AlsaSoundPlayer::Play(const std::string& wavPath, bool synchronous) {
    try {
        auto bytes = std::make_shared<std::string>();
        WaveClip clip;
        if (!LoadWave(wavPath, *bytes, clip)) return;
        std::unique_lock lock(state_->mutex);
        StopLocked();  // a new sound replaces the one still playing
        if (synchronous) {
            lock.unlock();
            const std::atomic<bool> never{false};
            PlayClip(clip, never);
            return;
        }
        State* state = state_.get();
        // The clip points into *bytes, which the thread keeps alive.
        state_->worker = std::thread([state, bytes, clip] {
            try {
                PlayClip(clip, state->stop);
            } catch (...) {
            }
        });
    } catch (...) {
        // Sound is a courtesy: nothing about it may stop the caller.
    }
}

namespace {

std::mutex playerMutex;
std::shared_ptr<ISoundPlayer> currentPlayer;

std::shared_ptr<ISoundPlayer> RealPlayer() {
    static const std::shared_ptr<ISoundPlayer> real = std::make_shared<AlsaSoundPlayer>();
    return real;
}

}  // namespace

void PlayWave(const std::string& wavPath, bool synchronous) {
    try {
        std::shared_ptr<ISoundPlayer> player;
        {
            std::lock_guard lock(playerMutex);
            player = currentPlayer ? currentPlayer : RealPlayer();
        }
        player->Play(wavPath, synchronous);
    } catch (...) {
    }
}

std::shared_ptr<ISoundPlayer> SetSoundPlayer(std::shared_ptr<ISoundPlayer> player) {
    std::lock_guard lock(playerMutex);
    std::shared_ptr<ISoundPlayer> previous = currentPlayer ? currentPlayer : RealPlayer();
    currentPlayer = std::move(player);
    return previous;
}

}  // namespace orv
