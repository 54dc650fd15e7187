#pragma once
// The instance creator of CReadSms, which the class factory calls.

#include <unknwn.h>

namespace pelvaro {

// Plain when outer is null, otherwise aggregated (riid is then IUnknown). An object whose
// QueryInterface fails is destroyed again, and the failing code returned. Running out of memory
// throws.
HRESULT CreateReadSms(IUnknown* outer, REFIID riid, void** ppv);

}  // namespace pelvaro
