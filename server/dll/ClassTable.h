#pragma once
// The module's table of creatable classes (one: CReadSms) and its cached class factory.

#include <unknwn.h>
#include <windows.h>

// Running out of memory throws; the exports answer for it.

namespace pelvaro {

// DllGetClassObject. The factory is made once, under the class-table lock, and kept until
// ReleaseClassObjects; E_UNEXPECTED once the table is torn down.
HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);

// At module unload: releases the cached factory and tears the table down.
void ReleaseClassObjects() noexcept;

// Writes or removes the registry entries of every class below root: HKEY_CLASSES_ROOT, or the
// user's own classes.
HRESULT RegisterClasses(HKEY root, bool doRegister);

// False when the class-table lock could not be set up.
bool ClassTableReady() noexcept;

}  // namespace pelvaro
