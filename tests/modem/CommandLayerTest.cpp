#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "modem/CommandLayer.h"
#include "tests/support/TestPdu.h"

namespace pelvaro {
namespace {

using namespace std::chrono_literals;

const std::string kDelivery = std::string("\r\n+CMT: ,24\r\n") + test::kHelloPdu + "\r\n";

// A modem that answers with the chunks it is given, one per read; an empty chunk is a read
// that brought nothing.
class ScriptedWire final : public ModemWire {
  public:
    std::deque<std::string> chunks;
    std::string sent;
    bool failing = false;

    bool Send(std::string_view bytes) override {
        sent += bytes;
        return !failing;
    }
    bool Receive(std::string& bytes) override {
        std::this_thread::sleep_for(1ms);
        if (!chunks.empty()) {
            bytes += chunks.front();
            chunks.pop_front();
        }
        return !failing;
    }
};

std::vector<Unsolicited::Kind> Kinds(CommandLayer& layer) {
    std::vector<Unsolicited::Kind> kinds;
    for (Unsolicited event; layer.TakeUnsolicited(event);) kinds.push_back(event.kind);
    return kinds;
}

TEST(CommandLayer, MatchesEachAnswerToItsCommandAndQueuesWhatComesUnasked) {
    using Kind = Unsolicited::Kind;
    const struct {
        const char* name;
        const char* command;
        std::vector<std::string> chunks;
        const char* result;
        std::vector<std::string> lines;
        std::vector<Kind> unasked;
    } cases[] = {
        {"echo, information and OK",
         "+CPMS?",
         {"AT+CPMS?\r\r\n+CPMS: \"SM\",1,30\r\n", "\r\nOK\r\n"},
         "OK",
         {"+CPMS: \"SM\",1,30"},
         {}},
        {"a delivery in the middle of the answer",
         "+CNMI?",
         {"\r\n+CNMI: 2,1,0,0,0\r\n" + kDelivery, "\r\nOK\r\n"},
         "OK",
         {"+CNMI: 2,1,0,0,0"},
         {Kind::Delivery}},
        {"announcement, report and restart between the lines",
         "+CSMS=1",
         {"\r\n+CMTI: \"ME\",3\r\n\r\n^RSSI:17\r\n\r\n+CSMS: 1,1,1\r\n\r\nRDY\r\n\r\nOK\r\n"},
         "OK",
         {"+CSMS: 1,1,1"},
         {Kind::Announcement, Kind::Restart}},
        {"a line named after the command answers it",
         "+CPIN?",
         {"\r\n+CPIN: READY\r\n\r\nOK\r\n"},
         "OK",
         {"+CPIN: READY"},
         {}},
        {"the same line unasked",
         "+CSQ",
         {"\r\n+CPIN: READY\r\n\r\n+CSQ: 17,99\r\n\r\nOK\r\n"},
         "OK",
         {"+CSQ: 17,99"},
         {Kind::SimReady}},
        {"an answer after long silence: no silence rule",
         "+CMGL=4",
         {"", "", "", "", "", "\r\nOK\r\n"},
         "OK",
         {},
         {}},
        {"an error code", "+CMGR=7", {"\r\n+CMS ERROR: 321\r\n"}, "+CMS ERROR: 321", {}, {}},
        {"a maker's own final result",
         "+CNMI=?",
         {"\r\nCOMMAND NOT SUPPORT\r\n"},
         "COMMAND NOT SUPPORT",
         {},
         {}},
        {"digits that answer the command are no delivery",
         "+CGMR",
         {"\r\n12345678\r\n\r\nOK\r\n"},
         "OK",
         {"12345678"},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedWire wire;
        wire.chunks.assign(c.chunks.begin(), c.chunks.end());
        CommandLayer layer(wire);
        const Answer answer = layer.Run(c.command, 2s);
        EXPECT_EQ(wire.sent, std::string("AT") + c.command + "\r\n");
        EXPECT_EQ(answer.result, c.result);
        EXPECT_EQ(answer.lines, c.lines);
        EXPECT_EQ(Kinds(layer), c.unasked);
    }
}

TEST(CommandLayer, ListsStoredMessagesAndReadsAnnouncements) {
    ScriptedWire wire;
    const std::string entry = std::string("+CMGL: 3,1,,24\r\n") + test::kHelloPdu + "\r\n";
    wire.chunks = {"\r\n" + entry + entry.substr(0, 20), entry.substr(20) + "\r\nOK\r\n",
                   "\r\n+CMTI: \"SM\",12\r\n"};
    CommandLayer layer(wire);
    const Answer listing = layer.Run("+CMGL=4", 2s);
    ASSERT_EQ(listing.stored.size(), 2u);
    EXPECT_EQ(listing.stored[1].header, "+CMGL: 3,1,,24");
    EXPECT_EQ(listing.stored[1].pdu, test::kHelloPdu);
    layer.Listen();
    Unsolicited event;
    ASSERT_TRUE(layer.TakeUnsolicited(event));
    EXPECT_EQ(event.kind, Unsolicited::Kind::Announcement);
    EXPECT_EQ(event.memory, "SM");
    EXPECT_EQ(event.index, 12);
}

TEST(CommandLayer, GivesUpAtTheDeadlineOrWhenCancelledOrTheDeviceIsGone) {
    ScriptedWire wire;
    CommandLayer layer(wire);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(layer.Run("+CMGL=4", 100ms).Answered());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);

    std::atomic<bool> cancelled = true;
    layer.CancelWith(&cancelled);
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(layer.Run("+CMGL=4", 10s).Answered());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    layer.CancelWith(nullptr);

    wire.failing = true;
    EXPECT_FALSE(layer.Run("", 10s).Answered());
    layer.Listen();
    EXPECT_FALSE(layer.Lost()) << "a read or two may fail on a device that is there";
    layer.Listen();
    EXPECT_TRUE(layer.Lost());
}

}  // namespace
}  // namespace pelvaro
