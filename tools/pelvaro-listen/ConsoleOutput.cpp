#include "tools/pelvaro-listen/ConsoleOutput.h"

#include <algorithm>

namespace pelvaro::listen {

std::string ToUtf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(needed, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), needed, nullptr, nullptr);
    return out;
}

ConsoleOutput::ConsoleOutput(DWORD which) : handle_(GetStdHandle(which)) {
    DWORD mode = 0;
    console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE &&
               GetConsoleMode(handle_, &mode) != 0;
}

void ConsoleOutput::Write(std::wstring_view text) {
    if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) return;
    if (console_) {
        DWORD written = 0;
        WriteConsoleW(handle_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    // A pipe may take less than asked for at a time.
    const std::string bytes = ToUtf8(text);
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(handle_, bytes.data() + done, static_cast<DWORD>(bytes.size() - done),
                       &written, nullptr) ||
            written == 0) {
            return;
        }
        done += written;
    }
}

}  // namespace pelvaro::listen
