// The five exports of Pelvaro.dll.

#include <windows.h>

#include "server/module/ClassTable.h"
#include "server/module/ClassTypeInfoCache.h"
#include "server/module/ModuleLock.h"
#include "server/module/ModulePath.h"
#include "server/module/TypeLibRegistration.h"

using namespace pelvaro;

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            // Every lock is set up by now; one that failed refuses the load.
            return ClassTableReady() && ClassTypeInfoCacheReady();
        case DLL_PROCESS_DETACH:
            ReleaseClassTypeInfo();
            ReleaseClassObjects();
            return TRUE;
        default:
            return TRUE;
    }
}

STDAPI DllCanUnloadNow() {
    return ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return GetClassObject(rclsid, riid, ppv);
}

STDAPI DllRegisterServer() {
    const HRESULT hr = RegisterClasses(true);
    if (FAILED(hr)) return hr;
    return RegisterModuleTypeLib(ThisModule());
}

STDAPI DllUnregisterServer() {
    HRESULT hr = RegisterClasses(false);
    if (FAILED(hr)) return hr;
    hr = UnregisterModuleTypeLib(ThisModule());
    return FAILED(hr) ? hr : S_OK;
}

}  // extern "C"
