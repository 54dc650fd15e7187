#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modem/ModemLines.h"

namespace pelvaro {
namespace {

TEST(ClassifyLine, TellsResultsReportsAndStartsFromEverythingElse) {
    const struct {
        const char* line;
        LineKind kind;
    } cases[] = {
        {"OK", LineKind::FinalResult},
        {"+CMS ERROR: 500", LineKind::FinalResult},
        {"+cme error: 10", LineKind::FinalResult},
        {"+CMTI: \"SM\",3", LineKind::Announcement},
        {"RDY", LineKind::Restart},
        {"+CFUN: 1", LineKind::Restart},
        {"^SYSSTART", LineKind::Restart},
        {"^BOOT:20952548,0,0,0,75", LineKind::RestartAfterSilence},
        {"^RSSI:17", LineKind::Report},
        {"^DSFLOWRPT:0000001E,00000000", LineKind::Report},
        {"RING", LineKind::Report},
        {"+CREG: 1", LineKind::Report},
        {"Call Ready", LineKind::Report},
        {"+CFUN: 0", LineKind::Other},
        {"RINGING", LineKind::Other},
        {"OK then", LineKind::Other},
        {"+CSMS: 1,1,1", LineKind::Other},
        {"AT+CNMI=1,2", LineKind::Other},
    };
    for (const auto& c : cases) EXPECT_EQ(ClassifyLine(c.line), c.kind) << c.line;
}

TEST(ParseAnnouncement, FindsMemoryAndIndex) {
    StoredIndex stored;
    ASSERT_TRUE(ParseAnnouncement("+CMTI: \"SM\",12", stored));
    EXPECT_EQ(stored.memory, "SM");
    EXPECT_EQ(stored.index, 12);
    for (const char* bad : {"+CMTI: \"SM\"", "+CMTI: \"SM\",x", "+CMTI: \"SM\",-1", "+CMTI:"}) {
        EXPECT_FALSE(ParseAnnouncement(bad, stored)) << bad;
    }
}

TEST(ParseListing, FindsIndexAndStatus) {
    int index = -1;
    int status = -1;
    ASSERT_TRUE(ParseListing("+CMGL: 12,1,,24", index, status));
    EXPECT_EQ(index, 12);
    EXPECT_EQ(status, 1);
    EXPECT_FALSE(ParseListing("+CMGL: 12", index, status));
    EXPECT_FALSE(ParseListing("+CMGL: 1,\"REC READ\",\"+4917\"", index, status));
}

TEST(ParseOffers, ReadsListsOfNumbersRangesAndNames) {
    const std::vector<OfferedList> cnmi = ParseOffers("+CNMI: (0-2),(0,1),(0),(),(0,1)");
    ASSERT_EQ(cnmi.size(), 5u);
    EXPECT_TRUE(Offers(cnmi[0], 2));
    EXPECT_FALSE(Offers(cnmi[0], 3));
    EXPECT_TRUE(Offers(cnmi[1], 1));
    EXPECT_FALSE(Offers(cnmi[1], 2));
    EXPECT_TRUE(cnmi[3].empty());

    const std::vector<OfferedList> cpms = ParseOffers("+CPMS: (\"SM\",\"ME\"),(\"SM\"),()");
    ASSERT_EQ(cpms.size(), 3u);
    EXPECT_EQ(cpms[0], (OfferedList{"SM", "ME"}));
    EXPECT_TRUE(ParseOffers("+CPMS: ").empty());
}

}  // namespace
}  // namespace pelvaro
