#pragma once
// An IDispatch part that late-bound callers reach without type information: names come from
// a fixed table, type information from the module file. Each part adds only its Invoke.

#include <cstddef>

#include "server/automation/DispatchNames.h"
#include "server/automation/ObjectPart.h"
#include "server/module/OwnTypeInfo.h"

namespace pelvaro {

template <typename Interface>
class DispatchPart : public ObjectPart<Interface> {
  public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) noexcept override {
        return OwnTypeInfoCount(typeId_, pctinfo);
    }
    // The locale is ignored: the type library has one.
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID,
                                          ITypeInfo** ppTInfo) noexcept override {
        return OwnTypeInfoAt(typeId_, iTInfo, ppTInfo);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID,
                                            DISPID* rgDispId) noexcept override {
        return LookUpDispatchNames(names_, nameCount_, rgszNames, cNames, rgDispId);
    }

  protected:
    template <std::size_t N>
    DispatchPart(IUnknown* controlling, REFGUID typeId, const DispatchName (&names)[N])
        : ObjectPart<Interface>(controlling), typeId_(typeId), names_(names), nameCount_(N) {}
    ~DispatchPart() = default;

  private:
    REFGUID typeId_;
    const DispatchName* const names_;
    const std::size_t nameCount_;
};

}  // namespace pelvaro
