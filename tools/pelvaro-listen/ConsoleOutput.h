#pragma once
// Writes Windows text to a standard handle: through WriteConsoleW when the handle is a
// console, so that every character shows whatever the console's code page, and as UTF-8
// to a file or pipe.

#include <windows.h>

#include <string>
#include <string_view>

namespace pelvaro::listen {

std::string ToUtf8(std::wstring_view text);

class ConsoleOutput {
  public:
    // which: STD_OUTPUT_HANDLE or STD_ERROR_HANDLE.
    explicit ConsoleOutput(DWORD which);
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    void Write(std::wstring_view text);

  private:
    HANDLE handle_;
    bool console_;
};

}  // namespace pelvaro::listen
