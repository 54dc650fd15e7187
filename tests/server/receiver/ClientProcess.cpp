// A client in a process of its own, for the test that kills one inside its handler: it receives
// with the settings file it is given and appends the text of each message to OUT, a line each.
// With HANG_ON n, its handler never returns from the nth message, and says so in OUT.hanging.
//
//   server_receiver_client SETTINGS OUT SECONDS [HANG_ON]

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "modem/SerialPort.h"
#include "server/receiver/ReadSms.h"
#include "tests/server/ServerTestSupport.h"
#include "win/ComPtr.h"

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    pelvaro::SerialPort().ReadSettings(argv[1]);
    const std::string out = argv[2];
    const ULONGLONG end = GetTickCount64() + 1000ull * std::strtoul(argv[3], nullptr, 10);
    const int hangOn = argc > 4 ? std::atoi(argv[4]) : 0;

    pelvaro::test::TestSink sink;
    int received = 0;
    sink.onInvoke = [&] {
        const std::wstring& summary = sink.calls.back().args.back();
        const std::wstring text = summary.substr(summary.rfind(L"Text: ") + 6);
        std::ofstream(out, std::ios::app) << std::string(text.begin(), text.end()) << "\n";
        if (++received == hangOn) {
            std::ofstream(out + ".hanging") << "hanging\n";
            Sleep(INFINITE);
        }
    };
    CReadSms* receiver = new CReadSms();
    pelvaro::ComPtr<IUnknown> object;
    receiver->InnerUnknown()->QueryInterface(IID_IUnknown, object.PutVoid());
    DWORD cookie = 0;
    receiver->Events().Advise(sink.Unknown(), &cookie);
    if (receiver->StartReceiving(VARIANT_FALSE) != S_OK) return 1;
    while (GetTickCount64() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    receiver->Close();
    receiver->Events().Unadvise(cookie);
    return 0;
}
