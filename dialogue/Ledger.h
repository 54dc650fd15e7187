#pragma once
// Every message in hand, from the moment it is read off the modem until it has left it, and for an
// hour after. "Is this new?", "was it raised already?" and "may it leave the modem?" are answered
// here alone. A message is known by what it is (its TPDU), not by where it lies: a module that
// delivers it again, or a storage listed again after a restart or a new link, brings the same
// message, with another copy.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialogue/HeardRecord.h"
#include "sms/LongMessages.h"

namespace pelvaro {

// Where a copy of a message is.
struct Copy {
    enum class Kind {
        Stored,  // in the modem's storage, at `memory` and `index`
        Direct,  // delivered straight on ("+CMT:")
    };
    Kind kind = Kind::Stored;
    // The memory ("SM", "ME"); empty for a modem that names none, which reads from the one it has.
    std::string memory;
    int index = -1;
    // The opening of the link it was read on: an index holds only as long as the link does.
    unsigned link = 0;
    // A direct delivery the modem waits to have acknowledged, and since when.
    bool awaitsAck = false;
    std::chrono::steady_clock::time_point deliveredAt{};

    bool At(std::string_view atMemory, int atIndex, unsigned onLink) const {
        return kind == Kind::Stored && index == atIndex && memory == atMemory && link == onLink;
    }
};

enum class Stage {
    Read,        // read off the modem, not raised yet: a long message's part waiting for the rest
    Raised,      // posted to the client; what became of it is not known yet
    Heard,       // a sink returned from it: its copies leave the modem
    Unheard,     // raised, and no sink took it: it stays, and is raised again at the next start
                 // or link
    Unreadable,  // it holds no PDU that can be read: it stays where it is
};

struct LedgerEntry {
    DeliveryTag id = 0;
    std::string pdu;
    // MessageIdentity's, or for text that holds no TPDU, none: the text itself tells.
    std::optional<std::uint64_t> identity;
    Stage stage = Stage::Read;
    std::vector<Copy> copies;
};

class Ledger {
  public:
    using Clock = HeardRecord::Clock;

    // What the client heard, it remembers in `heard`.
    explicit Ledger(HeardRecord& heard) : heard_(heard) {}

    // The message in `pdu` in hand, or null.
    LedgerEntry* Find(std::string_view pdu);
    LedgerEntry* Find(DeliveryTag id);
    // Whether the message in `pdu` was heard within the last hour, and is no longer in hand.
    bool Settled(std::string_view pdu, Clock::time_point now);
    // Whether another part of the long message that `pdu` is a part of was heard so: a part left
    // over, whose others a client killed meanwhile had heard.
    bool OtherPartSettled(std::string_view pdu, Clock::time_point now) {
        return heard_.OtherPartHeard(pdu, now);
    }
    // The message with a stored copy at `memory`, `index` on link `link`, or null.
    LedgerEntry* At(std::string_view memory, int index, unsigned link);

    // A message new to the ledger, at stage Read.
    LedgerEntry& Add(std::string pdu, const Copy& copy);
    // Another copy of a message in hand. A second stored copy on the same link is not kept: the
    // modem lists it again once the first has gone, and it is deleted then.
    static void AddCopy(LedgerEntry& entry, const Copy& copy);
    // No delivery awaits its acknowledgement any more: the modem delivered another, or restarted.
    // AT+CNMA acknowledges whatever the modem delivered last.
    void ForgetPendingAcks();
    // Forgets the stored copy at `memory`, `index` on link `link`: that place was emptied.
    void DropCopyAt(std::string_view memory, int index, unsigned link);

    void MarkRaised(DeliveryTag id);
    void MarkHeard(LedgerEntry& entry) { entry.stage = Stage::Heard; }
    // A message whose copies have all left the modem: the heard record knows it.
    void Forget(LedgerEntry& entry);
    // What a new link makes stale: stored copies read on earlier links, whose indices it may give
    // to other messages, and what could not be read, to be read afresh.
    void NewLink(unsigned link);
    // A client that starts again has what could not be read read afresh.
    void ForgetUnreadable();

    // Every message in hand, oldest first.
    const std::map<DeliveryTag, LedgerEntry>& Entries() const { return entries_; }
    std::map<DeliveryTag, LedgerEntry>& Entries() { return entries_; }

  private:
    std::map<DeliveryTag, LedgerEntry> entries_;
    HeardRecord& heard_;
    DeliveryTag nextId_ = 1;
};

}  // namespace pelvaro
