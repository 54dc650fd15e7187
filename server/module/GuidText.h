#pragma once
// The text of a GUID as the registry holds it.

#include <objbase.h>

#include <new>
#include <string>

#include "win/Holders.h"

namespace pelvaro {

// Braced and upper-case, as StringFromCLSID writes it. Running out of memory throws.
inline std::string GuidText(REFGUID guid) {
    UniqueCoTaskMem<wchar_t> wide;
    // Memory is all it can run out of.
    if (FAILED(StringFromCLSID(guid, wide.Put()))) throw std::bad_alloc();
    // A GUID's text is plain ASCII.
    std::string text;
    for (const wchar_t* c = wide.Get(); *c; ++c) text += static_cast<char>(*c);
    return text;
}

}  // namespace pelvaro
