#include "tests/server/ReceiverTestSupport.h"

#include <windows.h>

#include <cstdlib>
#include <new>

#include "Pelvaro_h.h"
#include "server/UserFeedback.h"

namespace {

bool failing = false;

}  // namespace

void* operator new(std::size_t size) {
    void* p = failing ? nullptr : std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    return p;
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

void FailAllocations(bool on) {
    failing = on;
}

double NowMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

HRESULT RecordingSink::QueryInterface(REFIID riid, void** ppv) {
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDispatch && riid != DIID__IReadSmsEvents) {
        return E_NOINTERFACE;
    }
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

ULONG RecordingSink::Release() {
    if (onRelease) onRelease();
    return --refs;
}

HRESULT RecordingSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                              EXCEPINFO*, UINT*) {
    // The sink's own bookkeeping is no part of what a test makes fail.
    const bool wasFailing = failing;
    failing = false;
    ReceivedEvent event{id, {}, NowMs()};
    for (UINT i = params->cArgs; i-- > 0;) {
        const VARIANT& arg = params->rgvarg[i];
        event.args.push_back(
            arg.vt == VT_BSTR ? std::wstring(arg.bstrVal, SysStringLen(arg.bstrVal)) : L"?");
    }
    events.push_back(event);
    if (onEvent) onEvent(event);
    failing = wasFailing;
    return S_OK;
}

namespace {

BOOL WINAPI RecordBeep(UINT type) {
    RecordedFeedback::beeps.push_back(type);
    return TRUE;
}

int WINAPI RecordBox(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
    RecordedFeedback::boxes.push_back({text, caption, type});
    if (RecordedFeedback::whileBoxShows) RecordedFeedback::whileBoxShows();
    return IDOK;
}

}  // namespace

RecordedFeedback::RecordedFeedback() {
    beeps.clear();
    boxes.clear();
    whileBoxShows = nullptr;
    PlayMessageBeep = RecordBeep;
    ShowMessageBox = RecordBox;
}

RecordedFeedback::~RecordedFeedback() {
    PlayMessageBeep = ::MessageBeep;
    ShowMessageBox = ::MessageBoxW;
}

bool PumpUntil(const std::function<bool()>& done, double timeoutMs) {
    const double end = NowMs() + timeoutMs;
    while (!done()) {
        const double left = end - NowMs();
        if (left <= 0) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left < 10 ? static_cast<DWORD>(left) : 10,
                                  QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    return true;
}

void PumpFor(double ms) {
    PumpUntil([] { return false; }, ms);
}
