#pragma once
// Brings one argument of an IDispatch call to the type a method reads.

#include <oaidl.h>

namespace pelvaro {

// On success *value is the VARIANT to read the target's field from: the argument itself, or the
// VARIANT that a VT_BYREF|VT_VARIANT argument refers to. Plain scalars keep their type and are
// reinterpreted (only the bits beyond their own width are cleared); everything else is converted
// with VariantChangeType and written back in place of the caller's value.
HRESULT CoerceArgument(VARIANT& argument, VARTYPE target, VARIANT** value);

}  // namespace pelvaro
