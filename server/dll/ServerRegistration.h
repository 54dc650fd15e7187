#pragma once
// The whole registration of the module in one scope: its classes, then its type library.

#include <windows.h>

#include "server/dll/RegistrationScope.h"

namespace pelvaro {

// Stops at the first failing step; the type library is registered only after the classes.
HRESULT RegisterServer(RegistrationScope scope);

// Removes the classes, then the type library, whose failure is reported.
HRESULT UnregisterServer(RegistrationScope scope);

}  // namespace pelvaro
