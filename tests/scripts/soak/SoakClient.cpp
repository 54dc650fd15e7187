// The soak's client: uses the registered Pelvaro.dll through COM as a user's client does
// (CoCreateInstance of Pelvaro.ReadSms, its events, StartReceiving, a message loop), and records
// for scripts/soak each OnNewSms, how long its thread was held outside its handler, and its own
// memory, handles and threads every few seconds. Once the file --hang names exists, the handler
// of the next message takes it away and never returns: the soak kills the process inside it.
//
//   soak_client --record FILE --stop FILE --hang FILE
//
// Its record (ClientRecord) holds: start PID; ready, or start-failed HRESULT; sms HEX (MsgText as
// UTF-8); hang; sample FIGURES; held TOTAL_US LONGEST_US WALL_MS since ready; stopped. It stops,
// closing the object as a client does, once the file --stop names exists.

#include <ocidl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "Pelvaro_h.h"
#include "server/module/ClassNames.h"
#include "tests/scripts/soak/ClientRecord.h"
#include "tests/scripts/soak/ProcessFigures.h"
#include "tools/pelvaro-listen/EventConnection.h"
#include "tools/pelvaro-listen/EventSink.h"
#include "win/ComPtr.h"

namespace pelvaro::soak {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kSamplePeriod = std::chrono::seconds(5);
constexpr DWORD kPumpWaitMs = 50;

struct Options {
    std::string record;
    std::string stop;
    std::string hang;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--record") {
            options.record = argv[i + 1];
        } else if (name == "--stop") {
            options.stop = argv[i + 1];
        } else if (name == "--hang") {
            options.hang = argv[i + 1];
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && !options.record.empty() && !options.stop.empty() &&
           !options.hang.empty();
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string HexCode(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(hr));
    return text;
}

// How long the thread was Pelvaro's: each dispatch, less the handler's own time within it.
struct Held {
    Clock::duration total{};
    Clock::duration longest{};
    Clock::duration inHandler{};

    void Dispatch(const MSG& message) {
        inHandler = {};
        const Clock::time_point start = Clock::now();
        DispatchMessageW(&message);
        const Clock::duration spent = Clock::now() - start - inHandler;
        total += spent;
        longest = std::max(longest, spent);
    }
};

long long Microseconds(Clock::duration duration) {
    return std::chrono::duration_cast<std::chrono::microseconds>(duration).count();
}

int Run(const Options& options, ClientRecord& record) {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(L"" PELVARO_VERSION_INDEPENDENT_PROGID, &clsid);
    ComPtr<IReadSms> object;
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IReadSms, object.PutVoid());
    }
    if (FAILED(hr)) {
        record.Write("start-failed", HexCode(hr) + " creating Pelvaro.ReadSms");
        return 1;
    }

    Held held;
    listen::EventHandlers handlers;
    handlers.onNewSms = [&](const std::wstring& msgText) {
        const Clock::time_point start = Clock::now();
        record.Write("sms", HexUtf8(msgText));
        if (Exists(options.hang) && DeleteFileA(options.hang.c_str())) {
            record.Write("hang");
            Sleep(INFINITE);
        }
        held.inHandler += Clock::now() - start;
    };
    const ComPtr<listen::EventSink> sink =
        listen::EventSink::Create(DIID__IReadSmsEvents, std::move(handlers));
    listen::EventConnection connection;
    hr = connection.Connect(object.Get(), DIID__IReadSmsEvents, sink.Get());
    if (SUCCEEDED(hr)) hr = object->StartReceiving(VARIANT_FALSE);
    if (FAILED(hr)) {
        record.Write("start-failed", HexCode(hr) + " connecting or starting");
        return 1;
    }
    record.Write("ready");

    const Clock::time_point ready = Clock::now();
    Clock::time_point nextSample = ready;
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (now >= nextSample) {
            record.Write("sample", Describe(MeasureThisProcess()));
            record.Write("held", std::to_string(Microseconds(held.total)) + " " +
                                     std::to_string(Microseconds(held.longest)) + " " +
                                     std::to_string(Microseconds(now - ready) / 1000));
            nextSample = now + kSamplePeriod;
        }
        if (Exists(options.stop)) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kPumpWaitMs, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) held.Dispatch(message);
    }
    object->Close();
    record.Write("held", std::to_string(Microseconds(held.total)) + " " +
                             std::to_string(Microseconds(held.longest)) + " " +
                             std::to_string(Microseconds(Clock::now() - ready) / 1000));
    return 0;
}

}  // namespace
}  // namespace pelvaro::soak

int main(int argc, char** argv) {
    pelvaro::soak::Options options;
    if (!pelvaro::soak::ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: soak_client --record FILE --stop FILE --hang FILE\n");
        return 2;
    }
    pelvaro::soak::ClientRecord record;
    if (!record.Open(options.record)) return 2;
    record.Write("start", std::to_string(GetCurrentProcessId()));
    if (FAILED(CoInitialize(nullptr))) return 1;
    const int status = pelvaro::soak::Run(options, record);
    CoUninitialize();
    record.Write("stopped");
    return status;
}
