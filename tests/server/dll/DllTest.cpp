// Pelvaro.dll loaded in-process: the class object, the object's identity and parts, and what
// the module file carries.

#include <olectl.h>
#include <winver.h>

#include <string>
#include <vector>

#include "PelvaroVersion.h"
#include "tests/server/dll/LoadedPelvaro.h"

namespace pelvaro {
namespace {

using test::LoadedPelvaro;
using test::LoadedPelvaroTest;
using test::TypeGuid;

// An outer object that aggregates Pelvaro: it forwards every query but IUnknown to the inner one.
class FakeOuter final : public IUnknown {
  public:
    LONG refs = 1;
    IUnknown* inner = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid != IID_IUnknown) return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
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
    return Query<IUnknown>(object, IID_IUnknown).Get();  // still held by the object's parts
}

using DllTest = LoadedPelvaroTest;

TEST_F(DllTest, OneCachedClassObjectHoldsTheModuleWhileAClientHasIt) {
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(dll.getClassObject(CLSID_NULL, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(dll.getClassObject(CLSID_CReadSms, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(dll.getClassObject(CLSID_CReadSms, IID_IDispatch, &none), E_NOINTERFACE);

    ComPtr<IClassFactory> first = dll.Factory();
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);
    ComPtr<IUnknown> second;
    EXPECT_EQ(dll.getClassObject(CLSID_CReadSms, IID_IUnknown, second.PutVoid()), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(first.Get()), second.Get());
    first.Reset();
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);
    second.Reset();
    EXPECT_EQ(dll.canUnloadNow(), S_OK);

    EXPECT_EQ(dll.Factory()->LockServer(TRUE), S_OK);
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);
    EXPECT_EQ(dll.Factory()->LockServer(FALSE), S_OK);
}

TEST_F(DllTest, CreateInstanceRefusesWhatItCannotAnswerAndLeavesNothingBehind) {
    ComPtr<IClassFactory> factory = dll.Factory();
    FakeOuter outer;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IReadSms, nullptr), E_POINTER);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IReadSms, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    // The object made for an interface it lacks is destroyed again (checked by TearDown).
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPersist, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(outer.refs, 1);
}

TEST_F(DllTest, EveryInterfaceSharesOneIdentityAndOneCount) {
    ComPtr<IReadSms> object = Create();
    IUnknown* identity = Identity(object.Get());
    const IID* map[] = {&IID_IProvideClassInfo2, &IID_IProvideClassInfo,
                        &IID_IReadSms,           &IID_IDispatch,
                        &DIID__IReadSmsEvents,   &IID_IConnectionPointContainer,
                        &IID_ISupportErrorInfo};
    std::vector<IUnknown*> parts;
    for (const IID* iid : map) {
        ComPtr<IUnknown> part = Query<IUnknown>(object.Get(), *iid);
        ASSERT_TRUE(part);
        EXPECT_EQ(Identity(part.Get()), identity) << parts.size();
        parts.push_back(part.Get());
    }
    EXPECT_EQ(parts[0], identity);
    EXPECT_EQ(parts[2], parts[3]);  // IDispatch is the dual IReadSms, not the event dispatch
    EXPECT_NE(parts[4], parts[3]);
    EXPECT_EQ(parts[5]->AddRef(), 2u);
    EXPECT_EQ(parts[4]->AddRef(), 3u);
    EXPECT_EQ(identity->Release(), 2u);
    EXPECT_EQ(object->Release(), 1u);
}

TEST_F(DllTest, AnAggregatedObjectSendsItsPartsCallsToTheOuterObject) {
    FakeOuter outer;
    ASSERT_EQ(
        dll.Factory()->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
        S_OK);
    EXPECT_NE(outer.inner, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(Identity(outer.inner), outer.inner);
    EXPECT_EQ(outer.refs, 1);
    {
        ComPtr<IReadSms> readSms = Query<IReadSms>(outer.inner, IID_IReadSms);
        EXPECT_EQ(outer.refs, 2);
        EXPECT_EQ(Identity(readSms.Get()), static_cast<IUnknown*>(&outer));
        // A connection point finds its container through the outer object too.
        auto container =
            Query<IConnectionPointContainer>(readSms.Get(), IID_IConnectionPointContainer);
        ComPtr<IConnectionPoint> point;
        ASSERT_EQ(container->FindConnectionPoint(DIID__IReadSmsEvents, point.Put()), S_OK);
        ComPtr<IConnectionPointContainer> again;
        EXPECT_EQ(point->GetConnectionPointContainer(again.Put()), S_OK);
        EXPECT_EQ(again.Get(), container.Get());
    }
    EXPECT_EQ(outer.refs, 1);
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);
    EXPECT_EQ(outer.inner->Release(), 0u);
}

TEST_F(DllTest, TheContainerListsAndFindsBothConnectionPoints) {
    ComPtr<IReadSms> object = Create();
    auto container = Query<IConnectionPointContainer>(object.Get(), IID_IConnectionPointContainer);
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.Put()), S_OK);
    IConnectionPoint* listed[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(3, listed, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    const IID* expected[] = {&IID_IPropertyNotifySink, &DIID__IReadSmsEvents};
    for (int i = 0; i < 2; ++i) {
        const ComPtr<IConnectionPoint> fromList = ComPtr<IConnectionPoint>::Attach(listed[i]);
        ComPtr<IConnectionPoint> found;
        EXPECT_EQ(container->FindConnectionPoint(*expected[i], found.Put()), S_OK);
        EXPECT_EQ(found.Get(), fromList.Get());
    }
    IConnectionPoint* none = reinterpret_cast<IConnectionPoint*>(1);
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, &none), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(none, nullptr);
    // A living enumerator holds the module, and the object with it.
    container.Reset();
    object.Reset();
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);
}

TEST_F(DllTest, ClassAndErrorInformation) {
    ComPtr<IReadSms> object = Create();
    auto classInfo = Query<IProvideClassInfo2>(object.Get(), IID_IProvideClassInfo2);
    GUID guid = IID_IReadSms;
    EXPECT_EQ(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &guid), S_OK);
    EXPECT_EQ(guid, DIID__IReadSmsEvents);
    EXPECT_EQ(classInfo->GetGUID(0, &guid), E_FAIL);
    EXPECT_EQ(guid, GUID_NULL);
    auto errors = Query<ISupportErrorInfo>(object.Get(), IID_ISupportErrorInfo);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IReadSms), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(DIID__IReadSmsEvents), S_FALSE);
}

// The name tables of both dispatches are written by hand: they must agree with the type
// library that the module file carries, which is also where GetTypeInfo reads from.
TEST_F(DllTest, BothDispatchesAgreeWithTheTypeLibraryInTheModuleFile) {
    ComPtr<IReadSms> object = Create();
    struct Dispatch {
        const IID* asked;
        const IID* described;
        std::vector<std::vector<const wchar_t*>> calls;
    };
    const Dispatch dispatches[] = {
        {&IID_IDispatch,
         &IID_IReadSms,
         {{L"STARTRECEIVING", L"usedialog"}, {L"close"}, {L"OnNewSms"}}},
        {&DIID__IReadSmsEvents,
         &DIID__IReadSmsEvents,
         {{L"testevent"}, {L"OnNewSms", L"SENDER", L"ServCenter", L"msgtext"}, {L"Close"}}},
    };
    for (const Dispatch& d : dispatches) {
        auto dispatch = Query<IDispatch>(object.Get(), *d.asked);
        UINT count = 7;
        EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
        EXPECT_EQ(count, 1u);
        ComPtr<ITypeInfo> typeInfo;
        ASSERT_EQ(dispatch->GetTypeInfo(0, 0, typeInfo.Put()), S_OK);
        EXPECT_EQ(TypeGuid(typeInfo.Get()), *d.described);
        for (std::vector<const wchar_t*> names : d.calls) {
            const UINT n = static_cast<UINT>(names.size());
            auto* list = const_cast<LPOLESTR*>(names.data());
            std::vector<DISPID> ours(n, -99), theirs(n, -99);
            const HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, list, n, 0, ours.data());
            EXPECT_EQ(hr, typeInfo->GetIDsOfNames(list, n, theirs.data())) << names[0];
            if (hr == S_OK) {
                EXPECT_EQ(ours, theirs) << names[0];
            }
        }
        EXPECT_EQ(dispatch->GetTypeInfo(1, 0, typeInfo.Put()), DISP_E_BADINDEX);
    }
}

// The version resource offers self-registration, carries the project's version in its fixed
// part and its strings, and says which build it is.
TEST_F(DllTest, TheVersionResourceNamesTheVersionAndTheBuild) {
    const std::wstring path = LoadedPelvaro::DllBesideTest();
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_TRUE(
        GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    auto text = [&](const wchar_t* name) -> std::wstring {
        void* value = nullptr;
        UINT length = 0;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040704e4\\") + name;
        if (!VerQueryValueW(block.data(), query.c_str(), &value, &length)) return L"(none)";
        return std::wstring(static_cast<const wchar_t*>(value), length ? length - 1 : 0);
    };
    const std::wstring version = L"" PELVARO_VERSION_TEXT;
    EXPECT_EQ(text(L"OLESelfRegister"), L"");
    EXPECT_EQ(text(L"FileVersion"), version);
    EXPECT_EQ(text(L"ProductVersion"), version);
    EXPECT_NE(text(L"FileDescription").find(sizeof(void*) == 8 ? L"64-Bit" : L"32-Bit"),
              std::wstring::npos)
        << "FileDescription: " << text(L"FileDescription");

    void* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &fixed, &length));
    const auto& info = *static_cast<const VS_FIXEDFILEINFO*>(fixed);
    const std::wstring fields = std::to_wstring(HIWORD(info.dwFileVersionMS)) + L"." +
                                std::to_wstring(LOWORD(info.dwFileVersionMS)) + L"." +
                                std::to_wstring(HIWORD(info.dwFileVersionLS)) + L"." +
                                std::to_wstring(LOWORD(info.dwFileVersionLS));
    EXPECT_EQ(fields, version);
    EXPECT_EQ(info.dwProductVersionMS, info.dwFileVersionMS);
    EXPECT_EQ(info.dwProductVersionLS, info.dwFileVersionLS);
}

}  // namespace
}  // namespace pelvaro
