// The settings record, the table that describes every setting, and the
// reader and position writer built on the platform's profile functions.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zb {

class Platform;

// One field per setting, in the order the settings file is read.
struct Settings {
    // [window]
    std::int32_t windowShow = 1;
    std::int32_t windowTime = 0;
    std::int32_t windowTitle = 1;
    std::int32_t windowWidth = 3500;
    std::int32_t windowHeight = 2000;
    std::int32_t windowLeft = 3500;
    std::int32_t windowTop = 3500;
    std::int16_t windowAlwaysOnTop = 0;
    std::string windowBackground = "BAFEFE";
    // [text]
    std::int32_t textShow = 1;
    std::int32_t textWidth = 2000;
    std::int32_t textHeight = 1627;
    std::int32_t textLeft = 1375;
    std::int32_t textTop = 0;
    std::int32_t textBackStyle = 1;
    std::int32_t textBorder = 1;
    std::int32_t textAlign = 0;
    std::int32_t textFontSize = 8;
    std::int32_t textFontBold = 1;
    std::int32_t textFontItalic = 0;
    std::int16_t textFontUnderline = 0;
    std::string textBackground = "BAFEFE";
    std::string textFont = "Arial";
    std::string textFontColor = "000000";
    std::string textMessage = "You have got mail!";
    // [image]
    std::int32_t imageShow = 1;
    std::int32_t imageHeight = 1350;
    std::int32_t imageWidth = 1350;
    std::int32_t imageLeft = 0;
    std::int32_t imageTop = 0;
    std::int16_t imageBorder = 0;
    std::string imagePicture = "thebat.jpg";
    // [wave]
    std::string waveFile = "message.wav";
    // [program]
    std::string programPath;
    // [speaker]
    std::int32_t speakerFrequenz = 0;
    std::int16_t speakerTime = 0;
};

// Text fields hold at most this many characters.
constexpr int kTextFieldChars = 250;

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
};

// Every setting in the order LoadSettings reads them.
std::span<const SettingRow> SettingsTable();

// Reads every setting from `iniPath`; the message under `textKey` of section
// text. Throws Failure (overflow) for a 16-bit value out of range.
Settings LoadSettings(Platform& platform, const std::string& iniPath, const std::string& textKey);

// The position as the close writes it: a leading blank for zero or more, a
// minus sign otherwise, at most seven significant digits ("left= 3500").
std::string FormatPosition(double twips);

// Writes window.left then window.top to `iniPath`. Failures are not reported.
void WritePosition(Platform& platform, const std::string& iniPath, double leftTwips, double topTwips);

// Cuts UTF-8 text to at most `maxChars` characters (code points; a stray
// byte that is no valid UTF-8 counts as one).
std::string CutToChars(const std::string& text, int maxChars);

}  // namespace zb
