// The Linux backend's sound: the tone and the WAV file, both played through
// libcanberra on the desktop's sound server. libcanberra is loaded when the
// first sound plays. No toolkit here: it can be driven on its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace zb::canberra {

class Sound {
public:
    Sound();
    ~Sound();
    Sound(const Sound&) = delete;
    Sound& operator=(const Sound&) = delete;

    // Sounds a sine tone and returns when it has ended: when the sound server
    // reports its end, or at the latest a few tens of milliseconds after its
    // length has passed since it started playing (a server with a long buffer
    // reports the end much later; the tone plays out meanwhile). Frequencies
    // outside 37..32767 Hz and lengths of 0 or less give no tone and return at
    // once; without a sound server there is no tone either. A sound server that
    // does not answer holds it back a few seconds longer than the tone at
    // most. Nothing is reported.
    void Tone(std::int32_t hertz, int milliseconds);

    // Starts the WAV file and returns at once; the sound plays on. A file that
    // cannot be played gives the sound theme's alert sound instead. Without a
    // sound server nothing plays. Nothing is reported.
    void StartWav(const std::string& path);

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
    // Makes every canberra call, one after the other.
    std::thread thread_;
};

}  // namespace zb::canberra
