#pragma once
// The name tables that GetIDsOfNames answers from, without type information.

#include <oaidl.h>

#include <cstddef>

namespace pelvaro {

struct DispatchName {
    const wchar_t* name;
    DISPID id;
};

// Looks the names up in turn, case-insensitively, in table order. The first name not found
// ends the call with DISP_E_UNKNOWNNAME; the ids of the names before it are already written.
HRESULT LookUpDispatchNames(const DispatchName* table, std::size_t tableSize, LPOLESTR* names,
                            UINT count, DISPID* ids) noexcept;

template <std::size_t N>
HRESULT LookUpDispatchNames(const DispatchName (&table)[N], LPOLESTR* names, UINT count,
                            DISPID* ids) noexcept {
    return LookUpDispatchNames(table, N, names, count, ids);
}

}  // namespace pelvaro
