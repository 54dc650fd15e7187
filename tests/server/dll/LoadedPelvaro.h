#pragma once
// Pelvaro.dll loaded as COM loads it, and the fixture the tests of the loaded module share.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "Pelvaro_h.h"
#include "win/ComPtr.h"

namespace pelvaro::test {

class LoadedPelvaro {
  public:
    using Entry = HRESULT(STDAPICALLTYPE*)();
    using InstallEntry = HRESULT(STDAPICALLTYPE*)(BOOL, PCWSTR);

    explicit LoadedPelvaro(const std::wstring& path = DllBesideTest())
        : module_(LoadLibraryW(path.c_str())),
          canUnloadNow(Export<Entry>("DllCanUnloadNow")),
          getClassObject(Export<decltype(getClassObject)>("DllGetClassObject")),
          registerServer(Export<Entry>("DllRegisterServer")),
          unregisterServer(Export<Entry>("DllUnregisterServer")),
          install(Export<InstallEntry>("DllInstall")) {}
    LoadedPelvaro(const LoadedPelvaro&) = delete;
    LoadedPelvaro& operator=(const LoadedPelvaro&) = delete;
    ~LoadedPelvaro() {
        if (module_) FreeLibrary(module_);
    }

    bool Loaded() const {
        return canUnloadNow && getClassObject && registerServer && unregisterServer && install;
    }
    std::string Path() const {
        char path[MAX_PATH + 1] = {};
        GetModuleFileNameA(module_, path, sizeof path);
        return path;
    }
    ComPtr<IClassFactory> Factory() const {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(getClassObject(CLSID_CReadSms, IID_IClassFactory, factory.PutVoid()), S_OK);
        return factory;
    }

    // The copy the build puts beside the test, where a client would find it.
    static std::wstring DllBesideTest() {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring folder(path);
        return folder.erase(folder.find_last_of(L'\\') + 1) + L"Pelvaro.dll";
    }

  private:
    template <typename Fn>
    Fn Export(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

    HMODULE module_;

  public:
    const Entry canUnloadNow;
    HRESULT(STDAPICALLTYPE* const getClassObject)(REFCLSID, REFIID, void**);
    const Entry registerServer;
    const Entry unregisterServer;
    const InstallEntry install;
};

// Every test starts and ends with nothing holding the module.
class LoadedPelvaroTest : public ::testing::Test {
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
        ComPtr<IReadSms> object;
        EXPECT_EQ(dll.Factory()->CreateInstance(nullptr, IID_IReadSms, object.PutVoid()), S_OK);
        return object;
    }

    LoadedPelvaro dll;
};

inline GUID TypeGuid(ITypeInfo* info) {
    TYPEATTR* attributes = nullptr;
    if (!info || FAILED(info->GetTypeAttr(&attributes))) return GUID_NULL;
    const GUID guid = attributes->guid;
    info->ReleaseTypeAttr(attributes);
    return guid;
}

}  // namespace pelvaro::test
