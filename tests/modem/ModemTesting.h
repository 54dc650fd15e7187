#pragma once

#include <windows.h>

#include <chrono>
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

struct Stopwatch {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    double Ms() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    }
};

}  // namespace pelvaro::test
