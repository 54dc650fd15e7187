#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modem/Deliveries.h"

namespace pelvaro {
namespace {

const std::string kPdu = "06912143658709040B912143658709F100004021123125000005C8329BFD06";
const std::string kDelivery = "\r\n+CMT: ,24\r\n" + kPdu + "\r\n";

struct Case {
    const char* name;
    std::string received;
    std::string echo;
    std::vector<Delivery> expected;
};

TEST(FindDeliveries, KeepsMessagesAndDropsTheCommandsOwnText) {
    const std::vector<Case> cases = {
        {"plain reply", "AT+CNMA\r\r\nOK\r\n", "AT+CNMA", {}},
        {"intermediate line", "AT+CSMS=1\r\r\n+CSMS: 1,1,1\r\n\r\nOK\r\n", "AT+CSMS=1", {}},
        {"delivery before the echo", kDelivery + "AT\r\r\nOK\r\n", "AT", {{kDelivery, true}}},
        {"delivery inside the reply", "AT\r" + kDelivery + "\r\nOK\r\n", "AT", {{kDelivery, true}}},
        {"delivery after the result", "AT\r\r\nOK\r\n" + kDelivery, "AT", {{kDelivery, true}}},
        {"bare PDU line", "\r\n" + kPdu + "\r\n\r\nOK\r\n", "AT", {{kPdu + "\r\n", true}}},
        {"lower-case header",
         "\r\n+cmt: ,24\r\n" + kPdu + "\r\n",
         "AT",
         {{"\r\n+cmt: ,24\r\n" + kPdu + "\r\n", true}}},
        {"two deliveries",
         kDelivery + "\r\nOK\r\n" + kDelivery,
         "AT",
         {{kDelivery, true}, {kDelivery, true}}},
        {"PDU cut off",
         "AT\r\r\nOK\r\n\r\n+CMT: ,24\r\n0691",
         "AT",
         {{"\r\n+CMT: ,24\r\n0691", false}}},
        {"header without its PDU yet",
         "\r\nOK\r\n\r\n+CMT: ,24\r\n",
         "AT",
         {{"\r\n+CMT: ,24\r\n", false}}},
        {"header cut off", "\r\nOK\r\n\r\n+CM", "AT", {{"\r\n+CM", false}}},
        {"header followed by a result", "\r\n+CMT: ,24\r\n\r\nOK\r\n", "AT", {}},
        {"other results", "\r\n+CMTI: \"SM\",3\r\n\r\n+CMS ERROR: 500\r\n0\r\nERROR\r\n", "AT", {}},
        {"hexadecimal echo", "0A0B\r\n\r\nOK\r\n", "0A0B", {}},
    };
    for (const Case& c : cases) {
        const std::vector<Delivery> found = FindDeliveries(c.received, c.echo);
        ASSERT_EQ(found.size(), c.expected.size()) << c.name;
        for (std::size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(found[i].text, c.expected[i].text) << c.name << ", delivery " << i;
            EXPECT_EQ(found[i].complete, c.expected[i].complete) << c.name << ", delivery " << i;
        }
    }
}

}  // namespace
}  // namespace pelvaro
