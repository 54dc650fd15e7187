#pragma once
// The holders of plain Windows resources. COM pointers and BSTRs, which do more, have their own
// headers.

#include <ole2.h>
#include <windows.h>

#include "win/UniqueAny.h"

namespace pelvaro {

// Handles that are null when there is none: mutexes, processes, threads.
using UniqueHandle = UniqueAny<HANDLE, &CloseHandle>;
// What CreateFile opens, which is INVALID_HANDLE_VALUE when there is none.
using UniqueFileHandle = UniqueAny<HANDLE, &CloseHandle, -1>;
using UniqueRegKey = UniqueAny<HKEY, &RegCloseKey>;
// Memory that a COM function hands out, such as the text of StringFromCLSID.
template <typename T>
using UniqueCoTaskMem = UniqueAny<T*, &CoTaskMemFree>;
// Memory that LocalAlloc handed out, such as FormatMessage's text.
template <typename T>
using UniqueLocalMem = UniqueAny<T*, &LocalFree>;

// A VARIANT, empty from the start and cleared at the end.
using Variant = UniqueStruct<VARIANT, &VariantClear, &VariantInit>;

namespace detail {
inline void ZeroExcepInfo(EXCEPINFO* info) noexcept {
    *info = EXCEPINFO{};
}
inline void FreeExcepInfo(EXCEPINFO* info) noexcept {
    SysFreeString(info->bstrSource);
    SysFreeString(info->bstrDescription);
    SysFreeString(info->bstrHelpFile);
}
}  // namespace detail

// An EXCEPINFO for a call to fill in, whose strings are freed at the end.
using ExcepInfo = UniqueStruct<EXCEPINFO, &detail::FreeExcepInfo, &detail::ZeroExcepInfo>;

}  // namespace pelvaro
