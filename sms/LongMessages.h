#pragma once

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

// One part of a long message as it arrives.
struct MessagePart {
    std::u16string_view centre;
    std::u16string_view party;
    bool receiver = false;  // the party is the receiver, as in a SUBMIT
    Concatenation concatenation;
    DataCoding coding;
    std::u16string_view text;
};

// The parts of long messages while they wait for each other. Parts belong together when their
// party, kind, reference and part count agree; they may come in any order and interleaved with
// other messages' parts, and a part that comes twice counts once, also when it comes again after
// its message was given out (within kLongestWait). Nothing is dropped: a message still incomplete
// is given out with the parts that came, each missing one marked "[…]".
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
    };
    struct Message {
        Key key;
        std::u16string centre;
        DataCoding coding;
        Clock::time_point newest;
        std::vector<Part> parts;  // by sequence
    };
    // A message given out, with the parts it had, for the parts a module delivers again.
    struct Given {
        Key key;
        Clock::time_point at;
        std::vector<std::uint8_t> sequences;
    };

    static bool Matches(const Key& key, const MessagePart& part);
    bool GivenAlready(const MessagePart& part, Clock::time_point now);
    void GiveOut(const Message& message, Clock::time_point now, std::vector<ClientMessage>& ready);
    // Gives out and forgets the messages `due` picks, oldest first.
    template <typename Due>
    void GiveOutWhere(Due due, Clock::time_point now, std::vector<ClientMessage>& ready);

    std::vector<Message> held_;  // oldest first, by newest part
    std::vector<Given> given_;   // oldest first
};

}  // namespace pelvaro
