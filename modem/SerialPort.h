#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "modem/Settings.h"
#include "win/Holders.h"

namespace pelvaro {

class ModemTrace;

// The serial device that reaches the modem, with its settings file, fixed line
// parameters and time-outs. Knows nothing of AT commands.
class SerialPort {
  public:
    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Loads the settings file (modem/Settings.h). A path, when given,
    // replaces the process-wide settings path for every later call; one shorter
    // than 3 or longer than 259 characters is refused with false.
    bool ReadSettings(const char* path = nullptr);
    // Takes these settings as they are, leaving the process-wide settings path alone.
    void UseSettings(const LinkSettings& settings) { settings_ = settings; }

    // 0 when the device is open and configured; -1 when it cannot be opened,
    // -2 to -4 when it cannot be configured (it then stays open until destruction).
    int Open();
    // Why the last Open gave -1, as the platform said it: ERROR_FILE_NOT_FOUND for no such
    // port, ERROR_ACCESS_DENIED for one that another program or object holds.
    DWORD OpenError() const { return openError_; }

    // All bytes at once, or one at a time with the send delay after each.
    bool Write(const char* bytes, int count);

    // One read that ends 50 ms after the last byte or 300 ms after it began:
    // the number of bytes read, 0 when none came, -1 when the read failed.
    int Read(char* buffer, int capacity);

    // Reads that end 20 ms after the last byte or 50 ms after they began: for a thread that
    // must also see to other things between reads. False when the device refused them.
    bool UseShortReads();

    // Clears the device's error state; returns the platform's error mask.
    virtual DWORD ClearErrors();
    // False when the last clearing of the error state failed: a device that is gone (unplugged)
    // answers reads as if the line were quiet, but not that.
    bool DevicePresent() const { return present_; }

    int PortNumber() const { return settings_.port; }
    int SendDelay() const { return settings_.sendDelay; }
    const LinkSettings& Settings() const { return settings_; }

    static std::string DeviceName(int portNumber);
    // Whether an object of this process holds the port open.
    static bool HeldHere(int portNumber);
    static const std::string& SettingsPath();

  private:
    int Configure();

    LinkSettings settings_;
    bool present_ = true;
    DWORD openError_ = ERROR_SUCCESS;
    UniqueFileHandle device_;
    UniqueHandle claim_;
    // Null unless the settings name a trace file.
    std::unique_ptr<ModemTrace> trace_;
};

}  // namespace pelvaro
