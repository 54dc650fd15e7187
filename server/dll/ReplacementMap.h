#pragma once
// The names that registration text may use between two percent signs, and their values.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace pelvaro {

class ReplacementMap {
  public:
    void Add(std::string name, std::string value) {
        entries_.emplace_back(std::move(name), std::move(value));
    }
    // Case-insensitive; the first entry with a matching name wins. Null when there is none.
    const std::string* Find(const std::string& name) const;

  private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

// Replaces each %Name% in text by its value; "%%" stands for one percent sign. A percent sign
// without a closing one, a name of 32 characters or more, or an unknown name gives E_FAIL.
// Double-byte characters are copied whole, so that a trail byte is never taken for a percent.
HRESULT ExpandReplacements(const std::string& text, const ReplacementMap& map, std::string& out);

// Module, Module_Raw, MODULEGUID, MODULETYPE, APPID and FriendlyName, for this module's file.
HRESULT BuildReplacementMap(HMODULE module, const std::string& friendlyName, ReplacementMap& map);

}  // namespace pelvaro
