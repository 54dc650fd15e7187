#pragma once
// The one place where an exception becomes the HRESULT of a COM boundary.
//
// Out of memory, everywhere in Pelvaro, is std::bad_alloc: from new, from a standard container,
// or thrown where a platform allocation came back empty. Code inside does not catch it. Every
// export and every COM method is noexcept; those whose bodies can throw end in
//     catch (...) { return ToHresult(); }
// so that the caller gets E_OUTOFMEMORY, after the holders have given back what the call had
// taken. Any other exception would be a fault of ours, and gives E_UNEXPECTED. Only where a
// caller is promised an answer of its own does the code that knows it catch std::bad_alloc:
// Advise answers CONNECT_E_ADVISELIMIT, GetTypeInfoCount reports no type information, and a
// reception tick drops the one event.

#include <winerror.h>

#include <new>

namespace pelvaro {

// Only inside a catch block.
inline HRESULT ToHresult() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace pelvaro
