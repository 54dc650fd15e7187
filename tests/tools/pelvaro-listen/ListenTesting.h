#pragma once
// A folder of its own for each case, and the settings file the object reads from the current one.

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace pelvaro {

inline std::wstring TestFolder(const std::wstring& name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        temp + (L"listen-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

inline void WriteSettings(const std::wstring& folder, const std::string& contents) {
    std::ofstream(std::filesystem::path(folder + L"\\SerComm.ini"), std::ios::binary) << contents;
}

}  // namespace pelvaro
