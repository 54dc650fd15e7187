#include "modem/SerialPort.h"

#include <cstring>

#include "modem/ModemTrace.h"

namespace pelvaro {
namespace {

constexpr std::size_t kShortestPath = 3;
constexpr std::size_t kLongestPath = MAX_PATH - 1;
constexpr const char* kLineDefinition = "baud=57600 parity=N data=8 stop=1";
constexpr int kDrainBytes = 200;

std::string& SettingsPathStorage() {
    static std::string path = kDefaultSettingsPath;
    return path;
}

// Windows opens a serial device exclusively, but Wine ignores the share mode
// for devices; a named claim keeps a second opening in this session from
// reading the same line.
std::string ClaimName(const std::string& deviceName) {
    return "Pelvaro.SerialPort." + deviceName.substr(deviceName.rfind('\\') + 1);
}

UniqueHandle ClaimDevice(const std::string& deviceName) {
    UniqueHandle claim(CreateMutexA(nullptr, FALSE, ClaimName(deviceName).c_str()));
    if (claim && GetLastError() == ERROR_ALREADY_EXISTS) claim.Reset();
    return claim;
}

}  // namespace

SerialPort::SerialPort() = default;
SerialPort::~SerialPort() = default;

const std::string& SerialPort::SettingsPath() {
    return SettingsPathStorage();
}

std::string SerialPort::DeviceName(int portNumber) {
    // The \\.\ prefix is what lets ports 10 and up open at all.
    char name[32];
    wsprintfA(name, "\\\\.\\COM%d", portNumber);
    return name;
}

bool SerialPort::HeldHere(int portNumber) {
    const UniqueHandle claim(
        OpenMutexA(SYNCHRONIZE, FALSE, ClaimName(DeviceName(portNumber)).c_str()));
    return static_cast<bool>(claim);
}

bool SerialPort::ReadSettings(const char* path) {
    if (path != nullptr) {
        const std::size_t length = std::strlen(path);
        if (length < kShortestPath || length > kLongestPath) return false;
        SettingsPathStorage() = path;
    }
    settings_ = ReadLinkSettings(SettingsPathStorage());
    return true;
}

int SerialPort::Open() {
    const std::string name = DeviceName(settings_.port);
    UniqueFileHandle device(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    if (!device) {
        openError_ = GetLastError();
        return -1;
    }
    UniqueHandle claim = ClaimDevice(name);
    if (!claim) {
        openError_ = ERROR_ACCESS_DENIED;
        return -1;
    }
    device_ = std::move(device);
    claim_ = std::move(claim);
    // The lines name the port as a user does: "COM3".
    trace_ = ModemTrace::Begin(settings_, SettingsPathStorage(), name.substr(name.rfind('\\') + 1));
    return Configure();
}

int SerialPort::Configure() {
    const HANDLE device = device_.Get();
    COMMTIMEOUTS timeouts{};
    if (!GetCommTimeouts(device, &timeouts)) return -2;
    timeouts.ReadIntervalTimeout = 50;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 300;
    timeouts.WriteTotalTimeoutMultiplier = 10;
    timeouts.WriteTotalTimeoutConstant = 200;
    if (!SetCommTimeouts(device, &timeouts)) return -2;

    DCB line{};
    line.DCBlength = sizeof line;
    if (!GetCommState(device, &line)) return -2;
    if (!BuildCommDCBA(kLineDefinition, &line)) return -3;
    if (!SetCommState(device, &line)) return -4;

    Sleep(100);
    char drained[kDrainBytes];
    DWORD count = 0;
    if (!ReadFile(device, drained, sizeof drained, &count, nullptr)) ClearErrors();
    return 0;
}

bool SerialPort::UseShortReads() {
    COMMTIMEOUTS timeouts{};
    if (!GetCommTimeouts(device_.Get(), &timeouts)) return false;
    timeouts.ReadIntervalTimeout = 20;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 50;
    return SetCommTimeouts(device_.Get(), &timeouts) != FALSE;
}

bool SerialPort::Write(const char* bytes, int count) {
    if (count <= 0) return true;
    DWORD written = 0;
    if (settings_.sendDelay < 1) {
        const bool done =
            WriteFile(device_.Get(), bytes, static_cast<DWORD>(count), &written, nullptr) != FALSE;
        if (trace_) trace_->Sent(bytes, written);
        return done;
    }
    const DWORD pause = static_cast<DWORD>(settings_.sendDelay) * 10u;
    for (int i = 0; i < count; ++i) {
        if (!WriteFile(device_.Get(), bytes + i, 1, &written, nullptr)) return false;
        if (trace_) trace_->Sent(bytes + i, written);
        Sleep(pause);
    }
    return true;
}

int SerialPort::Read(char* buffer, int capacity) {
    if (capacity < 0) return -1;
    DWORD count = 0;
    const BOOL read =
        ReadFile(device_.Get(), buffer, static_cast<DWORD>(capacity), &count, nullptr);
    ClearErrors();
    if (trace_) trace_->Received(buffer, read ? count : 0);
    return read ? static_cast<int>(count) : -1;
}

DWORD SerialPort::ClearErrors() {
    DWORD errors = 0;
    COMSTAT status{};
    present_ = ClearCommError(device_.Get(), &errors, &status) != FALSE;
    return errors;
}

}  // namespace pelvaro
