#pragma once
// The modem dialogue of one port as trace lines: the bytes of each direction split at line ends,
// control characters made visible and the PIN hidden. Plain C++, so that the host build tests it.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace pelvaro {

enum class TraceDirection { Sent, Received };

// Local time to the millisecond.
struct TraceStamp {
    unsigned year, month, day, hour, minute, second, millisecond;
};

// A line whose end has not come is written once no byte has come for it this long, so that a
// prompt or "a/" shows too.
inline constexpr std::uint64_t kTraceIdleMs = 100;
// A line longer than this (as written) is written in pieces, so that a line that never ends
// cannot take all memory.
inline constexpr std::size_t kTraceLongestPiece = 4096;

struct TraceLine {
    TraceStamp stamp;  // when its first byte went over the line
    TraceDirection direction;
    std::string text;  // as written: escaped, the PIN hidden
    std::uint64_t order;
};

// "2026-12-09 14:03:07.123 COM3 -> AT\r\n", ended by the file's own CR LF.
std::string FormatTraceLine(const TraceLine& line, std::string_view port);
// The trace's own word about the file, in place of a port and a direction:
// "2026-12-09 14:03:07.123 -- text", ended by CR LF.
std::string FormatTraceNote(const TraceStamp& stamp, std::string_view text);
// The time stamp's characters at the start of each line.
inline constexpr std::size_t kTraceStampLength = 23;

// Both directions of one port. Lines come out in the order they began: one that ends while a
// line of the other direction is still open waits for it.
class TraceDialogue {
  public:
    // Bytes that went over the line at `nowMs` (a steady clock) and `stamp`; lines now due are
    // appended to `due`. Empty bytes only let time pass.
    void Add(TraceDirection direction, std::string_view bytes, std::uint64_t nowMs,
             const TraceStamp& stamp, std::vector<TraceLine>& due);
    // Everything still held, as the port closes.
    void Finish(std::vector<TraceLine>& due);

  private:
    struct Stream {
        explicit Stream(TraceDirection d) : direction(d) {}
        TraceDirection direction;
        std::string text;  // the piece not yet written
        bool begun = false;
        TraceStamp stamp{};
        std::uint64_t order = 0;
        std::uint64_t lastMs = 0;
        bool hasText = false;     // a byte other than CR and LF since the last line end
        bool crEnded = false;     // ended by CR, which an LF may yet join
        bool hiding = false;      // inside a PIN
        std::size_t matched = 0;  // characters of the PIN command matched so far
    };

    void Take(Stream& stream, char c, const TraceStamp& stamp, std::uint64_t order);
    void End(Stream& stream, bool lineOver);
    void Release(std::vector<TraceLine>& due);

    Stream streams_[2] = {Stream(TraceDirection::Sent), Stream(TraceDirection::Received)};
    std::deque<TraceLine> held_;
    std::uint64_t adds_ = 0;
};

}  // namespace pelvaro
