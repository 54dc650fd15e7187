// The exports of Pelvaro.dll: the five of an in-process server, and DllInstall for a registration
// of the current user's own.

#include <windows.h>

#include "server/dll/ClassTable.h"
#include "server/dll/ServerRegistration.h"
#include "server/module/ModuleLock.h"
#include "server/module/TypeInfo.h"
#include "win/ToHresult.h"

namespace {

// regsvr32 /n /i:user passes "user"; DllInstall knows no other command line.
constexpr wchar_t kPerUserCommandLine[] = L"user";

bool IsPerUser(PCWSTR commandLine) {
    return commandLine &&
           CompareStringOrdinal(commandLine, -1, kPerUserCommandLine, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

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
        return pelvaro::RegisterServer(pelvaro::RegistrationScope::Machine);
    } catch (...) {
        return pelvaro::ToHresult();
    }
}

STDAPI DllUnregisterServer() noexcept {
    try {
        return pelvaro::UnregisterServer(pelvaro::RegistrationScope::Machine);
    } catch (...) {
        return pelvaro::ToHresult();
    }
}

// regsvr32 /n /i:user registers for the current user alone, regsvr32 /u /n /i:user removes that.
STDAPI DllInstall(BOOL install, PCWSTR commandLine) noexcept {
    try {
        if (!IsPerUser(commandLine)) return E_INVALIDARG;
        const auto scope = pelvaro::RegistrationScope::User;
        return install ? pelvaro::RegisterServer(scope) : pelvaro::UnregisterServer(scope);
    } catch (...) {
        return pelvaro::ToHresult();
    }
}

}  // extern "C"
