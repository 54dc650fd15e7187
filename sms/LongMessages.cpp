#include "sms/LongMessages.h"

#include <algorithm>

#include "sms/ClientMessage.h"
#include "sms/FullSummary.h"

namespace pelvaro {

namespace {

constexpr std::u16string_view kGap = u"[\u2026]";
// Enough for the parts of kLongestWait from any modem that is not flooding.
constexpr std::size_t kMostGiven = 32 * LongMessages::kMostHeld;

}  // namespace

bool LongMessages::Matches(const Key& key, const MessagePart& part) {
    const Concatenation& c = part.concatenation;
    return key.reference == c.reference && key.count == c.count &&
           key.wideReference == c.wideReference && key.receiver == part.receiver &&
           key.party == part.party;
}

std::uint64_t LongMessages::ContentOf(std::u16string_view text,
                                      const std::array<std::uint8_t, 7>& timestamp) {
    // FNV-1a: it tells contents apart, it need not keep them secret.
    std::uint64_t hash = 14695981039346656037ull;
    const auto mix = [&](std::uint64_t value) { hash = (hash ^ value) * 1099511628211ull; };
    for (const char16_t unit : text) mix(unit);
    for (const std::uint8_t octet : timestamp) mix(octet);
    return hash;
}

bool LongMessages::GivenAlready(const MessagePart& part, Clock::time_point now) {
    given_.erase(given_.begin(),
                 std::find_if(given_.begin(), given_.end(),
                              [&](const Given& given) { return now - given.at < kLongestWait; }));
    const std::uint64_t content = ContentOf(part.text, part.timestamp);
    return std::any_of(given_.begin(), given_.end(), [&](const Given& given) {
        return Matches(given.key, part) && given.sequence == part.concatenation.sequence &&
               given.content == content;
    });
}

std::vector<LongMessages::Message>::iterator LongMessages::Find(const MessagePart& part) {
    auto lacking = held_.end();
    for (auto message = held_.begin(); message != held_.end(); ++message) {
        if (!Matches(message->key, part)) continue;
        const auto held =
            std::find_if(message->parts.begin(), message->parts.end(),
                         [&](const Part& p) { return p.sequence == part.concatenation.sequence; });
        if (held == message->parts.end()) {
            if (lacking == held_.end()) lacking = message;
        } else if (held->SameContent(part)) {
            return message;
        }
    }
    return lacking;
}

bool LongMessages::Holds(DeliveryTag tag) const {
    return std::any_of(held_.begin(), held_.end(), [&](const Message& message) {
        return std::find(message.tags.begin(), message.tags.end(), tag) != message.tags.end();
    });
}

bool LongMessages::GiveOutLate(const MessagePart& part, Clock::time_point now,
                               std::vector<ClientMessage>& ready) {
    incomplete_.erase(
        incomplete_.begin(),
        std::find_if(incomplete_.begin(), incomplete_.end(), [&](const Incomplete& incomplete) {
            return now - incomplete.at < kLongestWait;
        }));
    const std::uint8_t sequence = part.concatenation.sequence;
    for (Incomplete& incomplete : incomplete_) {
        std::vector<std::uint8_t>& given = incomplete.sequences;
        if (!Matches(incomplete.key, part) ||
            std::find(given.begin(), given.end(), sequence) != given.end()) {
            continue;
        }
        given.push_back(sequence);
        Message late{incomplete.key, std::u16string(part.centre), part.coding, now, {}, {}};
        late.parts.push_back({sequence, std::u16string(part.text), part.timestamp, part.stamped});
        if (part.tag != 0) late.tags.push_back(part.tag);
        GiveOut(late, now, ready);
        return true;
    }
    return false;
}

void LongMessages::Add(const MessagePart& part, Clock::time_point now,
                       std::vector<ClientMessage>& ready) {
    if (repeats_ == PartRepeats::Dropped && GivenAlready(part, now)) return;
    if (GiveOutLate(part, now, ready)) return;
    auto found = Find(part);
    if (found == held_.end()) {
        if (held_.size() >= kMostHeld) {
            GiveOut(held_.front(), now, ready);
            held_.erase(held_.begin());
        }
        const Concatenation& c = part.concatenation;
        held_.push_back(
            {{std::u16string(part.party), part.receiver, c.reference, c.wideReference, c.count},
             std::u16string(part.centre),
             part.coding,
             now,
             {},
             {}});
        found = held_.end() - 1;
    }
    if (part.tag != 0) found->tags.push_back(part.tag);
    found->othersGone = found->othersGone || part.othersGone;

    std::vector<Part>& parts = found->parts;
    const std::uint8_t sequence = part.concatenation.sequence;
    const auto place = std::lower_bound(
        parts.begin(), parts.end(), sequence,
        [](const Part& held, std::uint8_t wanted) { return held.sequence < wanted; });
    // The same part again: it counts once, and does not make its message newer.
    if (place != parts.end() && place->sequence == sequence) return;
    parts.insert(place, {sequence, std::u16string(part.text), part.timestamp, part.stamped});
    // The first part's centre and coding stand for the message.
    if (sequence == 1) {
        found->centre.assign(part.centre);
        found->coding = part.coding;
    }

    // Kept oldest first: the message that just grew moves to the end.
    found->newest = now;
    std::rotate(found, found + 1, held_.end());
    if (held_.back().parts.size() == held_.back().key.count) {
        GiveOut(held_.back(), now, ready);
        held_.pop_back();
    }
}

void LongMessages::GiveOut(const Message& message, Clock::time_point now,
                           std::vector<ClientMessage>& ready) {
    std::vector<std::u16string_view> pieces;
    pieces.reserve(message.key.count);
    auto part = message.parts.begin();
    for (unsigned sequence = 1; sequence <= message.key.count; ++sequence) {
        if (part != message.parts.end() && part->sequence == sequence) {
            if (repeats_ == PartRepeats::Dropped) {
                if (given_.size() >= kMostGiven) given_.erase(given_.begin());
                given_.push_back(
                    {message.key, now, part->sequence, ContentOf(part->text, part->timestamp)});
            }
            pieces.push_back((part++)->text);
        } else {
            pieces.push_back(kGap);
        }
    }
    if (message.parts.size() < message.key.count) {
        Incomplete& incomplete = incomplete_.emplace_back();
        incomplete.key = message.key;
        incomplete.at = now;
        for (const Part& given : message.parts) incomplete.sequences.push_back(given.sequence);
        if (incomplete_.size() > kMostHeld) incomplete_.erase(incomplete_.begin());
    }
    ClientMessage& client = ready.emplace_back();
    client.coding = message.coding;
    client.parts = static_cast<int>(message.parts.size());
    client.sources = message.tags;
    // The first part's time stamp stands for the message, as its centre does.
    const Part& first = message.parts.front();
    WriteFullSummary({message.centre, message.key.party, message.key.receiver, true,
                      first.stamped ? &first.timestamp : nullptr},
                     pieces.data(), pieces.size(), client);
}

template <typename Due>
void LongMessages::GiveOutWhere(Due due, Clock::time_point now, std::vector<ClientMessage>& ready) {
    for (const Message& message : held_) {
        if (due(message)) GiveOut(message, now, ready);
    }
    held_.erase(std::remove_if(held_.begin(), held_.end(), due), held_.end());
}

void LongMessages::Expire(Clock::time_point now, std::vector<ClientMessage>& ready) {
    GiveOutWhere(
        [&](const Message& message) {
            return message.othersGone || now - message.newest >= kLongestWait;
        },
        now, ready);
}

void LongMessages::GiveOutAll(Clock::time_point now, std::vector<ClientMessage>& ready) {
    GiveOutWhere([](const Message&) { return true; }, now, ready);
}

void LongMessages::Flush(std::vector<ClientMessage>& ready) {
    // Reception stops: nothing given out now needs to be known again.
    GiveOutWhere([](const Message&) { return true; }, Clock::time_point{}, ready);
    given_.clear();
}

}  // namespace pelvaro
