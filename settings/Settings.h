// The settings record, the table that describes every setting, and the
// reader and position writer built on the platform's profile functions.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zb {

class Platform;

// One field per setting. A new record holds every setting's default, taken
// from the settings table (SettingsTable), the one place defaults are written.
struct Settings {
    Settings();

    // [window]
    std::int32_t windowShow{};
    std::int32_t windowTime{};
    std::int32_t windowTitle{};
    std::int32_t windowWidth{};
    std::int32_t windowHeight{};
    std::int32_t windowLeft{};
    std::int32_t windowTop{};
    std::int16_t windowAlwaysOnTop{};
    std::string windowBackground;
    std::int32_t windowStack{};
    std::int32_t windowWait{};
    std::int32_t windowHoldBack{};
    std::int32_t windowIdleSeconds{};
    std::int32_t windowReplace{};
    // [text]
    std::int32_t textShow{};
    std::int32_t textWidth{};
    std::int32_t textHeight{};
    std::int32_t textLeft{};
    std::int32_t textTop{};
    std::int32_t textBackStyle{};
    std::int32_t textBorder{};
    std::int32_t textAlign{};
    std::int32_t textFontSize{};
    std::int32_t textFontBold{};
    std::int32_t textFontItalic{};
    std::int16_t textFontUnderline{};
    std::string textBackground;
    std::string textFont;
    std::string textFontColor;
    std::string textMessage;
    // [image]
    std::int32_t imageShow{};
    std::int32_t imageHeight{};
    std::int32_t imageWidth{};
    std::int32_t imageLeft{};
    std::int32_t imageTop{};
    std::int16_t imageBorder{};
    std::string imagePicture;
    // [wave]
    std::string waveFile;
    // [program]
    std::string programPath;
    // [speaker]
    std::int32_t speakerFrequenz{};
    std::int16_t speakerTime{};
};

// Whether the program that starts a notification waits until it has ended
// ([window] wait=1) or only until it is on the screen. Programs on Windows
// are most often started without waiting for them, so the run stays whole
// there; on Linux most callers (a mail client's command, a filter, a shell
// script) wait, and the notification goes on apart from them.
#if defined(_WIN32)
inline constexpr std::int32_t kDefaultWait = 1;
#else
inline constexpr std::int32_t kDefaultWait = 0;
#endif

enum class SettingKind { Int32, Int16, Text };

// One row of the settings table. Exactly one member pointer is set, matching
// `kind`. A row with key nullptr is the message, read under the TextKey.
struct SettingRow {
    const char* section;
    const char* key;
    SettingKind kind;
    int readSize;  // text rows: buffer size handed to the reader
    std::int32_t defaultInt;
    const char* defaultText;
    std::int32_t Settings::*int32Field;
    std::int16_t Settings::*int16Field;
    std::string Settings::*textField;
    // 16-bit rows: what the failure of a value out of range says is expected.
    const char* expected;
};

// Every setting in the order LoadSettings reads them.
std::span<const SettingRow> SettingsTable();

// Whether the caller of the run waits for the notification's end: window.wait
// of `iniPath` is 1.
bool CallerWaits(Platform& platform, const std::string& iniPath);

// Reads every setting from `iniPath`; the message under `textKey` of section
// text. Throws Failure (overflow) for a 16-bit value out of range.
Settings LoadSettings(Platform& platform, const std::string& iniPath, const std::string& textKey);

// How a failure shows the value of `section`.`key` as the file has it: the
// text in quotes ("abc" for a number mistyped), or "(not set)".
std::string WrittenValue(Platform& platform,
                         const std::string& iniPath,
                         const std::string& section,
                         const std::string& key);

// The position as the close writes it: a leading blank for zero or more, a
// minus sign otherwise, at most seven significant digits ("left= 3500").
std::string FormatPosition(double twips);

// Writes window.left then window.top to `iniPath`, in one step where the
// platform can. Failures are not reported.
void WritePosition(Platform& platform,
                   const std::string& iniPath,
                   double leftTwips,
                   double topTwips);

}  // namespace zb
