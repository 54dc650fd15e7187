// The pieces of pelvaro-listen that need no registered object.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Arguments.h"
#include "ConsoleOutput.h"
#include "Diagnosis.h"
#include "EventSink.h"
#include "EventText.h"
#include "Pelvaro_h.h"
#include "server/Bstr.h"
#include "server/Variant.h"

namespace pelvaro::listen {
namespace {

TEST(Arguments, ParsesTheCommandLine) {
    struct Case {
        std::vector<std::string> args;
        std::optional<unsigned> seconds;
        bool help;
        bool error;
    };
    const Case cases[] = {
        {{}, std::nullopt, false, false},
        {{"--seconds", "20"}, 20u, false, false},
        {{"--seconds=0"}, 0u, false, false},
        {{"--seconds", "4294967"}, 4294967u, false, false},
        {{"--help"}, std::nullopt, true, false},
        {{"/?"}, std::nullopt, true, false},
        {{"--seconds"}, std::nullopt, false, true},
        {{"--seconds", "4294968"}, std::nullopt, false, true},
        {{"--seconds", "-1"}, std::nullopt, false, true},
        {{"--seconds", "+5"}, std::nullopt, false, true},
        {{"--seconds", "5s"}, std::nullopt, false, true},
        {{"--seconds="}, std::nullopt, false, true},
        {{"--port", "3"}, std::nullopt, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const ParsedArguments parsed = ParseArguments(c.args);
        EXPECT_EQ(!parsed.error.empty(), c.error) << parsed.error;
        if (!c.error) {
            EXPECT_EQ(parsed.options.seconds, c.seconds);
            EXPECT_EQ(parsed.options.help, c.help);
        }
    }
}

TEST(EventText, IndentsEachLineOfTheSummaryAndNeutralisesControls) {
    const SYSTEMTIME time{2024, 1, 0, 5, 3, 4, 5, 6};
    const std::wstring head = L"2024-01-05 03:04:05.006  OnNewSms\r\n";
    struct Case {
        std::wstring summary;
        std::wstring printed;
    };
    const Case cases[] = {
        {L"Service Center No: 491\r\nSender No: 492\r\nText: Gr\u00fc\u00dfe \u20ac{[]}",
         L"    Service Center No: 491\r\n    Sender No: 492\r\n    Text: Gr\u00fc\u00dfe "
         L"\u20ac{[]}\r\n"},
        // Line breaks inside the message text: LF, lone CR, CR LF.
        {L"Text: a\nb\rc\r\nd", L"    Text: a\r\n    b\r\n    c\r\n    d\r\n"},
        {L"Text: \x1b[2Jx\ty\x7f", L"    Text: \ufffd[2Jx\ty\ufffd\r\n"},
        {L"", L"    \r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatNewSms(time, c.summary), head + c.printed);
    }
    EXPECT_EQ(FormatTestEvent(time),
              L"2024-01-05 03:04:05.006  TestEvent: the modem did not answer the keep-alive\r\n");
}

// Records what the sink passes on.
struct Received {
    std::vector<std::wstring> messages;
    int testEvents = 0;
};

class EventSinkTest : public ::testing::Test {
  protected:
    EventSinkTest() {
        EventHandlers handlers;
        handlers.onNewSms = [r = received_](const std::wstring& text) {
            r->messages.push_back(text);
        };
        handlers.onTestEvent = [r = received_] { ++r->testEvents; };
        sink_ = EventSink::Create(DIID__IReadSmsEvents, std::move(handlers));
    }

    HRESULT Call(DISPID id, std::vector<VARIANTARG>& args, UINT* argErr = nullptr) {
        DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        Variant result;
        return sink_->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result.Get(), nullptr,
                             argErr);
    }

    static VARIANTARG Text(BSTR text) {
        VARIANTARG v;
        VariantInit(&v);
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = text;
        return v;
    }

    std::shared_ptr<Received> received_ = std::make_shared<Received>();
    ComPtr<EventSink> sink_;
};

TEST_F(EventSinkTest, PassesTheLastArgumentOfOnNewSmsAsMsgText) {
    Bstr sender(L"Sender"), center(L"Center"), text(L"Text: \u00e4\u20ac");
    Bstr byRefText(L"by reference");
    BSTR byRef = byRefText.Get();
    VARIANTARG number;
    VariantInit(&number);
    V_VT(&number) = VT_I4;
    V_I4(&number) = 5;
    VARIANTARG indirect;
    VariantInit(&indirect);
    V_VT(&indirect) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&indirect) = &byRef;

    // rgvarg holds the arguments last first.
    std::vector<VARIANTARG> plain{Text(text.Get()), Text(center.Get()), Text(sender.Get())};
    std::vector<VARIANTARG> byReference{indirect, Text(center.Get()), Text(sender.Get())};
    std::vector<VARIANTARG> coerced{number, Text(center.Get()), Text(sender.Get())};
    std::vector<VARIANTARG> nullText{Text(nullptr), Text(center.Get()), Text(sender.Get())};
    for (auto* args : {&plain, &byReference, &coerced, &nullText}) {
        EXPECT_EQ(Call(kDispidOnNewSms, *args), S_OK);
    }
    EXPECT_EQ(received_->messages,
              (std::vector<std::wstring>{L"Text: \u00e4\u20ac", L"by reference", L"5", L""}));
}

TEST_F(EventSinkTest, RaisesNothingForMalformedCalls) {
    Bstr text(L"x");
    VARIANTARG unknown;
    VariantInit(&unknown);
    V_VT(&unknown) = VT_UNKNOWN;
    std::vector<VARIANTARG> none, one{Text(text.Get())};
    std::vector<VARIANTARG> badType{unknown, Text(text.Get()), Text(text.Get())};
    UINT argErr = 99;
    EXPECT_EQ(Call(kDispidOnNewSms, one), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(kDispidTestEvent, one), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(7, none), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(kDispidOnNewSms, badType, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    EXPECT_TRUE(received_->messages.empty());
    EXPECT_EQ(received_->testEvents, 0);

    EXPECT_EQ(Call(kDispidTestEvent, none), S_OK);
    EXPECT_EQ(received_->testEvents, 1);
}

TEST_F(EventSinkTest, AnswersItsInterfacesAndIsFreedByTheLastRelease) {
    for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &DIID__IReadSmsEvents}) {
        ComPtr<IUnknown> answer;
        EXPECT_EQ(sink_->QueryInterface(*iid, answer.PutVoid()), S_OK);
        EXPECT_TRUE(answer);
    }
    ComPtr<IUnknown> none;
    EXPECT_EQ(sink_->QueryInterface(IID_IReadSms, none.PutVoid()), E_NOINTERFACE);
    EXPECT_FALSE(none);

    std::weak_ptr<Received> handlersState = received_;
    received_.reset();
    sink_.Reset();
    EXPECT_TRUE(handlersState.expired());
}

TEST(Diagnosis, UnregisteredClassAsksForRegsvr32) {
    for (HRESULT hr : {REGDB_E_CLASSNOTREG, CO_E_CLASSSTRING}) {
        const Failure f = CreateFailure(hr, {});
        EXPECT_EQ(f.exitStatus, kExitNotCreatable);
        EXPECT_EQ(f.line.rfind(L"Pelvaro.ReadSms is not registered: run regsvr32 Pelvaro.dll", 0),
                  0u)
            << f.line;
    }
    const Failure moved =
        CreateFailure(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), L"C:\\gone\\Pelvaro.dll");
    EXPECT_NE(moved.line.find(L"registered to C:\\gone\\Pelvaro.dll"), std::wstring::npos);
    EXPECT_NE(moved.line.find(L"0x8007007E"), std::wstring::npos);
    EXPECT_EQ(CreateFailure(E_OUTOFMEMORY, {})
                  .line.rfind(L"Pelvaro.ReadSms could not be created: 0x8007000E", 0),
              0u);
}

// Each case in a folder of its own: the profile functions may cache a file by its name.
class PortSettingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        root_ = std::wstring(temp) + L"listen-port-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(root_.c_str(), nullptr);
        GetCurrentDirectoryW(MAX_PATH, previous_);
    }
    void TearDown() override { SetCurrentDirectoryW(previous_); }

    PortSetting ReadIn(const std::wstring& name, const char* contents) {
        const std::wstring dir = root_ + L"\\" + name;
        CreateDirectoryW(dir.c_str(), nullptr);
        if (contents)
            std::ofstream(std::filesystem::path(dir + L"\\SerComm.ini"), std::ios::binary)
                << contents;
        SetCurrentDirectoryW(dir.c_str());
        return ReadPortSetting();
    }

    std::wstring root_;
    wchar_t previous_[MAX_PATH];
};

TEST_F(PortSettingTest, StartFailureNamesThePortTheObjectReads) {
    struct Case {
        const wchar_t* name;
        const char* contents;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"none", nullptr,
         L"COM4 could not be opened, or the modem on it did not answer; there is "
         L"no "},
        {L"set", "[SerComm Options]\r\nPort=3\r\nSend Delay=1\r\n",
         L"COM3 could not be opened, or the modem on it did not answer; the port is Port=3 in "},
        {L"case", "[sercomm options]\r\nPORT=12\r\n", L"COM12 could not"},
        {L"other", "[Other]\r\nPort=3\r\n",
         L"has no Port in [SerComm Options], so COM4 is the default"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.name));
        const Failure f = StartFailure(E_FAIL, ReadIn(c.name, c.contents));
        EXPECT_EQ(f.exitStatus, kExitNotReceiving);
        EXPECT_NE(f.line.find(c.expected), std::wstring::npos) << ToUtf8(f.line);
        EXPECT_NE(f.line.find(root_ + L"\\" + c.name + L"\\SerComm.ini"), std::wstring::npos)
            << ToUtf8(f.line);
    }
}

}  // namespace
}  // namespace pelvaro::listen
