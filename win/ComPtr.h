#pragma once
// Owns one counted reference to a COM interface; a copy takes a reference of its own.

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
    using Base::Base;
    ComPtr() noexcept = default;
    ComPtr(const ComPtr& other) noexcept : Base(AddRefTo(other.Get())) {}
    ComPtr(ComPtr&&) noexcept = default;
    ComPtr& operator=(ComPtr other) noexcept {
        Base::operator=(std::move(other));
        return *this;
    }

    // Adds a reference of its own to a borrowed pointer.
    static ComPtr Borrow(T* borrowed) noexcept { return ComPtr(AddRefTo(borrowed)); }

    T* operator->() const noexcept { return this->Get(); }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(this->Put()); }

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
