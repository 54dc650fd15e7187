#include <gtest/gtest.h>

#include "win/ComPtr.h"

namespace pelvaro {
namespace {

struct Counted final : IUnknown {
    LONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

TEST(ComPtr, BorrowingAddsAReferenceAndAttachingTakesOneOver) {
    Counted object;
    {
        const ComPtr<IUnknown> constructed(&object);
        const ComPtr<IUnknown> borrowed = ComPtr<IUnknown>::Borrow(&object);
        object.AddRef();
        const ComPtr<IUnknown> attached = ComPtr<IUnknown>::Attach(&object);
        EXPECT_EQ(object.refs, 4);
        IUnknown* copied = nullptr;
        attached.CopyTo(&copied);
        EXPECT_EQ(object.refs, 5);
        copied->Release();
    }
    EXPECT_EQ(object.refs, 1);
}

}  // namespace
}  // namespace pelvaro
