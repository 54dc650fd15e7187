#include "tests/scripts/soak/ClientRecord.h"

#include <windows.h>

namespace pelvaro::soak {

bool ClientRecord::Open(const std::string& path) {
    file_.Reset(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file_);
}

void ClientRecord::Write(const std::string& kind, const std::string& rest) {
    const std::string line =
        kind + " " + std::to_string(UnixMs()) + (rest.empty() ? "" : " " + rest) + "\n";
    DWORD written = 0;
    WriteFile(file_.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

long long ClientRecord::UnixMs() {
    constexpr long long kUnixEpochIn100ns = 116444736000000000LL;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const long long ticks = static_cast<long long>(
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    return (ticks - kUnixEpochIn100ns) / 10000;
}

std::string HexUtf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size,
                        nullptr, nullptr);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : utf8) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

}  // namespace pelvaro::soak
