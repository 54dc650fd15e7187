// The five exports of Pelvaro.dll.

#include <windows.h>

#include "server/dll/ClassTable.h"
#include "server/dll/TypeLibRegistration.h"
#include "server/module/ModuleLock.h"
#include "server/module/ModulePath.h"
#include "server/module/TypeInfo.h"
#include "win/ToHresult.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) noexcept {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            // Every lock is set up by now; one that failed refuses the load.
            return pelvaro::ClassTableReady() && pelvaro::ClassTypeInfoCacheReady();
        case DLL_PROCESS_DETACH:
            pelvaro::ReleaseClassTypeInfo();
            pelvaro::ReleaseClassObjects();
            return TRUE;
        default:
            return TRUE;
    }
}

STDAPI DllCanUnloadNow() noexcept {
    return pelvaro::ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) noexcept {
    try {
        return pelvaro::GetClassObject(rclsid, riid, ppv);
    } catch (...) {
        return pelvaro::ToHresult();
    }
}

STDAPI DllRegisterServer() noexcept {
    try {
        const HRESULT hr = pelvaro::RegisterClasses(true);
        if (FAILED(hr)) return hr;
        return pelvaro::RegisterModuleTypeLib(pelvaro::ThisModule());
    } catch (...) {
        return pelvaro::ToHresult();
    }
}

STDAPI DllUnregisterServer() noexcept {
    try {
        HRESULT hr = pelvaro::RegisterClasses(false);
        if (FAILED(hr)) return hr;
        hr = pelvaro::UnregisterModuleTypeLib(pelvaro::ThisModule());
        return FAILED(hr) ? hr : S_OK;
    } catch (...) {
        return pelvaro::ToHresult();
    }
}

}  // extern "C"
