#pragma once
// Where the trace file is and when it rolls over. Plain C++, so that the host build tests it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pelvaro {

inline constexpr std::uint64_t kTraceRolloverBytes = 1024 * 1024;
// What the full file is renamed to, replacing an older one.
inline constexpr char kRolledOverSuffix[] = ".1";

// The file that the Trace File value names: a relative one lies in the folder of the settings
// file, so that a trace sits beside the settings that asked for it.
std::string JoinTracePath(std::string_view settingsPath, std::string_view traceFile);

// Whether a line of `lineBytes` goes into a new file, the present one holding `fileBytes`. An
// empty file takes any line, so that one longer than the limit is still written.
bool NeedsRollover(std::uint64_t fileBytes, std::size_t lineBytes,
                   std::uint64_t limit = kTraceRolloverBytes);

}  // namespace pelvaro
