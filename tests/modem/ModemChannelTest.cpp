#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "modem/ModemChannel.h"
#include "tests/modem/ModemTesting.h"
#include "tests/support/ModemSim.h"

namespace pelvaro {
namespace {

using test::DuringReply;
using test::ModemSim;
using test::Stopwatch;

const std::string kPdu = "06912143658709040B912143658709F100004021123125000005C8329BFD06";
const std::string kDelivery = "\r\n+CMT: ,24\r\n" + kPdu + "\r\n";

class ModemChannelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim_.Reset();
        const std::string settings =
            test::WriteSettingsFile("channel.ini", test::SettingsFor(sim_.Port()));
        ASSERT_TRUE(SerialPort().ReadSettings(settings.c_str()));
        ASSERT_TRUE(channel_.Open());
        sim_.ClearLog();
    }

    ModemSim sim_;
    ModemChannel channel_;
};

TEST_F(ModemChannelTest, FramesCommandsAsTheModemExpects) {
    struct Case {
        std::string command;
        bool framed;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"+CSMS=1", true, "AT+CSMS=1\r\n"},
        {"+CNMI=1,2", true, "AT+CNMI=1,2\r\n"},
        {"+CNMA", true, "AT+CNMA\r\n"},
        {"a/", false, "a/"},
        {"", true, "AT\r\n"},
        {"at+cnma", true, "at+cnma\r\n"},
        {"At+CNMA\r\n", true, "At+CNMA\r\n"},
        {"AT+CNMA\r", true, "AT+CNMA\r\r\n"},
    };
    for (const Case& c : cases) {
        sim_.ClearLog();
        const std::string callers = c.command;
        EXPECT_TRUE(channel_.SendCommand(c.command, c.framed)) << c.line;
        EXPECT_EQ(sim_.Received(), c.line);
        EXPECT_EQ(callers, c.command);
    }
}

TEST_F(ModemChannelTest, OnlyTheFinalOkWithinTwoReadsCounts) {
    struct Case {
        const char* name;
        std::function<void(ModemSim&)> script;
        bool answered;
        double minMs, maxMs;
    };
    const std::vector<Case> cases = {
        {"echo then OK", [](ModemSim&) {}, true, 0, 250},
        {"no echo", [](ModemSim& sim) { sim.SetEcho(false); }, true, 0, 250},
        // "AT+CNMI=1,2\r" "\r\nO" | pause | "K\r\n": the second read finds it.
        {"OK split over two reads", [](ModemSim& sim) { sim.SplitReply(15, 150); }, true, 140, 500},
        // Only the second, empty read ends the wait.
        {"ERROR", [](ModemSim& sim) { sim.AnswerError(); }, false, 300, 900},
        {"silent modem", [](ModemSim& sim) { sim.StaySilent(); }, false, 500, 1300},
        {"OK after both reads", [](ModemSim& sim) { sim.SplitReply(15, 800); }, false, 300, 1300},
    };
    for (const Case& c : cases) {
        sim_.Reset();
        c.script(sim_);
        Stopwatch watch;
        EXPECT_EQ(channel_.SendCommand("+CNMI=1,2", true), c.answered) << c.name;
        const double ms = watch.Ms();
        EXPECT_GE(ms, c.minMs) << c.name;
        EXPECT_LE(ms, c.maxMs) << c.name;
        std::string rest;
        channel_.ReadChunk(rest);  // whatever came late is no business of the next case
    }
}

TEST_F(ModemChannelTest, DeliveryDuringAWaitIsKeptForReadChunk) {
    struct Case {
        const char* name;
        std::function<void(ModemSim&)> script;
        bool answered;
    };
    const std::vector<Case> cases = {
        {"before the reply", [](ModemSim& sim) { sim.DeliverDuringReply(DuringReply::Before); },
         true},
        {"inside the reply", [](ModemSim& sim) { sim.DeliverDuringReply(DuringReply::Inside); },
         true},
        {"right after the reply", [](ModemSim& sim) { sim.DeliverDuringReply(DuringReply::After); },
         true},
        {"after the wait", [](ModemSim& sim) { sim.DeliverDuringReply(DuringReply::After, 150); },
         true},
        {"reply split inside the delivery",
         [](ModemSim& sim) {
             sim.DeliverDuringReply(DuringReply::Inside);
             sim.SplitReply(30, 120);
         },
         true},
        {"delivery cut off by the end of the wait",
         [](ModemSim& sim) {
             sim.DeliverDuringReply(DuringReply::After);
             sim.SplitReply(40, 150);
         },
         true},
        {"silent modem", [](ModemSim& sim) { sim.StaySilent(); }, false},
        {"ERROR",
         [](ModemSim& sim) {
             sim.DeliverDuringReply(DuringReply::Inside);
             sim.AnswerError();
         },
         false},
    };
    for (const Case& c : cases) {
        sim_.Reset();
        c.script(sim_);
        sim_.DeliverPdu(kPdu);
        EXPECT_EQ(channel_.SendCommand("+CNMI=1,2", true), c.answered) << c.name;

        std::string chunk;
        EXPECT_TRUE(channel_.ReadChunk(chunk)) << c.name;
        EXPECT_EQ(chunk, kDelivery) << c.name;
        EXPECT_FALSE(channel_.ReadChunk(chunk)) << c.name;
    }
}

TEST_F(ModemChannelTest, TwoDeliveriesInOneWaitComeOutOneAtATime) {
    sim_.SendRaw(kDelivery + kDelivery);
    EXPECT_TRUE(channel_.SendCommand("+CNMA", true));
    for (int i = 0; i < 2; ++i) {
        std::string chunk;
        EXPECT_TRUE(channel_.ReadChunk(chunk));
        EXPECT_EQ(chunk, kDelivery);
    }
}

TEST_F(ModemChannelTest, AnEchoThatLooksLikeAPduIsNotKept) {
    // The modem echoes a line without AT and does not answer it.
    EXPECT_FALSE(channel_.SendCommand("0A0B\r", false));
    std::string chunk;
    EXPECT_FALSE(channel_.ReadChunk(chunk)) << chunk;
}

TEST_F(ModemChannelTest, ReadChunkTakesAtMost2000Bytes) {
    std::string waiting;
    for (int i = 0; i < 2500; ++i) waiting += static_cast<char>('0' + i % 43);
    sim_.SendRaw(waiting);

    std::string chunk;
    ASSERT_TRUE(channel_.ReadChunk(chunk));
    EXPECT_EQ(chunk, waiting.substr(0, 2000));
    ASSERT_TRUE(channel_.ReadChunk(chunk));
    EXPECT_EQ(chunk, waiting.substr(2000));
}

TEST_F(ModemChannelTest, ReadChunkWithNothingWaitingKeepsTheDestination) {
    std::string destination = "earlier";
    Stopwatch watch;
    EXPECT_FALSE(channel_.ReadChunk(destination));
    EXPECT_EQ(destination, "earlier");
    EXPECT_GE(watch.Ms(), 250);
    EXPECT_LE(watch.Ms(), 600);
}

TEST_F(ModemChannelTest, ModemThatGoesAwayFailsCommandsAndReads) {
    ASSERT_TRUE(channel_.SendCommand("+CNMI=1,2", true));
    sim_.GoAway();
    EXPECT_FALSE(channel_.SendCommand("+CNMA", true));
    std::string chunk = "earlier";
    EXPECT_FALSE(channel_.ReadChunk(chunk));
    EXPECT_EQ(chunk, "earlier");
}

TEST(ModemChannelOpen, FailsWithoutDevice) {
    ASSERT_TRUE(SerialPort().ReadSettings(
        test::WriteSettingsFile("channel-absent.ini", test::SettingsFor(11)).c_str()));
    ModemChannel channel;
    EXPECT_FALSE(channel.Open());
}

}  // namespace
}  // namespace pelvaro
