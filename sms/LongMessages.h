#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sms/DataCoding.h"
#include "sms/UserDataHeader.h"

namespace pelvaro {

struct ClientMessage;

// What a caller calls a delivery, so that it learns which of its deliveries a message was made
// from; 0 for none.
using DeliveryTag = std::uint64_t;

// One part of a long message as it arrives.
struct MessagePart {
    std::u16string_view centre;
    std::u16string_view party;
    bool receiver = false;  // the party is the receiver, as in a SUBMIT
    Concatenation concatenation;
    DataCoding coding;
    std::u16string_view text;
    std::array<std::uint8_t, 7> timestamp{};  // the service centre's, as sent
    bool stamped = false;                     // it has one: a SUBMIT has none
    DeliveryTag tag = 0;
};

// The parts of long messages while they wait for each other. Parts belong together when their
// party, kind, reference and part count agree; they may come in any order and interleaved with
// other messages' parts. A part is a repeat only when its text and time stamp are those of a part
// held, or given out within kLongestWait; it then counts once. A part whose number is held with
// other content belongs to another message with the same reference, which 8-bit references and
// busy senders make common. Nothing is dropped: a message still incomplete is given out with the
// parts that came, each missing one marked "[…]".
class LongMessages {
  public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::size_t kMostHeld = 32;
    static constexpr Clock::duration kLongestWait = std::chrono::minutes(10);

    // Keeps `part`; appends to `ready` the message it completes, or, when it starts a message and
    // kMostHeld are held already, the one whose newest part is oldest.
    void Add(const MessagePart& part, Clock::time_point now, std::vector<ClientMessage>& ready);

    // Appends the messages whose newest part came kLongestWait or more before `now`, oldest first.
    void Expire(Clock::time_point now, std::vector<ClientMessage>& ready);

    // Appends every message held, oldest first.
    void Flush(std::vector<ClientMessage>& ready);

    std::size_t Held() const { return held_.size(); }
    // Whether a message held waits with the delivery tagged `tag` among its parts.
    bool Holds(DeliveryTag tag) const;

  private:
    struct Key {
        std::u16string party;
        bool receiver;
        std::uint16_t reference;
        bool wideReference;
        std::uint8_t count;
    };
    struct Part {
        std::uint8_t sequence;
        std::u16string text;
        std::array<std::uint8_t, 7> timestamp;
        bool stamped;

        bool SameContent(const MessagePart& part) const {
            return text == part.text && timestamp == part.timestamp;
        }
    };
    struct Message {
        Key key;
        std::u16string centre;
        DataCoding coding;
        Clock::time_point newest;
        std::vector<Part> parts;        // by sequence
        std::vector<DeliveryTag> tags;  // of every delivery it holds, repeats included
    };
    // A part given out, for a module that delivers it again.
    struct Given {
        Key key;
        Clock::time_point at;
        std::uint8_t sequence;
        std::uint64_t content;
    };

    static bool Matches(const Key& key, const MessagePart& part);
    static std::uint64_t ContentOf(std::u16string_view text,
                                   const std::array<std::uint8_t, 7>& timestamp);
    bool GivenAlready(const MessagePart& part, Clock::time_point now);
    // The held message `part` belongs to, or end(): the first with its key that holds its
    // number with the same content, else the first that lacks its number.
    std::vector<Message>::iterator Find(const MessagePart& part);
    void GiveOut(const Message& message, Clock::time_point now, std::vector<ClientMessage>& ready);
    // Gives out and forgets the messages `due` picks, oldest first.
    template <typename Due>
    void GiveOutWhere(Due due, Clock::time_point now, std::vector<ClientMessage>& ready);

    std::vector<Message> held_;  // oldest first, by newest part
    std::vector<Given> given_;   // oldest first
};

}  // namespace pelvaro
