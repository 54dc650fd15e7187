#include "LoadedPelvaro.h"

#include "Pelvaro_h.h"

namespace {
template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
}  // namespace

LoadedPelvaro::LoadedPelvaro(const std::wstring& path) : module_(LoadLibraryW(path.c_str())) {
    if (!module_) return;
    canUnloadNow = Export<DllCanUnloadNowFn>(module_, "DllCanUnloadNow");
    getClassObject = Export<DllGetClassObjectFn>(module_, "DllGetClassObject");
    registerServer = Export<DllRegisterFn>(module_, "DllRegisterServer");
    unregisterServer = Export<DllRegisterFn>(module_, "DllUnregisterServer");
}

LoadedPelvaro::~LoadedPelvaro() {
    if (module_) FreeLibrary(module_);
}

std::string LoadedPelvaro::Path() const {
    char path[1024] = {};
    GetModuleFileNameA(module_, path, sizeof path);
    return path;
}

IClassFactory* LoadedPelvaro::Factory() {
    IClassFactory* factory = nullptr;
    if (getClassObject)
        getClassObject(CLSID_CReadSms, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    return factory;
}

std::wstring LoadedPelvaro::DllBesideTest() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder.erase(folder.find_last_of(L'\\') + 1);
    return folder + L"Pelvaro.dll";
}
