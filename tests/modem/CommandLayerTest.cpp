#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <string>
#include <vector>

#include "modem/CommandLayer.h"
#include "tests/support/TestPdu.h"

namespace pelvaro {
namespace {

using namespace std::chrono_literals;

const std::string kDelivery = std::string("\r\n+CMT: ,24\r\n") + test::kHelloPdu + "\r\n";

// A modem that answers with the chunks it is given, one per read of 10 ms of its own clock; an
// empty chunk is a read that brought nothing.
class ScriptedWire final : public ModemWire, public ModemClock {
  public:
    std::deque<std::string> chunks;
    std::string sent;
    // How many chunks had been read when each command went out.
    std::vector<std::size_t> sentAfter;
    std::size_t read = 0;
    bool failing = false;
    Clock::time_point now{};

    bool Send(std::string_view bytes) override {
        sent += bytes;
        sentAfter.push_back(read);
        return !failing;
    }
    bool Receive(std::string& bytes) override {
        now += 10ms;
        if (!chunks.empty()) {
            bytes += chunks.front();
            chunks.pop_front();
            ++read;
        }
        return !failing;
    }
    Clock::time_point Now() const override { return now; }
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
        CommandLayer layer(wire, wire);
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
    CommandLayer layer(wire, wire);
    const Answer listing = layer.Run("+CMGL=4", 2s, Reply::Entries);
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
    CommandLayer layer(wire, wire);
    EXPECT_TRUE(layer.Run("+CMGL=4", 100ms).Unanswered());
    EXPECT_EQ(wire.now, ModemClock::Clock::time_point{} + 100ms);

    std::atomic<bool> cancelled = true;
    layer.CancelWith(&cancelled);
    const Answer cancelledAnswer = layer.Run("+CMGD=1", 10s);
    EXPECT_FALSE(cancelledAnswer.sent) << "a cancelled command is never sent";
    EXPECT_EQ(wire.sent, "AT+CMGL=4\r\n");

    ScriptedWire gone;
    CommandLayer onGone(gone, gone);
    gone.failing = true;
    EXPECT_FALSE(onGone.Run("", 10s).Answered());
    onGone.Listen();
    EXPECT_FALSE(onGone.Lost()) << "a read or two may fail on a device that is there";
    onGone.Listen();
    EXPECT_TRUE(onGone.Lost());
}

// The answers that come late, as modems give them: with and without echo, with the entries of a
// read, after the deadline of the command they answer. The next command must get its own.
TEST(CommandLayer, ALateAnswerIsNeverTakenForTheNextCommands) {
    const std::string entry = std::string("+CMGR: 0,,24\r\n") + test::kHelloPdu + "\r\n";
    const struct {
        const char* name;
        const char* late;  // the first command
        std::vector<std::string> chunks;
        const char* next;
        const char* result;  // the next command's
        std::size_t entries;
    } cases[] = {
        {"a memory chosen after the deadline, then a deletion",
         "+CPMS=\"ME\"",
         {"AT+CPMS=\"ME\"\r", "", "", "", "", "", "\r\n+CPMS: 1,30,1,30,1,30\r\n\r\nOK\r\n",
          "AT+CMGD=1\r\r\n+CMS ERROR: 321\r\n"},
         "+CMGD=1",
         "+CMS ERROR: 321",
         0},
        {"a read whose entry comes late, without echo, then another read",
         "+CMGR=1",
         {"", "", "", "", "", "", "\r\n" + entry + "\r\nOK\r\n", "\r\n+CMS ERROR: 321\r\n"},
         "+CMGR=2",
         "+CMS ERROR: 321",
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedWire wire;
        wire.chunks.assign(c.chunks.begin(), c.chunks.end());
        CommandLayer layer(wire, wire);
        EXPECT_TRUE(layer.Run(c.late, 50ms).Unanswered());
        EXPECT_TRUE(layer.AnswerDue());
        const Answer next = layer.Run(c.next, 1s, Reply::Entries);
        EXPECT_EQ(next.result, c.result);
        EXPECT_EQ(next.stored.size(), c.entries);
        ASSERT_EQ(wire.sentAfter.size(), 2u);
        EXPECT_EQ(wire.sentAfter[1], c.chunks.size() - 1) << "sent once the late answer was in";
    }

    // A modem that never answers has dropped the command; one that restarts has forgotten it.
    ScriptedWire wire;
    CommandLayer layer(wire, wire);
    EXPECT_TRUE(layer.Run("+CMGR=1", 50ms).Unanswered());
    EXPECT_FALSE(layer.Run("+CMGD=1", 1s).sent) << "the first answer is still due";
    wire.now += CommandLayer::kLongestLateAnswer;
    wire.chunks = {"", "\r\nOK\r\n"};
    EXPECT_TRUE(layer.Run("+CMGD=1", 1s).Ok());
    EXPECT_TRUE(layer.Run("+CMGR=1", 50ms).Unanswered());
    wire.chunks = {"\r\nRDY\r\n", "\r\nOK\r\n"};
    EXPECT_TRUE(layer.Run("+CMGD=1", 1s).Ok());
    // Nor is the command in flight then waited for.
    wire.chunks = {"AT+CMGL=4\r", "\r\nRDY\r\n"};
    const CommandLayer::Clock::time_point sent = wire.now;
    EXPECT_TRUE(layer.Run("+CMGL=4", 30s, Reply::Entries).Unanswered());
    EXPECT_LT(wire.now - sent, 1s);
    EXPECT_FALSE(layer.AnswerDue());
}

TEST(CommandLayer, TellsStatusReportsAndLatePdusFromDeliveriesAndEntriesFromMessages) {
    using Kind = Unsolicited::Kind;
    const std::string pdu = test::kHelloPdu;
    const struct {
        const char* name;
        std::vector<std::string> chunks;
        std::vector<Kind> unasked;
    } cases[] = {
        {"a status report between commands",
         {"\r\n+CDS: 24\r\n" + pdu + "\r\n"},
         {Kind::StatusReport}},
        {"a status report inside an answer",
         {"\r\n+CPMS: 1,30\r\n\r\n+CDS: 24\r\n" + pdu + "\r\n\r\nOK\r\n"},
         {Kind::StatusReport}},
        {"a delivery whose PDU line is late",
         {"\r\n+CMT: ,24\r\n", "", "", "", "", "", "", "", "", "", "", "", "", pdu + "\r\n"},
         {Kind::Delivery}},
        {"a delivery whose PDU never comes", {"\r\n+CMT: ,24\r\n"}, {}},
        {"entries that no command asked for", {"\r\n+CMGL: 1,0,,24\r\n" + pdu + "\r\n"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedWire wire;
        wire.chunks.assign(c.chunks.begin(), c.chunks.end());
        CommandLayer layer(wire, wire);
        layer.Run("+CPMS?", 100ms);
        for (int read = 0; read < 300; ++read) layer.Listen();
        EXPECT_EQ(Kinds(layer), c.unasked);
    }
}

}  // namespace
}  // namespace pelvaro
