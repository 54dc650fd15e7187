#pragma once
// The text of a GUID as the registry holds it.

#include <objbase.h>

#include <string>

namespace pelvaro {

// Braced and upper-case, as StringFromCLSID writes it. Running out of memory throws.
std::string GuidText(REFGUID guid);

}  // namespace pelvaro
