// What becomes of each message in the full dialogue: read off the modem, raised, heard, and
// deleted or acknowledged; the other half of FullDialogue, beside its link and set-up.

#include <algorithm>

#include "dialogue/DialogueTimes.h"
#include "dialogue/FullDialogue.h"
#include "modem/ModemCommands.h"
#include "modem/ModemLines.h"
#include "sms/PduDecoder.h"
#include "sms/PduFields.h"

namespace pelvaro {

using namespace dialogue;

namespace {

// A message listed from storage, with the time its service centre gave it.
struct Listed {
    int index = -1;
    KeptDelivery entry;
    std::int64_t time = 0;
};

bool Received(int status) {
    return status == kReceivedUnread || status == kReceivedRead;
}

std::int64_t ServiceCentreTime(const KeptDelivery& entry) {
    PduArea octets{};
    const std::size_t size = PduDecoder::HexToOctets(entry.pdu, octets.data(), octets.size());
    PduFields fields;
    ReadPduFields(octets.data(), size, fields);
    return SecondsSince2000(fields.timestamp);
}

// The received messages a listing holds, oldest first: a modem stores a new message at the first
// free index, so that the indices need not follow the order of arrival. Drafts and sent messages
// are not the client's.
std::vector<Listed> ReceivedOldestFirst(const Answer& listing) {
    std::vector<Listed> received;
    for (const KeptDelivery& entry : listing.stored) {
        int index = -1;
        int status = -1;
        if (!ParseListing(entry.header, index, status) || !Received(status)) continue;
        received.push_back({index, entry, ServiceCentreTime(entry)});
    }
    std::stable_sort(received.begin(), received.end(), [](const Listed& a, const Listed& b) {
        return a.time != b.time ? a.time < b.time : a.index < b.index;
    });
    return received;
}

// "+CMGR: <stat>,[<alpha>],<length>"
bool ReadReceived(const KeptDelivery& entry) {
    const std::vector<std::string_view> fields = InformationFields(entry.header);
    int status = -1;
    return !fields.empty() && ParseNumber(fields.front(), status) && Received(status);
}

}  // namespace

// What was read before the link went, or before the client asked to stop: a delivery there is
// raised all the same, since under phase 2 nothing else holds it.
void FullDialogue::TakeQueuedDeliveries() {
    if (!link_) return;
    for (Unsolicited event; link_ && link_->Layer().TakeUnsolicited(event);) {
        if (event.kind == Unsolicited::Kind::Delivery) TakeDirect(event);
    }
}

void FullDialogue::TakeDirect(const Unsolicited& event) {
    const KeptDelivery& delivery = event.delivery;
    // The modem delivers the next one only once the last was acknowledged or its time ran out.
    ledger_.ForgetPendingAcks();
    const Copy copy{Copy::Kind::Direct, {}, -1, linkCount_, reception_.acknowledge, event.at};
    if (LedgerEntry* entry = ledger_.Find(delivery.pdu)) {
        // Delivered again: a module that restarted, or whose acknowledgement timed out.
        Ledger::AddCopy(*entry, copy);
        switch (entry->stage) {
            case Stage::Heard:
                RemoveFromModem(*entry);
                break;
            case Stage::Unheard:
                RaiseUnheardAgain(entry->id);
                break;
            case Stage::Read:
                // A part waiting for the rest of its message: the modem cannot wait for it.
                if (reader_.Holds(entry->id)) RemoveFromModem(*entry);
                break;
            case Stage::Raised:
            case Stage::Unreadable:
                // The acknowledgement waits for the verdict on the message raised.
                break;
        }
        return;
    }
    if (ledger_.Settled(delivery.pdu, Now())) {
        Acknowledge(event.at);
        return;
    }
    Give(ledger_.Add(delivery.pdu, copy), delivery);
}

void FullDialogue::ReadAnnounced(const std::string& memory, int index) {
    if (ledger_.At(memory, index, linkCount_)) return;
    const Answer answer = SelectMemory(memory) ? Run(kReadAt + std::to_string(index),
                                                     CommandLayer::kUsualDeadline, Reply::Entries)
                                               : Answer{};
    if (!answer.Ok() || answer.stored.empty()) {
        // Left where it is, for the listing of the whole storage.
        sweepDue_ = true;
        return;
    }
    ++known_[memory];
    if (ReadReceived(answer.stored.front())) TakeStored(memory, index, answer.stored.front());
}

// Every memory, since a modem may store into any of them.
void FullDialogue::Sweep() {
    sweepDue_ = false;
    nextCheck_ = Now() + kCheckEvery;
    std::vector<std::string> memories = reception_.memories;
    // A modem that names no memories may still list the one it has.
    if (memories.empty()) memories.emplace_back();
    for (const std::string& memory : memories) {
        if (!link_) return;
        const Answer listing =
            SelectMemory(memory) ? Run(kListAll, kListingDeadline, Reply::Entries) : Answer{};
        if (!listing.Ok()) {
            // Listed again shortly: a SIM that is busy, a modem that was slow.
            sweepDue_ = true;
            nextSweep_ = Now() + kSweepAgainAfter;
            continue;
        }
        known_[memory] = static_cast<int>(listing.stored.size());
        ForgetCopiesNotListed(memory, listing);
        for (const Listed& listed : ReceivedOldestFirst(listing)) {
            TakeStored(memory, listed.index, listed.entry);
        }
    }
}

void FullDialogue::GiveOutWaitingParts() {
    std::vector<ClientMessage> waiting;
    reader_.GiveOutAll(Now(), waiting);
    for (ClientMessage& message : waiting) Post(std::move(message));
}

void FullDialogue::TakeStored(const std::string& memory, int index, const KeptDelivery& stored) {
    const Copy copy{Copy::Kind::Stored, memory, index, linkCount_, false};
    LedgerEntry* entry = ledger_.Find(stored.pdu);
    if (LedgerEntry* there = ledger_.At(memory, index, linkCount_); there && there != entry) {
        // That place was emptied behind the ledger's back, and now holds another message.
        ledger_.DropCopyAt(memory, index, linkCount_);
    }
    if (entry) {
        Ledger::AddCopy(*entry, copy);
        if (entry->stage == Stage::Heard) RemoveFromModem(*entry);
        return;
    }
    if (ledger_.Settled(stored.pdu, Now())) {
        // Heard before: a copy left over from a restart or an earlier link, just listed here.
        Delete(memory, index);
        return;
    }
    Give(ledger_.Add(stored.pdu, copy), stored);
}

void FullDialogue::Give(LedgerEntry& entry, const KeptDelivery& delivery) {
    const DeliveryTag id = entry.id;
    entry.stage = Stage::Read;
    std::vector<ClientMessage> ready;
    const bool othersGone = ledger_.OtherPartSettled(delivery.pdu, Now());
    if (!reader_.Read(delivery.View(), Now(), ready, id, othersGone)) {
        // Nothing can be read: it stays where it is, unacknowledged.
        entry.stage = Stage::Unreadable;
        return;
    }
    for (ClientMessage& message : ready) Post(std::move(message));
    LedgerEntry* held = ledger_.Find(id);
    // A part waiting for the rest of its message: a modem cannot wait for it.
    if (held && held->stage == Stage::Read && reader_.Holds(id)) RemoveFromModem(*held);
}

void FullDialogue::Post(ClientMessage message) {
    Outgoing item;
    item.id = nextPostId_++;
    for (const DeliveryTag source : message.sources) {
        ledger_.MarkRaised(source);
        if (const LedgerEntry* entry = ledger_.Find(source)) item.pdus.push_back(entry->pdu);
    }
    posted_[item.id] = message;
    item.message = std::move(message);
    client_.Post(std::move(item));
}

void FullDialogue::RaiseUnheardAgain(DeliveryTag only) {
    std::vector<ClientMessage> again;
    for (auto message = unheard_.begin(); message != unheard_.end();) {
        const std::vector<DeliveryTag>& sources = message->sources;
        if (only != 0 && std::find(sources.begin(), sources.end(), only) == sources.end()) {
            ++message;
            continue;
        }
        again.push_back(std::move(*message));
        message = unheard_.erase(message);
    }
    for (ClientMessage& message : again) Post(std::move(message));
}

void FullDialogue::PostLinkLost() {
    Outgoing lost;
    lost.kind = Outgoing::Kind::TestEvent;
    client_.Post(std::move(lost));
}

void FullDialogue::PostExpired() {
    std::vector<ClientMessage> expired;
    reader_.Expire(Now(), expired);
    for (ClientMessage& message : expired) Post(std::move(message));
}

void FullDialogue::ApplyVerdicts() {
    for (const Verdict& verdict : client_.TakeVerdicts()) {
        const auto found = posted_.find(verdict.id);
        if (found == posted_.end()) continue;
        ClientMessage message = std::move(found->second);
        posted_.erase(found);
        if (!verdict.heard) unheard_.push_back(message);
        for (const DeliveryTag source : message.sources) {
            LedgerEntry* entry = ledger_.Find(source);
            if (!entry) continue;
            if (verdict.heard) {
                ledger_.MarkHeard(*entry);
                RemoveFromModem(*entry);
            } else {
                // No sink took it: it stays stored, or unacknowledged, so that the network
                // delivers it again.
                entry->stage = Stage::Unheard;
            }
        }
    }
}

// Deletes the entry's stored copies and acknowledges its direct one; settles it once none is
// left. A part of a long message still waiting has only its direct copy acknowledged.
void FullDialogue::RemoveFromModem(LedgerEntry& entry) {
    const bool heard = entry.stage == Stage::Heard;
    std::vector<Copy>& copies = entry.copies;
    for (auto copy = copies.begin(); copy != copies.end();) {
        bool gone = true;
        if (!link_ || copy->link != linkCount_) {
            // Read on an earlier link: its index may mean something else now. The next listing
            // finds the message, and the ledger knows it.
        } else if (copy->kind == Copy::Kind::Direct) {
            if (copy->awaitsAck) Acknowledge(copy->deliveredAt);
            copy->awaitsAck = false;
            gone = heard;
        } else if (heard) {
            gone = Delete(copy->memory, copy->index);
        } else {
            gone = false;
        }
        copy = gone ? copies.erase(copy) : std::next(copy);
    }
    if (!heard) return;
    if (copies.empty()) {
        ledger_.Forget(entry);
    } else {
        nextRemoval_ = Now() + kRemovalAgainAfter;
    }
}

void FullDialogue::RetryRemovals() {
    if (Now() < nextRemoval_) return;
    nextRemoval_ = Clock::time_point::max();
    std::vector<DeliveryTag> due;
    for (const auto& [id, entry] : ledger_.Entries()) {
        if (entry.stage == Stage::Heard && !entry.copies.empty()) due.push_back(id);
    }
    for (const DeliveryTag id : due) {
        if (LedgerEntry* entry = ledger_.Find(id); entry && link_) RemoveFromModem(*entry);
    }
}

// True when the deletion was made, or nothing is at the index any more. Not tried again once
// it went out unanswered: it may have been made, and a new message stored at the index since.
// The storage is listed again instead, which finds the message if it is still there.
bool FullDialogue::Delete(const std::string& memory, int index) {
    if (!SelectMemory(memory)) return false;
    const Answer answer = Run(kDeleteAt + std::to_string(index));
    if (answer.Ok()) {
        if (known_[memory] > 0) --known_[memory];
        return true;
    }
    if (answer.Unanswered()) {
        sweepDue_ = true;
        nextSweep_ = std::min(nextSweep_, Now() + kSweepAgainAfter);
        return true;
    }
    return answer.result == kNothingAtIndex;
}

// AT+CNMA acknowledges whatever the modem delivered last. Not when it has delivered another since,
// or may have given up waiting: the other would be acknowledged instead. What was meant then
// comes again, and the ledger knows it.
void FullDialogue::Acknowledge(Clock::time_point deliveredAt) {
    if (!link_ || !reception_.acknowledge || link_->Layer().DeliveryQueued()) return;
    if (Now() - deliveredAt >= kAckPatience) return;
    Run(kAcknowledge);
}

// A copy that a complete listing of its memory does not hold was deleted by someone else.
void FullDialogue::ForgetCopiesNotListed(const std::string& memory, const Answer& listing) {
    std::vector<int> listed;
    for (const KeptDelivery& entry : listing.stored) {
        int index = -1;
        int status = -1;
        if (ParseListing(entry.header, index, status)) listed.push_back(index);
    }
    for (auto& [id, entry] : ledger_.Entries()) {
        for (const Copy& copy : entry.copies) {
            if (copy.kind == Copy::Kind::Stored && copy.memory == memory &&
                copy.link == linkCount_ &&
                std::find(listed.begin(), listed.end(), copy.index) == listed.end()) {
                ledger_.DropCopyAt(memory, copy.index, linkCount_);
                break;
            }
        }
    }
}

}  // namespace pelvaro
