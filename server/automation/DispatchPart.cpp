#include "server/automation/DispatchPart.h"

#include <algorithm>

namespace pelvaro {

namespace {

bool SameName(const wchar_t* a, const wchar_t* b) {
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

// Width in bits of the scalar types that are reinterpreted rather than converted; 0 otherwise.
int ScalarWidth(VARTYPE type) {
    switch (type) {
        case VT_I1:
        case VT_UI1:
            return 8;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 16;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR:
        case VT_HRESULT:
            return 32;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_DATE:
            return 64;
        default:
            return 0;
    }
}

// Any flag bit, VT_VECTOR included, makes a type non-scalar.
bool IsPlainScalar(VARTYPE type) {
    return ScalarWidth(type) != 0;
}

void KeepLowBits(VARIANT& argument) {
    const int width = ScalarWidth(argument.vt);
    if (width < 64) argument.ullVal &= (ULONGLONG{1} << width) - 1;
}

}  // namespace

HRESULT LookUpDispatchNames(const DispatchName* table, std::size_t tableSize, LPOLESTR* names,
                            UINT count, DISPID* ids) noexcept {
    if (count > 0 && (!names || !ids)) return E_POINTER;
    const DispatchName* end = table + tableSize;
    for (UINT i = 0; i < count; ++i) {
        if (!names[i]) return DISP_E_UNKNOWNNAME;
        const DispatchName* found = std::find_if(
            table, end, [&](const DispatchName& entry) { return SameName(entry.name, names[i]); });
        if (found == end) return DISP_E_UNKNOWNNAME;
        ids[i] = found->id;
    }
    return S_OK;
}

HRESULT CheckInvoke(const DISPPARAMS* params, UINT mostArgs, NamedArguments named,
                    VARIANT* result) noexcept {
    if (!params) return DISP_E_BADVARTYPE;
    if (params->cArgs > mostArgs) return DISP_E_BADPARAMCOUNT;
    if ((params->cArgs > 0 && !params->rgvarg) ||
        (named == NamedArguments::Read && params->cNamedArgs > 0 && !params->rgdispidNamedArgs)) {
        return E_INVALIDARG;
    }
    if (result) VariantInit(result);
    return S_OK;
}

HRESULT CoerceArgument(VARIANT& argument, VARTYPE target, VARIANT** value) {
    *value = nullptr;
    if (argument.vt == target) {
        *value = &argument;
        return S_OK;
    }
    VARIANT* source = &argument;
    if (source->vt == (VT_BYREF | VT_VARIANT)) {
        source = source->pvarVal;
        if (!source) return DISP_E_TYPEMISMATCH;
    }
    if ((source->vt & VT_BYREF) && !(target & VT_BYREF)) return DISP_E_TYPEMISMATCH;
    if (IsPlainScalar(source->vt) && IsPlainScalar(target)) {
        KeepLowBits(*source);
        *value = source;
        return S_OK;
    }
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT hr = VariantChangeType(&converted, source, 0, target);
    if (FAILED(hr)) return hr;
    VariantClear(source);
    *source = converted;
    *value = source;
    return S_OK;
}

}  // namespace pelvaro
