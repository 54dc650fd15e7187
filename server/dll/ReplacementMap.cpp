#include "server/dll/ReplacementMap.h"

#include <shellapi.h>

#include <algorithm>
#include <utility>

#include "Pelvaro_h.h"
#include "server/module/GuidText.h"
#include "server/module/ModulePath.h"

namespace pelvaro {

namespace {

constexpr std::size_t kMaxNameLength = 31;

bool SameName(const std::string& a, const std::string& b) {
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                          b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

bool IsExecutable(const std::string& path) {
    return SHGetFileInfoA(path.c_str(), 0, nullptr, 0, SHGFI_EXETYPE) != 0;
}

}  // namespace

const std::string* ReplacementMap::Find(const std::string& name) const {
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [&](const auto& entry) { return SameName(entry.first, name); });
    return found == entries_.end() ? nullptr : &found->second;
}

HRESULT ExpandReplacements(const std::string& text, const ReplacementMap& map, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c != '%') {
            const std::size_t width =
                IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < text.size() ? 2 : 1;
            out.append(text, i, width);
            i += width;
            continue;
        }
        const std::size_t close = text.find('%', i + 1);
        if (close == std::string::npos) return E_FAIL;
        const std::string name = text.substr(i + 1, close - i - 1);
        if (name.empty()) {
            out += '%';
        } else {
            if (name.size() > kMaxNameLength) return E_FAIL;
            const std::string* value = map.Find(name);
            if (!value) return E_FAIL;
            out += *value;
        }
        i = close + 1;
    }
    return S_OK;
}

HRESULT BuildReplacementMap(HMODULE module, const std::string& friendlyName, ReplacementMap& map) {
    std::string path;
    const HRESULT hr = GetModulePath(module, path);
    if (FAILED(hr)) return hr;
    // Only an executable's own path would need quoting; this module is a library.
    map.Add("Module", path);
    map.Add("Module_Raw", path);
    map.Add("MODULEGUID", GuidText(LIBID_Pelvaro));
    map.Add("MODULETYPE", IsExecutable(path) ? "LocalServer32" : "InprocServer32");
    map.Add("APPID", "");
    map.Add("FriendlyName", friendlyName);
    return S_OK;
}

}  // namespace pelvaro
