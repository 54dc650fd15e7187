#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sms/ClientMessage.h"

namespace pelvaro {
namespace {

const std::u16string kCentre = u"+1234567890";

std::vector<ClientMessage> ReadFully(const std::string& pdu) {
    std::vector<ClientMessage> ready;
    EXPECT_TRUE(MessageReader(true).Read({"", pdu}, MessageReader::Clock::now(), ready));
    return ready;
}

// PDUs made for each feature from TS 23.040 and TS 23.038 by hand; their texts come from the
// standard's tables, not from ours.
TEST(FullReading, GivesSenderCentreAndTextAsSent) {
    const struct {
        const char* name;
        std::string pdu;
        std::u16string party;
        std::u16string text;
    } cases[] = {
        {"international sender and centre",
         "06912143658709040B912143658709F100006221900130340005C8329BFD06", u"+12345678901",
         u"Hello"},
        {"name of three letters", "069121436587090406D044241300006221900130340002C834", u"DHL",
         u"Hi"},
        {"name of seven letters in 13 semi-octets",
         "06912143658709040DD0D47B9A4E2FCB0100006221900130340002C834", u"Twitter", u"Hi"},
        // Counted in octets: the padding of the last one is no '@'.
        {"name of seven letters in 14 semi-octets",
         "06912143658709040ED0D47B9A4E2FCB0100006221900130340002C834", u"Twitter", u"Hi"},
        {"national number with * # a b c", "06912143658709040681BADC0E00006221900130340002C834",
         u"*#abc0", u"Hi"},
        {"UCS2 with a surrogate pair",
         "06912143658709040B912143658709F100086221900130340012041F044004380432043504420020D83DDC4B",
         u"+12345678901", u"Привет 👋"},
        {"UCS2 odd last octet dropped",
         "06912143658709040B912143658709F1000862219001303400050061006200", u"+12345678901", u"ab"},
        {"8-bit data as hexadecimal",
         "06912143658709040B912143658709F10004622190013034000548656C6C6F", u"+12345678901",
         u"48656C6C6F"},
        {"class 0", "06912143658709040B912143658709F100106221900130340002C834", u"+12345678901",
         u"Hi"},
        {"reserved coding group read as GSM 7-bit",
         "06912143658709040B912143658709F100806221900130340002C834", u"+12345678901", u"Hi"},
        {"reserved alphabet read as GSM 7-bit",
         "06912143658709040B912143658709F1000C6221900130340002C834", u"+12345678901", u"Hi"},
        {"compressed data as hexadecimal",
         "06912143658709040B912143658709F1002062219001303400021234", u"+12345678901", u"1234"},
        {"message waiting, UCS2", "06912143658709040B912143658709F100E8622190013034000400480069",
         u"+12345678901", u"Hi"},
        {"extension table and Greek capitals",
         "06912143658709040B912143658709F1000062219001303400091BD4A6BC49412419", u"+12345678901",
         u"{€}ΔΦΘ"},
        // Escapes as the last septet of the first two blocks of eight.
        {"escapes where blocks of eight septets meet",
         "06912143658709040B912143658709F100006221900130340018E170381C0E873765B1582C168B37A8F1783C1"
         "E8FC7",
         u"+12345678901", u"aaaaaaa€bbbbbb{ccccccc"},
        {"second escape a space, unknown extension its default character",
         "06912143658709040B912143658709F100006221900130340007E1CD46BC096E00", u"+12345678901",
         u"a bA"},
        {"header, then text after fill bits",
         "06912143658709440B912143658709F10000622190013034000C050003070101906536FB0D",
         u"+12345678901", u"Hello"},
        {"Turkish locking and single shift",
         "06912143658709440B912143658709F10000622190013034000E0625010124010107207873E400",
         u"+12345678901", u"ıİçĞŞ"},
        {"Spanish single shift",
         "06912143658709440B912143658709F10000622190013034000C03240102D82436C14DD80D",
         u"+12345678901", u"çÁán"},
        {"Portuguese locking shift",
         "06912143658709440B912143658709F10000622190013034000A03250103201826150C", u"+12345678901",
         u"êúÇ∞€"},
        {"Hindi locking shift",
         "06912143658709440B912143658709F10000622190013034000803250106A88060", u"+12345678901",
         u"क 0"},
        {"SUBMIT without validity period", "0691214365870901000A912143658709000004D4F29C0E",
         u"+1234567890", u"Test"},
        {"SUBMIT, relative validity period", "0691214365870911000A9121436587090000AA04D4F29C0E",
         u"+1234567890", u"Test"},
        {"SUBMIT, enhanced validity period",
         "0691214365870909000A91214365870900004200000000000004D4F29C0E", u"+1234567890", u"Test"},
        {"SUBMIT, absolute validity period",
         "0691214365870919000A91214365870900006221900130340004D4F29C0E", u"+1234567890", u"Test"},
        {"status report, delivered",
         "06912143658709062A0A912143658709622190013034006221900130340000", u"+1234567890",
         u"Delivered"},
        {"status report, still trying",
         "06912143658709062A0A912143658709622190013034006221900130340020", u"+1234567890",
         u"Pending"},
        {"status report, given up",
         "06912143658709062A0A912143658709622190013034006221900130340041", u"+1234567890",
         u"Failed"},
        {"cut in the user data", "06912143658709040B912143658709F100006221900130340005C8329B",
         u"+12345678901", u"Hel"},
    };
    for (const auto& c : cases) {
        const std::vector<ClientMessage> ready = ReadFully(c.pdu);
        ASSERT_EQ(ready.size(), 1u) << c.name;
        const std::string name(c.name);
        const bool submit = name.find("SUBMIT") == 0;
        const bool report = name.find("status") == 0;
        // Every one of them was sent, and a report's message discharged, at the same moment.
        const std::u16string stamp = u"2026-12-09 10:03:43 +00:00";
        EXPECT_EQ(ready[0].Sender(), c.party) << c.name;
        EXPECT_EQ(ready[0].Centre(), kCentre) << c.name;
        EXPECT_EQ(ready[0].text,
                  u"Service Center No: " + kCentre +
                      (submit || report ? u"\r\nReceiver No: " : u"\r\nSender No: ") + c.party +
                      (submit ? u"" : u"\r\nSent: " + stamp) +
                      (report ? u"\r\nDischarged: " + stamp : u"") + u"\r\nText: " + c.text)
            << c.name;
        EXPECT_EQ(ready[0].text.substr(ready[0].textStart), c.text) << c.name;
    }
}

TEST(FullReading, ShowsWhatATruncatedPduHolds) {
    const std::string pdu = "06912143658709040B912143658709F100006221900130340005C8329BFD06";
    const struct {
        std::size_t octets;
        std::u16string summary;
    } cases[] = {
        {1, u""},
        {7, u"Service Center No: +1234567890"},
        // The sender's number is cut after eight digits.
        {14, u"Service Center No: +1234567890\r\nSender No: +12345678"},
        {16, u"Service Center No: +1234567890\r\nSender No: +12345678901"},
        // The time stamp is cut: no line for it.
        {24, u"Service Center No: +1234567890\r\nSender No: +12345678901"},
        {25,
         u"Service Center No: +1234567890\r\nSender No: +12345678901\r\nSent: 2026-12-09 "
         u"10:03:43 +00:00"},
        // TP-UDL is there, the user data not.
        {26,
         u"Service Center No: +1234567890\r\nSender No: +12345678901\r\nSent: 2026-12-09 "
         u"10:03:43 +00:00\r\nText: "},
    };
    for (const auto& c : cases) {
        const std::vector<ClientMessage> ready = ReadFully(pdu.substr(0, c.octets * 2));
        ASSERT_EQ(ready.size(), 1u) << c.octets;
        EXPECT_EQ(ready[0].text, c.summary) << c.octets;
    }
}

TEST(FullReading, LeavesTheDefaultReadingAsItWas) {
    std::vector<ClientMessage> ready;
    const Delivery delivery{"", "06912143658709040B912143658709F100006221900130340005C8329BFD06"};
    ASSERT_TRUE(MessageReader().Read(delivery, MessageReader::Clock::now(), ready));
    EXPECT_EQ(ready[0].Sender(), u"Sender");
    EXPECT_EQ(ready[0].Centre(), u"Center");
    EXPECT_EQ(ready[0].text,
              u"Service Center No: 1234567890\r\nSender No: 12345678901\r\nText: Hello");
}

}  // namespace
}  // namespace pelvaro
