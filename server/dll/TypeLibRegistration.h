#pragma once
// Registration of the type library that this module carries.

#include <windows.h>

#include "server/dll/RegistrationScope.h"

namespace pelvaro {

// Registers the library from the module's file (or from the .tlb beside it), with the module's
// folder, ending in its separator, as help directory; for the user alone through
// RegisterTypeLibForUser.
HRESULT RegisterModuleTypeLib(HMODULE module, RegistrationScope scope);

// Unregisters the library that the module's file carries, from the scope it was registered in.
HRESULT UnregisterModuleTypeLib(HMODULE module, RegistrationScope scope);

}  // namespace pelvaro
