#include "server/receiver/ReadSms.h"

#include <new>
#include <utility>
#include <vector>

#include "modem/ModemCommands.h"
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
using pelvaro::ShowMessageBox;
using pelvaro::StartReception;
using pelvaro::StopReception;
using pelvaro::UnlockModule;

namespace {
// Refs taken and dropped while the object is torn down must not start a second destruction.
constexpr LONG kDestroyingCount = -1073741823;

const pelvaro::ModemDialogue kFixedDialogue;

// Why the modem cannot be used, for clients that ask (GetErrorInfo); set only with full modem
// support, since without it no method sets error information.
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
    if (!EnsureModemLink()) {
        if (full_.on) SetErrorText("COM" + std::to_string(full_.port) + " could not be opened");
        return E_FAIL;
    }
    if (full_.on) {
        std::string why;
        if (!pelvaro::NegotiateSetup(*ModemLink, full_.dialogue, why)) {
            SetErrorText(why);
            return E_FAIL;
        }
        full_.setUpPending = false;
        full_.storagePending = true;
        full_.reconnecting = false;
    } else {
        // A modem left in text mode delivers no PDU. One that lacks the command goes on as before.
        ModemLink->SendCommand(pelvaro::kPduMode, true);
        if (!ModemLink->SendCommand(pelvaro::kPhase2Plus, true)) return E_FAIL;
        if (!ModemLink->SendCommand(pelvaro::kDirectRouting, true)) return E_FAIL;
    }
    if (!StartReception(this)) return E_FAIL;
    if (UseDialog) {
        ShowMessageBox(nullptr, L"SMS-Empfang l\u00e4uft.", L"Pelvaro:StartReceiving", MB_OK);
    }
    // The box's message loop runs ticks, and a sink may have released this object meanwhile.
    return S_OK;
}

HRESULT CReadSms::Close() noexcept {
    // Nothing is dropped: long messages still incomplete go out with their gaps marked.
    std::vector<pelvaro::ClientMessage> incomplete;
    try {
        reader_.Flush(incomplete);
    } catch (const std::bad_alloc&) {
    }
    ModemLink.reset();
    full_.reconnecting = false;
    full_.setUpPending = false;
    full_.storagePending = false;
    try {
        RaiseMessages(incomplete);
    } catch (const std::bad_alloc&) {
    }
    return S_OK;
}

const pelvaro::ModemDialogue& CReadSms::Dialogue() const {
    return full_.on ? full_.dialogue : kFixedDialogue;
}

bool CReadSms::EnsureModemLink() {
    if (ModemLink) return true;
    auto link = std::make_unique<pelvaro::ModemChannel>();
    const bool opened = link->Open();
    // The settings are read afresh with every opening, and the switch with them.
    full_.on = link->Settings().fullModemSupport;
    full_.port = link->Settings().port;
    if (!opened) return false;
    if (reader_.FullDecoding() != link->Settings().fullDecoding) {
        std::vector<pelvaro::ClientMessage> incomplete;
        reader_.Flush(incomplete);
        reader_ = pelvaro::MessageReader(link->Settings().fullDecoding);
        RaiseMessages(incomplete);
    }
    ModemLink = std::move(link);
    return true;
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
