#pragma once

#include <cstddef>
#include <string_view>

namespace pelvaro {

struct ClientMessage;

// The head of a summary in the full reading.
struct SummaryHead {
    std::u16string_view centre;
    std::u16string_view party;
    bool receiver = false;  // the party is the receiver: "Receiver No: " instead of "Sender No: "
    bool hasText = false;
};

// Fills in the client's message: the summary with the default reading's lines and labels, its
// text made of `count` pieces (one, or a long message's parts and gaps), and where sender and
// centre stand in it. One allocation, for the summary.
void WriteFullSummary(const SummaryHead& head, const std::u16string_view* pieces, std::size_t count,
                      ClientMessage& message);

}  // namespace pelvaro
