#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "sms/ClientMessage.h"
#include "tests/support/TestPdu.h"

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using Clock = MessageReader::Clock;

const std::string kAlice = test::kAlice;
const std::string kBob = test::kBob;

std::string Part(const std::string& sender, int reference, int sequence, int count,
                 const std::string& text = "", const std::string& stamp = "62219001303400") {
    return test::LongMessagePart(sender, reference, sequence, count, text, stamp);
}

std::u16string Text(const ClientMessage& message) {
    return message.text.substr(message.textStart);
}

struct Reader {
    MessageReader reader{true};
    Clock::time_point now = Clock::now();
    std::vector<ClientMessage> ready;

    void Read(const std::string& pdu, DeliveryTag tag = 0) {
        ASSERT_TRUE(reader.Read({"", pdu}, now, ready, tag));
    }
};

TEST(LongMessages, JoinsPartsInAnyOrderInterleavedWithOthers) {
    Reader r;
    // Bob's message has Alice's reference and count, and must not mix with hers.
    for (const std::string& pdu :
         {Part(kAlice, 7, 3, 3), Part(kBob, 7, 2, 3), Part(kAlice, 7, 1, 3), Part(kBob, 7, 1, 3),
          Part(kAlice, 7, 1, 3)}) {
        r.Read(pdu);
    }
    EXPECT_TRUE(r.ready.empty());
    r.Read(Part(kAlice, 7, 2, 3));
    ASSERT_EQ(r.ready.size(), 1u);
    EXPECT_EQ(r.ready[0].Sender(), u"+14155551212");
    EXPECT_EQ(Text(r.ready[0]), u"P1P2P3");
    EXPECT_EQ(r.ready[0].text,
              u"\r\nSender No: +14155551212\r\nSent: 2026-12-09 10:03:43 +00:00\r\nText: P1P2P3");
    EXPECT_EQ(r.ready[0].parts, 3);
    r.Read(Part(kBob, 7, 3, 3));
    ASSERT_EQ(r.ready.size(), 2u);
    EXPECT_EQ(Text(r.ready[1]), u"P1P2P3");
    EXPECT_EQ(r.ready[1].Sender(), u"+16505551111");
}

TEST(LongMessages, APartThatComesAgainAfterItsMessageWentOutCountsOnce) {
    Reader r;
    r.Read(Part(kAlice, 5, 1, 2));
    r.Read(Part(kAlice, 5, 2, 2));
    ASSERT_EQ(r.ready.size(), 1u);
    r.now += 9min;
    r.Read(Part(kAlice, 5, 2, 2));
    r.reader.Flush(r.ready);
    EXPECT_EQ(r.ready.size(), 1u) << "no second message, with a gap, for the repeated part";
    r.now += 2min;
    r.Read(Part(kAlice, 5, 1, 2));
    r.reader.Flush(r.ready);
    EXPECT_EQ(r.ready.size(), 2u) << "long after, the reference may stand for a new message";
}

TEST(LongMessages, TwoMessagesWithOneReferenceStayApartAndNameTheirDeliveries) {
    Reader r;
    // "A1" "A2" and "B1" "B2": one sender, reference and count; 8-bit references repeat.
    r.Read(Part(kAlice, 9, 1, 2, "00410031"), 1);
    r.Read(Part(kAlice, 9, 1, 2, "00420031"), 2);
    r.Read(Part(kAlice, 9, 1, 2, "00410031"), 3);  // A1 again, stored twice by the modem
    EXPECT_TRUE(r.reader.Holds(3));
    r.Read(Part(kAlice, 9, 2, 2, "00410032"), 4);
    r.Read(Part(kAlice, 9, 2, 2, "00420032"), 5);
    ASSERT_EQ(r.ready.size(), 2u);
    EXPECT_EQ(Text(r.ready[0]), u"A1A2");
    EXPECT_EQ(r.ready[0].sources, (std::vector<DeliveryTag>{1, 3, 4}));
    EXPECT_EQ(Text(r.ready[1]), u"B1B2");
    EXPECT_EQ(r.ready[1].sources, (std::vector<DeliveryTag>{2, 5}));
    EXPECT_FALSE(r.reader.Holds(1));
}

TEST(LongMessages, CarryTheTimeStampOfTheirFirstPartWhateverTheOrder) {
    // Part N sent at 10:0N, in the zone +01:00.
    const auto part = [](int sequence) {
        return Part(kAlice, 4, sequence, 3, "", "62219001" + std::to_string(sequence) + "00040");
    };
    const struct {
        const char* name;
        std::vector<int> order;
        std::u16string sent;
    } cases[] = {
        {"last first", {3, 1, 2}, u"2026-12-09 10:01:00 +01:00"},
        {"first last", {2, 3, 1}, u"2026-12-09 10:01:00 +01:00"},
        {"without the first, the first there", {3, 2}, u"2026-12-09 10:02:00 +01:00"},
    };
    for (const auto& c : cases) {
        Reader r;
        for (const int sequence : c.order) r.Read(part(sequence));
        r.reader.Flush(r.ready);
        ASSERT_EQ(r.ready.size(), 1u) << c.name;
        EXPECT_EQ(r.ready[0].Sent(), c.sent) << c.name;
    }
}

TEST(LongMessages, KeepsASurrogatePairSplitBetweenParts) {
    Reader r;
    r.Read(Part(kAlice, 1, 2, 2, "DC4B0021"));  // low surrogate, '!'
    r.Read(Part(kAlice, 1, 1, 2, "0048D83D"));  // 'H', high surrogate
    ASSERT_EQ(r.ready.size(), 1u);
    EXPECT_EQ(Text(r.ready[0]), u"H\U0001F44B!");
}

TEST(LongMessages, GivesOutIncompleteMessagesMarkedWhenTheyWaitTooLong) {
    Reader r;
    r.Read(Part(kAlice, 1, 2, 3));
    r.now += 9min;
    r.Read(Part(kBob, 2, 1, 2));
    r.reader.Expire(r.now + 59s, r.ready);
    EXPECT_TRUE(r.ready.empty());
    r.reader.Expire(r.now + 1min, r.ready);
    ASSERT_EQ(r.ready.size(), 1u);
    EXPECT_EQ(Text(r.ready[0]), u"[\u2026]P2[\u2026]");
    EXPECT_EQ(r.ready[0].parts, 1);
    r.reader.Flush(r.ready);
    ASSERT_EQ(r.ready.size(), 2u);
    EXPECT_EQ(Text(r.ready[1]), u"P1[\u2026]");
    r.reader.Flush(r.ready);
    EXPECT_EQ(r.ready.size(), 2u);
}

TEST(LongMessages, HoldsAtMost32AndGivesOutTheLongestWaitingFirst) {
    Reader r;
    // Each message's first part is the one character U+01xx, xx its reference.
    const auto first = [](int reference) {
        char units[16];
        std::snprintf(units, sizeof units, "01%02X", reference);
        return Part(kAlice, reference, 1, 2, units);
    };
    for (int reference = 0; reference < 32; ++reference) {
        r.Read(first(reference));
        r.now += 1s;
    }
    r.Read(first(0));  // again: counts once, and does not make it newer
    EXPECT_TRUE(r.ready.empty());
    r.Read(first(32));
    r.Read(first(33));
    ASSERT_EQ(r.ready.size(), 2u);
    EXPECT_EQ(Text(r.ready[0]), u"\u0100[\u2026]");
    EXPECT_EQ(Text(r.ready[1]), u"\u0101[\u2026]");
}

}  // namespace
}  // namespace pelvaro
