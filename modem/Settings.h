#pragma once
// The settings file, SerComm.ini: read afresh whenever the modem link opens.

#include <string>

namespace pelvaro {

// Read unless another file is named; its section; the port used when the file names none.
inline constexpr char kDefaultSettingsPath[] = ".\\SerComm.ini";
inline constexpr char kSettingsSection[] = "SerComm Options";
inline constexpr char kPortKey[] = "Port";
inline constexpr char kAutoPort[] = "auto";
inline constexpr int kDefaultPort = 4;
inline constexpr char kTraceFileKey[] = "Trace File";
inline constexpr char kInitKey[] = "Init";
// The longest value of a text key that is read whole.
inline constexpr unsigned kLongestText = 1000;

struct LinkSettings {
    int port = kDefaultPort;
    // Pause after each byte written, in units of 10 ms; below 1, none.
    int sendDelay = 0;
    // Where the dialogue with the modem is traced (modem/ModemTrace.h); empty: nowhere.
    std::string traceFile;
    // The switches for what goes beyond the summary and the modem dialogue of old: each is on
    // only when its key says 1, so that an absent key changes nothing.
    bool fullDecoding = false;
    bool fullModemSupport = false;
    // "Port=auto": with full modem support, the modem is looked for among the COM ports.
    bool autoPort = false;
    // What the SIM is unlocked with when it asks; empty when none is given.
    std::string pin;
    // "Init": AT commands of the user's own, sent after every set-up (modem/InitCommands.h);
    // empty when none are given. Longer than kLongestText, none of them is sent.
    std::string init;
    bool initTooLong = false;
};

// The settings in section "SerComm Options" of the file at `path`; whatever the file, the
// section or a key lacks keeps its default.
LinkSettings ReadLinkSettings(const std::string& path);

}  // namespace pelvaro
