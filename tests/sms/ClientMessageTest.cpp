#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sms/ClientMessage.h"
#include "sms/PduDecoder.h"
#include "sms/Windows1252.h"
#include "tests/support/TestPdu.h"

namespace pelvaro {
namespace {

const std::string kPdu = test::kHelloPdu;
const std::string kPduAndMore = kPdu + "0A0B0C";
const std::u16string kHello =
    u"Service Center No: 1234567890\r\nSender No: 12345678901\r\nText: Hello";

std::vector<ClientMessage> Read(const Delivery& delivery, bool expectPdu = true) {
    std::vector<ClientMessage> ready;
    EXPECT_EQ(MessageReader().Read(delivery, MessageReader::Clock::now(), ready), expectPdu);
    return ready;
}

TEST(MessageReader, GivesTheFixedWordsAndTheSummaryOfTheDeliveredPdu) {
    const struct {
        const char* name;
        Delivery delivery;
    } cases[] = {
        {"header and PDU", {"+CMT: ,24", kPdu}},
        {"bare PDU", {"", kPdu}},
        {"spaced out", {"", "06 91 2143658709 040B912143658709F100004021123125000005C8329BFD06"}},
        // The view ends the PDU even where the text around it goes on with digits.
        {"PDU inside a longer text", {"", std::string_view(kPduAndMore).substr(0, kPdu.size())}},
    };
    for (const auto& c : cases) {
        const std::vector<ClientMessage> ready = Read(c.delivery);
        ASSERT_EQ(ready.size(), 1u) << c.name;
        EXPECT_EQ(ready[0].Sender(), u"Sender") << c.name;
        EXPECT_EQ(ready[0].Centre(), u"Center") << c.name;
        EXPECT_EQ(ready[0].text, kHello) << c.name;
    }
}

TEST(MessageReader, GivesNothingForADeliveryWithoutAPdu) {
    for (const Delivery& delivery : {Delivery{"+CMT: ,24", ""}, Delivery{"", "G0"}}) {
        EXPECT_TRUE(Read(delivery, false).empty());
    }
}

TEST(MessageReader, WidensTheWindows1252SummaryAsWindowsDoes) {
    // "\x1B\x65" is the euro sign; 0x05 e acute; 0x10 the Greek capital Delta, shown as '?'.
    // Septets 1B 65 05 10, packed.
    const std::string pdu = "00040B912143658709F1000040211231250000049B720102";
    const std::vector<ClientMessage> ready = Read({"", pdu});
    ASSERT_EQ(ready.size(), 1u);
    EXPECT_EQ(ready[0].text, u"\r\nSender No: 12345678901\r\nText: \u20AC\u00E9?");
}

TEST(MessageReader, ConvertsNoMoreThanTheAreaHolds) {
    PduArea area;
    area.fill(0x77);
    std::string expected;
    PduDecoder::BuildSummary(area, expected);
    const std::vector<ClientMessage> ready = Read({"", std::string(410, '7')});
    ASSERT_EQ(ready.size(), 1u);
    EXPECT_EQ(ready[0].text, Utf16FromWindows1252(expected));
}

}  // namespace
}  // namespace pelvaro
