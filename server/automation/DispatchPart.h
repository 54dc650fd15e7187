#pragma once
// What both IDispatch parts share. Late-bound callers reach them without type information: names
// come from a fixed table, type information from the module file. Every Invoke makes the same
// checks before its member, and arguments are brought to the types the members read. Each part
// adds only its members.

#include <oaidl.h>

#include <cstddef>

#include "server/automation/ObjectPart.h"
#include "server/module/TypeInfo.h"

namespace pelvaro {

struct DispatchName {
    const wchar_t* name;
    DISPID id;
};

// Looks the names up in turn, case-insensitively, in table order. The first name not found
// ends the call with DISP_E_UNKNOWNNAME; the ids of the names before it are already written.
HRESULT LookUpDispatchNames(const DispatchName* table, std::size_t tableSize, LPOLESTR* names,
                            UINT count, DISPID* ids) noexcept;

enum class NamedArguments { Ignored, Read };

// The checks every Invoke makes first: DISP_E_BADVARTYPE without DISPPARAMS, DISP_E_BADPARAMCOUNT
// for more than mostArgs arguments, E_INVALIDARG when an array that is counted is missing (that
// of the names only where they are read). On success the result, if asked for, is emptied.
HRESULT CheckInvoke(const DISPPARAMS* params, UINT mostArgs, NamedArguments named,
                    VARIANT* result) noexcept;

// On success *value is the VARIANT to read the target's field from: the argument itself, or the
// VARIANT that a VT_BYREF|VT_VARIANT argument refers to. Plain scalars keep their type and are
// reinterpreted (only the bits beyond their own width are cleared); everything else is converted
// with VariantChangeType and written back in place of the caller's value.
HRESULT CoerceArgument(VARIANT& argument, VARTYPE target, VARIANT** value);

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
    // The interface, the locale and the call flags are not looked at: a property call runs the
    // method.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID, LCID, WORD,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO*,
                                     UINT* puArgErr) noexcept final {
        const HRESULT hr = CheckInvoke(pDispParams, mostArgs_, namedArgs_, pVarResult);
        if (FAILED(hr)) return hr;
        return InvokeMember(dispIdMember, *pDispParams, puArgErr);
    }

  protected:
    template <std::size_t N>
    DispatchPart(IUnknown* controlling, REFGUID typeId, const DispatchName (&names)[N],
                 UINT mostArgs, NamedArguments namedArgs)
        : ObjectPart<Interface>(controlling),
          typeId_(typeId),
          names_(names),
          nameCount_(N),
          mostArgs_(mostArgs),
          namedArgs_(namedArgs) {}
    ~DispatchPart() = default;

    // The member's part of Invoke, after the checks.
    virtual HRESULT InvokeMember(DISPID dispId, DISPPARAMS& params, UINT* puArgErr) noexcept = 0;

  private:
    REFGUID typeId_;
    const DispatchName* const names_;
    const std::size_t nameCount_;
    const UINT mostArgs_;
    const NamedArguments namedArgs_;
};

}  // namespace pelvaro
