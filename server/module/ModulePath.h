#pragma once
// Where this module's own file lies.

#include <windows.h>

#include <string>

namespace pelvaro {

// The module that this code is linked into: Pelvaro.dll in the product.
HMODULE ThisModule() noexcept;

// The full path of the module's file, read into a buffer of MAX_PATH characters. A path that
// fills the buffer was cut short and gives HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER); any
// other failure gives the platform's last error.
HRESULT GetModulePath(HMODULE module, std::string& path);

}  // namespace pelvaro
