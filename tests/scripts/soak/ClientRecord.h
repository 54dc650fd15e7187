#pragma once
// What the soak's client tells the soak, one line per fact, "KIND UNIX_MS [REST]", appended with
// one write each so that a client killed at any moment leaves whole lines behind.

#include <string>

#include "win/Holders.h"

namespace pelvaro::soak {

class ClientRecord {
  public:
    // Appends to the file; false from Open when it cannot be opened.
    bool Open(const std::string& path);
    void Write(const std::string& kind, const std::string& rest = {});

    // Milliseconds since 1970, the clock the simulated modem's record uses.
    static long long UnixMs();

  private:
    UniqueFileHandle file_;
};

// The text as UTF-8 in hexadecimal, so that CR LF and any letter fit in one line.
std::string HexUtf8(const std::wstring& text);

}  // namespace pelvaro::soak
