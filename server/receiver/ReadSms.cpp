#include "server/receiver/ReadSms.h"

#include <chrono>
#include <new>
#include <utility>
#include <vector>

#include "modem/InitCommands.h"
#include "modem/ModemCommands.h"
#include "modem/ModemSetup.h"
#include "modem/SerialPort.h"
#include "modem/StoredPinRecord.h"
#include "server/module/ModuleLock.h"
#include "server/receiver/ReceptionLoop.h"
#include "server/receiver/UserFeedback.h"
#include "win/Bstr.h"
#include "win/ComPtr.h"
#include "win/ErrorInfo.h"
#include "win/Widen.h"

// CReadSms keeps the name it is known by outside; what it is made of lives in the project's
// namespace.
using pelvaro::Bstr;
using pelvaro::LockModule;
using pelvaro::PlayMessageBeep;
using pelvaro::ShowMessageBox;
using pelvaro::StartReception;
using pelvaro::StopReception;
using pelvaro::UnlockModule;

namespace {
// Refs taken and dropped while the object is torn down must not start a second destruction.
constexpr LONG kDestroyingCount = -1073741823;
// How long the fixed dialogue waits for a SIM that was just given its PIN; the set-up says the
// rest.
constexpr auto kSimPatience = std::chrono::seconds(30);

// Why the modem cannot be used, for clients that ask (GetErrorInfo); set only with full modem
// support or Init commands, since without them no method sets error information.
void SetErrorText(const std::string& why) {
    const std::wstring text = pelvaro::Widen(why);
    pelvaro::PublishErrorInfo({IID_IReadSms, L"Pelvaro.ReadSms", text.c_str()});
}

// The client's strings are made from the decoded UTF-16 as it is, with no code page in between.
Bstr BstrFromUtf16(std::u16string_view text) {
    static_assert(sizeof(OLECHAR) == sizeof(char16_t));
    Bstr result = Bstr::Attach(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                                 static_cast<UINT>(text.size())));
    if (!result.Get()) throw std::bad_alloc();
    return result;
}
}  // namespace

// IUnknown is the class-information part in the plain form, and the inner unknown when
// aggregated.
const pelvaro::InterfaceEntry<CReadSms> CReadSms::kComMap[8] = {
    {&IID_IUnknown,
     [](CReadSms& object) -> IUnknown* {
         if (object.controlling_ != &object.inner_) return &object.inner_;
         return &object.classInfo_;
     }},
    {&IID_IProvideClassInfo2, [](CReadSms& object) -> IUnknown* { return &object.classInfo_; }},
    {&IID_IProvideClassInfo, [](CReadSms& object) -> IUnknown* { return &object.classInfo_; }},
    {&IID_IReadSms, [](CReadSms& object) -> IUnknown* { return &object.automation_; }},
    {&IID_IDispatch, [](CReadSms& object) -> IUnknown* { return &object.automation_; }},
    {&DIID__IReadSmsEvents, [](CReadSms& object) -> IUnknown* { return &object.eventSource_; }},
    {&IID_IConnectionPointContainer,
     [](CReadSms& object) -> IUnknown* { return &object.container_; }},
    {&IID_ISupportErrorInfo, [](CReadSms& object) -> IUnknown* { return &object.errorInfo_; }},
};

CReadSms::CReadSms(IUnknown* outer)
    : controlling_(outer ? outer : &inner_), events_(controlling_), propertyNotify_(controlling_) {
    LockModule();
}

HRESULT CReadSms::InternalQueryInterface(REFIID riid, void** ppv) {
    return pelvaro::QueryInterfaceFrom(kComMap, *this, riid, ppv);
}

ULONG CReadSms::InternalAddRef() {
    return static_cast<ULONG>(++refCount_);
}

ULONG CReadSms::InternalRelease() {
    const LONG count = --refCount_;
    if (count != 0) return static_cast<ULONG>(count);
    refCount_ = kDestroyingCount;
    StopReception(this);
    Close();
    UnlockModule();
    propertyNotify_.ReleaseAllSinks();
    events_.ReleaseAllSinks();
    delete this;
    return 0;
}

HRESULT CReadSms::StartReceiving(VARIANT_BOOL UseDialog) {
    HRESULT hr = S_OK;
    if (full_) {
        hr = StartFullyAgain();
    } else if (ModemLink) {
        // A linked object keeps its link and the dialogue it was opened for.
        hr = StartFixed();
    } else {
        const pelvaro::LinkSettings settings =
            pelvaro::ReadLinkSettings(pelvaro::SerialPort::SettingsPath());
        hr = settings.fullModemSupport ? StartFully(settings) : StartFixed();
    }
    if (FAILED(hr)) return hr;
    if (UseDialog) {
        ShowMessageBox(nullptr, L"SMS-Empfang l\u00e4uft.", L"Pelvaro:StartReceiving", MB_OK);
    }
    // The box's message loop raises events, and a sink may have released this object meanwhile.
    return S_OK;
}

HRESULT CReadSms::StartFixed() {
    if (!EnsureModemLink()) return E_FAIL;
    const std::string refusal = pelvaro::InitRefusal(ModemLink->Settings());
    if (!refusal.empty()) {
        SetErrorText(refusal);
        return E_FAIL;
    }
    // Only "PIN=" in the settings adds to the fixed dialogue: the SIM asked first.
    const std::string& pin = ModemLink->Settings().pin;
    if (!pin.empty()) {
        pelvaro::CommandLayer layer(ModemLink->Wire());
        pelvaro::StoredPinRecord pins;
        pelvaro::UnlockSim(layer, pin, pins, kSimPatience);
    }
    for (const pelvaro::FixedSetUpStep& step : pelvaro::kFixedSetUp) {
        if (!ModemLink->SendCommand(step.command, true) && step.mustSucceed) return E_FAIL;
    }
    const HRESULT hr = SendFixedInit();
    if (FAILED(hr)) return hr;
    return StartReception(this) ? S_OK : E_FAIL;
}

// Through the channel, which keeps what the modem delivers meanwhile.
HRESULT CReadSms::SendFixedInit() {
    for (const std::string& command : pelvaro::InitCommands(ModemLink->Settings().init)) {
        if (ModemLink->SendCommand(command, true)) continue;
        SetErrorText("the modem refused AT" + command + " of Init in SerComm.ini (" +
                     ModemLink->LastResult() + ")");
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CReadSms::StartFully(const pelvaro::LinkSettings& settings) {
    pelvaro::ReceptionEvents& events = *this;
    auto reception = std::make_unique<pelvaro::FullReception>(settings, events);
    const pelvaro::SetUpReport report = reception->Start();
    if (report.kind == pelvaro::SetUpReport::Kind::Failed) {
        const bool found = settings.autoPort && report.port > 0;
        SetErrorText(
            report.why +
            (found ? " (COM" + std::to_string(report.port) + ", which Port=auto found)" : ""));
        return E_FAIL;
    }
    full_ = std::move(reception);
    return S_OK;
}

HRESULT CReadSms::StartFullyAgain() {
    if (full_->Stopping()) {
        SetErrorText("StartReceiving was called while reception was stopping");
        return E_FAIL;
    }
    const pelvaro::SetUpReport report = full_->StartAgain();
    if (report.kind != pelvaro::SetUpReport::Kind::Failed) return S_OK;
    SetErrorText(report.why);
    // A set-up that cannot succeed ends the reception: the next start reads the settings afresh.
    if (report.lasting) Close();
    return E_FAIL;
}

HRESULT CReadSms::Close() noexcept {
    // A handler run from here may release the client's last reference: the object lives until
    // this returns. Not while the last Release tears it down, which calls this.
    const pelvaro::ComPtr<IUnknown> alive(refCount_ > 0 ? controlling_ : nullptr);
    if (full_) {
        // Inside a handler: once it has returned.
        if (full_->Raising()) {
            full_->CloseAfterRaise();
        } else {
            StopFully();
        }
        return S_OK;
    }
    // Nothing is dropped: long messages still incomplete go out with their gaps marked.
    std::vector<pelvaro::ClientMessage> incomplete;
    try {
        reader_.Flush(incomplete);
    } catch (const std::bad_alloc&) {
    }
    ModemLink.reset();
    try {
        RaiseMessages(incomplete);
    } catch (const std::bad_alloc&) {
    }
    return S_OK;
}

void CReadSms::StopFully() {
    full_->Stop();
    full_.reset();
}

bool CReadSms::EnsureModemLink() {
    if (ModemLink) return true;
    auto link = std::make_unique<pelvaro::ModemChannel>();
    if (!link->Open()) return false;
    // The settings are read afresh with every opening, and the switch with them.
    if (reader_.FullDecoding() != link->Settings().fullDecoding) {
        std::vector<pelvaro::ClientMessage> incomplete;
        reader_.Flush(incomplete);
        reader_ = pelvaro::MessageReader(link->Settings().fullDecoding);
        RaiseMessages(incomplete);
    }
    ModemLink = std::move(link);
    return true;
}

bool CReadSms::RaiseNewSms(const pelvaro::ClientMessage& message) {
    try {
        const Bstr sender = BstrFromUtf16(message.Sender());
        const Bstr center = BstrFromUtf16(message.Centre());
        const Bstr text = BstrFromUtf16(message.text);
        int heard = 0;
        events_.RaiseOnNewSms(sender.Get(), center.Get(), text.Get(), &heard);
        PlayMessageBeep(MB_OK);
        return heard > 0;
    } catch (const std::bad_alloc&) {
        // Not raised: it stays with the modem for the next start.
        return false;
    }
}

void CReadSms::RaiseLinkLost() {
    PlayMessageBeep(MB_ICONEXCLAMATION);
    events_.RaiseTestEvent();
}

void CReadSms::EventsWaiting() {
    if (!full_) return;
    // A sink may release the object; it lives until this raise is over.
    const pelvaro::ComPtr<IUnknown> alive(controlling_);
    if (!full_->Drain()) StopFully();
}

bool CReadSms::ProcessReceivedText(const pelvaro::Delivery& delivery) {
    try {
        std::vector<pelvaro::ClientMessage> ready;
        if (!reader_.Read(delivery, pelvaro::MessageReader::Clock::now(), ready)) return false;
        RaiseMessages(ready);
        return true;
    } catch (const std::bad_alloc&) {
        // Only this event is lost; the tick goes on with the next delivery.
        return false;
    }
}

void CReadSms::RaiseExpired() {
    std::vector<pelvaro::ClientMessage> expired;
    reader_.Expire(pelvaro::MessageReader::Clock::now(), expired);
    RaiseMessages(expired);
}

void CReadSms::RaiseMessages(const std::vector<pelvaro::ClientMessage>& messages) {
    // A sink may release the object; with more messages to come, it lives until the last is out.
    const pelvaro::ComPtr<IUnknown> alive(messages.size() > 1 ? controlling_ : nullptr);
    for (const pelvaro::ClientMessage& message : messages) {
        const Bstr sender = BstrFromUtf16(message.Sender());
        const Bstr center = BstrFromUtf16(message.Centre());
        const Bstr text = BstrFromUtf16(message.text);
        events_.RaiseOnNewSms(sender.Get(), center.Get(), text.Get());
    }
}
