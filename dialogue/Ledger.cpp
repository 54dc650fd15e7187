#include "dialogue/Ledger.h"

#include <algorithm>

namespace pelvaro {
namespace {

std::optional<std::uint64_t> IdentityOf(std::string_view pdu) {
    std::uint64_t identity = 0;
    if (!MessageIdentity(pdu, identity)) return std::nullopt;
    return identity;
}

}  // namespace

LedgerEntry* Ledger::Find(std::string_view pdu) {
    const std::optional<std::uint64_t> identity = IdentityOf(pdu);
    for (auto& [id, entry] : entries_) {
        if (identity ? entry.identity == identity : !entry.identity && entry.pdu == pdu) {
            return &entry;
        }
    }
    return nullptr;
}

LedgerEntry* Ledger::Find(DeliveryTag id) {
    const auto found = entries_.find(id);
    return found == entries_.end() ? nullptr : &found->second;
}

bool Ledger::Settled(std::string_view pdu, Clock::time_point now) {
    return heard_.Heard(pdu, now);
}

LedgerEntry* Ledger::At(std::string_view memory, int index, unsigned link) {
    for (auto& [id, entry] : entries_) {
        for (const Copy& copy : entry.copies) {
            if (copy.At(memory, index, link)) return &entry;
        }
    }
    return nullptr;
}

LedgerEntry& Ledger::Add(std::string pdu, const Copy& copy) {
    const DeliveryTag id = nextId_++;
    LedgerEntry& entry = entries_[id];
    entry.id = id;
    entry.identity = IdentityOf(pdu);
    entry.pdu = std::move(pdu);
    entry.copies.push_back(copy);
    return entry;
}

void Ledger::AddCopy(LedgerEntry& entry, const Copy& copy) {
    for (Copy& held : entry.copies) {
        if (copy.kind == Copy::Kind::Direct && held.kind == Copy::Kind::Direct) {
            // Delivered again: the modem waits for the acknowledgement of the latest.
            held = copy;
            return;
        }
        if (copy.kind == Copy::Kind::Stored && held.kind == Copy::Kind::Stored &&
            held.link == copy.link) {
            return;
        }
    }
    entry.copies.push_back(copy);
}

void Ledger::ForgetPendingAcks() {
    for (auto& [id, entry] : entries_) {
        for (Copy& copy : entry.copies) copy.awaitsAck = false;
    }
}

void Ledger::DropCopyAt(std::string_view memory, int index, unsigned link) {
    for (auto& [id, entry] : entries_) {
        std::vector<Copy>& copies = entry.copies;
        copies.erase(std::remove_if(copies.begin(), copies.end(),
                                    [&](const Copy& copy) { return copy.At(memory, index, link); }),
                     copies.end());
    }
}

void Ledger::MarkRaised(DeliveryTag id) {
    if (LedgerEntry* entry = Find(id)) entry->stage = Stage::Raised;
}

void Ledger::Forget(LedgerEntry& entry) {
    entries_.erase(entry.id);
}

void Ledger::NewLink(unsigned link) {
    for (auto entry = entries_.begin(); entry != entries_.end();) {
        std::vector<Copy>& copies = entry->second.copies;
        copies.erase(std::remove_if(copies.begin(), copies.end(),
                                    [&](const Copy& copy) {
                                        return copy.kind == Copy::Kind::Stored && copy.link != link;
                                    }),
                     copies.end());
        const Stage stage = entry->second.stage;
        const bool gone = copies.empty() && stage == Stage::Heard;
        entry = gone || stage == Stage::Unreadable ? entries_.erase(entry) : std::next(entry);
    }
}

void Ledger::ForgetUnreadable() {
    for (auto entry = entries_.begin(); entry != entries_.end();) {
        entry = entry->second.stage == Stage::Unreadable ? entries_.erase(entry) : std::next(entry);
    }
}

}  // namespace pelvaro
