#pragma once
// Calls one event sink and turns the exception it reports into the thread's error information.

#include <oaidl.h>

namespace pelvaro {

// Returns the sink's own result.
HRESULT InvokeSink(IDispatch* sink, DISPID dispId, DISPPARAMS* params) noexcept;

}  // namespace pelvaro
