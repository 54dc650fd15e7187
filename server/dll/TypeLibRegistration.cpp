#include "server/dll/TypeLibRegistration.h"

#include <oleauto.h>

#include <string>

#include "server/module/ModulePath.h"
#include "win/ComPtr.h"
#include "win/Widen.h"

// Windows has them since Vista; mingw-w64's oleauto.h does not declare them.
extern "C" {
WINOLEAUTAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* fullPath, OLECHAR* helpDir);
WINOLEAUTAPI UnRegisterTypeLibForUser(REFGUID libid, WORD major, WORD minor, LCID lcid,
                                      SYSKIND syskind);
}

namespace pelvaro {

namespace {

// The module's file, or failing that the .tlb of the same name. `loadedFrom` is the path that
// loaded.
HRESULT LoadModuleTypeLib(HMODULE module, ComPtr<ITypeLib>& library, std::string& loadedFrom) {
    HRESULT hr = GetModulePath(module, loadedFrom);
    if (FAILED(hr)) return hr;
    hr = LoadTypeLib(Widen(loadedFrom).c_str(), library.Put());
    if (SUCCEEDED(hr)) return hr;

    const std::size_t separator = loadedFrom.find_last_of("\\/:");
    const std::size_t dot = loadedFrom.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (separator == std::string::npos || dot > separator);
    std::string tlb = loadedFrom.substr(0, hasExtension ? dot : std::string::npos) + ".tlb";
    if (tlb.size() >= MAX_PATH) return E_FAIL;
    hr = LoadTypeLib(Widen(tlb).c_str(), library.Put());
    if (SUCCEEDED(hr)) loadedFrom = tlb;
    return hr;
}

// The path up to and including its last "\", "/" or ":".
std::string FolderOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\/:");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

}  // namespace

HRESULT RegisterModuleTypeLib(HMODULE module, RegistrationScope scope) {
    ComPtr<ITypeLib> library;
    std::string path;
    const HRESULT hr = LoadModuleTypeLib(module, library, path);
    if (FAILED(hr)) return hr;
    std::wstring fullPath = Widen(path);
    std::wstring helpDir = Widen(FolderOf(path));
    auto* const registration =
        scope == RegistrationScope::User ? RegisterTypeLibForUser : RegisterTypeLib;
    return registration(library.Get(), &fullPath[0], helpDir.empty() ? nullptr : &helpDir[0]);
}

HRESULT UnregisterModuleTypeLib(HMODULE module, RegistrationScope scope) {
    ComPtr<ITypeLib> library;
    std::string path;
    HRESULT hr = LoadModuleTypeLib(module, library, path);
    if (FAILED(hr)) return hr;
    TLIBATTR* held = nullptr;
    hr = library->GetLibAttr(&held);
    if (FAILED(hr)) return hr;
    // Copied and given back at once, to the library that handed it out.
    const TLIBATTR attributes = *held;
    library->ReleaseTLibAttr(held);
    // The library's own system kind: SYS_WIN32 for the product, SYS_WIN64 where it is built for
    // 64-bit Windows, as RegisterTypeLib recorded it.
    auto* const removal =
        scope == RegistrationScope::User ? UnRegisterTypeLibForUser : UnRegisterTypeLib;
    return removal(attributes.guid, attributes.wMajorVerNum, attributes.wMinorVerNum,
                   attributes.lcid, attributes.syskind);
}

}  // namespace pelvaro
