#pragma once
// The class factory of the one creatable class. The class table keeps the first reference; a
// reference that anyone else holds keeps the module loaded.

#include <unknwn.h>

#include "win/CriticalSection.h"

namespace pelvaro {

// Makes an object, plain (outer null) or aggregated, and answers riid on it. Destroys the new
// object again when riid cannot be answered. Running out of memory throws.
using InstanceCreator = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

class ClassFactory final : public IClassFactory {
  public:
    // A new factory answering riid, with that one reference, or the code of its QueryInterface,
    // in which case it is destroyed again. Running out of memory throws, or gives E_OUTOFMEMORY
    // when it is the factory's lock that cannot be set up.
    static HRESULT Create(InstanceCreator creator, REFIID riid, void** ppv);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override;
    // The count going from 1 to 2 takes a module lock, and going from 2 to 1 gives it back.
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                             void** ppvObject) noexcept override;
    // Unbalanced calls are not detected.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) noexcept override;

  private:
    explicit ClassFactory(InstanceCreator creator) : creator_(creator) {}
    ~ClassFactory() = default;

    const InstanceCreator creator_;
    // Makes each count change and its module lock one step for callers on other threads.
    CriticalSection lock_;
    volatile LONG count_ = 0;
};

}  // namespace pelvaro
