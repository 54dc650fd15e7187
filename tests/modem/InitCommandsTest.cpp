#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modem/InitCommands.h"

namespace pelvaro {
namespace {

TEST(InitCommands, SplitsAtSemicolonsOutsideQuotesAndDropsEachAt) {
    using Commands = std::vector<std::string>;
    const struct {
        const char* line;
        Commands commands;
    } cases[] = {
        {R"(AT^CURC=0;+CPMS="ME","ME","ME")", {"^CURC=0", R"(+CPMS="ME","ME","ME")"}},
        {"^CURC=0", {"^CURC=0"}},
        {" at+CMEE=1 ; AT+CNMI=2,1;;ATE0 ", {"+CMEE=1", "+CNMI=2,1", "E0"}},
        {R"(AT+CSCA="+49;170",145;+CSCS="GSM")", {R"(+CSCA="+49;170",145)", R"(+CSCS="GSM")"}},
        {R"(+CSCA="unclosed;+CMEE=1)", {R"(+CSCA="unclosed;+CMEE=1)"}},
        {"AT", {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(InitCommands(c.line), c.commands) << c.line;
    }
}

TEST(InitCommands, RefusesAPinAndNeverShowsIt) {
    const struct {
        const char* line;
        bool refused;
    } cases[] = {
        {"AT+CPIN=4711", true},
        {R"(^CURC=0;at+cpin="4711")", true},
        {"AT+CPIN?", true},
        {R"(AT+CSCA="+CPIN=4711")", false},
        {R"(AT^CURC=0;+CPMS="ME","ME","ME")", false},
    };
    for (const auto& c : cases) {
        LinkSettings settings;
        settings.init = c.line;
        const std::string why = InitRefusal(settings);
        EXPECT_EQ(!why.empty(), c.refused) << c.line;
        EXPECT_EQ(why.find("4711"), std::string::npos) << why;
    }
    LinkSettings cut;
    cut.initTooLong = true;
    EXPECT_NE(InitRefusal(cut), "") << "a line too long to read whole goes out in no part";
}

}  // namespace
}  // namespace pelvaro
