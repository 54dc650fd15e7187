// Reception with "Full Modem Support=1", against the modem families the simulator plays.

#include "tests/server/receiver/ReceiverTesting.h"
#include "win/Bstr.h"

namespace pelvaro {
namespace {

using namespace test;

constexpr char kSender[] = "+4915112345678";
const std::string kSetUp = "AT+CMGF=0\r\nAT+CSMS=1\r\nAT+CNMI=1,2\r\n";

std::wstring Summary(const std::wstring& text) {
    return L"Service Center No: 491700000000\r\nSender No: 4915112345678\r\nText: " + text;
}

std::vector<std::wstring> Summaries(std::initializer_list<const wchar_t*> texts) {
    std::vector<std::wstring> summaries;
    for (const wchar_t* text : texts) summaries.push_back(Summary(text));
    return summaries;
}

std::wstring ErrorDescription() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK) return L"";
    Bstr description;
    info->GetDescription(description.Put());
    return description.Str();
}

class FullModemTest : public ReceiverFixture {
  protected:
    void SetUp() override {
        ReceiverFixture::SetUp();
        UseSettings(sim_.Port(), "Full Modem Support=1\r\n");
    }

    // Pumps until the sink has `count` events of any kind, each tick on the real timer.
    bool PumpUntilEvents(std::size_t count, DWORD timeoutMs = 8000) {
        return PumpUntil([&] { return sink_.calls.size() >= count; }, timeoutMs);
    }

    void Deliver(std::initializer_list<const char*> texts, const char* how = "text") {
        for (const char* text : texts)
            sim_.Order(std::string("deliver ") + how + " " + kSender + " " + text);
    }
};

TEST_F(FullModemTest, SetsUpWhateverTheModemCanDoAndDeliversEveryMessageOnce) {
    const struct {
        const char* name;
        std::vector<std::string> orders;
        std::string setUp;
        const char* deliver;  // how the sim is told to deliver
        bool acknowledged;
        std::string routing;  // sent again after messages
    } cases[] = {
        {"refuses phase 2+",
         {"refuse +CSMS=1", "offer +CSMS (0)", "phase 0"},
         "AT+CMGF=0\r\nAT+CSMS=1\r\nAT+CSMS=0\r\nAT+CNMI=1,2\r\n",
         "text",
         false,
         "AT+CNMI=1,2\r\n"},
        {"refuses direct routing in mode 1",
         {"offer +CNMI (0,2),(0,1,2,3),(0),(0),(0,1)"},
         kSetUp + "AT+CNMI=?\r\nAT+CNMI=2,2\r\n",
         "text",
         true,
         "AT+CNMI=2,2\r\n"},
        {"only stores and announces",
         {"offer +CNMI (0,1,2),(0,1),(0),(0),(0,1)"},
         kSetUp + "AT+CNMI=?\r\nAT+CNMI=1,1\r\n",
         "text",
         false,
         ""},
        {"class 2 messages, stored and announced under direct routing",
         {},
         kSetUp,
         "class2",
         false,
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim_.Reset();
        for (const std::string& order : c.orders) sim_.Order(order);
        sim_.ClearLog();
        receiver_->Close();
        ASSERT_EQ(receiver_->StartReceiving(VARIANT_FALSE), S_OK) << ErrorDescription();
        EXPECT_EQ(Line().substr(0, c.setUp.size()), c.setUp);
        sim_.ClearLog();
        sink_.calls.clear();
        beeps.clear();

        Deliver({"m1", "m2", "m3"}, c.deliver);
        EXPECT_TRUE(PumpUntilEvents(3));
        PumpUntil([] { return false; }, 1500);  // nothing more may come
        EXPECT_EQ(sink_.Texts(), Summaries({L"m1", L"m2", L"m3"}));
        EXPECT_EQ(beeps, std::vector<UINT>(3, MB_OK));
        const std::string line = Line();
        EXPECT_EQ(Count(line, "AT+CNMA\r\n"), c.acknowledged ? 3 : 0) << line;
        if (!c.routing.empty()) {
            EXPECT_GE(Count(line, c.routing), 1) << line;
        }
        EXPECT_EQ(sim_.Order("storage"), "") << "each stored message is deleted once raised";
    }
}

TEST_F(FullModemTest, AStartThatCannotReceiveFailsAndSaysWhy) {
    sim_.Order("refuse +CNMI");
    sim_.Order("offer +CPMS (),(),()");
    EXPECT_EQ(receiver_->StartReceiving(VARIANT_FALSE), E_FAIL);
    const std::wstring why = ErrorDescription();
    EXPECT_NE(why.find(L"AT+CNMI=1,2 was refused (+CMS ERROR: 500)"), std::wstring::npos) << why;
    EXPECT_NE(why.find(L"offers no way to receive SMS"), std::wstring::npos) << why;
    EXPECT_EQ(ActiveReceiver, nullptr);

    receiver_->Close();
    UseSettings(15, "Full Modem Support=1\r\n");  // no device there
    EXPECT_EQ(receiver_->StartReceiving(VARIANT_FALSE), E_FAIL);
    EXPECT_EQ(ErrorDescription(), L"COM15 could not be opened");
}

TEST_F(FullModemTest, StoredMessagesComeFirstOldestFirstAndAreDeletedAfterTheSinks) {
    // "m1" to "m3", sent at 13:10, 13:20 and 13:30, stored at indices out of that order.
    for (const char* pdu : {"0791947100000000040D91945111325476F800004220923103000002ED19",
                            "0791947100000000040D91945111325476F800004220923101000002ED18",
                            "0791947100000000040D91945111325476F8000042209231020000026D19"}) {
        sim_.Order(std::string("store pdu ") + pdu);
    }
    std::vector<std::string> storageAtEvents;
    sink_.onInvoke = [&] { storageAtEvents.push_back(sim_.Order("storage")); };
    Start();
    EXPECT_TRUE(PumpUntilEvents(3));
    sink_.onInvoke = nullptr;
    EXPECT_EQ(sink_.Texts(), Summaries({L"m1", L"m2", L"m3"}));
    ASSERT_EQ(storageAtEvents.size(), 3u);
    EXPECT_NE(storageAtEvents[2], "") << "the message raised is still stored while the sink runs";
    EXPECT_EQ(sim_.Order("storage"), "");
}

TEST_F(FullModemTest, StatusReportsPassSilentlyAndTheKeepAliveStillGoesOut) {
    sim_.Order("reports huawei 1");
    Start();
    // The storage is read once after the set-up.
    EXPECT_TRUE(PumpUntil([&] { return Line() == "AT+CMGL=4\r\n"; }, 3000)) << Line();
    sim_.ClearLog();
    KeepAliveCounter = 100;
    PumpUntil([] { return false; }, 4500);
    EXPECT_TRUE(beeps.empty());
    EXPECT_EQ(Line(), "") << "no acknowledgement, no routing command";
    EXPECT_LE(KeepAliveCounter, 97) << "reports are no traffic";

    Deliver({"m1"});
    EXPECT_TRUE(PumpUntilEvents(1));
    EXPECT_EQ(sink_.Texts(), Summaries({L"m1"}));

    PumpUntil([] { return false; }, 1500);
    KeepAliveCounter = 0;
    sim_.ClearLog();
    beeps.clear();
    PumpUntil([] { return !beeps.empty(); }, 3000);
    EXPECT_EQ(Line().substr(0, 4), "AT\r\n")
        << "a/ would repeat the last command, which may be a deletion";
    EXPECT_TRUE(PumpUntil([&] { return Line() == "AT\r\nAT+CNMI=1,2\r\nAT+CMGL=4\r\n"; }, 3000))
        << "routed again and the storage read, for a module that stopped routing: " << Line();
    EXPECT_EQ(beeps, std::vector<UINT>{MB_OK});
    EXPECT_EQ(sink_.calls.size(), 1u);
}

TEST_F(FullModemTest, AModuleThatRestartsIsSetUpAgainAndWhatItDeliversAgainIsNotRaisedTwice) {
    Start();
    Deliver({"m1"});
    EXPECT_TRUE(PumpUntilEvents(1));
    sim_.ClearLog();
    // Back at its defaults: phase 2, storing silently; and m1 comes in once more.
    sim_.Order("restart redeliver");
    EXPECT_TRUE(PumpUntil([&] { return Count(Line(), "AT+CMGL=4\r\n") > 0; }, 8000)) << Line();
    EXPECT_TRUE(PumpUntil([&] { return sim_.Order("storage").empty(); }, 5000));
    EXPECT_NE(Line().find(kSetUp), std::string::npos) << Line();
    Deliver({"m2"});
    EXPECT_TRUE(PumpUntilEvents(2));
    PumpUntil([] { return false; }, 1500);
    EXPECT_EQ(sink_.Texts(), Summaries({L"m1", L"m2"}));
}

TEST_F(FullModemTest, AModemThatVanishesIsOpenedAgainUntilClose) {
    Start();
    sim_.Order("go-away 12");
    // The modem stores what arrives while the port is gone.
    sim_.Order(std::string("store text ") + kSender + " meanwhile");
    EXPECT_TRUE(PumpUntilEvents(1, 6000)) << "the loss is noticed within seconds";
    ASSERT_EQ(sink_.calls.size(), 1u);
    EXPECT_EQ(sink_.calls[0].id, 1) << "TestEvent";
    EXPECT_EQ(receiver_->Link(), nullptr);

    EXPECT_TRUE(PumpUntilEvents(2, 30000)) << "reopened, set up, and the storage read";
    Deliver({"after"});
    EXPECT_TRUE(PumpUntilEvents(3));
    EXPECT_EQ(sink_.Texts(), Summaries({L"meanwhile", L"after"}));
    EXPECT_EQ(sink_.calls.size(), 3u) << "one TestEvent for one loss";

    sim_.Order("go-away");
    EXPECT_TRUE(PumpUntilEvents(4, 6000));
    receiver_->Close();
    sim_.Order("come-back");
    PumpUntil([] { return false; }, 11000);
    EXPECT_EQ(receiver_->Link(), nullptr) << "Close stops the attempts";
    CReadSms* other = nullptr;
    ComPtr<IUnknown> otherObject = Create(&other);
    EXPECT_EQ(other->StartReceiving(VARIANT_FALSE), S_OK) << "no claim on the port is left";
}

}  // namespace
}  // namespace pelvaro
