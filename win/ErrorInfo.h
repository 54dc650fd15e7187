#pragma once
// Makes an error-information object and makes it the thread's current one, for the caller's
// GetErrorInfo.

#include <oleauto.h>

#include "win/ComPtr.h"

namespace pelvaro {

struct ErrorDescription {
    GUID interfaceId;
    const wchar_t* source = nullptr;  // null fields are left unset
    const wchar_t* description = nullptr;
    const wchar_t* helpFile = nullptr;
    DWORD helpContext = 0;
};

inline void PublishErrorInfo(const ErrorDescription& error) noexcept {
    ComPtr<ICreateErrorInfo> created;
    if (FAILED(CreateErrorInfo(created.Put()))) return;
    created->SetGUID(error.interfaceId);
    if (error.source) created->SetSource(const_cast<LPOLESTR>(error.source));
    if (error.description) created->SetDescription(const_cast<LPOLESTR>(error.description));
    if (error.helpFile) created->SetHelpFile(const_cast<LPOLESTR>(error.helpFile));
    created->SetHelpContext(error.helpContext);
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(created.As(info))) SetErrorInfo(0, info.Get());
}

}  // namespace pelvaro
