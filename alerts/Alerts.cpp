#include "alerts/Alerts.h"

#include "platform/DataFile.h"
#include "platform/Platform.h"

namespace zb {

void SpeakerBeep(Platform& platform, const Settings& settings) {
    platform.Tone(settings.speakerFrequenz, settings.speakerTime);
}

void PlayWave(Platform& platform,
              const Settings& settings,
              const std::vector<std::string>& dataFolders) {
    const std::string path = DataFilePath(platform, dataFolders, settings.waveFile);
    if (platform.FileExists(path))
        PlaySound(platform, path);
    else
        platform.ShowMessage(
            "Bitte prüfen Sie die INI-Datei, der Sound konnte nicht gefunden werden!");
}

void PlaySound(Platform& platform, const std::string& path) {
    platform.StartWav(path);
}

}  // namespace zb
