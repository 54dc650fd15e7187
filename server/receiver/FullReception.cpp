#include "server/receiver/FullReception.h"

#include <algorithm>
#include <string>
#include <vector>

#include "modem/ModemCommands.h"
#include "modem/ModemLines.h"
#include "server/receiver/ReadSms.h"
#include "server/receiver/ReceptionLoop.h"
#include "server/receiver/UserFeedback.h"
#include "sms/PduDecoder.h"
#include "sms/PduFields.h"

namespace pelvaro {
namespace {

constexpr ULONGLONG kReopenEveryMs = 10000;
// A module that has just started may refuse the set-up until its SIM is ready.
constexpr ULONGLONG kSetUpEveryMs = 5000;
// Where nothing routes new messages, the storage is where they are found.
constexpr ULONGLONG kStorageReadEveryMs = 10000;
// A full storage takes a few seconds to list at 57600 baud.
constexpr unsigned kListingTimeoutMs = 30000;

struct Stored {
    int index;
    KeptDelivery message;
    std::int64_t time = 0;  // the service centre's time stamp
};

std::int64_t ServiceCentreTime(const KeptDelivery& message) {
    PduArea octets{};
    const std::size_t size = PduDecoder::HexToOctets(message.pdu, octets.data(), octets.size());
    PduFields fields;
    ReadPduFields(octets.data(), size, fields);
    return SecondsSince2000(fields.timestamp);
}

// The received messages a listing holds, oldest first: a modem stores a new message at the first
// free index, so that the indices need not follow the order of arrival.
std::vector<Stored> ReceivedMessages(const CommandReply& listing) {
    std::vector<Stored> received;
    for (const KeptDelivery& entry : listing.stored) {
        int index = -1;
        int status = -1;
        if (!ParseListing(entry.header, index, status)) continue;
        if (status != kReceivedUnread && status != kReceivedRead) continue;
        received.push_back({index, entry, ServiceCentreTime(entry)});
    }
    std::stable_sort(received.begin(), received.end(), [](const Stored& a, const Stored& b) {
        return a.time != b.time ? a.time < b.time : a.index < b.index;
    });
    return received;
}

// Raised first and deleted only once the sinks have returned; one that cannot be read stays.
// False when the receiver is no longer linked to `link`.
bool RaiseAndDelete(CReadSms* receiver, ModemChannel* link, const Stored& stored) {
    if (!IsRepeat(receiver, stored.message)) {
        const bool raised = receiver->ProcessReceivedText(stored.message.View());
        PlayMessageBeep(raised ? MB_OK : MB_ICONHAND);
        if (!StillLinked(receiver, link)) return false;
        if (!raised) return true;
    }
    CommandReply reply;
    link->Query(kDeleteAt + std::to_string(stored.index), reply);
    return true;
}

bool DeliverAnnounced(CReadSms* receiver, ModemChannel* link) {
    int index = -1;
    while (link->TakeAnnouncement(index)) {
        CommandReply reply;
        if (!link->Query(kReadAt + std::to_string(index), reply) || reply.stored.empty()) {
            // Left where it is, for the listing of the whole storage at the next tick.
            receiver->Full().storagePending = true;
            continue;
        }
        if (!RaiseAndDelete(receiver, link, {index, reply.stored.front()})) return false;
    }
    return true;
}

}  // namespace

void LoseLink(CReadSms* receiver) {
    FullModemState& state = receiver->Full();
    receiver->DropLink();
    state.reconnecting = true;
    state.nextReopen = GetTickCount64() + kReopenEveryMs;
    PlayMessageBeep(MB_ICONEXCLAMATION);
    receiver->RaiseTestEvent();
}

void Reconnect(CReadSms* receiver) {
    FullModemState& state = receiver->Full();
    const ULONGLONG now = GetTickCount64();
    if (now < state.nextReopen) return;
    state.nextReopen = now + kReopenEveryMs;
    if (!receiver->EnsureModemLink()) return;
    state.reconnecting = false;
    state.setUpPending = true;
    state.nextSetUp = now;
}

void SetUpAgainIfDue(CReadSms* receiver, ModemChannel& link, bool restarted) {
    FullModemState& state = receiver->Full();
    const ULONGLONG now = GetTickCount64();
    if (restarted) {
        state.setUpPending = true;
        state.nextSetUp = now;
    }
    if (!state.setUpPending || now < state.nextSetUp) return;
    state.nextSetUp = now + kSetUpEveryMs;
    std::string why;
    if (!NegotiateSetup(link, state.dialogue, why)) return;
    state.setUpPending = false;
    state.storagePending = true;
}

void ResumeAfterQuiet(CReadSms* receiver, ModemChannel& link) {
    FullModemState& state = receiver->Full();
    if (!state.dialogue.routing.empty()) link.SendCommand(state.dialogue.routing, true);
    state.storagePending = true;
}

bool DeliverStored(CReadSms* receiver, ModemChannel* link) {
    if (!DeliverAnnounced(receiver, link)) return false;
    FullModemState& state = receiver->Full();
    const ULONGLONG now = GetTickCount64();
    if (!state.storagePending && !(state.dialogue.PollsStorage() && now >= state.nextStorageRead)) {
        return true;
    }
    state.storagePending = false;
    state.nextStorageRead = now + kStorageReadEveryMs;
    CommandReply listing;
    if (!link->Query(kListAll, listing, kListingTimeoutMs)) return true;
    for (const Stored& stored : ReceivedMessages(listing)) {
        if (!RaiseAndDelete(receiver, link, stored)) return false;
    }
    return true;
}

bool IsRepeat(CReadSms* receiver, const KeptDelivery& delivery) {
    FullModemState& state = receiver->Full();
    return state.on && state.repeats.IsRepeat(delivery.pdu, RepeatFilter::Clock::now());
}

}  // namespace pelvaro
