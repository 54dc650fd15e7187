#pragma once
// Owns one BSTR.

#include <ole2.h>

#include <new>
#include <string>

#include "win/UniqueAny.h"

namespace pelvaro {

class Bstr : public UniqueAny<BSTR, &SysFreeString> {
  public:
    Bstr() noexcept = default;
    // A copy of text, null for null. Running out of memory throws std::bad_alloc.
    explicit Bstr(const wchar_t* text) : UniqueAny(text ? SysAllocString(text) : nullptr) {
        if (text && !Get()) throw std::bad_alloc();
    }

    // Takes over a BSTR the caller owns.
    static Bstr Attach(BSTR owned) noexcept {
        Bstr b;
        b.Reset(owned);
        return b;
    }

    std::wstring Str() const {
        return Get() ? std::wstring(Get(), SysStringLen(Get())) : std::wstring();
    }
};

}  // namespace pelvaro
