// Every way into the module that runs code of ours answers with an HRESULT when memory runs out,
// and leaves nothing half-made. The module's code is linked into this test, so that its
// allocations can be made to fail.

#include <gtest/gtest.h>
#include <olectl.h>
#include <shlwapi.h>

#include <functional>

#include "Pelvaro_h.h"
#include "server/module/DispatchIds.h"
#include "server/module/ModuleLock.h"
#include "tests/support/FailAllocations.h"
#include "win/ComPtr.h"

namespace pelvaro {
namespace {

using test::FailAllocations;

HRESULT WhileAllocationsFail(const std::function<HRESULT()>& call) {
    FailAllocations fail;
    return call();
}

TEST(OutOfMemory, EveryEntryAnswersWithAnHresult) {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(WhileAllocationsFail([&] {
                  return DllGetClassObject(CLSID_CReadSms, IID_IClassFactory, factory.PutVoid());
              }),
              E_OUTOFMEMORY);
    ASSERT_EQ(DllGetClassObject(CLSID_CReadSms, IID_IClassFactory, factory.PutVoid()), S_OK)
        << "the next call makes the factory";
    ComPtr<IDispatch> object, events;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.PutVoid()), S_OK);
    ASSERT_EQ(object->QueryInterface(DIID__IReadSmsEvents, events.PutVoid()), S_OK);
    const LONG locks = ModuleLockCount();

    VARIANT useDialog{};
    useDialog.vt = VT_BOOL;
    DISPPARAMS start{&useDialog, nullptr, 1, 0};
    IUnknown* created = nullptr;
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    UINT count = 7;
    struct Case {
        const char* name;
        std::function<HRESULT()> call;
        HRESULT expected;
    };
    const Case cases[] = {
        {"DllRegisterServer", [] { return DllRegisterServer(); }, E_OUTOFMEMORY},
        {"DllUnregisterServer", [] { return DllUnregisterServer(); }, E_OUTOFMEMORY},
        {"DllInstall", [] { return DllInstall(TRUE, L"user"); }, E_OUTOFMEMORY},
        {"DllInstall to remove", [] { return DllInstall(FALSE, L"user"); }, E_OUTOFMEMORY},
        {"CreateInstance",
         [&] {
             return factory->CreateInstance(nullptr, IID_IUnknown,
                                            reinterpret_cast<void**>(&created));
         },
         E_OUTOFMEMORY},
        {"StartReceiving",
         [&] {
             return object->Invoke(DISPID_STARTRECEIVING, IID_NULL, 0, DISPATCH_METHOD, &start,
                                   nullptr, nullptr, nullptr);
         },
         E_OUTOFMEMORY},
        {"GetTypeInfo", [&] { return object->GetTypeInfo(0, 0, &info); }, E_OUTOFMEMORY},
        {"GetTypeInfo of the events", [&] { return events->GetTypeInfo(0, 0, &info); },
         E_OUTOFMEMORY},
        // Reports that there is none, as for any other failure to load it.
        {"GetTypeInfoCount", [&] { return object->GetTypeInfoCount(&count); }, S_OK},
    };
    for (const Case& c : cases) EXPECT_EQ(WhileAllocationsFail(c.call), c.expected) << c.name;
    EXPECT_EQ(created, nullptr);
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(ModuleLockCount(), locks);
}

}  // namespace
}  // namespace pelvaro
