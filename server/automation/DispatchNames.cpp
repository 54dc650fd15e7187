#include "server/automation/DispatchNames.h"

#include <algorithm>

namespace pelvaro {

namespace {
bool SameName(const wchar_t* a, const wchar_t* b) {
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}
}  // namespace

HRESULT LookUpDispatchNames(const DispatchName* table, std::size_t tableSize, LPOLESTR* names,
                            UINT count, DISPID* ids) noexcept {
    if (count > 0 && (!names || !ids)) return E_POINTER;
    const DispatchName* end = table + tableSize;
    for (UINT i = 0; i < count; ++i) {
        if (!names[i]) return DISP_E_UNKNOWNNAME;
        const DispatchName* found = std::find_if(
            table, end, [&](const DispatchName& entry) { return SameName(entry.name, names[i]); });
        if (found == end) return DISP_E_UNKNOWNNAME;
        ids[i] = found->id;
    }
    return S_OK;
}

}  // namespace pelvaro
