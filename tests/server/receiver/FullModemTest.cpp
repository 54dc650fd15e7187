// Reception with "Full Modem Support=1", against the modem families the simulator plays: each
// message raised once, nothing lost while a client fails or goes, the storage left empty.

#include <chrono>
#include <fstream>

#include "tests/server/receiver/ReceiverTesting.h"
#include "tests/support/TestPdu.h"

namespace pelvaro {
namespace {

using namespace test;

constexpr char kSender[] = "+4915112345678";

std::wstring Summary(const std::wstring& text) {
    return L"Service Center No: 491700000000\r\nSender No: 4915112345678\r\nText: " + text;
}

std::vector<std::wstring> Summaries(std::initializer_list<const wchar_t*> texts) {
    std::vector<std::wstring> summaries;
    for (const wchar_t* text : texts) summaries.push_back(Summary(text));
    return summaries;
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

class FullModemTest : public ReceiverFixture {
  protected:
    void SetUp() override {
        ReceiverFixture::SetUp();
        UseSettings(sim_.Port(), "Full Modem Support=1\r\n");
    }

    bool PumpUntilEvents(std::size_t count, DWORD timeoutMs = 8000) {
        return PumpUntil([&] { return sink_.calls.size() >= count; }, timeoutMs);
    }
    bool PumpUntilStored(const std::string& left, DWORD timeoutMs = 5000) {
        return PumpUntil([&] { return sim_.Order("storage") == left; }, timeoutMs);
    }

    void Deliver(std::initializer_list<const char*> texts, const char* how = "text") {
        for (const char* text : texts) {
            sim_.Order(std::string("deliver ") + how + " " + kSender + " " + text);
        }
    }
};

// A status report for a message sent from the modem, between commands: "+CDS: 26" and its PDU.
constexpr char kStatusReport[] =
    "\r\n+CDS: 26\r\n"
    "0791947100000000060A0D91945111325476F84220923101000042209231011000\r\n";

TEST_F(FullModemTest, ReceivesFromEveryModemFamilyEachMessageOnceAndEmptiesTheStorage) {
    const struct {
        const char* name;
        std::vector<std::string> orders;
        const char* routing;  // what the set-up chose
        const char* deliver;  // how the sim is told to deliver
        int acknowledgements;
        const char* sentOnceStarted = nullptr;  // what the sim writes to the line then
    } cases[] = {
        {"stores and announces", {}, "AT+CNMI=2,1\r\n", "text", 0},
        {"stores into phone memory", {"memories SM,SM,ME"}, "AT+CNMI=2,1\r\n", "text", 0},
        {"refuses phase 2+",
         {"refuse +CSMS=1", "offer +CSMS (0)", "phase 0"},
         "AT+CNMI=2,1\r\n",
         "text",
         0},
        {"offers no store-and-announce",
         {"offer +CNMI (0,2),(0,2),(0),(0),(0,1)"},
         "AT+CNMI=2,2\r\n",
         "text",
         3},
        {"class 2 under direct routing, stored all the same",
         {"offer +CNMI (0,2),(0,2),(0),(0),(0,1)"},
         "AT+CNMI=2,2\r\n",
         "class2",
         0},
        {"no storage, direct routing only", {"offer +CPMS (),(),()"}, "AT+CNMI=2,2\r\n", "text", 3},
        {"status reports every second", {"reports huawei 1"}, "AT+CNMI=2,1\r\n", "text", 0},
        // Not the client's, and acknowledged, or the modem holds back what follows.
        {"a status report", {}, "AT+CNMI=2,1\r\n", "text", 1, kStatusReport},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim_.Reset();
        for (const std::string& order : c.orders) sim_.Order(order);
        receiver_->Close();
        sim_.ClearLog();
        ASSERT_EQ(receiver_->StartReceiving(VARIANT_FALSE), S_OK) << ErrorDescription();
        sink_.calls.clear();
        beeps.clear();
        if (c.sentOnceStarted) sim_.SendRaw(c.sentOnceStarted);
        Deliver({"m1", "m2", "m3"}, c.deliver);
        EXPECT_TRUE(PumpUntilEvents(3));
        Wait(1500);  // nothing more may come
        EXPECT_EQ(sink_.Texts(), Summaries({L"m1", L"m2", L"m3"}));
        EXPECT_EQ(beeps, std::vector<UINT>(3, MB_OK));
        EXPECT_TRUE(PumpUntilStored(""));
        receiver_->Close();
        const std::string line = Line();
        EXPECT_EQ(Count(line, c.routing), 1) << line;
        EXPECT_EQ(Count(line, "AT+CNMA\r\n"), c.acknowledgements) << line;
    }
}

TEST_F(FullModemTest, AStartThatCanNeverReceiveFailsAndSaysWhy) {
    const struct {
        std::vector<std::string> orders;
        int port;  // 0: the sim's
        const wchar_t* why;
    } cases[] = {
        {{"refuse +CNMI", "offer +CPMS (),(),()"},
         0,
         L"AT+CNMI=1,2 was refused (+CMS ERROR: 500): the device offers no way to receive SMS"},
        {{"refuse +CMGF=0 ERROR"}, 0, L"the modem refused PDU mode (AT+CMGF=0: ERROR)"},
        {{}, 15, L"COM15 could not be opened"},  // no device there
    };
    for (const auto& c : cases) {
        sim_.Reset();
        for (const std::string& order : c.orders) sim_.Order(order);
        UseSettings(c.port ? c.port : sim_.Port(), "Full Modem Support=1\r\n");
        EXPECT_EQ(receiver_->StartReceiving(VARIANT_FALSE), E_FAIL);
        const std::wstring why = ErrorDescription();
        EXPECT_NE(why.find(c.why), std::wstring::npos) << why;
        EXPECT_FALSE(receiver_->ReceivesFully());
    }
}

TEST_F(FullModemTest, StoredMessagesComeOldestFirstFromEveryMemoryAndDraftsStay) {
    // "m1" to "m3", sent at 13:10, 13:20 and 13:30, stored out of that order in two memories.
    for (const char* order :
         {"store ME pdu 0791947100000000040D91945111325476F800004220923103000002ED19",
          "store pdu 0791947100000000040D91945111325476F800004220923101000002ED18",
          "store pdu 0791947100000000040D91945111325476F8000042209231020000026D19"}) {
        sim_.Order(order);
    }
    sim_.Order("store unsent text +4917 a draft");
    const std::string sent = sim_.Order("store sent text +4917 sent before");
    std::vector<std::string> storedAtEvents;
    sink_.onInvoke = [&] { storedAtEvents.push_back(sim_.Order("storage")); };
    Start();
    EXPECT_TRUE(PumpUntilEvents(3));
    Wait(1000);
    sink_.onInvoke = nullptr;
    EXPECT_EQ(sink_.Texts(), Summaries({L"m1", L"m2", L"m3"}));
    ASSERT_EQ(storedAtEvents.size(), 3u);
    EXPECT_NE(storedAtEvents[2].find("ME:"), std::string::npos)
        << "the message raised is still stored while the sink runs";
    EXPECT_TRUE(
        PumpUntil([&] { return Count(sim_.Order("storage"), ":") == 4; }, 5000))  // the two drafts
        << sim_.Order("storage");
    EXPECT_EQ(sim_.Order("storage").find(":0:"), std::string::npos) << sim_.Order("storage");
}

TEST_F(FullModemTest, NothingLeavesTheStorageThatNoSinkTook) {
    sim_.Order("store text +4915112345678 kept");
    // A sink that fails, then an object with no sink at all: the message stays.
    sink_.result = E_FAIL;
    Start();
    EXPECT_TRUE(PumpUntilEvents(1));
    Wait(1000);
    EXPECT_NE(sim_.Order("storage"), "");
    receiver_->Close();
    CReadSms* bare = nullptr;
    ComPtr<IUnknown> bareObject = Create(&bare);
    ASSERT_EQ(bare->StartReceiving(VARIANT_FALSE), S_OK);
    Wait(1500);
    bareObject.Reset();
    EXPECT_NE(sim_.Order("storage"), "");

    // A sink that takes it: the next start raises it again, and it goes.
    sink_.result = S_OK;
    Start();
    EXPECT_TRUE(PumpUntilEvents(1));
    EXPECT_TRUE(PumpUntilStored(""));
    EXPECT_EQ(sink_.Texts(), Summaries({L"kept"}));
}

TEST_F(FullModemTest, AMessageStoredWithoutAWordIsRaisedWithin15Seconds) {
    Start();
    Wait(500);
    // The module stopped routing, as after an acknowledgement that timed out.
    sim_.Order("routing 2,0");
    sim_.ClearLog();
    const Stopwatch watch;
    Deliver({"silently"});
    EXPECT_TRUE(PumpUntilEvents(1, 16000));
    EXPECT_LE(watch.Ms(), 15000);
    EXPECT_NE(Line().find("AT+CNMI=2,1\r\n"), std::string::npos) << "routed again: " << Line();
    const Stopwatch again;
    Deliver({"announced"});
    EXPECT_TRUE(PumpUntilEvents(2, 3000));
    EXPECT_LE(again.Ms(), 1000);
    EXPECT_EQ(sink_.Texts(), Summaries({L"silently", L"announced"}));
}

TEST_F(FullModemTest, AFullStorageIsDrainedAndWhatTheNetworkHeldBackArrives) {
    sim_.Order("storage-size 3");
    sim_.Order("full-storage retry");
    for (const char* text : {"s1", "s2", "s3"}) {
        sim_.Order(std::string("store text ") + kSender + " " + text);
    }
    sim_.Order("routing 2,1");  // as a set-up before left it
    Deliver({"h1", "h2"});      // no room: the network holds them back
    Start();
    EXPECT_TRUE(PumpUntilEvents(5, 10000));
    EXPECT_EQ(sink_.Texts(), Summaries({L"s1", L"s2", L"s3", L"h1", L"h2"}));
    EXPECT_TRUE(PumpUntilStored(""));
}

TEST_F(FullModemTest, LongMessagesLeaveTheStorageWholeAndNothingIsLostWhenReceptionStops) {
    UseSettings(sim_.Port(), "Full Modem Support=1\r\nFull Decoding=1\r\n");
    // Two long messages with one sender and one reference: "A1A2" and "B1B2".
    const auto part = [](int sequence, const char* units) {
        return "deliver pdu " + LongMessagePart(kAlice, 9, sequence, 2, units);
    };
    Start();
    sim_.Order(part(1, "00410031"));
    sim_.Order(part(1, "00420031"));
    sim_.Order(part(2, "00410032"));
    std::string storedWhileRaised;
    sink_.onInvoke = [&] { storedWhileRaised = sim_.Order("storage"); };
    EXPECT_TRUE(PumpUntilEvents(1));
    EXPECT_EQ(Count(storedWhileRaised, ":"), 6) << "A's parts and B1 stay while A is raised";
    EXPECT_TRUE(PumpUntil([&] { return Count(sim_.Order("storage"), ":") == 2; }, 5000));
    sim_.Order(part(2, "00420032"));
    EXPECT_TRUE(PumpUntilEvents(2));
    EXPECT_TRUE(PumpUntilStored(""));
    ASSERT_EQ(sink_.calls.size(), 2u);
    EXPECT_NE(sink_.calls[0].args[2].find(L"Text: A1A2"), std::wstring::npos);
    EXPECT_NE(sink_.calls[1].args[2].find(L"Text: B1B2"), std::wstring::npos);

    // Close gives out the incomplete one with its gap, and its part goes.
    sim_.Order(part(1, "00430031"));
    Wait(1000);
    receiver_->Close();
    ASSERT_EQ(sink_.calls.size(), 3u);
    EXPECT_NE(sink_.calls[2].args[2].find(L"Text: C1[\u2026]"), std::wstring::npos);
    EXPECT_EQ(sim_.Order("storage"), "");

    // A client that disconnects before its last Release hears nothing: the part stays.
    Start();
    sim_.Order(part(1, "00440031"));
    Wait(1000);
    receiver_->Events().Unadvise(cookie_);
    object_.Reset();
    EXPECT_NE(sim_.Order("storage"), "");
    CreateAndAdvise();
}

TEST_F(FullModemTest, AHandlerThatPumpsSeesNoNestedEventAndMayCloseAndStartAgain) {
    Start();
    int depth = 0;
    int deepest = 0;
    sink_.onInvoke = [&] {
        deepest = std::max(deepest, ++depth);
        Wait(700);  // MsgBox, DoEvents or WScript.Sleep in a script
        --depth;
    };
    Deliver({"p1", "p2", "p3", "p4"});
    EXPECT_TRUE(PumpUntilEvents(4, 15000));
    EXPECT_EQ(deepest, 1);
    EXPECT_TRUE(PumpUntilStored(""));

    // The first handler closes and starts again; the rest still come, each once.
    bool restarted = false;
    sink_.onInvoke = [&] {
        if (restarted) return;
        restarted = true;
        receiver_->Close();
        EXPECT_EQ(receiver_->StartReceiving(VARIANT_FALSE), S_OK);
    };
    Deliver({"r1", "r2", "r3"});
    EXPECT_TRUE(PumpUntilEvents(7, 10000));
    Wait(1500);
    EXPECT_EQ(sink_.Texts(), Summaries({L"p1", L"p2", L"p3", L"p4", L"r1", L"r2", L"r3"}));
    EXPECT_TRUE(PumpUntilStored(""));
    EXPECT_TRUE(receiver_->ReceivesFully());
}

TEST_F(FullModemTest, CloseRaisesWhatWasAlreadyReadFirst) {
    Start();
    Deliver({"c1", "c2", "c3"});
    Sleep(1500);  // read and posted, not raised: this thread does not pump
    EXPECT_TRUE(sink_.calls.empty());
    receiver_->Close();
    EXPECT_EQ(sink_.Texts(), Summaries({L"c1", L"c2", L"c3"}));
    EXPECT_EQ(sim_.Order("storage"), "");
}

TEST_F(FullModemTest, AHandlerThatReleasesTheLastReferenceWhileCloseRaisesLeavesNothingBehind) {
    Start();
    Deliver({"c1", "c2"});
    Sleep(1500);  // read and posted, not raised: this thread does not pump
    sink_.onInvoke = [&] { object_.Reset(); };
    receiver_->Close();
    EXPECT_EQ(sink_.Texts(), Summaries({L"c1", L"c2"}));
    EXPECT_EQ(ModuleLockCount(), locks_) << "the object is gone once Close returned";
    EXPECT_EQ(sim_.Order("storage"), "");
}

TEST_F(FullModemTest, AClientKilledInItsHandlerGetsThatMessageOnceMoreWhenItStartsAgain) {
    const std::string settings = WriteSettingsFile(
        "killed-client.ini", SettingsFor(sim_.Port()) + "Full Modem Support=1\r\n");
    const std::string out = TempFolder() + "killed-client.txt";
    DeleteFileA(out.c_str());
    DeleteFileA((out + ".hanging").c_str());
    const std::string arguments = "\"" + settings + "\" \"" + out + "\" ";

    const auto setUp = [&] {
        return PumpUntil([&] { return Line().find("AT+CMGL=4") != std::string::npos; }, 15000);
    };
    sim_.ClearLog();
    UniqueHandle first = RunClient(arguments + "30 2");
    ASSERT_TRUE(first);
    ASSERT_TRUE(setUp());
    Deliver({"k1", "k2", "k3"});
    EXPECT_TRUE(PumpUntil(
        [&] { return GetFileAttributesA((out + ".hanging").c_str()) != INVALID_FILE_ATTRIBUTES; },
        15000));
    Sleep(1000);  // k3 is read meanwhile
    TerminateProcess(first.Get(), 1);
    WaitForSingleObject(first.Get(), 5000);

    sim_.ClearLog();
    UniqueHandle second = RunClient(arguments + "8");
    ASSERT_TRUE(second);
    ASSERT_TRUE(setUp());
    Deliver({"k4"});
    EXPECT_EQ(WaitForSingleObject(second.Get(), 30000), WAIT_OBJECT_0);
    EXPECT_EQ(Lines(out), (std::vector<std::string>{"k1", "k2", "k2", "k3", "k4"}))
        << "k2, whose handler was killed, comes once more; nothing else twice, nothing lost";
    EXPECT_EQ(sim_.Order("storage"), "");
}

TEST_F(FullModemTest, AModuleThatRestartsIsSetUpAgainAndWhatItDeliversAgainIsNotRaisedTwice) {
    // Direct routing, so that the module has a last +CMT to deliver again.
    sim_.Order("offer +CPMS (),(),()");
    Start();
    Deliver({"m1"});
    EXPECT_TRUE(PumpUntilEvents(1));
    Wait(500);
    sim_.ClearLog();
    // Back at its defaults: phase 2, storing silently; and m1 comes in once more.
    sim_.Order("restart redeliver");
    EXPECT_TRUE(PumpUntil([&] { return Count(Line(), "AT+CNMI=2,2\r\n") > 0; }, 8000)) << Line();
    Deliver({"m2"});
    EXPECT_TRUE(PumpUntilEvents(2));
    Wait(1500);
    EXPECT_EQ(sink_.Texts(), Summaries({L"m1", L"m2"}));
}

// Where the sent commands in `sent` are in `line`, one after another.
bool InOrder(const std::string& line, const std::vector<std::string>& sent) {
    std::size_t at = 0;
    for (const std::string& command : sent) {
        at = line.find(command, at);
        if (at == std::string::npos) return false;
    }
    return true;
}

constexpr char kInit[] = "Init=AT^CURC=0;+CPMS=\"ME\",\"ME\",\"ME\"\r\n";
constexpr char kCurc[] = "AT^CURC=0\r\n";
constexpr char kMemories[] = "AT+CPMS=\"ME\",\"ME\",\"ME\"\r\n";

TEST_F(FullModemTest, InitCommandsFollowTheSetUpAndOneRefusedFailsTheStartInBothDialogues) {
    const std::string full = "Full Modem Support=1\r\n";
    const std::wstring refusedMemories =
        L"the modem refused AT+CPMS=\"ME\",\"ME\",\"ME\" of Init in SerComm.ini (+CMS ERROR: 500)";
    const std::wstring holdsPin =
        L"Init in SerComm.ini holds an AT+CPIN command, and nothing is sent";
    const struct {
        const char* name;
        std::string settings;
        const char* refuse;  // what the sim refuses, or null
        HRESULT hr;
        std::wstring why;
        std::vector<std::string> sent;  // in this order; none: nothing at all
    } cases[] = {
        {"fixed", kInit, nullptr, S_OK, L"", {"AT+CNMI=1,2\r\n", kCurc, kMemories}},
        {"full", full + kInit, nullptr, S_OK, L"", {"AT+CNMI=2,1\r\n", kCurc, kMemories}},
        {"fixed, refused", kInit, "+CPMS=\"ME\"", E_FAIL, refusedMemories, {kCurc, kMemories}},
        {"full, refused",
         full + kInit,
         "+CPMS=\"ME\"",
         E_FAIL,
         refusedMemories,
         {kCurc, kMemories}},
        {"fixed, a PIN", "Init=AT^CURC=0;+CPIN=4711\r\n", nullptr, E_FAIL, holdsPin, {}},
        {"full, a PIN", full + "Init=AT^CURC=0;+CPIN=4711\r\n", nullptr, E_FAIL, holdsPin, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        receiver_->Close();
        sim_.Reset();
        if (c.refuse) sim_.Order(std::string("refuse ") + c.refuse);
        UseSettings(sim_.Port(), c.settings);
        sim_.ClearLog();
        sink_.calls.clear();
        EXPECT_EQ(receiver_->StartReceiving(VARIANT_FALSE), c.hr);
        const std::wstring why = ErrorDescription();
        EXPECT_EQ(why.substr(0, c.why.size()), c.why);
        EXPECT_EQ(why.find(L"4711"), std::wstring::npos) << why;
        const std::string line = Line();
        if (c.sent.empty()) {
            EXPECT_EQ(line, "") << "nothing is sent";
        } else {
            EXPECT_TRUE(InOrder(line, c.sent)) << line;
            EXPECT_EQ(Count(line, kCurc), 1) << line;
        }
        if (c.hr != S_OK) continue;
        // Stored in phone memory now, and read there.
        Deliver({"after init"});
        EXPECT_TRUE(PumpUntilEvents(1));
        EXPECT_EQ(sink_.Texts(), Summaries({L"after init"}));
    }
}

TEST_F(FullModemTest, InitCommandsFollowEverySetUpAfterARestartOrAReconnect) {
    UseSettings(sim_.Port(), std::string("Full Modem Support=1\r\n") + kInit);
    for (const char* fault : {"restart", "unplug 2"}) {
        SCOPED_TRACE(fault);
        Start();
        sim_.Order(fault);
        EXPECT_TRUE(PumpUntil([&] { return Count(Line(), kMemories) == 1; }, 25000)) << Line();
        EXPECT_TRUE(InOrder(Line(), {"AT+CNMI=2,1\r\n", kCurc, kMemories})) << Line();
        sink_.calls.clear();
        Deliver({"after init"});
        EXPECT_TRUE(PumpUntil([&] { return !sink_.Texts().empty(); }, 8000));
        EXPECT_EQ(sink_.Texts(), Summaries({L"after init"}));
    }
}

TEST_F(FullModemTest, AModemThatVanishesIsOpenedAgainUntilClose) {
    Start();
    Deliver({"before"});
    Sleep(1500);  // read and posted, not raised yet
    sim_.Order("go-away 12");
    // The modem stores what arrives while the port is gone.
    sim_.Order(std::string("store text ") + kSender + " meanwhile");
    EXPECT_TRUE(PumpUntilEvents(2, 6000)) << "the loss is noticed within seconds";
    ASSERT_EQ(sink_.calls.size(), 2u);
    EXPECT_EQ(sink_.calls[0].id, 2) << "what was read comes first";
    EXPECT_EQ(sink_.calls[1].id, 1) << "then TestEvent";

    EXPECT_TRUE(PumpUntilEvents(3, 30000)) << "reopened, set up, and the storage read";
    Deliver({"after"});
    EXPECT_TRUE(PumpUntilEvents(4));
    Wait(1500);
    EXPECT_EQ(sink_.Texts(), Summaries({L"before", L"meanwhile", L"after"}));
    EXPECT_EQ(sink_.calls.size(), 4u) << "one TestEvent for one loss, nothing twice";

    sim_.Order("go-away");
    EXPECT_TRUE(PumpUntilEvents(5, 6000));
    receiver_->Close();
    sim_.Order("come-back");
    Wait(11000);
    EXPECT_FALSE(receiver_->ReceivesFully()) << "Close stops the attempts";
    CReadSms* other = nullptr;
    ComPtr<IUnknown> otherObject = Create(&other);
    EXPECT_EQ(other->StartReceiving(VARIANT_FALSE), S_OK) << "no claim on the port is left";
}

}  // namespace
}  // namespace pelvaro
