#include "sms/LongMessages.h"

#include <algorithm>

#include "sms/ClientMessage.h"
#include "sms/FullSummary.h"

namespace pelvaro {

namespace {

constexpr std::u16string_view kGap = u"[\u2026]";

}  // namespace

bool LongMessages::Matches(const Message& message, const MessagePart& part) {
    const Concatenation& c = part.concatenation;
    return message.reference == c.reference && message.count == c.count &&
           message.wideReference == c.wideReference && message.receiver == part.receiver &&
           message.party == part.party;
}

void LongMessages::Add(const MessagePart& part, Clock::time_point now,
                       std::vector<ClientMessage>& ready) {
    auto found = std::find_if(held_.begin(), held_.end(),
                              [&](const Message& message) { return Matches(message, part); });
    if (found == held_.end()) {
        if (held_.size() >= kMostHeld) {
            GiveOut(held_.front(), ready);
            held_.erase(held_.begin());
        }
        const Concatenation& c = part.concatenation;
        held_.push_back({std::u16string(part.party),
                         part.receiver,
                         c.reference,
                         c.wideReference,
                         c.count,
                         std::u16string(part.centre),
                         part.coding,
                         now,
                         {}});
        found = held_.end() - 1;
    }

    std::vector<Part>& parts = found->parts;
    const std::uint8_t sequence = part.concatenation.sequence;
    const auto place = std::lower_bound(
        parts.begin(), parts.end(), sequence,
        [](const Part& held, std::uint8_t wanted) { return held.sequence < wanted; });
    if (place != parts.end() && place->sequence == sequence) return;
    parts.insert(place, {sequence, std::u16string(part.text)});
    // The first part's centre and coding stand for the message.
    if (sequence == 1) {
        found->centre.assign(part.centre);
        found->coding = part.coding;
    }

    // Kept oldest first: the message that just grew moves to the end.
    found->newest = now;
    std::rotate(found, found + 1, held_.end());
    if (held_.back().parts.size() == held_.back().count) {
        GiveOut(held_.back(), ready);
        held_.pop_back();
    }
}

void LongMessages::GiveOut(const Message& message, std::vector<ClientMessage>& ready) {
    std::vector<std::u16string_view> pieces;
    pieces.reserve(message.count);
    auto part = message.parts.begin();
    for (unsigned sequence = 1; sequence <= message.count; ++sequence) {
        if (part != message.parts.end() && part->sequence == sequence) {
            pieces.push_back((part++)->text);
        } else {
            pieces.push_back(kGap);
        }
    }
    ClientMessage& given = ready.emplace_back();
    given.coding = message.coding;
    given.parts = static_cast<int>(message.parts.size());
    WriteFullSummary({message.centre, message.party, message.receiver, true}, pieces.data(),
                     pieces.size(), given);
}

template <typename Due>
void LongMessages::GiveOutWhere(Due due, std::vector<ClientMessage>& ready) {
    for (const Message& message : held_) {
        if (due(message)) GiveOut(message, ready);
    }
    held_.erase(std::remove_if(held_.begin(), held_.end(), due), held_.end());
}

void LongMessages::Expire(Clock::time_point now, std::vector<ClientMessage>& ready) {
    GiveOutWhere([&](const Message& message) { return now - message.newest >= kLongestWait; },
                 ready);
}

void LongMessages::Flush(std::vector<ClientMessage>& ready) {
    GiveOutWhere([](const Message&) { return true; }, ready);
}

}  // namespace pelvaro
