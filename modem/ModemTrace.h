#pragma once
// The trace of one open serial port: what it writes and reads, as lines appended to the file
// that the setting Trace File names.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "modem/Settings.h"
#include "modem/TraceLines.h"

namespace pelvaro {

// The full path of the trace file that `settings`, read from `settingsPath`, name; empty when
// they name none.
std::string TraceFilePath(const LinkSettings& settings, const std::string& settingsPath);

class ModemTrace {
  public:
    // Null when the settings name no trace file. port: the name the lines give it, "COM3".
    static std::unique_ptr<ModemTrace> Begin(const LinkSettings& settings,
                                             const std::string& settingsPath, std::string port);

    ModemTrace(std::string path, std::string port);
    // Writes the lines still held.
    ~ModemTrace();
    ModemTrace(const ModemTrace&) = delete;
    ModemTrace& operator=(const ModemTrace&) = delete;

    // Bytes written to the device, and bytes read from it (none when a read found nothing: the
    // time that passed may end a line).
    void Sent(const char* bytes, std::size_t count);
    void Received(const char* bytes, std::size_t count);

  private:
    void Add(TraceDirection direction, std::string_view bytes);
    void Write(const std::vector<TraceLine>& due);

    std::string path_;
    std::string port_;
    TraceDialogue dialogue_;
};

}  // namespace pelvaro
