// pelvaro-listen run as a user runs it: against Pelvaro.dll registered with regsvr32 in
// this test's own Wine prefix, and the simulated modem.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "modem/UniqueHandle.h"
#include "tests/support/ModemSim.h"

namespace {

// Wine shows the Linux root as drive Z:.
std::wstring WindowsPath(const std::string& unixPath) {
    std::wstring path = L"Z:";
    for (char c : unixPath) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return path;
}

std::string ReadAll(const std::wstring& file) {
    std::ifstream in(std::filesystem::path(file), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Outcome {
    DWORD exitCode = STILL_ACTIVE;
    std::string out;
    std::string err;
};

// A program started in `folder`, its standard output and error going to files there.
class Child {
  public:
    Child(const std::wstring& commandLine, const std::wstring& folder)
        : outPath_(folder + L"\\out.txt"), errPath_(folder + L"\\err.txt") {
        UniqueHandle out = CreateOutput(outPath_);
        UniqueHandle err = CreateOutput(errPath_);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = out.Get();
        startup.hStdError = err.Get();
        std::wstring line = commandLine;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                            folder.c_str(), &startup, &info)) {
            ADD_FAILURE() << "cannot start the program, error " << GetLastError();
            return;
        }
        CloseHandle(info.hThread);
        process_.Reset(info.hProcess);
    }

    std::string ErrSoFar() const { return ReadAll(errPath_); }

    Outcome Wait(DWORD timeoutMs) {
        Outcome outcome;
        if (!process_.Valid()) return outcome;
        if (WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0) {
            TerminateProcess(process_.Get(), 99);
            ADD_FAILURE() << "the program did not end within " << timeoutMs << " ms";
        }
        GetExitCodeProcess(process_.Get(), &outcome.exitCode);
        outcome.out = ReadAll(outPath_);
        outcome.err = ReadAll(errPath_);
        return outcome;
    }

  private:
    static UniqueHandle CreateOutput(const std::wstring& path) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        return UniqueHandle(CreateFileW(path.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    }

    std::wstring outPath_;
    std::wstring errPath_;
    UniqueHandle process_;
};

DWORD Regsvr32(const std::wstring& options) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    Child regsvr32(L"regsvr32.exe " + options + L" \"" + WindowsPath(PELVARO_DLL) + L"\"", folder);
    return regsvr32.Wait(30000).exitCode;
}

bool StartsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

class ListenSession : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = temp + std::wstring(L"listen-") + std::to_wstring(GetCurrentProcessId()) + L"-" +
                  std::wstring(test->name(), test->name() + std::strlen(test->name()));
        CreateDirectoryW(folder_.c_str(), nullptr);
    }

    void WriteSettings(int port) {
        std::ofstream(std::filesystem::path(folder_ + L"\\SerComm.ini"), std::ios::binary)
            << "[SerComm Options]\r\nPort=" << port << "\r\n";
    }

    Child Listen(const std::wstring& arguments) {
        return Child(L"\"" + WindowsPath(LISTEN_EXE) + L"\" " + arguments, folder_);
    }

    std::wstring folder_;
};

class RegisteredListenSession : public ListenSession {
  protected:
    void SetUp() override {
        ListenSession::SetUp();
        ASSERT_EQ(Regsvr32(L"/s"), 0u) << "regsvr32 Pelvaro.dll failed";
    }
    void TearDown() override { EXPECT_EQ(Regsvr32(L"/u /s"), 0u); }
};

TEST_F(ListenSession, TellsHowToRegisterAnUnregisteredClass) {
    Regsvr32(L"/u /s");
    WriteSettings(3);
    const Outcome run = Listen(L"--seconds 1").Wait(30000);
    EXPECT_EQ(run.exitCode, 3u);
    EXPECT_TRUE(StartsWith(run.err,
                           "pelvaro-listen: Pelvaro.ReadSms is not registered: run regsvr32 "
                           "Pelvaro.dll"))
        << run.err;
    EXPECT_EQ(run.err.find("\r\n"), run.err.size() - 2) << "one line: " << run.err;
    EXPECT_EQ(run.out, "");
}

TEST_F(RegisteredListenSession, NamesThePortWhenNoModemAnswers) {
    // Nothing is linked as COM9 in this prefix.
    WriteSettings(9);
    const Outcome run = Listen(L"--seconds 1").Wait(30000);
    EXPECT_EQ(run.exitCode, 4u);
    EXPECT_TRUE(StartsWith(run.err,
                           "pelvaro-listen: StartReceiving failed: COM9 could not be opened, or "
                           "the modem on it did not answer; the port is Port=9 in "))
        << run.err;
    EXPECT_NE(run.err.find("SerComm.ini\r\n"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
}

TEST_F(RegisteredListenSession, PrintsEachDeliveryAndEndsWhenTheTimeIsUp) {
    pelvaro::test::ModemSim sim;
    WriteSettings(sim.Port());
    Child listener = Listen(L"--seconds 5");
    for (int i = 0; i < 150 && listener.ErrSoFar().find("receiving SMS") == std::string::npos;
         ++i) {
        Sleep(100);
    }
    ASSERT_NE(listener.ErrSoFar().find("receiving SMS on COM" + std::to_string(sim.Port())),
              std::string::npos)
        << listener.ErrSoFar();

    sim.DeliverText("+4915112345678",
                    "Gr\xc3\xbc\xc3\x9f"
                    "e {\xe2\x82\xac} [ok]");
    const Outcome run = listener.Wait(30000);

    EXPECT_EQ(run.exitCode, 0u) << run.err;
    // UTF-8, as the output is a file.
    const std::regex expected(
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  OnNewSms\r\n"
        "    Service Center No: 491700000000\r\n"
        "    Sender No: 4915112345678\r\n"
        "    Text: Gr\xc3\xbc\xc3\x9f"
        "e \\{\xe2\x82\xac\\} \\[ok\\]\r\n");
    EXPECT_TRUE(std::regex_match(run.out, expected)) << run.out;
    EXPECT_NE(run.err.find("pelvaro-listen: stopped after 1 message\r\n"), std::string::npos)
        << run.err;
    // 0 seconds: start receiving, then stop at once.
    const Outcome again = Listen(L"--seconds 0").Wait(30000);
    EXPECT_EQ(again.exitCode, 0u) << again.err;
}

}  // namespace
