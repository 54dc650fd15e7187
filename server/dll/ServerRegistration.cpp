#include "server/dll/ServerRegistration.h"

#include "server/dll/ClassTable.h"
#include "server/dll/TypeLibRegistration.h"
#include "server/module/ModulePath.h"
#include "win/Holders.h"

namespace pelvaro {
namespace {

// The user's own classes, which Windows merges into HKEY_CLASSES_ROOT for that user alone.
constexpr char kUserClasses[] = "Software\\Classes";

// Writes or removes the classes' entries below the scope's root. A user without classes of
// their own has none of ours to remove.
HRESULT RunClassRegistration(RegistrationScope scope, bool doRegister) {
    if (scope == RegistrationScope::Machine) return RegisterClasses(HKEY_CLASSES_ROOT, doRegister);
    UniqueRegKey root;
    const LONG error =
        doRegister
            ? RegCreateKeyExA(HKEY_CURRENT_USER, kUserClasses, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_WRITE, nullptr, root.Put(), nullptr)
            : RegOpenKeyExA(HKEY_CURRENT_USER, kUserClasses, 0, KEY_READ | KEY_WRITE, root.Put());
    if (!doRegister && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
        return S_OK;
    }
    if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    return RegisterClasses(root.Get(), doRegister);
}

}  // namespace

HRESULT RegisterServer(RegistrationScope scope) {
    const HRESULT hr = RunClassRegistration(scope, true);
    if (FAILED(hr)) return hr;
    return RegisterModuleTypeLib(ThisModule(), scope);
}

HRESULT UnregisterServer(RegistrationScope scope) {
    HRESULT hr = RunClassRegistration(scope, false);
    if (FAILED(hr)) return hr;
    hr = UnregisterModuleTypeLib(ThisModule(), scope);
    return FAILED(hr) ? hr : S_OK;
}

}  // namespace pelvaro
