#include "settings/Settings.h"

#include <cstdio>
#include <string>

#include "platform/Failure.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace zb {
namespace {

using K = SettingKind;
using S = Settings;

constexpr SettingRow Int(const char* section,
                         const char* key,
                         std::int32_t def,
                         std::int32_t S::*field) {
    return {section, key, K::Int32, 0, def, nullptr, field, nullptr, nullptr, nullptr};
}
constexpr SettingRow Int16(const char* section,
                           const char* key,
                           std::int32_t def,
                           std::int16_t S::*field,
                           const char* expected) {
    return {section, key, K::Int16, 0, def, nullptr, nullptr, field, nullptr, expected};
}
constexpr SettingRow Text(const char* section,
                          const char* key,
                          int readSize,
                          const char* def,
                          std::string S::*field) {
    return {section, key, K::Text, readSize, 0, def, nullptr, nullptr, field, nullptr};
}

constexpr char kOnOff[] = "0 or 1";

// The order of this table is the order in which the file is read.
constexpr SettingRow kTable[] = {
    Int("window", "show", 1, &S::windowShow),
    Int("window", "time", 0, &S::windowTime),
    Int("window", "title", 1, &S::windowTitle),
    Int16("window", "alwaysontop", 0, &S::windowAlwaysOnTop, kOnOff),
    Int("window", "left", 3500, &S::windowLeft),
    Int("window", "top", 3500, &S::windowTop),
    Int("window", "width", 3500, &S::windowWidth),
    Int("window", "height", 2000, &S::windowHeight),
    Text("window", "background", 20, "BAFEFE", &S::windowBackground),
    Int("window", "stack", 1, &S::windowStack),
    Int("window", "wait", kDefaultWait, &S::windowWait),
    Int("window", "holdback", 1, &S::windowHoldBack),
    Int("window", "idleseconds", 120, &S::windowIdleSeconds),
    Int("window", "replace", 0, &S::windowReplace),
    Int("text", "show", 1, &S::textShow),
    Int("text", "left", 1375, &S::textLeft),
    Int("text", "top", 0, &S::textTop),
    Int("text", "width", 2000, &S::textWidth),
    Int("text", "height", 1627, &S::textHeight),
    Int("text", "backstyle", 1, &S::textBackStyle),
    Int("text", "border", 1, &S::textBorder),
    Text("text", "background", 20, "BAFEFE", &S::textBackground),
    Int("text", "align", 0, &S::textAlign),
    Text("text", "font", 50, "Arial", &S::textFont),
    Int("text", "fontsize", 8, &S::textFontSize),
    Int("text", "fontbold", 1, &S::textFontBold),
    Int("text", "fontitalic", 0, &S::textFontItalic),
    Int16("text", "fontunderline", 0, &S::textFontUnderline, kOnOff),
    Text("text", "fontcolor", 20, "000000", &S::textFontColor),
    Text("text", nullptr, 300, "You have got mail!", &S::textMessage),
    Int("image", "show", 1, &S::imageShow),
    Text("image", "picture", 300, "thebat.jpg", &S::imagePicture),
    Int("image", "width", 1350, &S::imageWidth),
    Int("image", "height", 1350, &S::imageHeight),
    Int("image", "left", 0, &S::imageLeft),
    Int("image", "top", 0, &S::imageTop),
    Int16("image", "border", 0, &S::imageBorder, kOnOff),
    Text("wave", "file", 300, "message.wav", &S::waveFile),
    Int("speaker", "frequenz", 0, &S::speakerFrequenz),
    Int16("speaker", "time", 0, &S::speakerTime, "a whole number of milliseconds up to 32767"),
    Text("program", "path", 150, "", &S::programPath),
};

// A reader that cut the value at its buffer size may have split the last
// character; the broken tail is dropped rather than shown as garbage.
std::string DropSplitTail(const std::string& text) {
    std::size_t pos = 0;
    std::size_t lastStart = 0;
    while (pos < text.size()) {
        lastStart = pos;
        pos += DecodeUtf8(text, pos).bytes;
    }
    if (text.empty())
        return text;
    const int expected = Utf8SequenceLength(static_cast<unsigned char>(text[lastStart]));
    const bool splitLead = expected > 1 && text.size() - lastStart < std::size_t(expected);
    if (!splitLead)
        return text;
    for (std::size_t i = lastStart + 1; i < text.size(); ++i) {
        if (!IsUtf8Continuation(static_cast<unsigned char>(text[i])))
            return text;
    }
    return text.substr(0, lastStart);
}

// The text of a value read from the settings file: UTF-8 when it is
// well-formed UTF-8 and holds more than ASCII, else text in the system's
// 8-bit code page. So a file saved as UTF-8 (with or without its mark) and
// one saved in the code page both read right, and so does a Unicode file,
// whose values the platform hands over as UTF-8 already. A value the reader
// cut at its buffer size may end in a split UTF-8 character, which goes.
std::string SettingText(Platform& platform, const std::string& value, bool cut) {
    const std::string utf8 = cut ? DropSplitTail(value) : value;
    if (HasNonAscii(utf8) && IsUtf8(utf8))
        return utf8;
    return HasNonAscii(value) ? platform.AnsiToUtf8(value) : value;
}

// The profile function's unsigned result taken as a signed 32-bit number.
std::int32_t ReadInt(Platform& platform, const SettingRow& row, const std::string& iniPath) {
    return static_cast<std::int32_t>(
        platform.ProfileInt(row.section, row.key, row.defaultInt, iniPath));
}

}  // namespace

Settings::Settings() {
    for (const SettingRow& row : kTable) {
        switch (row.kind) {
            case SettingKind::Int32:
                this->*row.int32Field = row.defaultInt;
                break;
            case SettingKind::Int16:
                this->*row.int16Field = static_cast<std::int16_t>(row.defaultInt);
                break;
            case SettingKind::Text:
                this->*row.textField = row.defaultText;
                break;
        }
    }
}

std::span<const SettingRow> SettingsTable() {
    return kTable;
}

bool CallerWaits(Platform& platform, const std::string& iniPath) {
    for (const SettingRow& row : kTable) {
        if (row.int32Field == &S::windowWait)
            return ReadInt(platform, row, iniPath) == 1;
    }
    return kDefaultWait == 1;
}

Settings LoadSettings(Platform& platform, const std::string& iniPath, const std::string& textKey) {
    Settings settings;
    for (const SettingRow& row : kTable) {
        const bool isMessage = row.key == nullptr;
        if (row.kind == SettingKind::Text) {
            std::string value;
            if (isMessage && textKey.empty()) {
                // An empty key names no key at all: the default message.
                value = row.defaultText;
            } else {
                value = platform.ProfileString(row.section, isMessage ? textKey : row.key,
                                               row.defaultText, row.readSize, iniPath);
                value = SettingText(platform, value,
                                    static_cast<int>(value.size()) >= row.readSize - 1);
            }
            settings.*row.textField = CutToChars(value, kTextFieldChars);
            continue;
        }
        const std::int32_t value = ReadInt(platform, row, iniPath);
        if (row.kind == SettingKind::Int32) {
            settings.*row.int32Field = value;
        } else {
            if (value < INT16_MIN || value > INT16_MAX) {
                throw SettingFailure(kErrOverflow, std::string(row.section) + "." + row.key,
                                     std::to_string(value), row.expected);
            }
            settings.*row.int16Field = static_cast<std::int16_t>(value);
        }
    }
    return settings;
}

std::string WrittenValue(Platform& platform,
                         const std::string& iniPath,
                         const std::string& section,
                         const std::string& key) {
    // A default no file value can hold tells a missing key from an empty one.
    const std::string missing = "\n";
    const std::string value =
        platform.ProfileString(section, key, missing, kTextFieldChars + 1, iniPath);
    if (value == missing)
        return "(not set)";
    return Quoted(SettingText(platform, value, false));
}

std::string FormatPosition(double twips) {
    // Seven significant digits, as a single-precision number prints.
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.7G", static_cast<double>(static_cast<float>(twips)));
    std::string text = buffer;
    if (text == "-0")
        text = "0";
    return text[0] == '-' ? text : " " + text;
}

void WritePosition(Platform& platform,
                   const std::string& iniPath,
                   double leftTwips,
                   double topTwips) {
    platform.WriteProfileStrings(
        "window", {{"left", FormatPosition(leftTwips)}, {"top", FormatPosition(topTwips)}},
        iniPath);
}

}  // namespace zb
