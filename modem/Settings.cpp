#include "modem/Settings.h"

#include <windows.h>

#include "modem/AsciiText.h"

namespace pelvaro {
namespace {

struct NumberKey {
    const char* name;
    int LinkSettings::*value;
};
constexpr NumberKey kNumbers[] = {
    {kPortKey, &LinkSettings::port},
    {"Send Delay", &LinkSettings::sendDelay},
};

struct SwitchKey {
    const char* name;
    bool LinkSettings::*on;
};
constexpr SwitchKey kSwitches[] = {
    {"Full Decoding", &LinkSettings::fullDecoding},
    {"Full Modem Support", &LinkSettings::fullModemSupport},
};

struct TextKey {
    const char* name;
    std::string LinkSettings::*value;
};
constexpr TextKey kTexts[] = {
    {"PIN", &LinkSettings::pin},
    {kTraceFileKey, &LinkSettings::traceFile},
    {kInitKey, &LinkSettings::init},
};

// The profile functions drop the blanks around a value, and cut one that does not fit; a PIN is
// at most 8 digits, a path at most MAX_PATH characters.
std::string ReadText(const std::string& path, const char* key) {
    char value[kLongestText + 2] = {};
    const DWORD length =
        GetPrivateProfileStringA(kSettingsSection, key, "", value, sizeof value, path.c_str());
    return std::string(value, length);
}

int ReadNumber(const std::string& path, const char* key, int fallback) {
    return static_cast<int>(GetPrivateProfileIntA(kSettingsSection, key, fallback, path.c_str()));
}

// Exactly "1" (the profile functions drop the blanks around it): "1x" or "01" leave it off.
bool ReadSwitch(const std::string& path, const char* key) {
    char value[4] = {};
    GetPrivateProfileStringA(kSettingsSection, key, "", value, sizeof value, path.c_str());
    return value[0] == '1' && value[1] == '\0';
}

}  // namespace

LinkSettings ReadLinkSettings(const std::string& path) {
    LinkSettings settings;
    for (const NumberKey& key : kNumbers) {
        settings.*key.value = ReadNumber(path, key.name, settings.*key.value);
    }
    for (const SwitchKey& key : kSwitches) {
        settings.*key.on = ReadSwitch(path, key.name);
    }
    for (const TextKey& key : kTexts) {
        settings.*key.value = ReadText(path, key.name);
    }
    settings.autoPort = EqualsNoCase(ReadText(path, kPortKey), kAutoPort);
    // A command cut in two must not go out.
    settings.initTooLong = settings.init.size() > kLongestText;
    return settings;
}

}  // namespace pelvaro
