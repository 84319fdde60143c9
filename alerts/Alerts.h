// The speaker tone and the WAV sound that accompany a notification.
#pragma once

#include <string>
#include <vector>

#include "settings/Settings.h"

namespace zb {

class Platform;

// Sounds speaker.frequenz hertz for speaker.time milliseconds and returns
// when the tone has ended.
void SpeakerBeep(Platform& platform, const Settings& settings);

// Starts wave.file from the first data folder that has it, or tells the user that it
// cannot be found (and waits for the confirmation).
void PlayWave(Platform& platform,
              const Settings& settings,
              const std::vector<std::string>& dataFolders);

// Starts playing a WAV file and returns at once.
void PlaySound(Platform& platform, const std::string& path);

}  // namespace zb
