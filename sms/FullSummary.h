#pragma once

#include <cstddef>
#include <string_view>

#include "sms/Timestamp.h"

namespace pelvaro {

struct ClientMessage;

// The head of a summary in the full reading.
struct SummaryHead {
    std::u16string_view centre;
    std::u16string_view party;
    bool receiver = false;  // the party is the receiver: "Receiver No: " instead of "Sender No: "
    bool hasText = false;
    const Timestamp* sent = nullptr;        // the service centre's time stamp, where there is one
    const Timestamp* discharged = nullptr;  // a status report's discharge time
};

// Fills in the client's message: the summary with the default reading's lines and labels, a line
// for each time stamp before the text, its text made of `count` pieces (one, or a long message's
// parts and gaps), and where sender, centre and time stamps stand in it. One allocation, for the
// summary.
void WriteFullSummary(const SummaryHead& head, const std::u16string_view* pieces, std::size_t count,
                      ClientMessage& message);

}  // namespace pelvaro
