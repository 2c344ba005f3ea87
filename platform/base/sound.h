// WAVE sounds. Every play goes through the current player, which tests
// replace with a recorder. The real player plays PCM WAVE files on the
// default ALSA device; an empty name, a missing or bad file, or no sound
// device plays nothing and returns at once. Nothing raises.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace orv {

class ISoundPlayer {
public:
    virtual ~ISoundPlayer() = default;
    virtual void Play(const std::string& wavPath, bool synchronous) = 0;
};

// Plays through the current player. synchronous: returns when the sound has
// ended; otherwise plays in the background, replacing a sound still playing.
void PlayWave(const std::string& wavPath, bool synchronous);

// Installs player; returns the previous one. nullptr restores the real one.
std::shared_ptr<ISoundPlayer> SetSoundPlayer(std::shared_ptr<ISoundPlayer> player);

// Test double: records every call in order.
class SoundRecorder : public ISoundPlayer {
public:
    void Play(const std::string& wavPath, bool synchronous) override { calls.emplace_back(wavPath, synchronous); }
    std::vector<std::pair<std::string, bool>> calls;
};

// The real player (ALSA). Exposed so it can be tested and owned directly.
class AlsaSoundPlayer : public ISoundPlayer {
public:
    AlsaSoundPlayer();
    ~AlsaSoundPlayer() override;  // stops and joins a background play
    void Play(const std::string& wavPath, bool synchronous) override;
    // Stops a background play and waits for its thread.
    void Stop();

private:
    void StopLocked();
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace orv
