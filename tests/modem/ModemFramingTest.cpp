#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modem/ModemFraming.h"
#include "tests/support/TestPdu.h"

namespace pelvaro {
namespace {

const std::string kPduA = test::kHelloPdu;
const std::string kPduB = "0791947106004034040C9194515132547600001270813154124003C1A01A";
const std::string kHeaderA = "+CMT: ,24";
const std::string kHeaderB = "+CMT: ,22";
const std::string kA = "\r\n" + kHeaderA + "\r\n" + kPduA + "\r\n";
const std::string kB = "\r\n" + kHeaderB + "\r\n" + kPduB + "\r\n";

// Deliveries as they are handed out, header and PDU line written as one string.
std::string Headed(const std::string& header, const std::string& pdu) {
    return header + "|" + pdu;
}
std::string Bare(const std::string& pdu) {
    return Headed("", pdu);
}
const std::string kFoundA = Headed(kHeaderA, kPduA);

struct Framed {
    std::vector<std::string> deliveries;
    std::size_t rest;
    bool begun;
};

Framed Frame(std::string_view text, const std::string& echo = "", bool ended = false) {
    ModemFraming framing(text, echo, ended);
    Framed framed;
    for (Delivery delivery; framing.Next(delivery);) {
        framed.deliveries.push_back(
            Headed(std::string(delivery.header), std::string(delivery.pdu)));
    }
    framed.rest = framing.Rest();
    framed.begun = framing.DeliveryBegun();
    return framed;
}

std::string WithLineEnds(std::string text, const std::string& lineEnd) {
    for (auto at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.replace(at, 2, lineEnd);
        at += lineEnd.size();
    }
    return text;
}

struct Outcome {
    std::vector<std::string> deliveries;
    std::string rest;
    bool begun;
};

// As the channel frames what it reads: the first piece, then its rest with the second.
Outcome FrameInTwo(const std::string& text, std::size_t split, const std::string& echo) {
    Framed first = Frame(std::string_view(text).substr(0, split), echo);
    const std::string joined = text.substr(first.rest, split - first.rest) + text.substr(split);
    const Framed second = Frame(joined, echo);
    first.deliveries.insert(first.deliveries.end(), second.deliveries.begin(),
                            second.deliveries.end());
    return {first.deliveries, joined.substr(second.rest), second.begun};
}

TEST(ModemFraming, FindsTheDeliveriesWhateverEndsTheLinesAndWhereverTheTextIsCut) {
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> deliveries;
        std::string rest = "";
        bool begun = false;  // the rest is the start of a delivery
        std::string echo = "";
    } cases[] = {
        {"two in one read", kA + kB, {Headed(kHeaderA, kPduA), Headed(kHeaderB, kPduB)}},
        {"echo and results around it", "AT\r" + kA + "\r\nOK\r\n\r\nRING\r\n", {kFoundA}},
        {"lower-case header", "\r\n+cmt: ,24\r\n" + kPduA + "\r\n", {Headed("+cmt: ,24", kPduA)}},
        {"bare PDU", kPduA + "\r\n", {Bare(kPduA)}},
        {"short or odd digits are result codes", "0\r12\r0A0\r0A0B\r", {Bare("0A0B")}},
        {"the command's own echo", "0A0B\r\r\nOK\r\n", {}, "", false, "0A0B"},
        {"blanks around and inside lines",
         "\r\n  +CMT: ,4 \r\n\t0691 2143 \r\n06 91 2\r\n06 91 21 43\r\n",
         {Headed("+CMT: ,4", "0691 2143"), Bare("06 91 21 43")}},
        {"blank line between header and PDU",
         "\r\n" + kHeaderA + "\r\n \r\n" + kPduA + "\r\n",
         {kFoundA}},
        {"other results", "\r\n+CMTI: \"SM\",1234\r\n\r\n+CMS ERROR: 500\r\n0\r\nERROR\r\n", {}},
        {"headers followed by results",
         "\r\n" + kHeaderA + "\r\n0\r\n\r\n" + kHeaderA + "\r\n\r\nOK\r\n",
         {}},
        {"header followed by another header",
         "\r\n" + kHeaderA + "\r\n" + kA + kHeaderB,
         {kFoundA},
         kHeaderB,
         true},
        {"text-mode delivery whose text looks like a PDU",
         "\r\n+CMT: \"+4915112345678\",,\"24/12/21,13:52:00+04\"\r\nCAFE\r\n" + kA,
         {kFoundA}},
        {"stored messages listed and read",
         "\r\n+CMGL: 1,0,,24\r\n" + kPduA + "\r\n+CMGR: 1,,24\r\n" + kPduA + "\r\n\r\nOK\r\n",
         {Headed("+CMGL: 1,0,,24", kPduA), Headed("+CMGR: 1,,24", kPduA)}},
        {"stored messages in text mode",
         "\r\n+CMGL: 1,\"REC READ\",\"+4917\",,\"24/12/21,13:52:00+04\"\r\nCAFE\r\n"
         "+CMGR: \"REC READ\",\"+4917\",,\"24/12/21,13:52:00+04\"\r\nCAFE\r\n",
         {}},
        {"header without its PDU line yet",
         "\r\nOK\r\n\r\n" + kHeaderA + "\r\n",
         {},
         kHeaderA + "\r\n",
         true},
        {"bare PDU cut off", "\r\nOK\r\n069 ", {}, "069 ", true},
        {"result line cut off", "\r\nOK\r\n\r\nRIN", {}, "RIN"},
        {"nothing but line ends and blanks", "\r\n \r\n\t", {}},
    };
    for (const auto& c : cases) {
        for (const std::string lineEnd : {"\r\n", "\r", "\n"}) {
            const std::string text = WithLineEnds(c.text, lineEnd);
            const std::string rest = WithLineEnds(c.rest, lineEnd);
            for (std::size_t split = 0; split <= text.size(); ++split) {
                const Outcome outcome = FrameInTwo(text, split, c.echo);
                ASSERT_EQ(outcome.deliveries, c.deliveries)
                    << c.name << ", line end " << lineEnd.size() << lineEnd.back() << ", cut at "
                    << split;
                ASSERT_EQ(outcome.rest, rest) << c.name << ", cut at " << split;
                ASSERT_EQ(outcome.begun, c.begun) << c.name << ", cut at " << split;
            }
        }
    }
}

TEST(ModemFraming, TextThatHasEndedIsFramedAsItIs) {
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> deliveries;
    } cases[] = {
        {"header whose PDU never came", "\r\n" + kHeaderA + "\r\n", {Headed(kHeaderA, "")}},
        {"PDU line cut short", kHeaderA + "\n0691", {Headed(kHeaderA, "0691")}},
        {"no line end at all", kPduA, {Bare(kPduA)}},
        {"the start of a header", "\r\n+C", {}},
        {"text-mode header alone", "+CMT: \"+4917\",,\"24/12/21,13:52:00+04\"", {}},
    };
    for (const auto& c : cases) {
        const Framed framed = Frame(c.text, {}, true);
        EXPECT_EQ(framed.deliveries, c.deliveries) << c.name;
        EXPECT_EQ(framed.rest, c.text.size()) << c.name;
    }
}

TEST(ModemFraming, HandsOutEveryOtherLineWithItsKind) {
    const std::string text =
        "AT+CMGR=1\r\r\n+CMGR: 0,,24\r\n" + kPduA + "\r\n\r\nOK\r\n" + kA +
        "\r\n^RSSI:17\r\n\r\n+CMT: \"+4917\",,\"24/12/21,13:52:00+04\"\r\nHi\r\n";
    ModemFraming framing(text, "AT+CMGR=1", true);
    std::vector<std::string> items;
    for (FramedItem item; framing.Next(item);) {
        const char* kinds[] = {"delivery", "stored", "line"};
        items.push_back(std::string(kinds[static_cast<int>(item.kind)]) + " " +
                        Headed(std::string(item.header), std::string(item.pdu)));
    }
    EXPECT_EQ(items, (std::vector<std::string>{"line AT+CMGR=1|",
                                               "stored " + Headed("+CMGR: 0,,24", kPduA),
                                               "line OK|", "delivery " + kFoundA, "line ^RSSI:17|",
                                               "line +CMT: \"+4917\",,\"24/12/21,13:52:00+04\"|"}));
}

}  // namespace
}  // namespace pelvaro
