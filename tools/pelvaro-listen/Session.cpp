#include "tools/pelvaro-listen/Session.h"

#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "Pelvaro_h.h"
#include "server/module/ClassNames.h"
#include "tools/pelvaro-listen/Diagnosis.h"
#include "tools/pelvaro-listen/EventConnection.h"
#include "tools/pelvaro-listen/EventSink.h"
#include "tools/pelvaro-listen/EventText.h"
#include "tools/pelvaro-listen/TraceFollower.h"
#include "win/Bstr.h"
#include "win/ComPtr.h"
#include "win/Holders.h"
#include "win/Widen.h"

namespace pelvaro::listen {

namespace {

constexpr wchar_t kProgId[] = L"" PELVARO_VERSION_INDEPENDENT_PROGID;
constexpr wchar_t kPrefix[] = L"pelvaro-listen: ";
// How often the trace file is looked at, when it is followed.
constexpr DWORD kTracePollMs = 100;

class ComApartment {
  public:
    ComApartment() : hr_(CoInitialize(nullptr)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    HRESULT Result() const { return hr_; }

  private:
    HRESULT hr_;
};

// Late-bound call of a method, as a script would make it.
HRESULT CallByName(IDispatch* object, const wchar_t* name, VARIANTARG* args, UINT count) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS params{args, nullptr, count, 0};
    Variant result;
    ExcepInfo exception;
    UINT argErr = 0;
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.Get(),
                        exception.Get(), &argErr);
    if (hr == DISP_E_EXCEPTION) {
        if (exception->pfnDeferredFillIn) exception->pfnDeferredFillIn(exception.Get());
        hr = FAILED(exception->scode) ? exception->scode : E_FAIL;
    }
    return hr;
}

// Stops reception when the session ends, however it ends.
class CloseOnExit {
  public:
    explicit CloseOnExit(IDispatch* object) : object_(object) {}
    CloseOnExit(const CloseOnExit&) = delete;
    CloseOnExit& operator=(const CloseOnExit&) = delete;
    ~CloseOnExit() { CallByName(object_, L"Close", nullptr, 0); }

  private:
    IDispatch* object_;
};

HRESULT FindEventInterface(IDispatch* object, IID& eventIid) {
    ComPtr<IProvideClassInfo2> classInfo;
    HRESULT hr = object->QueryInterface(IID_IProvideClassInfo2, classInfo.PutVoid());
    if (FAILED(hr)) return hr;
    return classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &eventIid);
}

// The object's timer ticks arrive as messages on this thread, so it must keep pumping. `poll`,
// when given, runs every kTracePollMs at least; `dispatched` after the messages waiting were
// dispatched, and with them every handler they ran.
void PumpMessages(std::optional<unsigned> seconds, const std::function<void()>& poll,
                  const std::function<void()>& dispatched) {
    const ULONGLONG deadline = GetTickCount64() + (seconds ? *seconds * 1000ULL : 0);
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        dispatched();
        DWORD wait = INFINITE;
        if (seconds) {
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) return;
            wait = static_cast<DWORD>(deadline - now);
        }
        if (poll) {
            poll();
            wait = std::min(wait, kTracePollMs);
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

// What the object left as error information on this thread, if anything.
std::wstring ErrorDescription() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK) return {};
    Bstr description;
    info->GetDescription(description.Put());
    return description.Str();
}

int Report(ConsoleOutput& err, const Failure& failure) {
    err.Write(kPrefix + failure.line + L"\r\n");
    return failure.exitStatus;
}

std::wstring Duration(std::optional<unsigned> seconds) {
    return seconds ? L"for " + std::to_wstring(*seconds) + L" s" : L"until Ctrl+C";
}

}  // namespace

int RunSession(const Options& options, ConsoleOutput& out, ConsoleOutput& err) {
    // Started before anything else, and at the file's end: the dialogue of this session only.
    std::optional<TraceFollower> trace;
    if (options.trace) {
        const PortSetting setting = ReadPortSetting();
        if (setting.traceFile.empty()) return Report(err, NoTraceFile(setting));
        trace.emplace(setting.traceFile);
    }
    // Before each event too, so that the lines that brought it come first.
    const std::function<void()> printTrace = [&] {
        if (!trace) return;
        for (const std::string& line : trace->NewLines()) out.Write(FormatTracedLine(line));
    };

    ComApartment apartment;
    if (FAILED(apartment.Result())) {
        return Report(err, StepFailure(L"CoInitialize", apartment.Result()));
    }

    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(kProgId, &clsid);
    if (FAILED(hr)) return Report(err, CreateFailure(hr, {}));
    ComPtr<IDispatch> object;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid());
    if (FAILED(hr)) return Report(err, CreateFailure(hr, RegisteredServerPath(clsid)));

    IID eventIid{};
    hr = FindEventInterface(object.Get(), eventIid);
    if (FAILED(hr)) {
        return Report(err, StepFailure(L"Asking Pelvaro.ReadSms for its event interface "
                                       L"(IProvideClassInfo2::GetGUID)",
                                       hr));
    }
    // The sink knows the DISPIDs of this one interface only.
    if (eventIid != DIID__IReadSmsEvents) {
        return Report(err, {kExitFailure,
                            L"Pelvaro.ReadSms names an event interface other than "
                            L"_IReadSmsEvents: is Pelvaro.dll another version?"});
    }

    unsigned received = 0;
    EventHandlers handlers;
    handlers.onNewSms = [&](const std::wstring& msgText) {
        printTrace();
        SYSTEMTIME now;
        GetLocalTime(&now);
        out.Write(FormatNewSms(now, msgText));
        ++received;
    };
    // Started again once the handler has returned: inside it, StartReceiving would run in the
    // middle of the raise.
    bool startAgain = false;
    handlers.onTestEvent = [&] {
        printTrace();
        SYSTEMTIME now;
        GetLocalTime(&now);
        out.Write(FormatTestEvent(now));
        startAgain = true;
    };
    const ComPtr<EventSink> sink = EventSink::Create(eventIid, std::move(handlers));
    EventConnection connection;
    hr = connection.Connect(object.Get(), eventIid, sink.Get());
    if (FAILED(hr)) {
        return Report(err, StepFailure(L"Connecting to the events of Pelvaro.ReadSms "
                                       L"(FindConnectionPoint, Advise)",
                                       hr));
    }

    const CloseOnExit closer(object.Get());
    const auto startReceiving = [&] {
        Variant useDialog;
        V_VT(useDialog.Get()) = VT_BOOL;
        V_BOOL(useDialog.Get()) = VARIANT_FALSE;
        return CallByName(object.Get(), L"StartReceiving", useDialog.Get(), 1);
    };
    hr = startReceiving();
    const PortSetting setting = ReadPortSetting();
    if (FAILED(hr)) {
        std::wstring reason = ErrorDescription();
        if (reason.empty() && hr == E_FAIL) {
            // The object keeps the port after a refused set-up; ask the modem once it is free.
            CallByName(object.Get(), L"Close", nullptr, 0);
            reason = RefusedSetUp();
        }
        printTrace();
        return Report(err, StartFailure(hr, setting, reason));
    }

    err.Write(kPrefix + std::wstring(L"receiving SMS on COM") +
              std::to_wstring(PortInUse(setting)) + L" " + Duration(options.seconds) + L" (" +
              Modes(setting.link) + L")" +
              (trace ? L"; the dialogue from " + Widen(setting.traceFile) : L"") + L"\r\n");
    // After a TestEvent the object may be reconnecting, or may have given up for good: a start
    // that fails says why, and listening goes on.
    const auto startAgainIfDue = [&] {
        if (!startAgain) return;
        startAgain = false;
        const HRESULT again = startReceiving();
        if (FAILED(again)) {
            printTrace();
            Report(err, StartFailure(again, ReadPortSetting(), ErrorDescription()));
        }
    };
    PumpMessages(options.seconds, trace ? printTrace : std::function<void()>(), startAgainIfDue);
    printTrace();
    err.Write(kPrefix + std::wstring(L"stopped after ") + std::to_wstring(received) +
              (received == 1 ? L" message" : L" messages") + L"\r\n");
    return kExitOk;
}

}  // namespace pelvaro::listen
