#pragma once
// The registry entries of CReadSms below a classes root, and how they are written and removed.

#include <windows.h>

#include <vector>

#include "server/dll/ReplacementMap.h"

namespace pelvaro {

enum class KeyMark {
    None,         // created if missing; removed with everything below it
    NoRemove,     // left in place on unregistration
    ForceRemove,  // deleted with everything below it, then created anew on registration
};

// One line of a registration script: a key, or a REG_SZ value of the key it stands in.
struct ScriptNode {
    enum class Kind { Key, Value };
    Kind kind;
    KeyMark mark;
    const char* name;  // for a value, empty is the key's default value
    const char* data;  // a key's default value, or null for none
    bool nameHasReplacements;
    bool dataHasReplacements;
    // A key's values and subkeys, in the order they are written.
    std::vector<ScriptNode> children;
};

// CReadSms's script: its ProgIDs and its CLSID key.
const std::vector<ScriptNode>& ClassRegistrationScript();

// Writes the script below root, or removes it. Registration stops at the first registry error n
// and returns 0x80070000 + n; entries already written stay. On removal, keys that are not there
// are no error.
HRESULT RunRegistrationScript(HKEY root, const std::vector<ScriptNode>& script, bool doRegister,
                              const ReplacementMap& replacements);

// Builds the replacement map for this module and runs the class's script below root.
HRESULT RegisterReadSmsClass(HKEY root, bool doRegister);

}  // namespace pelvaro
