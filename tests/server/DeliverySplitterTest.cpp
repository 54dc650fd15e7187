#include <gtest/gtest.h>

#include <string>
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

TEST(SplitDeliveries, CutsWhatTheModemSentIntoDeliveries) {
    const struct {
        const char* name;
        std::string text;
        std::size_t holdFrom;
        std::vector<std::string> deliveries;
        std::string held;
    } cases[] = {
        {"one delivery", kA, 0, {kHeaderA + "\r\n" + kPduA}, ""},
        {"two in one read", kA + kB, 0, {kHeaderA + "\r\n" + kPduA, kHeaderB + "\r\n" + kPduB}, ""},
        {"lower-case header",
         "\r\n+cmt: ,24\r\n" + kPduA + "\r\n",
         0,
         {"+cmt: ,24\r\n" + kPduA},
         ""},
        {"bare PDU", kPduA + "\r\n", 0, {kPduA}, ""},
        {"result lines around it",
         "\r\nOK\r\n" + kA + "\r\nRING\r\n",
         0,
         {kHeaderA + "\r\n" + kPduA},
         ""},
        {"numeric result codes are no PDUs", "0\r12\r", 0, {}, ""},
        {"header without its PDU line", "\r\n" + kHeaderA + "\r\n", 0, {}, kHeaderA + "\r\n"},
        {"PDU line cut off",
         "\r\n" + kHeaderA + "\r\n" + kPduA.substr(0, 20),
         0,
         {},
         kHeaderA + "\r\n" + kPduA.substr(0, 20)},
        {"PDU line not ended yet",
         "\r\n" + kHeaderA + "\r\n" + kPduA,
         0,
         {},
         kHeaderA + "\r\n" + kPduA},
        {"header cut off", kA + "\r\n+C", 0, {kHeaderA + "\r\n" + kPduA}, "+C"},
        {"header that waited once goes on as it is",
         "\r\n" + kHeaderA + "\r\n",
         13,
         {kHeaderA + "\r\n"},
         ""},
        {"a new header after the waiting one is held",
         "\r\n" + kHeaderA + "\r\n" + kA + kHeaderB,
         13,
         {kHeaderA + "\r\n" + kPduA},
         kHeaderB},
        {"header followed by a result line", "\r\n+CMS ERROR: 500\r\n\r\nOK\r\n", 0, {}, ""},
        {"nothing but line ends", "\r\n\r\n", 0, {}, ""},
    };
    for (const auto& c : cases) {
        const DeliverySplit split = SplitDeliveries(c.text, c.holdFrom);
        EXPECT_EQ(split.deliveries, c.deliveries) << c.name;
        EXPECT_EQ(split.held, c.held) << c.name;
    }
}

}  // namespace
}  // namespace pelvaro
