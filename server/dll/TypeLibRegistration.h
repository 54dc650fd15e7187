#pragma once
// Registration of the type library that this module carries.

#include <windows.h>

namespace pelvaro {

// Registers the library from the module's file (or from the .tlb beside it), with the module's
// folder, ending in its separator, as help directory.
HRESULT RegisterModuleTypeLib(HMODULE module);

// Unregisters the library that the module's file carries.
HRESULT UnregisterModuleTypeLib(HMODULE module);

}  // namespace pelvaro
