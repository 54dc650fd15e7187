#pragma once
// Arguments for IDispatch::Invoke, built in rgvarg order (the last parameter first).

#include <windows.h>

#include <string>
#include <vector>

// Owns the VARIANTs of one call and clears them afterwards.
class Arguments {
  public:
    Arguments() = default;
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;
    ~Arguments() {
        for (VARIANT& v : values_) VariantClear(&v);
    }

    Arguments& Bool(VARIANT_BOOL value) {
        Add(VT_BOOL).boolVal = value;
        return *this;
    }
    Arguments& I4(LONG value) {
        Add(VT_I4).lVal = value;
        return *this;
    }
    Arguments& R8(double value) {
        Add(VT_R8).dblVal = value;
        return *this;
    }
    Arguments& Text(const wchar_t* value) {
        Add(VT_BSTR).bstrVal = SysAllocString(value);
        return *this;
    }
    // A type with whatever 8 value bytes the caller chooses.
    Arguments& Raw(VARTYPE type, ULONGLONG bits = 0) {
        Add(type).ullVal = bits;
        return *this;
    }
    Arguments& ByRef(VARTYPE type, void* target) {
        Add(static_cast<VARTYPE>(VT_BYREF | type)).byref = target;
        return *this;
    }

    VARIANT& operator[](std::size_t i) { return values_[i]; }
    UINT Count() const { return static_cast<UINT>(values_.size()); }

    // Named arguments, when given, name the first rgvarg entries in order.
    DISPPARAMS Params(std::vector<DISPID>* named = nullptr) {
        DISPPARAMS params{};
        params.cArgs = Count();
        params.rgvarg = values_.empty() ? nullptr : values_.data();
        if (named && !named->empty()) {
            params.cNamedArgs = static_cast<UINT>(named->size());
            params.rgdispidNamedArgs = named->data();
        }
        return params;
    }

  private:
    VARIANT& Add(VARTYPE type) {
        values_.emplace_back();
        VariantInit(&values_.back());
        values_.back().vt = type;
        return values_.back();
    }

    // Reserved up front so that references into it stay valid while arguments are added.
    std::vector<VARIANT> values_ = Reserved();
    static std::vector<VARIANT> Reserved() {
        std::vector<VARIANT> v;
        v.reserve(8);
        return v;
    }
};

inline std::wstring ToText(BSTR text) {
    return text ? std::wstring(text, SysStringLen(text)) : L"";
}
