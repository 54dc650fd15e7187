// Reception with "Full Decoding=1": what a client gets for every kind of message, end to end.

#include "tests/server/receiver/ReceiverTesting.h"

namespace pelvaro {
namespace {

using namespace test;

const std::wstring kCentre = L"+1234567890";
const std::wstring kSender = L"+12345678901";

// Parts 1 to 3 of "First part, second part, third part." (reference 0x42), and parts 1 and 2 of
// "Other message" (0x43), from the same sender.
const std::string kLongA1 =
    "06912143658709440B912143658709F1000062219001303400130500034203018C69F99C0E8287E5741608";
const std::string kLongA2 =
    "06912143658709440B912143658709F100006221900130340014050003420302E6E5F1DB4D06C1C3723A0B04";
const std::string kLongA3 =
    "06912143658709440B912143658709F100006221900130340012050003420303E8E8B49C0C8287E57417";
const std::string kLongB1 =
    "06912143658709440B912143658709F10000622190013034000D0500034302019E7474590E02";
const std::string kLongB2 =
    "06912143658709440B912143658709F10000622190013034000E050003430202DAE5F93C7C2E03";

// Every message here was sent at the same moment.
std::wstring Summary(const std::wstring& sender, const std::wstring& text) {
    return L"Service Center No: " + kCentre + L"\r\nSender No: " + sender +
           L"\r\nSent: 2026-12-09 10:03:43 +00:00\r\nText: " + text;
}

class FullDecodingTest : public ReceiverFixture {
  protected:
    void SetUp() override {
        ReceiverFixture::SetUp();
        UseSettings(sim_.Port(), "Full Decoding=1\r\n");
    }

    std::vector<std::vector<std::wstring>> Events() const {
        std::vector<std::vector<std::wstring>> events;
        for (const SinkCall& call : sink_.calls) events.push_back(call.args);
        return events;
    }
};

TEST_F(FullDecodingTest, EveryKindReachesTheClientWholeWithSenderAndCentre) {
    Start();
    for (const std::string& pdu :
         {// UCS2 with an emoji, a sender's name, the Turkish tables
          std::string("06912143658709040B912143658709F100086221900130340012041F044004380432043"
                      "504420020D83DDC4B"),
          std::string("069121436587090406D044241300006221900130340002C834"),
          std::string("06912143658709440B912143658709F10000622190013034000E0625010124010107207"
                      "873E400"),
          // two long messages, their parts interleaved and out of order
          kLongA3, kLongB1, kLongA1, kLongB2, kLongA2}) {
        sim_.DeliverPdu(pdu);
    }
    EXPECT_TRUE(PumpUntil([&] { return sink_.calls.size() >= 5; }, 15000));
    PumpUntil([] { return false; }, 1500);
    EXPECT_EQ(Events(),
              (std::vector<std::vector<std::wstring>>{
                  {kSender, kCentre,
                   Summary(kSender, L"\u041f\u0440\u0438\u0432\u0435\u0442 \U0001F44B")},
                  {L"DHL", kCentre, Summary(L"DHL", L"Hi")},
                  {kSender, kCentre, Summary(kSender, L"\u0131\u0130\u00e7\u011e\u015e")},
                  {kSender, kCentre, Summary(kSender, L"Other message")},
                  {kSender, kCentre, Summary(kSender, L"First part, second part, third part.")},
              }));
    EXPECT_EQ(Count(Line(), "AT+CNMA\r\n"), 8) << "each part acknowledged when it is read";
}

TEST_F(FullDecodingTest, ALongMessageStillIncompleteGoesOutWhenReceptionStops) {
    for (const Stop& c : WaysToStop()) {
        SCOPED_TRACE(c.name);
        if (!object_) CreateAndAdvise();
        Start();
        sim_.DeliverPdu(kLongA2);
        EXPECT_TRUE(PumpUntil([&] { return Count(Line(), "AT+CNMA\r\n") == 1; }, 5000));
        EXPECT_TRUE(sink_.calls.empty());
        c.act();
        EXPECT_EQ(sink_.Texts(),
                  std::vector<std::wstring>{Summary(kSender, L"[\u2026]second part, [\u2026]")});
    }
}

}  // namespace
}  // namespace pelvaro
