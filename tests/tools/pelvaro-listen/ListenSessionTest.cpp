// pelvaro-listen run as a user runs it: against Pelvaro.dll registered with regsvr32 in
// this test's own Wine prefix, and the simulated modem.

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "tests/support/ModemSim.h"
#include "tests/support/WinePath.h"
#include "tests/tools/pelvaro-listen/ListenTesting.h"
#include "tools/pelvaro-listen/ConsoleOutput.h"
#include "win/Holders.h"
#include "win/Widen.h"

namespace pelvaro {
namespace {

std::wstring WindowsPath(const std::string& unixPath) {
    return Widen(test::WinePath(unixPath));
}

// A program started in `folder`, its standard output and error going to files there.
class Child {
  public:
    Child(std::wstring commandLine, const std::wstring& folder)
        : outPath_(folder + L"\\out.txt"), errPath_(folder + L"\\err.txt") {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        auto output = [&](const std::wstring& path) {
            return UniqueFileHandle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                                &inherit, CREATE_ALWAYS, 0, nullptr));
        };
        UniqueFileHandle out = output(outPath_), err = output(errPath_);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out.Get();
        startup.hStdError = err.Get();
        PROCESS_INFORMATION info{};
        EXPECT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                   folder.c_str(), &startup, &info));
        const UniqueHandle thread(info.hThread);
        process_.Reset(info.hProcess);
    }

    std::string Out() const { return ReadAll(outPath_); }
    std::string Err() const { return ReadAll(errPath_); }
    DWORD Wait() {
        DWORD exitCode = STILL_ACTIVE;
        if (WaitForSingleObject(process_.Get(), 30000) != WAIT_OBJECT_0) {
            TerminateProcess(process_.Get(), 99);
        }
        GetExitCodeProcess(process_.Get(), &exitCode);
        return exitCode;
    }

  private:
    static std::string ReadAll(const std::wstring& file) {
        std::ostringstream text;
        text << std::ifstream(std::filesystem::path(file), std::ios::binary).rdbuf();
        return text.str();
    }

    std::wstring outPath_, errPath_;
    UniqueHandle process_;
};

DWORD Regsvr32(const std::wstring& options) {
    return Child(L"regsvr32.exe " + options + L" \"" + WindowsPath(PELVARO_DLL) + L"\"",
                 TestFolder(L"regsvr32"))
        .Wait();
}

Child Listen(const std::wstring& folder, const std::wstring& arguments) {
    return Child(L"\"" + WindowsPath(LISTEN_EXE) + L"\" " + arguments, folder);
}

class ListenSession : public ::testing::Test {
  protected:
    void TearDown() override { Regsvr32(L"/u /s"); }
};

TEST_F(ListenSession, TellsHowToRegisterAnUnregisteredClass) {
    Regsvr32(L"/u /s");
    Child listener = Listen(TestFolder(L"unregistered"), L"--seconds 1");
    EXPECT_EQ(listener.Wait(), 3u);
    const std::string err = listener.Err();
    EXPECT_EQ(
        err.rfind("pelvaro-listen: Pelvaro.ReadSms is not registered: run regsvr32 Pelvaro.dll", 0),
        0u)
        << err;
    EXPECT_EQ(err.find("\r\n"), err.size() - 2) << "one line: " << err;
    EXPECT_EQ(listener.Out(), "");
}

TEST_F(ListenSession, PrintsEachDeliveryAndEndsWhenTheTimeIsUp) {
    ASSERT_EQ(Regsvr32(L"/s"), 0u) << "regsvr32 Pelvaro.dll failed";
    test::ModemSim sim;
    const std::wstring folder = TestFolder(L"delivery");
    WriteSettings(folder, "[SerComm Options]\r\nPort=" + std::to_string(sim.Port()) + "\r\n");
    Child listener = Listen(folder, L"--seconds 5");
    for (int i = 0; i < 150 && listener.Err().find("receiving SMS") == std::string::npos; ++i) {
        Sleep(100);
    }
    ASSERT_NE(listener.Err().find("receiving SMS on COM" + std::to_string(sim.Port()) +
                                  " for 5 s (Full Decoding off, Full Modem Support off)"),
              std::string::npos)
        << listener.Err();

    sim.DeliverText("+4915112345678",
                    "Gr\xc3\xbc\xc3\x9f"
                    "e {\xe2\x82\xac} [ok]");
    EXPECT_EQ(listener.Wait(), 0u) << listener.Err();
    // UTF-8, as the output is a file.
    const std::regex expected(
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  OnNewSms\r\n"
        "    Service Center No: 491700000000\r\n"
        "    Sender No: 4915112345678\r\n"
        "    Text: Gr\xc3\xbc\xc3\x9f"
        "e \\{\xe2\x82\xac\\} \\[ok\\]\r\n");
    EXPECT_TRUE(std::regex_match(listener.Out(), expected)) << listener.Out();
    EXPECT_NE(listener.Err().find("pelvaro-listen: stopped after 1 message\r\n"), std::string::npos)
        << listener.Err();
}

TEST_F(ListenSession, SaysWhichSetUpCommandTheModemRefused) {
    ASSERT_EQ(Regsvr32(L"/s"), 0u) << "regsvr32 Pelvaro.dll failed";
    test::ModemSim sim;
    const struct {
        const char* name;
        std::vector<std::string> orders;
        const char* settings;
        std::string expected;
    } cases[] = {
        {"without full modem support, the key is named",
         {"refuse +CSMS=1"},
         "",
         "the modem refused AT+CSMS=1 (+CMS ERROR: 500) (COM3); \"Full Modem Support=1\" in "},
        {"with it, the object's own account",
         {"refuse +CNMI", "offer +CPMS (),(),()"},
         "Full Modem Support=1\r\n",
         "AT+CNMI=1,2 was refused (+CMS ERROR: 500)"},
    };
    for (const auto& c : cases) {
        sim.Reset();
        for (const std::string& order : c.orders) sim.Order(order);
        const std::wstring folder = TestFolder(Widen(c.name).substr(0, 12));
        WriteSettings(folder, "[SerComm Options]\r\nPort=" + std::to_string(sim.Port()) + "\r\n" +
                                  c.settings);
        Child listener = Listen(folder, L"--seconds 1");
        EXPECT_EQ(listener.Wait(), 4u) << c.name;
        EXPECT_NE(listener.Err().find(c.expected), std::string::npos) << c.name << listener.Err();
    }
}

TEST_F(ListenSession, AfterATestEventStartsAgainSaysWhyThatFailedAndListensOn) {
    ASSERT_EQ(Regsvr32(L"/s"), 0u) << "regsvr32 Pelvaro.dll failed";
    test::ModemSim sim;
    sim.Reset();
    const std::wstring folder = TestFolder(L"given-up");
    WriteSettings(folder, "[SerComm Options]\r\nPort=" + std::to_string(sim.Port()) +
                              "\r\nFull Modem Support=1\r\n");
    Child listener = Listen(folder, L"--seconds 6");
    for (int i = 0; i < 150 && listener.Err().find("receiving SMS") == std::string::npos; ++i) {
        Sleep(100);
    }
    // After a restart the module refuses PDU mode: the set-up can never succeed.
    sim.Order("refuse +CMGF=0 ERROR");
    sim.Order("restart");
    EXPECT_EQ(listener.Wait(), 0u) << listener.Err();
    const std::string out = listener.Out();
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_NE(out.find("  TestEvent"), std::string::npos) << out;
    EXPECT_NE(listener.Err().find(
                  "\r\npelvaro-listen: StartReceiving failed: the modem refused PDU "
                  "mode (AT+CMGF=0: ERROR), the only one Pelvaro reads (COM" +
                  std::to_string(sim.Port()) + ")\r\npelvaro-listen: stopped after 0 messages\r\n"),
              std::string::npos)
        << listener.Err();
}

TEST_F(ListenSession, TracePrintsTheDialogueInTimeOrderWithTheMessages) {
    ASSERT_EQ(Regsvr32(L"/s"), 0u) << "regsvr32 Pelvaro.dll failed";
    test::ModemSim sim;
    sim.Reset();
    const std::wstring folder = TestFolder(L"trace");
    WriteSettings(folder, "[SerComm Options]\r\nPort=" + std::to_string(sim.Port()) +
                              "\r\nTrace File=pelvaro.log\r\n");
    Child listener = Listen(folder, L"--trace --seconds 4");
    for (int i = 0; i < 150 && listener.Err().find("receiving SMS") == std::string::npos; ++i) {
        Sleep(100);
    }
    sim.DeliverText("+4915112345678", "Hello");
    EXPECT_EQ(listener.Wait(), 0u) << listener.Err();

    const std::string out = listener.Out();
    const std::string port = "  COM" + std::to_string(sim.Port());
    // The set-up, the delivery that brought the message, the message, its acknowledgement.
    std::size_t at = 0;
    for (const std::string& expected :
         {port + " -> AT+CNMI=1,2\\r\\n", port + " <- \\r\\n+CMT: ", std::string("  OnNewSms\r\n"),
          port + " -> AT+CNMA\\r\\n"}) {
        const std::size_t found = out.find(expected, at);
        ASSERT_NE(found, std::string::npos) << expected << " after " << at << ":\n" << out;
        at = found;
    }
}

TEST(ListenTrace, WithoutATraceFileIsAUsageErrorAndNothingElse) {
    const std::wstring folder = TestFolder(L"no-trace-file");
    WriteSettings(folder, "[SerComm Options]\r\nPort=3\r\n");
    Child listener = Listen(folder, L"--trace --seconds 1");
    EXPECT_EQ(listener.Wait(), 2u);
    EXPECT_EQ(listener.Err(),
              "pelvaro-listen: --trace follows the trace file that SerComm.ini names: add Trace "
              "File=pelvaro.log to [SerComm Options] of " +
                  listen::ToUtf8(folder) + "\\SerComm.ini\r\n");
    EXPECT_EQ(listener.Out(), "");
}

}  // namespace
}  // namespace pelvaro
