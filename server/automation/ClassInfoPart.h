#pragma once
// The object's class information: its coclass type information and its default source
// interface. In the plain object this part is also the object's IUnknown.

#include <ocidl.h>

#include "server/automation/ObjectPart.h"

namespace pelvaro {

class ClassInfoPart final : public ObjectPart<IProvideClassInfo2> {
  public:
    explicit ClassInfoPart(IUnknown* controlling) : ObjectPart(controlling) {}

    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** ppTI) noexcept override;
    HRESULT STDMETHODCALLTYPE GetGUID(DWORD dwGuidKind, GUID* pGUID) noexcept override;
};

}  // namespace pelvaro
