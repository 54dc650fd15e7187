#include "tests/scripts/soak/ProcessFigures.h"

#include <windows.h>
// After windows.h, which they need.
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "win/Holders.h"

namespace pelvaro::soak {

namespace {

// The system's handle table, for where GetProcessHandleCount answers 0 for every process, as
// Wine's does: SystemExtendedHandleInformation, a class the enum of the headers leaves out.
constexpr ULONG kExtendedHandleInformation = 64;
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);

struct HandleEntry {
    PVOID object;
    ULONG_PTR process;
    ULONG_PTR value;
    ULONG access;
    USHORT creatorBackTraceIndex;
    USHORT type;
    ULONG attributes;
    ULONG reserved;
};

struct HandleTable {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};

unsigned long HandlesInTable(DWORD process) {
    SYSTEM_INFORMATION_CLASS informationClass;
    static_assert(sizeof informationClass == sizeof kExtendedHandleInformation);
    std::memcpy(&informationClass, &kExtendedHandleInformation, sizeof informationClass);
    std::vector<char> buffer(1 << 18);
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(informationClass, buffer.data(),
                                              static_cast<ULONG>(buffer.size()), nullptr)) ==
           kInfoLengthMismatch) {
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) return 0;
    const auto& table = *reinterpret_cast<const HandleTable*>(buffer.data());
    unsigned long count = 0;
    for (ULONG_PTR i = 0; i < table.count; ++i) {
        if (table.entries[i].process == process) ++count;
    }
    return count;
}

unsigned long ThreadsOf(DWORD process) {
    const UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    unsigned long count = 0;
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more;
         more = Thread32Next(snapshot.Get(), &entry)) {
        if (entry.th32OwnerProcessID == process) ++count;
    }
    return count;
}

}  // namespace

ProcessFigures MeasureThisProcess() {
    ProcessFigures figures;
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        // The same figure on Windows; Wine fills in only the second.
        figures.privateBytes = std::max(memory.PrivateUsage, memory.PagefileUsage);
    }
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles)) figures.handles = handles;
    if (figures.handles == 0) figures.handles = HandlesInTable(GetCurrentProcessId());
    figures.threads = ThreadsOf(GetCurrentProcessId());
    return figures;
}

std::string Describe(const ProcessFigures& figures) {
    return "private=" + std::to_string(figures.privateBytes) +
           " handles=" + std::to_string(figures.handles) +
           " threads=" + std::to_string(figures.threads);
}

}  // namespace pelvaro::soak
