#include "modem/TraceLines.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace pelvaro {
namespace {

// Found anywhere in a line, so that a PIN after other commands ("AT+CMEE=1;+CPIN=...") is hidden
// too; everything after it up to the line end is the PIN.
constexpr std::string_view kPinCommand = "+CPIN=";
constexpr std::string_view kHiddenPin = "\"****\"";

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The backslash is escaped too, so that every escape in the trace stands for one byte.
void AppendVisible(std::string& text, char c) {
    switch (c) {
        case '\r':
            text += "\\r";
            return;
        case '\n':
            text += "\\n";
            return;
        case '\\':
            text += "\\\\";
            return;
        default:
            break;
    }
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F) {
        constexpr char kHex[] = "0123456789ABCDEF";
        text += "\\x";
        text += kHex[byte >> 4];
        text += kHex[byte & 0xF];
        return;
    }
    text += c;
}

// The stamp and the space after it.
std::string FormatStamp(const TraceStamp& t) {
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", t.year, t.month,
                  t.day, t.hour, t.minute, t.second, t.millisecond);
    return stamp;
}

}  // namespace

std::string FormatTraceLine(const TraceLine& line, std::string_view port) {
    std::string out = FormatStamp(line.stamp);
    out += port;
    out += line.direction == TraceDirection::Sent ? " -> " : " <- ";
    out += line.text;
    out += "\r\n";
    return out;
}

std::string FormatTraceNote(const TraceStamp& stamp, std::string_view text) {
    std::string out = FormatStamp(stamp);
    out += "-- ";
    out += text;
    out += "\r\n";
    return out;
}

void TraceDialogue::Add(TraceDirection direction, std::string_view bytes, std::uint64_t nowMs,
                        const TraceStamp& stamp, std::vector<TraceLine>& due) {
    const std::uint64_t order = ++adds_;
    Stream& fed = streams_[direction == TraceDirection::Sent ? 0 : 1];
    if (!bytes.empty()) fed.lastMs = nowMs;
    for (const char c : bytes) Take(fed, c, stamp, order);
    for (Stream& stream : streams_) {
        if (stream.begun && nowMs >= stream.lastMs + kTraceIdleMs) End(stream, stream.crEnded);
    }
    Release(due);
}

void TraceDialogue::Finish(std::vector<TraceLine>& due) {
    for (Stream& stream : streams_) End(stream, true);
    Release(due);
}

void TraceDialogue::Take(Stream& stream, char c, const TraceStamp& stamp, std::uint64_t order) {
    if (stream.crEnded) {
        const bool joined = c == '\n';
        if (joined) AppendVisible(stream.text, c);
        End(stream, true);
        if (joined) return;
    }
    if (!stream.begun) {
        stream.begun = true;
        stream.stamp = stamp;
        stream.order = order;
    }
    if (c == '\r' || c == '\n') {
        stream.hiding = false;
        stream.matched = 0;
        AppendVisible(stream.text, c);
        // Line ends before any text stay with the line they lead in ("\r\nOK\r\n").
        if (stream.hasText && c == '\n') {
            End(stream, true);
        } else if (stream.hasText) {
            stream.crEnded = true;
        }
    } else {
        stream.hasText = true;
        if (stream.hiding) return;
        AppendVisible(stream.text, c);
        stream.matched = Upper(c) == kPinCommand[stream.matched] ? stream.matched + 1
                         : c == '+'                              ? 1
                                                                 : 0;
        if (stream.matched == kPinCommand.size()) {
            stream.text += kHiddenPin;
            stream.hiding = true;
            stream.matched = 0;
        }
    }
    if (stream.text.size() >= kTraceLongestPiece) End(stream, false);
}

void TraceDialogue::End(Stream& stream, bool lineOver) {
    if (!stream.text.empty()) {
        held_.push_back({stream.stamp, stream.direction, std::move(stream.text), stream.order});
    }
    stream.text.clear();
    stream.begun = false;
    if (lineOver) {
        stream.hasText = stream.crEnded = stream.hiding = false;
        stream.matched = 0;
    }
}

void TraceDialogue::Release(std::vector<TraceLine>& due) {
    std::stable_sort(held_.begin(), held_.end(),
                     [](const TraceLine& a, const TraceLine& b) { return a.order < b.order; });
    std::uint64_t open = std::numeric_limits<std::uint64_t>::max();
    for (const Stream& stream : streams_) {
        if (stream.begun) open = std::min(open, stream.order);
    }
    while (!held_.empty() && held_.front().order <= open) {
        due.push_back(std::move(held_.front()));
        held_.pop_front();
    }
}

}  // namespace pelvaro
