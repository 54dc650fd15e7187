#include "modem/TraceWriter.h"

#include <windows.h>

#include <mutex>

#include "modem/TraceClock.h"
#include "modem/TraceFileRules.h"
#include "win/CriticalSection.h"
#include "win/Holders.h"

namespace pelvaro {
namespace {

CriticalSection g_writing;

// The byte that writers in every process lock while they append or roll the file over: far
// beyond any trace's end, so that no reader of the file ever meets the lock.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
// How often a writer that waited for the lock opens the file anew because another process
// rolled it over meanwhile, before it drops its lines.
constexpr int kOpenAttempts = 8;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

OVERLAPPED LockedByte() {
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    return at;
}

void UnlockAndClose(HANDLE file) noexcept {
    OVERLAPPED at = LockedByte();
    UnlockFileEx(file, 0, 1, 0, &at);
    CloseHandle(file);
}

// A trace file open for appending, holding the writers' lock where the file system takes one.
using LockedFile = UniqueAny<HANDLE, &UnlockAndClose, -1>;

// Opened for each batch of lines rather than held, so that no handle outlives the ports, and
// shared, so that a reader may follow the file and the rollover may rename it meanwhile.
UniqueFileHandle OpenForAppending(const std::string& path) {
    return UniqueFileHandle(CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                        kShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                        nullptr));
}

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

bool StillNamed(HANDLE file, const std::string& path) {
    const UniqueFileHandle named(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return named && SameFile(file, named.Get());
}

// The file that `path` names, opened and locked against writers in other processes. One that
// waited for the lock may find that the file it opened was rolled over meanwhile: it opens the
// new one, so that each crossing of the limit rolls the file over once.
LockedFile OpenLocked(const std::string& path) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        LockedFile file(OpenForAppending(path).Detach());
        if (!file) return file;
        OVERLAPPED at = LockedByte();
        // A file system without locks gets the lines unlocked, as before there were any.
        if (!LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) return file;
        if (StillNamed(file.Get(), path)) return file;
    }
    return {};
}

std::uint64_t SizeOf(HANDLE file) {
    LARGE_INTEGER size{};
    return GetFileSizeEx(file, &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

void Append(HANDLE file, const std::string& text) {
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string NameOf(const std::string& path) {
    return path.substr(path.find_last_of("\\/") + 1);
}

// The full file becomes the .1 file and a new one begins. When the rename fails (a viewer holds
// either file without sharing its deletion, or the folder allows no renaming), the file is
// emptied in place, its first line saying so, so that it never grows past its bound; when that
// fails too, nothing is returned and the lines are dropped.
LockedFile RollOver(LockedFile full, const std::string& path) {
    const std::string rolledOver = path + kRolledOverSuffix;
    if (MoveFileExA(path.c_str(), rolledOver.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        full.Reset();
        return OpenLocked(path);
    }
    const DWORD error = GetLastError();
    const UniqueFileHandle emptied(CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                               TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!emptied) return {};
    Append(full.Get(),
           FormatTraceNote(LocalTraceStamp(), "earlier lines dropped: " + NameOf(path) +
                                                  " could not become " + NameOf(rolledOver) +
                                                  " (error " + std::to_string(error) + ")"));
    return full;
}

}  // namespace

void AppendTraceLines(const std::string& path, const std::vector<std::string>& lines) {
    if (lines.empty() || !g_writing.Ready()) return;
    const std::lock_guard<CriticalSection> hold(g_writing);
    LockedFile file = OpenLocked(path);
    for (const std::string& line : lines) {
        if (file && NeedsRollover(SizeOf(file.Get()), line.size())) {
            file = RollOver(std::move(file), path);
        }
        if (!file) return;
        Append(file.Get(), line);
    }
}

}  // namespace pelvaro
