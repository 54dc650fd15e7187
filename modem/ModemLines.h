#pragma once
// What a line from the modem that is neither a delivery nor a stored message means. Plain C++.

#include <string_view>
#include <vector>

namespace pelvaro {

enum class LineKind {
    Other,                // anything else: an echo, an information response, unknown text
    FinalResult,          // ends a command's reply: OK, ERROR, +CMS ERROR: n, ...
    Report,               // an unsolicited status report that asks nothing of the receiver
    Announcement,         // "+CMTI:": a message was stored
    Restart,              // the module has started afresh and forgotten its set-up
    RestartAfterSilence,  // the same, but only when the module had been silent before it
};

// Compares without regard to letter case; blanks around the line are already gone.
LineKind ClassifyLine(std::string_view line);

// Where a "+CMTI:" line says the message was stored: its memory ("SM") and index.
struct StoredIndex {
    std::string_view memory;
    int index = -1;
};
bool ParseAnnouncement(std::string_view line, StoredIndex& stored);

// The index and status of a message that "+CMGL: <index>,<stat>,[<alpha>],<length>" lists.
bool ParseListing(std::string_view header, int& index, int& status);
// Statuses of received messages; the others are messages written to be sent.
inline constexpr int kReceivedUnread = 0;
inline constexpr int kReceivedRead = 1;

// The parenthesised lists of a test command's answer, each as its items:
// "+CNMI: (0-2),(0,1)" gives {"0-2"} and {"0", "1"}; "+CPMS: ("SM","ME"),()" gives {"SM", "ME"}
// and {}.
using OfferedList = std::vector<std::string_view>;
std::vector<OfferedList> ParseOffers(std::string_view line);

// Whether a list of numbers and ranges ("0-3") holds `value`.
bool Offers(const OfferedList& list, int value);

}  // namespace pelvaro
