#include "server/dll/ClassRegistrationScript.h"

#include <string>

#include "Pelvaro_h.h"
#include "server/module/ClassNames.h"
#include "server/module/GuidText.h"
#include "server/module/ModulePath.h"
#include "win/Holders.h"

namespace pelvaro {

namespace {

constexpr char kFriendlyName[] = PELVARO_FRIENDLY_NAME;
constexpr char kProgId[] = PELVARO_PROGID;
constexpr char kVersionIndependentProgId[] = PELVARO_VERSION_INDEPENDENT_PROGID;

enum Replace { kLiteral = 0, kName = 1, kData = 2 };

ScriptNode Key(KeyMark mark, const char* name, const char* data, int replace = kLiteral,
               std::vector<ScriptNode> children = {}) {
    return {ScriptNode::Kind::Key, mark, name, data, (replace & kName) != 0, (replace & kData) != 0,
            std::move(children)};
}

ScriptNode Key(const char* name, const char* data, int replace = kLiteral,
               std::vector<ScriptNode> children = {}) {
    return Key(KeyMark::None, name, data, replace, std::move(children));
}

ScriptNode Value(const char* name, const char* data, int replace = kLiteral) {
    return {ScriptNode::Kind::Value, KeyMark::None, name, data, false, (replace & kData) != 0, {}};
}

HRESULT FromRegistry(LONG error) {
    return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
}

bool IsMissing(LONG error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A text of the script, with its replacements made when the script marks it.
HRESULT Resolve(const char* text, bool hasReplacements, const ReplacementMap& map,
                std::string& out) {
    if (!hasReplacements) {
        out = text;
        return S_OK;
    }
    return ExpandReplacements(text, map, out);
}

HRESULT SetString(HKEY key, const std::string& name, const std::string& data) {
    return FromRegistry(RegSetValueExA(key, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(data.c_str()),
                                       static_cast<DWORD>(data.size() + 1)));
}

// The key and everything below it; a key that is not there is no error.
HRESULT DeleteTree(HKEY parent, const std::string& name) {
    const LONG error = RegDeleteTreeA(parent, name.c_str());
    return IsMissing(error) ? S_OK : FromRegistry(error);
}

HRESULT WriteNode(HKEY parent, const ScriptNode& node, const ReplacementMap& map) {
    std::string name;
    HRESULT hr = Resolve(node.name, node.nameHasReplacements, map, name);
    if (FAILED(hr)) return hr;
    std::string data;
    if (node.data) {
        hr = Resolve(node.data, node.dataHasReplacements, map, data);
        if (FAILED(hr)) return hr;
    }
    if (node.kind == ScriptNode::Kind::Value) return SetString(parent, name, data);

    if (node.mark == KeyMark::ForceRemove) {
        hr = DeleteTree(parent, name);
        if (FAILED(hr)) return hr;
    }
    UniqueRegKey key;
    hr = FromRegistry(RegCreateKeyExA(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_READ | KEY_WRITE, nullptr, key.Put(), nullptr));
    if (FAILED(hr)) return hr;
    if (node.data) {
        hr = SetString(key.Get(), std::string(), data);
        if (FAILED(hr)) return hr;
    }
    for (const ScriptNode& child : node.children) {
        hr = WriteNode(key.Get(), child, map);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT RemoveNode(HKEY parent, const ScriptNode& node, const ReplacementMap& map) {
    if (node.kind == ScriptNode::Kind::Value) return S_OK;  // values go with their keys
    std::string name;
    HRESULT hr = Resolve(node.name, node.nameHasReplacements, map, name);
    if (FAILED(hr)) return hr;
    if (node.mark != KeyMark::NoRemove) return DeleteTree(parent, name);

    UniqueRegKey key;
    const LONG error = RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ | KEY_WRITE, key.Put());
    if (IsMissing(error)) return S_OK;
    hr = FromRegistry(error);
    if (FAILED(hr)) return hr;
    for (const ScriptNode& child : node.children) {
        hr = RemoveNode(key.Get(), child, map);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

}  // namespace

const std::vector<ScriptNode>& ClassRegistrationScript() {
    static const std::string clsidText = GuidText(CLSID_CReadSms);
    const char* const clsid = clsidText.c_str();
    static const std::vector<ScriptNode> script = {
        Key(kProgId, "%FriendlyName%", kData, {Key("CLSID", clsid)}),
        Key(kVersionIndependentProgId, kFriendlyName, kLiteral,
            {Key("CLSID", clsid), Key("CurVer", kProgId)}),
        Key(KeyMark::NoRemove, "CLSID", nullptr, kLiteral,
            {Key(KeyMark::ForceRemove, clsid, kFriendlyName, kLiteral,
                 {
                     Key("ProgID", kProgId),
                     Key("VersionIndependentProgID", kVersionIndependentProgId),
                     Key(KeyMark::ForceRemove, "Programmable", nullptr),
                     Key("%MODULETYPE%", "%MODULE%", kName | kData, {Value("ThreadingModel", "")}),
                     Value("AppID", "%APPID%", kData),
                     Key("TypeLib", "%MODULEGUID%", kData),
                 })}),
    };
    return script;
}

HRESULT RunRegistrationScript(HKEY root, const std::vector<ScriptNode>& script, bool doRegister,
                              const ReplacementMap& replacements) {
    for (const ScriptNode& node : script) {
        const HRESULT hr =
            doRegister ? WriteNode(root, node, replacements) : RemoveNode(root, node, replacements);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT RegisterReadSmsClass(HKEY root, bool doRegister) {
    ReplacementMap replacements;
    const HRESULT hr = BuildReplacementMap(ThisModule(), kFriendlyName, replacements);
    if (FAILED(hr)) return hr;
    return RunRegistrationScript(root, ClassRegistrationScript(), doRegister, replacements);
}

}  // namespace pelvaro
