#include "server/receiver/Windows1252.h"

#include <windows.h>

#include <new>

namespace pelvaro {

namespace {
constexpr UINT kWindows1252 = 1252;
}  // namespace

Bstr BstrFromWindows1252(std::string_view text) {
    const int size = static_cast<int>(text.size());
    const int length =
        size == 0 ? 0 : MultiByteToWideChar(kWindows1252, 0, text.data(), size, nullptr, 0);
    Bstr result = Bstr::Attach(SysAllocStringLen(nullptr, static_cast<UINT>(length)));
    if (!result.Get()) throw std::bad_alloc();
    if (length > 0) MultiByteToWideChar(kWindows1252, 0, text.data(), size, result.Get(), length);
    return result;
}

}  // namespace pelvaro
