#pragma once
// A sink, the user feedback, the message pump and allocation failures as the receiver tests need
// them.

#include <oaidl.h>

#include <functional>
#include <string>
#include <vector>

struct ReceivedEvent {
    DISPID id;
    std::vector<std::wstring> args;  // in parameter order: Sender, ServCenter, MsgText
    double ms;                       // since the process started
};

// Lives in the test and starts with the test's own reference.
class RecordingSink final : public IDispatch {
  public:
    LONG refs = 1;
    std::vector<ReceivedEvent> events;
    std::function<void(const ReceivedEvent&)> onEvent;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                                     UINT* argError) override;

    std::function<void()> onRelease;
};

// Replaces the beeps and the message box while it lives.
struct RecordedFeedback {
    struct Box {
        std::wstring text;
        std::wstring caption;
        UINT type;
    };
    static inline std::vector<UINT> beeps;
    static inline std::vector<Box> boxes;
    static inline std::function<void()> whileBoxShows;

    RecordedFeedback();
    ~RecordedFeedback();
};

double NowMs();

// Dispatches the thread's messages, so that timer ticks run, until done() or the time is up.
bool PumpUntil(const std::function<bool()>& done, double timeoutMs);
void PumpFor(double ms);

// While on, every allocation through operator new fails with std::bad_alloc.
void FailAllocations(bool on);
