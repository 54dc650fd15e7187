#include "server/automation/ClassInfoPart.h"

#include "Pelvaro_h.h"
#include "server/module/TypeInfo.h"

namespace pelvaro {

HRESULT ClassInfoPart::GetClassInfo(ITypeInfo** ppTI) noexcept {
    return GetClassTypeInfo(ppTI);
}

HRESULT ClassInfoPart::GetGUID(DWORD dwGuidKind, GUID* pGUID) noexcept {
    if (!pGUID) return E_POINTER;
    if (dwGuidKind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *pGUID = GUID_NULL;
        return E_FAIL;
    }
    *pGUID = DIID__IReadSmsEvents;
    return S_OK;
}

}  // namespace pelvaro
