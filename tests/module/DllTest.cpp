// Pelvaro.dll loaded in-process: the class object, and the object's identity and parts. Every
// test ends with the module ready to unload.

#include <gtest/gtest.h>
#include <olectl.h>

#include <string>
#include <vector>

#include "LoadedPelvaro.h"
#include "Pelvaro_h.h"
#include "server/ComPtr.h"

namespace {

// An outer object that aggregates Pelvaro: it forwards every query but IUnknown to the inner one.
class FakeOuter final : public IUnknown {
  public:
    LONG refs = 1;
    IUnknown* inner = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

template <typename T>
ComPtr<T> Query(IUnknown* object, REFIID riid) {
    ComPtr<T> result;
    EXPECT_EQ(object->QueryInterface(riid, result.PutVoid()), S_OK);
    return result;
}

IUnknown* Identity(IUnknown* object) {
    IUnknown* identity = nullptr;
    object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    if (identity) identity->Release();
    return identity;
}

class DllTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CoInitialize(nullptr);
        ASSERT_TRUE(dll.Loaded());
        EXPECT_EQ(dll.canUnloadNow(), S_OK);
    }
    void TearDown() override {
        if (dll.Loaded()) {
            EXPECT_EQ(dll.canUnloadNow(), S_OK);
        }
        CoUninitialize();
    }

    ComPtr<IReadSms> Create() {
        ComPtr<IClassFactory> factory(dll.Factory());
        ComPtr<IReadSms> object;
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IReadSms, object.PutVoid()), S_OK);
        return object;
    }

    LoadedPelvaro dll;
};

TEST_F(DllTest, TheClassObjectIsMadeOnceAndHoldsTheModuleWhileAClientHasIt) {
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(dll.getClassObject(CLSID_NULL, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(dll.getClassObject(CLSID_CReadSms, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(dll.getClassObject(CLSID_CReadSms, IID_IDispatch, &none), E_NOINTERFACE);

    ComPtr<IClassFactory> first(dll.Factory());
    ASSERT_TRUE(first);
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);
    ComPtr<IUnknown> second;
    EXPECT_EQ(dll.getClassObject(CLSID_CReadSms, IID_IUnknown, second.PutVoid()), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(first.Get()), second.Get());
    first.Reset();
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);
    second.Reset();
    EXPECT_EQ(dll.canUnloadNow(), S_OK);

    ComPtr<IClassFactory> factory(dll.Factory());
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);
    factory = ComPtr<IClassFactory>(dll.Factory());
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
}

TEST_F(DllTest, CreateInstanceRefusesWhatItCannotAnswer) {
    ComPtr<IClassFactory> factory(dll.Factory());
    FakeOuter outer;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IReadSms, nullptr), E_POINTER);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IReadSms, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    // The object made for an interface it lacks is destroyed again: nothing holds the module
    // once the factory is gone.
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPersist, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(outer.refs, 1);
}

TEST_F(DllTest, EveryInterfaceOfTheMapSharesOneIdentityAndOneCount) {
    ComPtr<IReadSms> object = Create();
    IUnknown* identity = Identity(object.Get());
    struct Row {
        const IID* iid;
        const char* name;
    };
    const Row map[] = {
        {&IID_IProvideClassInfo2, "IProvideClassInfo2"},
        {&IID_IProvideClassInfo, "IProvideClassInfo"},
        {&IID_IReadSms, "IReadSms"},
        {&IID_IDispatch, "IDispatch"},
        {&DIID__IReadSmsEvents, "_IReadSmsEvents"},
        {&IID_IConnectionPointContainer, "IConnectionPointContainer"},
        {&IID_ISupportErrorInfo, "ISupportErrorInfo"},
    };
    std::vector<IUnknown*> parts;
    for (const Row& row : map) {
        ComPtr<IUnknown> part = Query<IUnknown>(object.Get(), *row.iid);
        ASSERT_TRUE(part) << row.name;
        EXPECT_EQ(Identity(part.Get()), identity) << row.name;
        parts.push_back(part.Get());
    }
    // The class-information part is the identity; IDispatch is the dual IReadSms; the object's
    // own event dispatch is another part.
    EXPECT_EQ(parts[0], identity);
    EXPECT_EQ(parts[1], identity);
    EXPECT_EQ(parts[2], parts[3]);
    EXPECT_NE(parts[4], parts[3]);

    for (const IID* missing :
         {&IID_IConnectionPoint, &IID_IPersist, &IID_IClassFactory, &IID_IPropertyNotifySink}) {
        void* none = reinterpret_cast<void*>(1);
        EXPECT_EQ(object->QueryInterface(*missing, &none), E_NOINTERFACE);
        EXPECT_EQ(none, nullptr);
    }
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

    EXPECT_EQ(parts[5]->AddRef(), 2u);
    EXPECT_EQ(parts[4]->AddRef(), 3u);
    EXPECT_EQ(identity->Release(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);
}

TEST_F(DllTest, AnAggregatedObjectSendsItsPartsCallsToTheOuterObject) {
    ComPtr<IClassFactory> factory(dll.Factory());
    FakeOuter outer;
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
              S_OK);
    factory.Reset();
    EXPECT_NE(outer.inner, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(Identity(outer.inner), outer.inner);
    EXPECT_EQ(outer.refs, 1);

    ComPtr<IReadSms> readSms = Query<IReadSms>(outer.inner, IID_IReadSms);
    EXPECT_EQ(outer.refs, 2);
    EXPECT_EQ(Identity(readSms.Get()), static_cast<IUnknown*>(&outer));
    // A connection point finds its container through the outer object too.
    ComPtr<IConnectionPointContainer> container =
        Query<IConnectionPointContainer>(readSms.Get(), IID_IConnectionPointContainer);
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(DIID__IReadSmsEvents, point.Put()), S_OK);
    ComPtr<IConnectionPointContainer> again;
    EXPECT_EQ(point->GetConnectionPointContainer(again.Put()), S_OK);
    EXPECT_EQ(again.Get(), container.Get());
    again.Reset();
    point.Reset();
    container.Reset();
    readSms.Reset();
    EXPECT_EQ(outer.refs, 1);

    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);
    EXPECT_EQ(outer.inner->Release(), 0u);
    outer.inner = nullptr;
}

TEST_F(DllTest, TheContainerListsAndFindsBothConnectionPoints) {
    ComPtr<IReadSms> object = Create();
    ComPtr<IConnectionPointContainer> container =
        Query<IConnectionPointContainer>(object.Get(), IID_IConnectionPointContainer);
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.Put()), S_OK);
    EXPECT_EQ(container->EnumConnectionPoints(nullptr), E_POINTER);
    IConnectionPoint* listed[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(3, listed, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);

    const IID* expected[] = {&IID_IPropertyNotifySink, &DIID__IReadSmsEvents};
    for (int i = 0; i < 2; ++i) {
        IID iid{};
        EXPECT_EQ(listed[i]->GetConnectionInterface(&iid), S_OK);
        EXPECT_EQ(iid, *expected[i]);
        ComPtr<IConnectionPoint> found;
        EXPECT_EQ(container->FindConnectionPoint(*expected[i], found.Put()), S_OK);
        EXPECT_EQ(found.Get(), listed[i]);
        listed[i]->Release();
    }
    IConnectionPoint* none = reinterpret_cast<IConnectionPoint*>(1);
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, &none), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, nullptr), E_POINTER);

    // A living enumerator holds the module, and the object with it.
    container.Reset();
    object.Reset();
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);
    points.Reset();
}

TEST_F(DllTest, ClassInformationAndErrorInformation) {
    ComPtr<IReadSms> object = Create();
    ComPtr<IProvideClassInfo2> classInfo =
        Query<IProvideClassInfo2>(object.Get(), IID_IProvideClassInfo2);
    GUID guid = IID_IReadSms;
    EXPECT_EQ(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &guid), S_OK);
    EXPECT_EQ(guid, DIID__IReadSmsEvents);
    guid = IID_IReadSms;
    EXPECT_EQ(classInfo->GetGUID(0, &guid), E_FAIL);
    EXPECT_EQ(guid, GUID_NULL);
    EXPECT_EQ(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, nullptr), E_POINTER);
    EXPECT_EQ(classInfo->GetClassInfo(nullptr), E_POINTER);

    ComPtr<ISupportErrorInfo> errors =
        Query<ISupportErrorInfo>(object.Get(), IID_ISupportErrorInfo);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IReadSms), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(DIID__IReadSmsEvents), S_FALSE);
}

TEST_F(DllTest, BothDispatchesReadTheirTypeInformationFromTheModuleFile) {
    ComPtr<IReadSms> object = Create();
    struct Dispatch {
        const IID* asked;
        const IID* described;
    };
    for (const Dispatch& d : {Dispatch{&IID_IDispatch, &IID_IReadSms},
                              Dispatch{&DIID__IReadSmsEvents, &DIID__IReadSmsEvents}}) {
        ComPtr<IDispatch> dispatch = Query<IDispatch>(object.Get(), *d.asked);
        UINT count = 7;
        EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
        EXPECT_EQ(count, 1u);
        EXPECT_EQ(dispatch->GetTypeInfoCount(nullptr), E_POINTER);
        ComPtr<ITypeInfo> typeInfo;
        ASSERT_EQ(dispatch->GetTypeInfo(0, 0, typeInfo.Put()), S_OK);
        TYPEATTR* attributes = nullptr;
        ASSERT_EQ(typeInfo->GetTypeAttr(&attributes), S_OK);
        EXPECT_EQ(attributes->guid, *d.described);
        typeInfo->ReleaseTypeAttr(attributes);
        EXPECT_EQ(dispatch->GetTypeInfo(1, 0, typeInfo.Put()), DISP_E_BADINDEX);
    }
}

}  // namespace
