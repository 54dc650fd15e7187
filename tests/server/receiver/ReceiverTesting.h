#pragma once
// What the receiver's tests share: the user feedback recorded, the thread's messages pumped, and
// an object with a recording sink on a simulated modem.

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "modem/SerialPort.h"
#include "server/module/ModuleLock.h"
#include "server/receiver/ReadSms.h"
#include "server/receiver/ReceptionLoop.h"
#include "server/receiver/UserFeedback.h"
#include "tests/modem/ModemTesting.h"
#include "tests/server/ServerTestSupport.h"
#include "tests/support/ModemSim.h"
#include "tests/support/SiblingProcess.h"
#include "win/Bstr.h"
#include "win/ComPtr.h"
#include "win/Holders.h"
#include "win/UserRecords.h"

namespace pelvaro::test {

inline std::vector<UINT> beeps;
struct Box {
    std::wstring text, caption;
    UINT type;
};
inline std::vector<Box> boxes;
inline std::function<void()> whileBoxShows;

inline BOOL WINAPI RecordBeep(UINT type) {
    beeps.push_back(type);
    return TRUE;
}
inline int WINAPI RecordBox(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
    boxes.push_back({text, caption, type});
    if (whileBoxShows) whileBoxShows();
    return IDOK;
}

// Dispatches the thread's messages, so that timer ticks run, until done() or the time is up.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() >= end) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    return true;
}

// Lets `ms` pass with the thread's messages dispatched.
inline void Wait(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

inline ComPtr<IUnknown> Create(CReadSms** receiver) {
    *receiver = new CReadSms();
    ComPtr<IUnknown> object;
    (*receiver)->InnerUnknown()->QueryInterface(IID_IUnknown, object.PutVoid());
    return object;
}

inline void Tick() {
    ReceptionTick(nullptr, WM_TIMER, ReceptionTimer, 0);
}

// What the receiver left as error information on this thread, empty when nothing.
inline std::wstring ErrorDescription() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK) return L"";
    Bstr description;
    info->GetDescription(description.Put());
    return description.Str();
}

inline int Count(const std::string& text, const std::string& what) {
    int count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

// server_receiver_client, beside this program, in a process of its own.
inline UniqueHandle RunClient(const std::string& arguments) {
    return test::StartSibling("server_receiver_client.exe", arguments);
}

// Makes the settings file name the sim's port, with `more` lines of settings. Each test program
// has a port, and a file, of its own: they run side by side in one Wine prefix.
inline void UseSettings(int port, const std::string& more = "") {
    const std::string path =
        WriteSettingsFile("receiver-" + std::to_string(port) + ".ini", SettingsFor(port) + more);
    ASSERT_TRUE(SerialPort().ReadSettings(path.c_str()));
}

// A receiver with a recording sink on the simulated modem; each test leaves the module's lock
// count, the sink's references and the reception loop as it found them.
class ReceiverFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        // What an earlier test heard, or the PINs it sent, is none of this one's.
        RegDeleteTreeW(HKEY_CURRENT_USER, kUserRecordsKey);
        beeps.clear();
        boxes.clear();
        whileBoxShows = nullptr;
        PlayMessageBeep = RecordBeep;
        ShowMessageBox = RecordBox;
        sim_.Reset();
        UseSettings(sim_.Port());
        locks_ = ModuleLockCount();
        CreateAndAdvise();
    }

    void TearDown() override {
        object_.Reset();
        PlayMessageBeep = ::MessageBeep;
        ShowMessageBox = ::MessageBoxW;
        EXPECT_EQ(ActiveReceiver, nullptr);
        EXPECT_EQ(ReceptionTimer, 0u);
        EXPECT_EQ(ModuleLockCount(), locks_);
        EXPECT_EQ(sink_.refs, 1);
    }

    void CreateAndAdvise() {
        object_ = Create(&receiver_);
        ASSERT_EQ(receiver_->Events().Advise(sink_.Unknown(), &cookie_), S_OK);
    }

    // Starts reception afresh with nothing on the line and nothing recorded.
    void Start() {
        receiver_->Close();
        ASSERT_EQ(receiver_->StartReceiving(VARIANT_FALSE), S_OK);
        sim_.ClearLog();
        sink_.calls.clear();
        beeps.clear();
    }

    std::string Line() { return sim_.Received(); }

    // The two ways a client ends reception: Close, and releasing its last reference. A test that
    // goes through both makes the object anew when the second finds it gone.
    struct Stop {
        const char* name;
        std::function<void()> act;
    };
    std::vector<Stop> WaysToStop() {
        return {{"Close", [this] { receiver_->Close(); }},
                {"last Release", [this] { object_.Reset(); }}};
    }

    ModemSim sim_;
    TestSink sink_;
    CReadSms* receiver_ = nullptr;
    ComPtr<IUnknown> object_;
    DWORD cookie_ = 0;
    LONG locks_ = 0;
};

}  // namespace pelvaro::test
