#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "sms/DeliverySplitter.h"

namespace pelvaro {
namespace {

const std::string kPduA = "06912143658709040B912143658709F100004021123125000005C8329BFD06";
const std::string kPduB = "0791947106004034040C9194515132547600001270813154124003C1A01A";
const std::string kHeaderA = "+CMT: ,24";
const std::string kHeaderB = "+CMT: ,22";
const std::string kA = "\r\n" + kHeaderA + "\r\n" + kPduA + "\r\n";
const std::string kB = "\r\n" + kHeaderB + "\r\n" + kPduB + "\r\n";

// A delivery as the callers use it: the text it spans, its header and PDU lines, and
// whether it is cut off.
using Found = std::tuple<std::string, std::string, std::string, bool>;

Found Headed(const std::string& header, const std::string& pdu) {
    return {header + "\r\n" + pdu, header, pdu, false};
}
Found Bare(const std::string& pdu) {
    return {pdu, "", pdu, false};
}

std::vector<Found> Split(const std::string& text) {
    std::vector<Found> found;
    for (const Delivery& d : SplitDeliveries(text)) {
        found.emplace_back(text.substr(d.begin, d.end - d.begin), d.header, d.pdu, d.cutOff);
    }
    return found;
}

TEST(SplitDeliveries, CutsWhatTheModemSentIntoDeliveries) {
    const struct {
        const char* name;
        std::string text;
        std::vector<Found> found;
    } cases[] = {
        {"two in one read", kA + kB, {Headed(kHeaderA, kPduA), Headed(kHeaderB, kPduB)}},
        {"echo and results around it",
         "AT\r" + kA + "\r\nOK\r\n\r\nRING\r\n",
         {Headed(kHeaderA, kPduA)}},
        {"lower-case header", "\r\n+cmt: ,24\r\n" + kPduA + "\r\n", {Headed("+cmt: ,24", kPduA)}},
        {"bare PDU", kPduA + "\r\n", {Bare(kPduA)}},
        {"short or odd digits are result codes", "0\r12\r0A0\r0A0B\r", {Bare("0A0B")}},
        {"blanks around and inside lines",
         "\r\n  +CMT: ,4 \r\n\t0691 2143 \r\n06 91 2\r\n06 91 21 43\r\n",
         {{"  +CMT: ,4 \r\n\t0691 2143 ", "+CMT: ,4", "0691 2143", false}, Bare("06 91 21 43")}},
        {"blank line between header and PDU",
         "\r\n" + kHeaderA + "\r\n \r\n" + kPduA + "\r\n",
         {{kHeaderA + "\r\n \r\n" + kPduA, kHeaderA, kPduA, false}}},
        {"line feeds alone",
         "\n" + kHeaderA + "\n" + kPduA + "\n",
         {{kHeaderA + "\n" + kPduA, kHeaderA, kPduA, false}}},
        {"other results", "\r\n+CMTI: \"SM\",3\r\n\r\n+CMS ERROR: 500\r\n0\r\nERROR\r\n", {}},
        {"headers followed by results",
         "\r\n" + kHeaderA + "\r\n0\r\n\r\n" + kHeaderA + "\r\n\r\nOK\r\n",
         {}},
        {"header followed by another header",
         "\r\n" + kHeaderA + "\r\n" + kA + kHeaderB,
         {Headed(kHeaderA, kPduA), {kHeaderB, kHeaderB, "", true}}},
        {"header without its PDU line yet",
         "\r\nOK\r\n\r\n" + kHeaderA + "\r\n",
         {{kHeaderA + "\r\n", kHeaderA, "", true}}},
        {"header cut off", kA + "\r\n+C", {Headed(kHeaderA, kPduA), {"+C", "+C", "", true}}},
        {"PDU line not ended yet",
         "\r\n" + kHeaderA + "\r\n" + kPduA,
         {{kHeaderA + "\r\n" + kPduA, kHeaderA, kPduA, true}}},
        {"bare PDU cut off", "\r\nOK\r\n069 ", {{"069 ", "", "069", true}}},
        {"nothing but line ends and blanks", "\r\n \r\n\t", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Split(c.text), c.found) << c.name;
    }
}

}  // namespace
}  // namespace pelvaro
