#pragma once
// Pelvaro.dll loaded as COM loads it, with its exports.

#include <windows.h>

#include <string>

using DllCanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();
using DllGetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using DllRegisterFn = HRESULT(STDAPICALLTYPE*)();

class LoadedPelvaro {
  public:
    // The copy of the DLL that the build puts beside the test.
    LoadedPelvaro() : LoadedPelvaro(DllBesideTest()) {}
    explicit LoadedPelvaro(const std::wstring& path);
    LoadedPelvaro(const LoadedPelvaro&) = delete;
    LoadedPelvaro& operator=(const LoadedPelvaro&) = delete;
    ~LoadedPelvaro();

    bool Loaded() const {
        return module_ && canUnloadNow && getClassObject && registerServer && unregisterServer;
    }
    HMODULE Module() const { return module_; }
    std::string Path() const;

    // The class factory of CReadSms, with the caller's reference.
    IClassFactory* Factory();

    DllCanUnloadNowFn canUnloadNow = nullptr;
    DllGetClassObjectFn getClassObject = nullptr;
    DllRegisterFn registerServer = nullptr;
    DllRegisterFn unregisterServer = nullptr;

    static std::wstring DllBesideTest();

  private:
    HMODULE module_ = nullptr;
};
