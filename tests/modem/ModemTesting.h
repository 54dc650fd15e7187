#pragma once

#include <windows.h>

#include <fstream>
#include <string>

namespace pelvaro::test {

inline std::string TempFolder() {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    return folder;
}

// A settings file in the temporary folder; returns its path.
inline std::string WriteSettingsFile(const std::string& name, const std::string& contents) {
    const std::string path = TempFolder() + name;
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

inline std::string SettingsFor(int port, int sendDelay = 0) {
    return "[SerComm Options]\r\nPort=" + std::to_string(port) +
           "\r\nSend Delay=" + std::to_string(sendDelay) + "\r\n";
}

class Stopwatch {
  public:
    Stopwatch() { QueryPerformanceCounter(&start_); }
    double Ms() const {
        LARGE_INTEGER now, frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) /
               static_cast<double>(frequency.QuadPart);
    }

  private:
    LARGE_INTEGER start_;
};

}  // namespace pelvaro::test
