#pragma once
// Owns one counted reference to a COM interface. As in WIL and WRL, a ComPtr made from a raw
// pointer or copied takes a reference of its own; taking over the caller's reference is spelled
// Attach.

#include <unknwn.h>

#include <utility>

#include "win/UniqueAny.h"

namespace pelvaro {

namespace detail {
template <typename T>
void ReleaseInterface(T* p) noexcept {
    p->Release();
}
}  // namespace detail

template <typename T>
class ComPtr : public UniqueAny<T*, &detail::ReleaseInterface<T>> {
    using Base = UniqueAny<T*, &detail::ReleaseInterface<T>>;

  public:
    ComPtr() noexcept = default;
    explicit ComPtr(T* borrowed) noexcept : Base(AddRefTo(borrowed)) {}
    ComPtr(const ComPtr& other) noexcept : Base(AddRefTo(other.Get())) {}
    ComPtr(ComPtr&&) noexcept = default;
    ComPtr& operator=(ComPtr other) noexcept {
        Base::operator=(std::move(other));
        return *this;
    }

    // Takes over the reference the caller holds.
    static ComPtr Attach(T* owned) noexcept {
        ComPtr p;
        p.Base::Reset(owned);
        return p;
    }
    // Adds a reference of its own, the same as the constructor, for call sites that say so.
    static ComPtr Borrow(T* borrowed) noexcept { return ComPtr(borrowed); }

    // Releases what is held. Taking over another pointer is Attach's, so that no call site
    // attaches without saying so.
    void Reset() noexcept { Base::Reset(); }

    T* operator->() const noexcept { return this->Get(); }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(this->Put()); }

    // Hands the caller a reference of its own, as an out-parameter wants it.
    void CopyTo(T** out) const noexcept { *out = AddRefTo(this->Get()); }

    template <typename U>
    HRESULT As(ComPtr<U>& target) const noexcept {
        return this->Get() ? this->Get()->QueryInterface(__uuidof(U), target.PutVoid()) : E_POINTER;
    }

  private:
    static T* AddRefTo(T* p) noexcept {
        if (p) p->AddRef();
        return p;
    }
};

}  // namespace pelvaro
