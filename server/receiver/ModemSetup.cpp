#include "server/receiver/ModemSetup.h"

#include <vector>

#include "modem/ModemLines.h"
#include "modem/ModemCommands.h"

namespace pelvaro {
namespace {

// Modes that pass results on while the line is free; mode 0 keeps them in the modem.
constexpr int kModes[] = {1, 2, 3};
constexpr int kDirect = 2;
constexpr int kStoreAndAnnounce = 1;

std::string Answer(const CommandReply& reply) {
    return reply.result.empty() ? "no answer" : reply.result;
}

void Refused(std::string& why, const std::string& command, const CommandReply& reply) {
    if (!why.empty()) why += "; ";
    why += "AT" + command + " was refused (" + Answer(reply) + ")";
}

// The information line of a test command's answer, such as "+CNMI: (0-2),(0-3),...".
std::vector<OfferedList> Offered(ModemChannel& link, const char* command, CommandReply& reply) {
    link.Query(command, reply);
    const std::string prefix = std::string(command).substr(0, std::string(command).find('='));
    for (const std::string& line : reply.lines) {
        if (line.compare(0, prefix.size(), prefix) == 0) return ParseOffers(line);
    }
    return {};
}

bool TryRouting(ModemChannel& link, ModemDialogue& dialogue, std::string& why) {
    CommandReply reply;
    if (link.Query(kDirectRouting, reply)) return true;
    Refused(why, kDirectRouting, reply);

    CommandReply offersReply;
    const std::vector<OfferedList> offers = Offered(link, kRoutingOffers, offersReply);
    if (offers.size() >= 2) {
        for (const int mt : {kDirect, kStoreAndAnnounce}) {
            for (const int mode : kModes) {
                if (!Offers(offers[0], mode) || !Offers(offers[1], mt)) continue;
                const std::string routing =
                    "+CNMI=" + std::to_string(mode) + "," + std::to_string(mt);
                if (link.Query(routing, reply)) {
                    dialogue.routing = routing;
                    dialogue.storeAndAnnounce = mt == kStoreAndAnnounce;
                    return true;
                }
                Refused(why, routing, reply);
            }
        }
    } else {
        why += "; AT+CNMI=? offers no routing (" + Answer(offersReply) + ")";
    }
    return false;
}

bool OffersStorage(ModemChannel& link, std::string& why) {
    CommandReply reply;
    for (const OfferedList& memories : Offered(link, kStorageOffers, reply)) {
        if (!memories.empty()) return true;
    }
    why += "; AT+CPMS=? offers no message storage (" +
           (reply.lines.empty() ? Answer(reply) : reply.lines.front()) + ")";
    return false;
}

}  // namespace

bool NegotiateSetup(ModemChannel& link, ModemDialogue& dialogue, std::string& why) {
    dialogue = ModemDialogue{};
    why.clear();
    CommandReply reply;
    // A modem left in text mode delivers no PDU. One that lacks the command goes on as before.
    link.Query(kPduMode, reply);
    if (!link.Query(kPhase2Plus, reply)) {
        // Phase 2 delivers without acknowledgements; it is what a module without 2+ has anyway.
        link.Query(kPhase2, reply);
        dialogue.acknowledge = false;
    }
    std::string routingRefusals;
    if (TryRouting(link, dialogue, routingRefusals)) return true;
    dialogue.routing.clear();
    dialogue.storeAndAnnounce = true;
    if (OffersStorage(link, routingRefusals)) return true;
    why = routingRefusals + ": the device offers no way to receive SMS";
    return false;
}

}  // namespace pelvaro
