#include "modem/ModemTrace.h"

#include <windows.h>

#include <utility>

#include "modem/TraceClock.h"
#include "modem/TraceFileRules.h"
#include "modem/TraceWriter.h"

namespace pelvaro {

std::string TraceFilePath(const LinkSettings& settings, const std::string& settingsPath) {
    if (settings.traceFile.empty()) return {};
    // Made full once, so that a later change of the current folder does not move the trace.
    const std::string named = JoinTracePath(settingsPath, settings.traceFile);
    char full[MAX_PATH];
    const DWORD n = GetFullPathNameA(named.c_str(), MAX_PATH, full, nullptr);
    return n == 0 || n >= MAX_PATH ? named : std::string(full, n);
}

std::unique_ptr<ModemTrace> ModemTrace::Begin(const LinkSettings& settings,
                                              const std::string& settingsPath, std::string port) {
    std::string path = TraceFilePath(settings, settingsPath);
    if (path.empty()) return nullptr;
    return std::make_unique<ModemTrace>(std::move(path), std::move(port));
}

ModemTrace::ModemTrace(std::string path, std::string port)
    : path_(std::move(path)), port_(std::move(port)) {}

ModemTrace::~ModemTrace() {
    try {
        std::vector<TraceLine> due;
        dialogue_.Finish(due);
        Write(due);
    } catch (...) {
        // Out of memory: the last lines are lost, the port closes all the same.
    }
}

void ModemTrace::Sent(const char* bytes, std::size_t count) {
    Add(TraceDirection::Sent, std::string_view(bytes, count));
}

void ModemTrace::Received(const char* bytes, std::size_t count) {
    Add(TraceDirection::Received, std::string_view(bytes, count));
}

void ModemTrace::Add(TraceDirection direction, std::string_view bytes) {
    // The trace never fails the port: running out of memory costs lines, not the dialogue.
    try {
        std::vector<TraceLine> due;
        dialogue_.Add(direction, bytes, GetTickCount64(), LocalTraceStamp(), due);
        Write(due);
    } catch (...) {
    }
}

void ModemTrace::Write(const std::vector<TraceLine>& due) {
    if (due.empty()) return;
    std::vector<std::string> lines;
    lines.reserve(due.size());
    for (const TraceLine& line : due) lines.push_back(FormatTraceLine(line, port_));
    AppendTraceLines(path_, lines);
}

}  // namespace pelvaro
