#include "tests/server/receiver/ReceiverTesting.h"
#include "tests/support/TestPdu.h"

namespace pelvaro {
namespace {

using namespace test;

constexpr char kSender[] = "+4915112345678";
// What a short delivery from kSender starts with: CR LF "+CMT: ,NN" CR LF.
constexpr int kHeaderBytes = 13;
const std::string kSetUp = "AT+CMGF=0\r\nAT+CSMS=1\r\nAT+CNMI=1,2\r\n";
const std::string kPdu = test::kHelloPdu;
const std::string kAcknowledged = "AT+CNMA\r\nAT+CNMI=1,2\r\n";

std::wstring Summary(const std::wstring& text) {
    return L"Service Center No: 491700000000\r\nSender No: 4915112345678\r\nText: " + text;
}

// The summaries of the messages "m1" to "m<count>".
std::vector<std::wstring> Summaries(int count) {
    std::vector<std::wstring> summaries;
    for (int i = 1; i <= count; ++i) summaries.push_back(Summary(L"m" + std::to_wstring(i)));
    return summaries;
}

class ReceiverTest : public ReceiverFixture {
  protected:
    void DeliverMessages(int count) {
        for (int i = 1; i <= count; ++i) sim_.DeliverText(kSender, "m" + std::to_string(i));
    }
};

TEST_F(ReceiverTest, RaisesADeliveryAndAcknowledgesItAfterwards) {
    // Widening through the thread's code page would turn these letters Greek.
    const LCID locale = GetThreadLocale();
    SetThreadLocale(MAKELCID(MAKELANGID(LANG_GREEK, SUBLANG_GREEK_GREECE), SORT_DEFAULT));
    ASSERT_EQ(receiver_->StartReceiving(VARIANT_FALSE), S_OK);
    EXPECT_EQ(Line(), kSetUp);
    sim_.ClearLog();
    std::string lineAtEvent = "no event";
    sink_.onInvoke = [&] { lineAtEvent = Line(); };

    sim_.DeliverText(kSender,
                     "Gr\xC3\xBC\xC3\x9F"
                     "e {\xE2\x82\xAC}");
    ASSERT_TRUE(PumpUntil([&] { return Line() == kAcknowledged; }, 5000)) << Line();
    SetThreadLocale(locale);

    ASSERT_EQ(sink_.calls.size(), 1u);
    EXPECT_EQ(
        sink_.calls[0].args,
        (std::vector<std::wstring>{L"Sender", L"Center", Summary(L"Gr\u00fc\u00dfe {\u20ac}")}));
    EXPECT_EQ(lineAtEvent, "");
    EXPECT_EQ(beeps, std::vector<UINT>{MB_OK});
    EXPECT_EQ(KeepAliveCounter, 30);
}

TEST_F(ReceiverTest, TextWithoutAPduBeepsAndIsStillAcknowledged) {
    Start();
    KeepAliveCounter = 5;
    sim_.SendRaw("\r\nOK\r\n");
    Tick();
    EXPECT_TRUE(sink_.calls.empty());
    EXPECT_EQ(beeps, std::vector<UINT>{MB_ICONHAND});
    EXPECT_EQ(Line(), kAcknowledged);
    EXPECT_EQ(KeepAliveCounter, 30);
}

TEST_F(ReceiverTest, RaisesEveryDeliveryInTheTickThatReadItOnceInOrderEachAcknowledgedAfterIt) {
    // Texts raised, acknowledgements and routings sent, after each tick.
    struct AfterTick {
        std::vector<std::wstring> texts;
        int acknowledgements, routings;
    };
    const struct {
        const char* name;
        std::function<void()> arrange;
        std::vector<AfterTick> ticks;
    } cases[] = {
        {"two in one read",
         [this] {
             sim_.DeliverTogether(2);
             DeliverMessages(2);
         },
         {{Summaries(2), 2, 1}}},
        {"five in one read from a modem that does not wait for acknowledgements",
         [this] {
             sim_.SetHold(false);
             sim_.DeliverTogether(5);
             DeliverMessages(5);
         },
         {{Summaries(5), 5, 1}}},
        {"each sent on the acknowledgement of the one before",
         [this] { DeliverMessages(3); },
         {{Summaries(3), 3, 1}}},
        {"lines ending in LF alone",
         [this] {
             sim_.SetLineEnd("lf");
             sim_.DeliverTogether(2);
             DeliverMessages(2);
         },
         {{Summaries(2), 2, 1}}},
        {"read during the keep-alive",
         [this] {
             KeepAliveCounter = 0;
             sim_.DeliverDuringReply(pelvaro::test::DuringReply::After);
             DeliverMessages(1);
         },
         {{Summaries(1), 1, 1}}},
        {"split inside the PDU",
         [this] {
             sim_.SplitDelivery(kHeaderBytes + 20, 400);
             DeliverMessages(1);
         },
         {{{}, 0, 0}, {Summaries(1), 1, 1}}},
        {"header alone, its PDU at the next tick",
         [this] {
             sim_.SplitDelivery(kHeaderBytes, 400);
             DeliverMessages(1);
         },
         {{{}, 0, 0}, {Summaries(1), 1, 1}}},
        {"header whose PDU never comes",
         [this] { sim_.SendRaw("\r\n+CMT: ,25\r\n"); },
         {{{}, 0, 0}, {{}, 1, 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim_.Reset();
        Start();
        std::vector<int> acknowledgementsAtEvents;
        sink_.onInvoke = [&] { acknowledgementsAtEvents.push_back(Count(Line(), "AT+CNMA\r\n")); };
        c.arrange();
        for (const AfterTick& expected : c.ticks) {
            Sleep(100);
            Tick();
            const std::string line = Line();
            EXPECT_EQ(sink_.Texts(), expected.texts);
            EXPECT_EQ(Count(line, "AT+CNMA\r\n"), expected.acknowledgements) << line;
            EXPECT_EQ(Count(line, "AT+CNMI=1,2\r\n"), expected.routings) << line;
            Sleep(400);
        }
        for (std::size_t i = 0; i < acknowledgementsAtEvents.size(); ++i) {
            EXPECT_EQ(acknowledgementsAtEvents[i], static_cast<int>(i));
        }
        sink_.onInvoke = nullptr;
    }
}

TEST_F(ReceiverTest, AModemThatNeverStopsSendingCannotHoldTheThreadInOneTick) {
    Start();
    sim_.SetHold(false);
    sim_.DeliverTogether(30);
    DeliverMessages(30);
    Sleep(100);
    Tick();
    EXPECT_GT(sink_.calls.size(), 0u);
    EXPECT_LT(sink_.calls.size(), 30u);
    Tick();
    Tick();
    EXPECT_EQ(sink_.Texts(), Summaries(30));
    EXPECT_EQ(Count(Line(), "AT+CNMA\r\n"), 30);
}

TEST_F(ReceiverTest, StartingSelectsPduModeWhichAModemMayLack) {
    Start();
    sim_.SetTextMode(true);  // as another program may have left it
    sim_.DeliverPdu(kPdu);
    Sleep(100);
    Tick();
    EXPECT_TRUE(sink_.calls.empty()) << "its text looks like a PDU but is none";
    EXPECT_EQ(beeps, std::vector<UINT>{MB_ICONHAND});
    EXPECT_EQ(Line(), kAcknowledged);

    sim_.ClearLog();
    EXPECT_EQ(receiver_->StartReceiving(VARIANT_FALSE), S_OK);
    EXPECT_EQ(Line(), kSetUp);
    sim_.DeliverText(kSender, "in PDU mode");
    Sleep(100);
    Tick();
    EXPECT_EQ(sink_.Texts(), std::vector<std::wstring>{Summary(L"in PDU mode")});

    sim_.AnswerError();  // to +CMGF=0 alone
    EXPECT_EQ(receiver_->StartReceiving(VARIANT_FALSE), S_OK);
}

TEST_F(ReceiverTest, AModemThatGoesAwayFailsTheKeepAliveAndCanBeOpenedAgain) {
    Start();
    sim_.GoAway();
    KeepAliveCounter = 0;
    Tick();
    EXPECT_EQ(beeps, std::vector<UINT>{MB_ICONEXCLAMATION});
    ASSERT_EQ(sink_.calls.size(), 1u);
    EXPECT_EQ(sink_.calls[0].id, 1);
    EXPECT_EQ(KeepAliveCounter, 120);

    sim_.ComeBack();
    Start();
    sim_.DeliverText(kSender, "back");
    Sleep(100);
    Tick();
    EXPECT_EQ(sink_.Texts(), std::vector<std::wstring>{Summary(L"back")});
}

TEST_F(ReceiverTest, AStartThatFailsLeavesReceptionAsItWas) {
    const struct {
        const char* name;
        std::function<void()> arrange;
        bool linked;
    } cases[] = {
        {"no device", [] { UseSettings(15); }, false},
        {"+CSMS=1 answered with ERROR", [this] { sim_.AnswerError(2); }, true},
        {"+CSMS=1 not answered", [this] { sim_.StaySilent(2); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        receiver_->Close();
        const CReadSms* active = ActiveReceiver;
        const UINT_PTR timer = ReceptionTimer;
        c.arrange();
        EXPECT_EQ(receiver_->StartReceiving(VARIANT_FALSE), E_FAIL);
        EXPECT_EQ(receiver_->Link() != nullptr, c.linked);
        EXPECT_EQ(ActiveReceiver, active);
        EXPECT_EQ(ReceptionTimer, timer);
        UseSettings(sim_.Port());
        sim_.Reset();
        if (!c.linked) continue;
        // The open link is used again, not reopened, and both commands go out again.
        const pelvaro::ModemChannel* link = receiver_->Link();
        EXPECT_EQ(receiver_->StartReceiving(VARIANT_FALSE), S_OK);
        EXPECT_EQ(receiver_->Link(), link);
        EXPECT_EQ(Line(), kSetUp);
    }
}

TEST_F(ReceiverTest, RestartsAndASecondObjectShareOneTimer) {
    Start();
    const UINT_PTR timer = ReceptionTimer;
    ASSERT_NE(timer, 0u);
    EXPECT_EQ(receiver_->StartReceiving(VARIANT_FALSE), S_OK);
    Start();

    CReadSms* second = nullptr;
    ComPtr<IUnknown> secondObject = Create(&second);
    EXPECT_EQ(second->StartReceiving(VARIANT_FALSE), E_FAIL) << "the port is the first one's";
    EXPECT_EQ(ActiveReceiver, receiver_);

    KeepAliveCounter = 100;
    PumpUntil([] { return false; }, 3500);
    EXPECT_GE(100 - KeepAliveCounter, 2) << "one idle tick a second";
    EXPECT_LE(100 - KeepAliveCounter, 4) << "one idle tick a second";

    receiver_->Close();
    EXPECT_EQ(second->StartReceiving(VARIANT_FALSE), S_OK);
    EXPECT_EQ(ActiveReceiver, second);
    EXPECT_EQ(ReceptionTimer, timer);
    object_.Reset();
    EXPECT_EQ(ActiveReceiver, second);
    secondObject.Reset();
    EXPECT_EQ(ActiveReceiver, nullptr);
    EXPECT_EQ(ReceptionTimer, 0u);
    PumpUntil([] { return false; }, 1200);  // a tick left over would work on freed objects
}

TEST_F(ReceiverTest, ASinkThatClosesOrReleasesTheObjectEndsTheTick) {
    for (const Stop& c : WaysToStop()) {
        SCOPED_TRACE(c.name);
        if (!object_) CreateAndAdvise();
        sim_.Reset();
        Start();
        sink_.onInvoke = c.act;
        sim_.DeliverTogether();
        sim_.DeliverText(kSender, "first");
        sim_.DeliverText(kSender, "second");
        Sleep(100);
        Tick();
        sink_.onInvoke = nullptr;
        EXPECT_EQ(sink_.Texts(), std::vector<std::wstring>{Summary(L"first")});
        beeps.clear();
        KeepAliveCounter = 0;
        Tick();  // without a link: no keep-alive, no beep
        EXPECT_EQ(Line(), "") << "nothing goes out over a closed link";
        EXPECT_TRUE(beeps.empty());
        EXPECT_EQ(KeepAliveCounter, 0);
    }
}

TEST_F(ReceiverTest, TheKeepAliveGoesOutAfterTheIdleTicks) {
    const struct {
        bool answered;
        UINT beep;
        std::size_t testEvents;
    } cases[] = {{true, MB_OK, 0}, {false, MB_ICONEXCLAMATION, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answered);
        Start();
        if (!c.answered) sim_.StaySilent();
        KeepAliveCounter = 1;
        Tick();
        EXPECT_EQ(Line(), "");
        Tick();
        EXPECT_EQ(Line(), "a/");
        EXPECT_EQ(beeps, std::vector<UINT>{c.beep});
        EXPECT_EQ(sink_.calls.size(), c.testEvents);
        EXPECT_EQ(KeepAliveCounter, 120);
    }
    KeepAliveCounter = 7;
    receiver_->Close();
    EXPECT_EQ(receiver_->StartReceiving(VARIANT_FALSE), S_OK);
    EXPECT_EQ(KeepAliveCounter, 7) << "stop and start leave the count alone";
}

TEST_F(ReceiverTest, TheBoxShowsAfterTheTimerStartedAndTicksRunMeanwhile) {
    EXPECT_EQ(receiver_->StartReceiving(VARIANT_FALSE), S_OK);
    EXPECT_TRUE(boxes.empty());
    receiver_->Close();
    sim_.ClearLog();
    whileBoxShows = [&] {
        EXPECT_NE(ReceptionTimer, 0u);
        sim_.DeliverText(kSender, "meanwhile");
        EXPECT_TRUE(PumpUntil([&] { return Count(Line(), kAcknowledged) == 1; }, 5000));
    };
    EXPECT_EQ(receiver_->StartReceiving(VARIANT_BOOL(2)), S_OK) << "any nonzero shows it";
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"SMS-Empfang l\u00e4uft.");
    EXPECT_EQ(boxes[0].caption, L"Pelvaro:StartReceiving");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(sink_.Texts(), std::vector<std::wstring>{Summary(L"meanwhile")});
}

TEST_F(ReceiverTest, RunningOutOfMemoryDropsOneEventAndNothingEscapes) {
    const Delivery delivery{"+CMT: ,24", kPdu};
    ComPtr<IReadSms> readSms;  // the COM boundary answers for StartReceiving
    ASSERT_EQ(object_.As(readSms), S_OK);
    bool raised = true;
    HRESULT start = S_OK;
    {
        FailAllocations fail;
        raised = receiver_->ProcessReceivedText(delivery);
        start = readSms->StartReceiving(VARIANT_FALSE);
    }
    EXPECT_FALSE(raised);
    EXPECT_TRUE(sink_.calls.empty());
    EXPECT_EQ(start, E_OUTOFMEMORY);
    EXPECT_EQ(receiver_->Link(), nullptr);
    EXPECT_TRUE(receiver_->ProcessReceivedText(delivery));

    Start();
    sim_.DeliverText(kSender, "later");
    Sleep(100);
    {
        FailAllocations fail;
        Tick();
    }
    Tick();
    EXPECT_EQ(sink_.Texts(), std::vector<std::wstring>{Summary(L"later")});
}

}  // namespace
}  // namespace pelvaro
