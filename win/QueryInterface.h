#pragma once
// QueryInterface from a table of the interfaces an object answers, searched in order, in the
// manner of a COM map: each object lists its interfaces as data and shares the one search.

#include <unknwn.h>

#include <cstddef>

namespace pelvaro {

template <typename Object>
struct InterfaceEntry {
    const IID* iid;
    // The object's pointer for that interface.
    IUnknown* (*find)(Object& object);
};

// For objects that are their own interfaces: the object as I.
template <typename Object, typename I>
IUnknown* AsInterface(Object& object) noexcept {
    return static_cast<I*>(&object);
}

// The first entry for riid answers, with a reference added through the pointer it hands out.
template <typename Object, std::size_t N>
HRESULT QueryInterfaceFrom(const InterfaceEntry<Object> (&table)[N], Object& object, REFIID riid,
                           void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const InterfaceEntry<Object>& entry : table) {
        if (IsEqualIID(riid, *entry.iid)) {
            IUnknown* found = entry.find(object);
            found->AddRef();
            *ppv = found;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

// For an object that is one interface I besides IUnknown.
template <typename I, typename Object>
HRESULT QueryInterfaceAs(Object& object, REFIID riid, void** ppv) noexcept {
    static const InterfaceEntry<Object> kInterfaces[] = {
        {&IID_IUnknown, AsInterface<Object, I>},
        {&__uuidof(I), AsInterface<Object, I>},
    };
    return QueryInterfaceFrom(kInterfaces, object, riid, ppv);
}

}  // namespace pelvaro
