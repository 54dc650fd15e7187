#pragma once
// Owns one BSTR.

#include <ole2.h>

#include <string>
#include <utility>

namespace pelvaro {

class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(const wchar_t* text) : s_(text ? SysAllocString(text) : nullptr) {}
    explicit Bstr(const std::wstring& text)
        : s_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : s_(std::exchange(other.s_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        std::swap(s_, other.s_);
        return *this;
    }
    ~Bstr() { SysFreeString(s_); }

    // Takes over a BSTR the caller already owns.
    static Bstr Attach(BSTR owned) {
        Bstr b;
        b.s_ = owned;
        return b;
    }

    BSTR Get() const { return s_; }
    BSTR* Put() {
        SysFreeString(std::exchange(s_, nullptr));
        return &s_;
    }
    BSTR Detach() { return std::exchange(s_, nullptr); }
    UINT Length() const { return SysStringLen(s_); }
    std::wstring Str() const { return s_ ? std::wstring(s_, SysStringLen(s_)) : std::wstring(); }

  private:
    BSTR s_ = nullptr;
};

}  // namespace pelvaro
