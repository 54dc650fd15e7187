#pragma once
// How the receiver talks to its modem once set up: the fixed dialogue of old, or, with full modem
// support, one found by asking the modem what it can do.

#include <string>

#include "modem/ModemChannel.h"

namespace pelvaro {

struct ModemDialogue {
    // Message service phase 2+: each delivery waits for its acknowledgement.
    bool acknowledge = true;
    // The routing command, sent again after deliveries; empty when nothing routes messages and
    // the storage is read instead.
    std::string routing = "+CNMI=1,2";
    // Messages are stored and announced, or only stored: the storage is where they are read.
    bool storeAndAnnounce = false;

    bool PollsStorage() const { return routing.empty(); }
};

// Sets the modem up as well as it can: phase 2+ or else phase 2; direct routing, else routing in
// another mode the modem offers, else store-and-announce, else none, with the storage read
// regularly. False when the modem can receive in none of these ways; `why` then says which
// command was refused with which answer.
bool NegotiateSetup(ModemChannel& link, ModemDialogue& dialogue, std::string& why);

}  // namespace pelvaro
