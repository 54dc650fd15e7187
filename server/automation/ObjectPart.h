#pragma once
// One part of a COM object: it answers some of the object's interfaces, and its QueryInterface,
// AddRef and Release go to the object's controlling unknown (the outer object's when aggregated).

#include <unknwn.h>

namespace pelvaro {

template <typename Interface>
class ObjectPart : public Interface {
  public:
    ObjectPart(const ObjectPart&) = delete;
    ObjectPart& operator=(const ObjectPart&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override {
        return controlling_->QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return controlling_->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return controlling_->Release(); }

  protected:
    // Not referenced: the part lives inside the object it points to, or inside the object that
    // aggregates it.
    explicit ObjectPart(IUnknown* controlling) : controlling_(controlling) {}
    ~ObjectPart() = default;

  private:
    IUnknown* const controlling_;
};

}  // namespace pelvaro
