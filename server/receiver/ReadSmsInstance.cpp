#include "server/receiver/ReadSmsInstance.h"

#include "server/receiver/ReadSms.h"
#include "win/ComPtr.h"

namespace pelvaro {

HRESULT CreateReadSms(IUnknown* outer, REFIID riid, void** ppv) {
    CReadSms* object = new CReadSms(outer);
    // The reference held across the query is what destroys the object when the query fails.
    const ComPtr<IUnknown> inner = ComPtr<IUnknown>::Borrow(object->InnerUnknown());
    return inner->QueryInterface(riid, ppv);
}

}  // namespace pelvaro
