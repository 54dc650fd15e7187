#include "modem/TraceWriter.h"

#include <windows.h>

#include <mutex>

#include "modem/TraceFileRules.h"
#include "win/CriticalSection.h"
#include "win/Holders.h"

namespace pelvaro {
namespace {

CriticalSection g_writing;

// Opened for each batch of lines rather than held, so that no handle outlives the ports, and
// shared, so that a reader may follow the file and the rollover may rename it meanwhile.
UniqueFileHandle OpenForAppending(const std::string& path) {
    return UniqueFileHandle(CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::uint64_t SizeOf(const UniqueFileHandle& file) {
    LARGE_INTEGER size{};
    return GetFileSizeEx(file.Get(), &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

// When the rename fails (another program holds the file without sharing its deletion), the same
// file goes on growing and the next line tries again.
UniqueFileHandle RollOver(UniqueFileHandle file, const std::string& path) {
    file.Reset();
    MoveFileExA(path.c_str(), (path + kRolledOverSuffix).c_str(), MOVEFILE_REPLACE_EXISTING);
    return OpenForAppending(path);
}

}  // namespace

void AppendTraceLines(const std::string& path, const std::vector<std::string>& lines) {
    if (lines.empty() || !g_writing.Ready()) return;
    const std::lock_guard<CriticalSection> hold(g_writing);
    UniqueFileHandle file = OpenForAppending(path);
    for (const std::string& line : lines) {
        if (file && NeedsRollover(SizeOf(file), line.size())) {
            file = RollOver(std::move(file), path);
        }
        if (!file) return;
        DWORD written = 0;
        WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
}

}  // namespace pelvaro
