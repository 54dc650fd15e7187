#include "server/receiver/ReadSmsInstance.h"

#include <new>

#include "server/receiver/ReadSms.h"

namespace pelvaro {

HRESULT CreateReadSms(IUnknown* outer, REFIID riid, void** ppv) {
    CReadSms* object = new (std::nothrow) CReadSms(outer);
    if (!object) return E_OUTOFMEMORY;
    // The reference held across the query is what destroys the object when the query fails.
    IUnknown* inner = object->InnerUnknown();
    inner->AddRef();
    const HRESULT hr = inner->QueryInterface(riid, ppv);
    inner->Release();
    return hr;
}

}  // namespace pelvaro
