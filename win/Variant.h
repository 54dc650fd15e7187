#pragma once
// Owns one VARIANT: initialised on construction, cleared on destruction.

#include <ole2.h>

namespace pelvaro {

class Variant {
  public:
    Variant() { VariantInit(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&v_); }

    VARIANT* Get() { return &v_; }
    const VARIANT* Get() const { return &v_; }
    VARIANT* operator->() { return &v_; }
    void Clear() { VariantClear(&v_); }

  private:
    VARIANT v_;
};

}  // namespace pelvaro
