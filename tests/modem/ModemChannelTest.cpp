#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "modem/ModemChannel.h"
#include "tests/modem/ModemTesting.h"
#include "tests/support/ModemSim.h"
#include "tests/support/TestPdu.h"

namespace pelvaro {
namespace {

using test::DuringReply;
using test::ModemSim;
using test::Stopwatch;

const std::string kPdu = test::kHelloPdu;
const std::string kDelivery = "\r\n+CMT: ,24\r\n" + kPdu + "\r\n";
// A delivery as it is kept: header and PDU line, written as one string.
const std::string kFound = "+CMT: ,24|" + kPdu;

std::string Joined(const KeptDelivery& delivery) {
    return delivery.header + "|" + delivery.pdu;
}

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
    const struct {
        std::string command;
        bool framed;
        std::string line;
    } cases[] = {
        {"+CSMS=1", true, "AT+CSMS=1\r\n"},   {"", true, "AT\r\n"},
        {"at+cnma", true, "at+cnma\r\n"},     {"At+CNMA\r\n", true, "At+CNMA\r\n"},
        {"AT+CNMA\r", true, "AT+CNMA\r\r\n"}, {"a/", false, "a/"},
    };
    for (const auto& c : cases) {
        sim_.ClearLog();
        EXPECT_TRUE(channel_.SendCommand(c.command, c.framed)) << c.line;
        EXPECT_EQ(sim_.Received(), c.line);
    }
}

TEST_F(ModemChannelTest, OnlyTheFinalOkWithinTwoReadsCounts) {
    const struct {
        const char* name;
        std::function<void(ModemSim&)> script;
        bool answered;
        double minMs, maxMs;
    } cases[] = {
        {"echo then OK", [](ModemSim&) {}, true, 0, 250},
        // "AT+CNMI=1,2\r" "\r\nO" | pause | "K\r\n": the second read finds it.
        {"OK split over two reads", [](ModemSim& sim) { sim.SplitReply(15, 150); }, true, 140, 500},
        // Only the second, empty read ends the wait.
        {"ERROR", [](ModemSim& sim) { sim.AnswerError(); }, false, 300, 900},
        {"silent modem", [](ModemSim& sim) { sim.StaySilent(); }, false, 500, 1300},
        {"OK after both reads", [](ModemSim& sim) { sim.SplitReply(15, 800); }, false, 300, 1300},
    };
    for (const auto& c : cases) {
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

TEST_F(ModemChannelTest, DeliveryDuringAWaitIsKept) {
    const struct {
        const char* name;
        DuringReply where;
        int splitAt, pauseMs;  // where the reply pauses, if it does
        bool answered;
    } cases[] = {
        {"before the reply", DuringReply::Before, 0, 0, true},
        {"inside the reply", DuringReply::Inside, 0, 0, true},
        {"right after the reply", DuringReply::After, 0, 0, true},
        {"reply split inside the delivery", DuringReply::Inside, 30, 120, true},
        {"delivery cut off by the end of the wait", DuringReply::After, 40, 150, true},
        {"ERROR", DuringReply::Inside, 0, 0, false},
    };
    for (const auto& c : cases) {
        sim_.Reset();
        sim_.DeliverDuringReply(c.where);
        if (c.splitAt > 0) sim_.SplitReply(c.splitAt, c.pauseMs);
        if (!c.answered) sim_.AnswerError();
        sim_.DeliverPdu(kPdu);
        EXPECT_EQ(channel_.SendCommand("+CNMI=1,2", true), c.answered) << c.name;

        std::string chunk;
        channel_.ReadChunk(chunk);  // brings the rest of one cut off by the end of the wait
        KeptDelivery delivery;
        EXPECT_TRUE(channel_.TakeDelivery(delivery)) << c.name;
        EXPECT_EQ(Joined(delivery), kFound) << c.name;
        EXPECT_FALSE(channel_.TakeDelivery(delivery)) << c.name;
    }
}

TEST_F(ModemChannelTest, DeliveriesComeOutOneAtATimeInOrderWhateverEndsTheirLines) {
    const std::string kLf = "\n+CMT: ,24\n" + kPdu + "\n";
    sim_.SendRaw(kDelivery + kLf + kPdu + "\r");
    EXPECT_TRUE(channel_.SendCommand("+CNMA", true));
    for (const std::string& expected : {kFound, kFound, "|" + kPdu}) {
        KeptDelivery delivery;
        EXPECT_TRUE(channel_.TakeDelivery(delivery));
        EXPECT_EQ(Joined(delivery), expected);
    }
}

TEST_F(ModemChannelTest, AnEchoThatLooksLikeAPduIsNotKept) {
    // The modem echoes a line without AT and does not answer it.
    EXPECT_FALSE(channel_.SendCommand("0A0B\r", false));
    KeptDelivery delivery;
    EXPECT_FALSE(channel_.TakeDelivery(delivery)) << delivery.pdu;
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

TEST_F(ModemChannelTest, ModemThatGoesAwayFailsCommandsAndReads) {
    ASSERT_TRUE(channel_.SendCommand("+CNMI=1,2", true));
    sim_.GoAway();
    EXPECT_FALSE(channel_.SendCommand("+CNMA", true));
    std::string chunk = "earlier";
    EXPECT_FALSE(channel_.ReadChunk(chunk));
    EXPECT_EQ(chunk, "earlier");
}

}  // namespace
}  // namespace pelvaro
