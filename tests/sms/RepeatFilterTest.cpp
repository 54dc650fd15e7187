#include <gtest/gtest.h>

#include <string>

#include "sms/RepeatFilter.h"
#include "tests/support/TestPdu.h"

namespace pelvaro {
namespace {

using namespace std::chrono_literals;

// The same message from two service centres, with the more-messages flag (first octet 04 or 00).
const std::string kMessage = test::kHelloPdu;
const std::string kSameOtherCentre =
    "07914971000000F0000B912143658709F100004021123125000005C8329BFD06";
const std::string kLaterStamp = "06912143658709040B912143658709F100004021123125100005C8329BFD06";
const std::string kOtherText = "06912143658709040B912143658709F100004021123125000005C8329BFD07";

TEST(RepeatFilter, KnowsAMessageRememberedWithinTheHour) {
    const RepeatFilter::Clock::time_point start{};
    const struct {
        const char* name;
        std::string second;
        RepeatFilter::Clock::duration after;
        bool repeat;
    } cases[] = {
        {"the same again", kMessage, 5s, true},
        {"through another centre, other flags", kSameOtherCentre, 5s, true},
        {"an hour later", kMessage, 1h, false},
        {"another time stamp", kLaterStamp, 5s, false},
        {"another text", kOtherText, 5s, false},
        {"no TPDU", "0691214365870904", 5s, false},
    };
    for (const auto& c : cases) {
        RepeatFilter filter;
        EXPECT_FALSE(filter.Seen(kMessage, start)) << c.name << ": seen only once remembered";
        filter.Remember(kMessage, start);
        EXPECT_EQ(filter.Seen(c.second, start + c.after), c.repeat) << c.name;
    }
}

}  // namespace
}  // namespace pelvaro
