#pragma once
// Starts another test program of the build, which lies beside this one.

#include <windows.h>

#include <string>

#include "win/Holders.h"

namespace pelvaro::test {

// The program `name` (e.g. "server_receiver_client.exe") from this program's folder, in a process
// of its own; an empty handle when it could not start.
inline UniqueHandle StartSibling(const std::string& name, const std::string& arguments) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string command(path, length);
    command = "\"" + command.substr(0, command.rfind('\\') + 1) + name + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return UniqueHandle();
    }
    CloseHandle(process.hThread);
    return UniqueHandle(process.hProcess);
}

}  // namespace pelvaro::test
