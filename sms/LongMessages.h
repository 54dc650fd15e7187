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

// What becomes of a part that comes again after its message was given out: dropped as a repeat,
// or kept as the start of a message again, where the caller tells repeats itself.
enum class PartRepeats { Dropped, Kept };

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
    // The other parts went out before, elsewhere: its message goes out at the next Expire, with
    // what came with it.
    bool othersGone = false;
};

// The parts of long messages while they wait for each other. Parts belong together when their
// party, kind, reference and part count agree; they may come in any order and interleaved with
// other messages' parts. A part is a repeat only when its text and time stamp are those of a part
// held, or given out within kLongestWait; it then counts once. A part whose number is held with
// other content belongs to another message with the same reference, which 8-bit references and
// busy senders make common. Nothing is dropped: a message still incomplete is given out with the
// parts that came, each missing one marked "[…]"; a missing part that comes later, within
// kLongestWait, is given out at once, as a message of its own with the others marked missing.
class LongMessages {
  public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::size_t kMostHeld = 32;
    static constexpr Clock::duration kLongestWait = std::chrono::minutes(10);

    explicit LongMessages(PartRepeats repeats = PartRepeats::Dropped) : repeats_(repeats) {}

    // Keeps `part`; appends to `ready` the message it completes, or, when it starts a message and
    // kMostHeld are held already, the one whose newest part is oldest.
    void Add(const MessagePart& part, Clock::time_point now, std::vector<ClientMessage>& ready);

    // Appends the messages whose newest part came kLongestWait or more before `now`, and those
    // whose other parts went out before, oldest first.
    void Expire(Clock::time_point now, std::vector<ClientMessage>& ready);

    // Appends every message held, oldest first.
    void Flush(std::vector<ClientMessage>& ready);
    // The same while reception goes on, as when the storage is full of parts and the rest of
    // their messages cannot come until they leave it.
    void GiveOutAll(Clock::time_point now, std::vector<ClientMessage>& ready);

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
        bool othersGone = false;
    };
    // A message given out with gaps, for the parts that come late.
    struct Incomplete {
        Key key;
        Clock::time_point at;
        std::vector<std::uint8_t> sequences;  // given out
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
    // Gives out `part` at once when its message went out without it.
    bool GiveOutLate(const MessagePart& part, Clock::time_point now,
                     std::vector<ClientMessage>& ready);
    // The held message `part` belongs to, or end(): the first with its key that holds its
    // number with the same content, else the first that lacks its number.
    std::vector<Message>::iterator Find(const MessagePart& part);
    void GiveOut(const Message& message, Clock::time_point now, std::vector<ClientMessage>& ready);
    // Gives out and forgets the messages `due` picks, oldest first.
    template <typename Due>
    void GiveOutWhere(Due due, Clock::time_point now, std::vector<ClientMessage>& ready);

    PartRepeats repeats_;
    std::vector<Message> held_;           // oldest first, by newest part
    std::vector<Given> given_;            // oldest first; only where repeats are dropped
    std::vector<Incomplete> incomplete_;  // oldest first
};

}  // namespace pelvaro
