#include "modem/TraceFileRules.h"

namespace pelvaro {
namespace {

// "C:\...", "C:..." (the current folder of that drive), "\\server\...", "\..." (the current
// drive's root): Windows places these without a folder in front.
bool IsAbsolute(std::string_view path) {
    const bool rooted = !path.empty() && (path[0] == '\\' || path[0] == '/');
    const bool onDrive = path.size() >= 2 && path[1] == ':';
    return rooted || onDrive;
}

}  // namespace

std::string JoinTracePath(std::string_view settingsPath, std::string_view traceFile) {
    if (IsAbsolute(traceFile)) return std::string(traceFile);
    const std::size_t slash = settingsPath.find_last_of("\\/");
    const std::string_view folder =
        slash == std::string_view::npos ? std::string_view() : settingsPath.substr(0, slash + 1);
    return std::string(folder) + std::string(traceFile);
}

bool NeedsRollover(std::uint64_t fileBytes, std::size_t lineBytes, std::uint64_t limit) {
    return fileBytes > 0 && fileBytes + lineBytes > limit;
}

}  // namespace pelvaro
