// The pieces of pelvaro-listen that need no registered object.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Pelvaro_h.h"
#include "server/module/DispatchIds.h"
#include "tests/tools/pelvaro-listen/ListenTesting.h"
#include "tools/pelvaro-listen/Arguments.h"
#include "tools/pelvaro-listen/ConsoleOutput.h"
#include "tools/pelvaro-listen/Diagnosis.h"
#include "tools/pelvaro-listen/EventSink.h"
#include "tools/pelvaro-listen/EventText.h"
#include "tools/pelvaro-listen/TraceFollower.h"

namespace pelvaro::listen {
namespace {

TEST(Arguments, ParsesTheCommandLine) {
    struct Case {
        std::vector<std::string> args;
        bool error;
        std::optional<unsigned> seconds = std::nullopt;
        bool help = false;
        bool trace = false;
    };
    const Case cases[] = {
        {{"--seconds", "20"}, false, 20u},
        {{"--seconds=0"}, false, 0u},
        // The largest count of seconds whose milliseconds fit 32 bits.
        {{"--seconds", "4294967"}, false, 4294967u},
        {{"/?"}, false, std::nullopt, true},
        {{"--trace", "--seconds", "5"}, false, 5u, false, true},
        {{"--seconds", "4294968"}, true},
        {{"--seconds"}, true},
        {{"--seconds", "5s"}, true},
        {{"--port", "3"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const ParsedArguments parsed = ParseArguments(c.args);
        EXPECT_EQ(!parsed.error.empty(), c.error) << parsed.error;
        if (!c.error) {
            EXPECT_EQ(parsed.options.seconds, c.seconds);
            EXPECT_EQ(parsed.options.help, c.help);
            EXPECT_EQ(parsed.options.trace, c.trace);
        }
    }
}

TEST(EventText, IndentsEachLineOfTheMessageAndNeutralisesControls) {
    // Line breaks inside the message text: LF, lone CR, CR LF.
    EXPECT_EQ(
        FormatNewSms(SYSTEMTIME{2024, 1, 0, 5, 3, 4, 5, 6}, L"Text: a\nb\rc\r\n\x1b[2Jx\ty\x7f"),
        L"2024-01-05 03:04:05.006  OnNewSms\r\n    Text: a\r\n    b\r\n    c\r\n"
        L"    \ufffd[2Jx\ty\ufffd\r\n");
}

TEST(EventText, SetsTheTraceLinesStampApartAndNeutralisesWhatIsNotTheTraces) {
    EXPECT_EQ(FormatTracedLine("2026-12-09 14:03:07.123 COM3 <- OK\\r\\n\x1b[2J\xe4"),
              L"2026-12-09 14:03:07.123  COM3 <- OK\\r\\n\ufffd[2J\ufffd\r\n");
}

TEST(TraceFollower, ReadsWhatIsAppendedAcrossARollover) {
    const std::string path = ToUtf8(TestFolder(L"follow")) + "\\pelvaro.log";
    const auto append = [&](const std::string& text) {
        std::ofstream(path, std::ios::binary | std::ios::app) << text;
    };
    DeleteFileA(path.c_str());
    append("before\r\n");
    TraceFollower follower(path);
    append("one\r\ntw");
    EXPECT_EQ(follower.NewLines(), std::vector<std::string>{"one"});
    append("o\r\nthree\r\n");
    // The writer's rollover, while the follower holds the file open.
    ASSERT_TRUE(MoveFileExA(path.c_str(), (path + ".1").c_str(), MOVEFILE_REPLACE_EXISTING));
    append("four, longer than what follows\r\nfi");
    EXPECT_EQ(follower.NewLines(),
              (std::vector<std::string>{"two", "three", "four, longer than what follows"}));
    EXPECT_EQ(follower.NewLines(), std::vector<std::string>{});
    // A rollover whose rename failed: the writer empties the file in place.
    CloseHandle(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, TRUNCATE_EXISTING, 0, nullptr));
    append("-- dropped\r\nfive\r\n");
    EXPECT_EQ(follower.NewLines(), (std::vector<std::string>{"-- dropped", "five"}));
}

TEST(EventSink, PassesMsgTextOnAndRefusesMalformedCalls) {
    auto messages = std::make_shared<std::vector<std::wstring>>();
    int testEvents = 0;
    EventHandlers handlers;
    handlers.onNewSms = [messages](const std::wstring& text) { messages->push_back(text); };
    handlers.onTestEvent = [&testEvents] { ++testEvents; };
    ComPtr<EventSink> sink = EventSink::Create(DIID__IReadSmsEvents, std::move(handlers));
    // rgvarg holds the arguments last first: MsgText, ServCenter, Sender.
    auto call = [&](DISPID id, std::vector<VARTYPE> types, UINT* argErr = nullptr) {
        std::vector<VARIANT> args(types.size());  // null BSTRs, 0 numbers
        for (std::size_t i = 0; i < args.size(); ++i) args[i].vt = types[i];
        if (!args.empty() && args[0].vt == VT_I4) args[0].lVal = 5;
        DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        return sink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, argErr);
    };
    UINT argErr = 99;
    EXPECT_EQ(call(DISPID_ONNEWSMS, {VT_I4, VT_BSTR, VT_BSTR}), S_OK);
    EXPECT_EQ(call(DISPID_ONNEWSMS, {VT_BSTR, VT_BSTR, VT_BSTR}), S_OK);
    EXPECT_EQ(call(DISPID_ONNEWSMS, {VT_BSTR}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(call(DISPID_ONNEWSMS, {VT_UNKNOWN, VT_BSTR, VT_BSTR}, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(call(DISPID_TESTEVENT, {VT_BSTR}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(call(7, {}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(call(DISPID_TESTEVENT, {}), S_OK);
    EXPECT_EQ(*messages, (std::vector<std::wstring>{L"5", L""}));
    EXPECT_EQ(testEvents, 1);

    // The last release frees the sink and its handlers.
    std::weak_ptr<std::vector<std::wstring>> handlersState = messages;
    messages.reset();
    sink.Reset();
    EXPECT_TRUE(handlersState.expired());
}

TEST(Diagnosis, AModuleThatCannotBeLoadedIsNamed) {
    const Failure moved =
        CreateFailure(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), L"C:\\gone\\Pelvaro.dll");
    EXPECT_EQ(moved.exitStatus, kExitNotCreatable);
    EXPECT_NE(moved.line.find(L"registered to C:\\gone\\Pelvaro.dll, which could not be loaded: "
                              L"0x8007007E"),
              std::wstring::npos)
        << ToUtf8(moved.line);
}

TEST(Diagnosis, AStartFailureNamesThePortTheObjectReads) {
    const std::pair<const char*, const wchar_t*> cases[] = {
        {nullptr, L"COM4 could not be opened, or the modem on it did not answer; there is no "},
        {"[sercomm options]\r\nPORT=12\r\n",
         L"COM12 could not be opened, or the modem on it did "
         L"not answer; the port is Port=12 in "},
        {"[Other]\r\nPort=3\r\n", L"has no Port in [SerComm Options], so COM4 is the default"},
    };
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    int n = 0;
    for (const auto& [contents, expected] : cases) {
        // A folder for each: the profile functions may cache a file by its name.
        const std::wstring folder = TestFolder(L"port-" + std::to_wstring(++n));
        if (contents) WriteSettings(folder, contents);
        SetCurrentDirectoryW(folder.c_str());
        const Failure f = StartFailure(E_FAIL, ReadPortSetting());
        EXPECT_EQ(f.exitStatus, kExitNotReceiving);
        EXPECT_NE(f.line.find(expected), std::wstring::npos) << ToUtf8(f.line);
        EXPECT_NE(f.line.find(folder + L"\\SerComm.ini"), std::wstring::npos) << ToUtf8(f.line);
    }
    SetCurrentDirectoryW(previous);
}

}  // namespace
}  // namespace pelvaro::listen
