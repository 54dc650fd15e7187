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
    SmsStatusReport,      // "+CDS:": a status report, whose PDU comes on the next line
    Restart,              // the module has started afresh and forgotten its set-up
    RestartAfterSilence,  // the same, but only when the module had been silent before it
    SimReady,             // the SIM has been unlocked or has finished starting
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

// The fields of an information line after its colon, unquoted: "+CNMI: 2,1,0,0,0" gives 2, 1, 0,
// 0, 0; "+CPMS: \"SM\",3,30" gives SM, 3, 30. Commas inside quotes belong to their field.
std::vector<std::string_view> InformationFields(std::string_view line);
// Its number, as a field holds it; false when it holds anything else.
bool ParseNumber(std::string_view field, int& value);

// The parenthesised lists of a test command's answer, each as its items:
// "+CNMI: (0-2),(0,1)" gives {"0-2"} and {"0", "1"}; "+CPMS: ("SM","ME"),()" gives {"SM", "ME"}
// and {}.
using OfferedList = std::vector<std::string_view>;
std::vector<OfferedList> ParseOffers(std::string_view line);

// Whether a list of numbers and ranges ("0-3") holds `value`.
bool Offers(const OfferedList& list, int value);

}  // namespace pelvaro
