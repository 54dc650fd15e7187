#pragma once

#include <windows.h>

#include <string>

#include "win/Holders.h"

namespace pelvaro {

// The serial device that reaches the modem, with its settings file, fixed line
// parameters and time-outs. Knows nothing of AT commands.
class SerialPort {
  public:
    // The settings file read unless ReadSettings names another, where its port number is found,
    // and the port used when the file does not name one.
    static constexpr char kDefaultSettingsPath[] = ".\\SerComm.ini";
    static constexpr char kSettingsSection[] = "SerComm Options";
    static constexpr char kPortKey[] = "Port";
    static constexpr int kDefaultPort = 4;

    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Loads "Port" and "Send Delay" from the settings file. A path, when given,
    // replaces the process-wide settings path for every later call; one shorter
    // than 3 or longer than 259 characters is refused with false.
    bool ReadSettings(const char* path = nullptr);

    // 0 when the device is open and configured; -1 when it cannot be opened,
    // -2 to -4 when it cannot be configured (it then stays open until destruction).
    int Open();

    // All bytes at once, or one at a time with the send delay after each.
    bool Write(const char* bytes, int count);

    // One read that ends 50 ms after the last byte or 300 ms after it began:
    // the number of bytes read, 0 when none came, -1 when the read failed.
    int Read(char* buffer, int capacity);

    // Clears the device's error state; returns the platform's error mask.
    virtual DWORD ClearErrors();

    int PortNumber() const { return portNumber_; }
    int SendDelay() const { return sendDelay_; }

    static std::string DeviceName(int portNumber);
    static const std::string& SettingsPath();

  private:
    int Configure();

    int portNumber_ = kDefaultPort;
    int sendDelay_ = 0;
    UniqueFileHandle device_;
    UniqueHandle claim_;
};

}  // namespace pelvaro
