// From the box to the first message: a SIM that asks for its PIN or is still starting, and a
// modem found among ports that are not one. The simulated modem is COM26; COM20 to COM25, in a
// Wine prefix of their own, are ports that say nothing, answer junk, or answer AT but no SMS
// command.

#include <fstream>
#include <memory>
#include <sstream>

#include "modem/StoredPinRecord.h"
#include "server/module/DispatchIds.h"
#include "tests/server/receiver/ReceiverTesting.h"

namespace pelvaro {
namespace {

using namespace test;

constexpr char kSender[] = "+4915112345678";
constexpr char kFull[] = "Full Modem Support=1\r\n";

std::string FileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// What pelvaro-listen --probe prints, run as a user runs it, in the temporary folder.
std::string Probe() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string build(path, length);
    build = build.substr(0, build.rfind("\\tests\\"));
    const std::string out = TempFolder() + "probe.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    UniqueFileHandle file(CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                      CREATE_ALWAYS, 0, nullptr));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = file.Get();
    PROCESS_INFORMATION process{};
    std::string command = "\"" + build + "\\tools\\pelvaro-listen\\pelvaro-listen.exe\" --probe";
    const std::string folder = TempFolder();
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
        return "pelvaro-listen did not start";
    }
    WaitForSingleObject(process.hProcess, 60000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    file.Reset();
    return FileText(out);
}

// A word of the sim's status: "pin-sent" of "... pin-sent=1 ..." gives "1".
std::string StatusOf(ModemSim& sim, const std::string& name) {
    std::istringstream words(sim.Order("status"));
    for (std::string word; words >> word;) {
        if (word.rfind(name + "=", 0) == 0) return word.substr(name.size() + 1);
    }
    return {};
}

class SetUpTest : public ReceiverFixture {
  protected:
    bool PumpUntilEvents(std::size_t count, DWORD timeoutMs = 8000) {
        return PumpUntil([&] { return sink_.calls.size() >= count; }, timeoutMs);
    }
    void Deliver(std::initializer_list<const char*> texts) {
        for (const char* text : texts) {
            sim_.Order(std::string("deliver text ") + kSender + " " + text);
        }
    }
};

TEST_F(SetUpTest, ThePinUnlocksTheSimInBothDialoguesAndAppearsNowhere) {
    const std::string trace = TempFolder() + "setup-trace.log";
    for (const char* dialogue : {"", kFull}) {
        SCOPED_TRACE(*dialogue ? "full modem support" : "fixed dialogue");
        DeleteFileA(trace.c_str());
        sim_.Reset();
        sim_.Order("sim pin 1234");
        UseSettings(sim_.Port(),
                    std::string(dialogue) + "PIN=1234\r\nTrace File=setup-trace.log\r\n");
        receiver_->Close();
        sink_.calls.clear();
        ASSERT_EQ(receiver_->StartReceiving(VARIANT_FALSE), S_OK) << ErrorDescription();
        // The fixed dialogue's set-up waited for the SIM; the full one goes on in the background.
        EXPECT_TRUE(PumpUntil([&] { return Line().find("AT+CNMI=") != std::string::npos; }, 10000));
        Deliver({"unlocked"});
        EXPECT_TRUE(PumpUntilEvents(1));
        receiver_->Close();
        EXPECT_EQ(StatusOf(sim_, "pin-sent"), "1");
        const std::string traced = FileText(trace);
        EXPECT_NE(traced.find("AT+CPIN=\"****\""), std::string::npos) << traced;
        EXPECT_EQ(traced.find("1234"), std::string::npos) << traced;
    }
}

TEST_F(SetUpTest, ALockedSimFailsTheStartAndSaysWhatToDoAndAWrongPinGoesOnce) {
    const struct {
        const char* sim;
        const char* settings;
        const wchar_t* why;
        const char* pinsSent;  // a PIN the SIM refused is never sent again; a PUK never answered
    } cases[] = {
        {"sim pin 1234", "", L"the SIM asks for its PIN: add PIN=... to SerComm.ini", "0"},
        {"sim pin 1234", "PIN=9999\r\n", L"the SIM refused PIN=... in SerComm.ini", "1"},
        {"sim puk", "PIN=1234\r\n", L"the SIM is locked with its PUK: unlock it in a phone", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sim);
        sim_.Reset();
        sim_.Order(c.sim);
        UseSettings(sim_.Port(), std::string(kFull) + c.settings);
        for (int attempt = 0; attempt < 2; ++attempt) {
            EXPECT_EQ(receiver_->StartReceiving(VARIANT_FALSE), E_FAIL);
            const std::wstring why = ErrorDescription();
            EXPECT_NE(why.find(c.why), std::wstring::npos) << why;
            EXPECT_EQ(why.find(L"9999"), std::wstring::npos) << why;
        }
        EXPECT_FALSE(receiver_->ReceivesFully());
        EXPECT_EQ(StatusOf(sim_, "pin-sent"), c.pinsSent);
    }
}

TEST_F(SetUpTest, ASimBusyAfterPowerOnIsWaitedForAndLosesNothing) {
    sim_.Order("sim busy 12");
    UseSettings(sim_.Port(), kFull);
    const Stopwatch watch;
    ASSERT_EQ(receiver_->StartReceiving(VARIANT_FALSE), S_OK) << ErrorDescription();
    EXPECT_LT(watch.Ms(), 3000) << "the set-up completes in the background";
    Deliver({"b1", "b2", "b3"});
    EXPECT_TRUE(PumpUntilEvents(3, 25000));
    EXPECT_GE(watch.Ms(), 12000);
    receiver_->Close();
    EXPECT_EQ(sink_.calls.size(), 3u);
    const std::string line = Line();
    for (const char* fallback : {"AT+CSMS=0", "AT+CNMI=2,2", "AT+CNMI=1,1"}) {
        EXPECT_EQ(line.find(fallback), std::string::npos) << fallback << " tried: " << line;
    }
}

TEST_F(SetUpTest, PortAutoFindsTheModemBehindPortsThatAreNotOne) {
    // COM20 is held by another program.
    LinkSettings held;
    held.port = 20;
    SerialPort holder;
    holder.UseSettings(held);
    ASSERT_EQ(holder.Open(), 0);
    const std::string path = WriteSettingsFile(
        "setup-auto.ini", "[SerComm Options]\r\nPort=auto\r\n" + std::string(kFull));
    ASSERT_TRUE(SerialPort().ReadSettings(path.c_str()));
    const Stopwatch watch;
    ASSERT_EQ(receiver_->StartReceiving(VARIANT_FALSE), S_OK) << ErrorDescription();
    std::printf("Port=auto found COM%d in %.1f s\n", sim_.Port(), watch.Ms() / 1000);
    EXPECT_TRUE(SerialPort::HeldHere(sim_.Port()));
    Deliver({"found"});
    EXPECT_TRUE(PumpUntilEvents(1));
    receiver_->Close();

    const std::string probe = Probe();
    for (const char* said : {"COM22 does not answer AT", "COM23 answers AT but refuses SMS",
                             "maker: Pelvaro Sim, model: GSM Modem Sim 1", "SIM: +CPIN: READY",
                             "Port=auto would take COM26"}) {
        EXPECT_NE(probe.find(said), std::string::npos) << probe;
    }

    // Unplugged, the modem's port is gone: the start fails and says what each port answered.
    sim_.Order("go-away");
    EXPECT_EQ(receiver_->StartReceiving(VARIANT_FALSE), E_FAIL);
    const std::wstring why = ErrorDescription();
    for (const wchar_t* said :
         {L"COM20 is held by another program", L"COM21 says nothing", L"COM22 does not answer AT",
          L"COM23 answers AT but refuses SMS commands (ERROR)"}) {
        EXPECT_NE(why.find(said), std::wstring::npos) << why;
    }
    sim_.Order("come-back");
}

// The PIN record as the registry holds it; empty when there is none.
std::string PinRecordBytes() {
    std::string bytes(4096, '\0');
    DWORD size = static_cast<DWORD>(bytes.size());
    if (RegGetValueW(HKEY_CURRENT_USER, kUserRecordsKey, kPinRecordValue, RRF_RT_ANY, nullptr,
                     bytes.data(), &size) != ERROR_SUCCESS) {
        return {};
    }
    bytes.resize(size);
    return bytes;
}

TEST_F(SetUpTest, APinIsSentOnceByAllProcessesUntilTheSettingsNameAnother) {
    const std::string out = TempFolder() + "pin-client.txt";
    // A client process with PIN=`pin`: its exit status, 1 when StartReceiving failed.
    const auto client = [&](const char* pin) {
        const std::string settings = WriteSettingsFile(
            "pin-client.ini", SettingsFor(sim_.Port()) + kFull + "PIN=" + pin + "\r\n");
        UniqueHandle process = RunClient("\"" + settings + "\" \"" + out + "\" 2");
        DWORD status = STILL_ACTIVE;
        if (process && WaitForSingleObject(process.Get(), 30000) == WAIT_OBJECT_0) {
            GetExitCodeProcess(process.Get(), &status);
        }
        return status;
    };
    const auto pinsSent = [&] { return Count(Line(), "AT+CPIN="); };
    sim_.Order("sim pin 1234");
    sim_.ClearLog();
    for (int run = 0; run < 3; ++run) {
        EXPECT_EQ(client("9999"), 1u) << "the SIM refused it";
        EXPECT_EQ(StatusOf(sim_, "pin-sent"), "1") << "run " << run;
    }
    const std::string record = PinRecordBytes();
    EXPECT_FALSE(record.empty());
    EXPECT_EQ(record.find("9999"), std::string::npos);

    // Another PIN goes out, and is never answered: it is not sent again either.
    sim_.Order("refuse +CPIN= +XPIN: 1");
    EXPECT_EQ(client("4321"), 0u) << "the SIM may yet take it: reception waits";
    EXPECT_EQ(client("4321"), 1u);
    EXPECT_EQ(pinsSent(), 2) << Line();

    // The right one: the SIM takes it, and the record is gone.
    sim_.Order("accept +CPIN=");
    EXPECT_EQ(client("1234"), 0u);
    EXPECT_EQ(pinsSent(), 3) << Line();
    EXPECT_TRUE(PumpUntil([&] { return StatusOf(sim_, "sim") == "ready"; }, 5000));
    EXPECT_EQ(PinRecordBytes(), "");
}

TEST_F(SetUpTest, ASetUpThatFailsForGoodOnceStartedIsToldOnceAndTheNextStartSaysWhy) {
    const struct {
        const char* name;
        const char* before;  // an order before the start, or null
        const char* settings;
        std::vector<std::string> then;  // orders once started
        const wchar_t* why;
        const char* pinsSent;
    } cases[] = {
        {"a busy SIM that then asks for its PIN",
         "sim busy 30",
         "",
         {"sim pin 1234"},
         L"the SIM asks for its PIN: add PIN=... to SerComm.ini",
         "0"},
        {"a busy SIM that then refuses its PIN",
         "sim busy 30",
         "PIN=9999\r\n",
         {"sim pin 1234"},
         L"the SIM refused PIN=... in SerComm.ini",
         "1"},
        {"PDU mode refused after a restart",
         nullptr,
         "",
         {"refuse +CMGF=0 ERROR", "restart"},
         L"the modem refused PDU mode (AT+CMGF=0: ERROR)",
         "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        receiver_->Close();
        sim_.Reset();
        if (c.before) sim_.Order(c.before);
        UseSettings(sim_.Port(), std::string(kFull) + c.settings);
        sink_.calls.clear();
        ASSERT_EQ(receiver_->StartReceiving(VARIANT_FALSE), S_OK) << ErrorDescription();
        Wait(500);
        for (const std::string& order : c.then) sim_.Order(order);
        EXPECT_TRUE(PumpUntilEvents(1, 10000));
        sim_.ClearLog();
        Wait(2500);  // a SIM not ready is asked again after 2 s
        ASSERT_EQ(sink_.calls.size(), 1u);
        EXPECT_EQ(sink_.calls[0].id, DISPID_TESTEVENT);
        EXPECT_EQ(Line(), "") << "nothing is tried any more";
        EXPECT_FALSE(SerialPort::HeldHere(sim_.Port()));

        EXPECT_EQ(receiver_->StartReceiving(VARIANT_FALSE), E_FAIL);
        const std::wstring why = ErrorDescription();
        EXPECT_NE(why.find(c.why), std::wstring::npos) << why;
        EXPECT_EQ(StatusOf(sim_, "pin-sent"), c.pinsSent);

        // Put right, in the modem or in the settings, which the next start reads afresh.
        sim_.Order("accept all");
        UseSettings(sim_.Port(), std::string(kFull) + "PIN=1234\r\n");
        EXPECT_EQ(receiver_->StartReceiving(VARIANT_FALSE), S_OK) << ErrorDescription();
        EXPECT_TRUE(PumpUntil([&] { return Line().find("AT+CNMI=") != std::string::npos; }, 10000))
            << Line();
    }
}

TEST_F(SetUpTest, PortAutoProbesOtherDevicesOnceAMinuteWhileTheModemIsGoneAndCloseEndsASearch) {
    std::vector<ModemSim> decoys;
    for (int port = 20; port <= 25; ++port) decoys.push_back(ModemSim::Extra(port));
    const auto clearDecoys = [&] {
        for (ModemSim& decoy : decoys) decoy.ClearLog();
    };
    const std::string path = WriteSettingsFile(
        "setup-auto.ini", "[SerComm Options]\r\nPort=auto\r\n" + std::string(kFull));
    ASSERT_TRUE(SerialPort().ReadSettings(path.c_str()));

    // Probed once in the search that found the modem; not again within the minute.
    ASSERT_EQ(receiver_->StartReceiving(VARIANT_FALSE), S_OK) << ErrorDescription();
    sim_.Order("go-away");
    EXPECT_TRUE(PumpUntilEvents(1, 8000)) << "the loss is noticed";
    clearDecoys();
    Wait(25000);  // opened again every 10 s
    for (ModemSim& decoy : decoys) {
        const std::string heard = decoy.Received();
        EXPECT_LE(Count(heard, "AT\r"), 1) << "COM" << decoy.Port() << ": " << heard;
    }
    receiver_->Close();

    // Ports held by another program when the modem was found were never probed: the first search
    // after the loss probes them all, and Close ends it.
    sim_.Order("come-back");
    std::vector<std::unique_ptr<SerialPort>> holders;
    for (int port = 20; port <= 25; ++port) {
        LinkSettings held;
        held.port = port;
        holders.push_back(std::make_unique<SerialPort>());
        holders.back()->UseSettings(held);
        ASSERT_EQ(holders.back()->Open(), 0);
    }
    ASSERT_EQ(receiver_->StartReceiving(VARIANT_FALSE), S_OK) << ErrorDescription();
    holders.clear();
    sim_.Order("go-away");
    clearDecoys();
    EXPECT_TRUE(PumpUntil([&] { return !decoys.front().Received().empty(); }, 20000));
    const Stopwatch watch;
    receiver_->Close();
    std::printf("Close ended a search in %.0f ms\n", watch.Ms());
    EXPECT_LT(watch.Ms(), 1500);
    EXPECT_EQ(decoys.back().Received(), "") << "the search ended before COM25";
    sim_.Order("come-back");
}

}  // namespace
}  // namespace pelvaro
