#pragma once
// The only feedback the receiver gives the user. Tests replace these to watch it.

#include <windows.h>

namespace pelvaro {

using MessageBeepFunction = BOOL(WINAPI*)(UINT type);
using MessageBoxFunction = int(WINAPI*)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

extern MessageBeepFunction PlayMessageBeep;
extern MessageBoxFunction ShowMessageBox;

}  // namespace pelvaro
