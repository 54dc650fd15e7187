// Registration of Pelvaro.dll in the test prefix's registry, read back from it, and activation
// by ProgID.

#include <gtest/gtest.h>
#include <olectl.h>

#include <optional>
#include <string>
#include <vector>

#include "LoadedPelvaro.h"
#include "Pelvaro_h.h"
#include "server/ComPtr.h"

namespace {

const std::string kClsid = "{7BA5C6B8-AA6A-4367-85F1-9109C1766873}";
const std::string kClassKey = "CLSID\\" + kClsid;
const std::string kLibid = "{335DBBE2-0A9D-426A-9824-19B5776835C0}";
const SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
const char* const kPlatform = sizeof(void*) == 8 ? "win64" : "win32";

bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// A REG_SZ value; nothing when the key or the value is missing or of another type.
std::optional<std::string> ReadString(const std::string& path, const char* name = nullptr) {
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const LONG error =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (error != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    // Written with its terminating NUL.
    if (size == 0 || data[size - 1] != '\0') return std::nullopt;
    return std::string(data);
}

void ExpectClassEntries(const std::string& modulePath) {
    struct Entry {
        std::string key;
        const char* value;                // null: the key's default value
        std::optional<std::string> data;  // nothing: a key without a default value
    };
    const Entry entries[] = {
        {"Pelvaro.ReadSms.1", nullptr, "CReadSms Object"},
        {"Pelvaro.ReadSms.1\\CLSID", nullptr, kClsid},
        {"Pelvaro.ReadSms", nullptr, "CReadSms Object"},
        {"Pelvaro.ReadSms\\CLSID", nullptr, kClsid},
        {"Pelvaro.ReadSms\\CurVer", nullptr, "Pelvaro.ReadSms.1"},
        {"CLSID", nullptr, std::nullopt},
        {kClassKey, nullptr, "CReadSms Object"},
        {kClassKey + "\\ProgID", nullptr, "Pelvaro.ReadSms.1"},
        {kClassKey + "\\VersionIndependentProgID", nullptr, "Pelvaro.ReadSms"},
        {kClassKey + "\\Programmable", nullptr, std::nullopt},
        // The path is never quoted.
        {kClassKey + "\\InprocServer32", nullptr, modulePath},
        {kClassKey + "\\InprocServer32", "ThreadingModel", ""},
        {kClassKey, "AppID", ""},
        {kClassKey + "\\TypeLib", nullptr, kLibid},
    };
    for (const Entry& entry : entries) {
        const std::string where = entry.key + (entry.value ? std::string(" ") + entry.value : "");
        EXPECT_TRUE(KeyExists(entry.key)) << where;
        if (entry.data) {
            EXPECT_EQ(ReadString(entry.key, entry.value), entry.data) << where;
        } else if (entry.key != "CLSID") {
            EXPECT_EQ(ReadString(entry.key, entry.value), std::nullopt) << where;
        }
    }
}

void ExpectTypeLibraryEntries(const std::string& modulePath) {
    const std::string version = "TypeLib\\" + kLibid + "\\1.0";
    EXPECT_EQ(ReadString(version), "Pelvaro 1.0 Type Library");
    EXPECT_EQ(ReadString(version + "\\0\\" + kPlatform), modulePath);
    EXPECT_EQ(ReadString(version + "\\HELPDIR"),
              modulePath.substr(0, modulePath.find_last_of('\\') + 1));
    for (const char* iid :
         {"{CF4A53FD-1B8D-4C3F-8B79-C4662DB19CF4}", "{6452C602-FD7C-4887-B866-017ED413E088}"}) {
        EXPECT_EQ(ReadString(std::string("Interface\\") + iid + "\\TypeLib"), kLibid) << iid;
    }
}

bool NothingRegistered() {
    return !KeyExists("Pelvaro.ReadSms") && !KeyExists("Pelvaro.ReadSms.1") &&
           !KeyExists(kClassKey) && !KeyExists("TypeLib\\" + kLibid);
}

// Runs the platform's regsvr32 silently and returns its exit code.
DWORD RunRegsvr32(const std::string& arguments) {
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    std::string command = std::string("\"") + system + "\\regsvr32.exe\" /s " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return ~0u;
    }
    WaitForSingleObject(process.hProcess, 60000);
    DWORD exitCode = ~0u;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

class RegistrationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CoInitialize(nullptr);
        ASSERT_TRUE(dll.Loaded());
        // Whatever an earlier run left behind, even a type library whose file is gone.
        dll.unregisterServer();
        RegDeleteTreeA(HKEY_CLASSES_ROOT, ("TypeLib\\" + kLibid).c_str());
        ASSERT_TRUE(NothingRegistered());
        path = dll.Path();
    }
    void TearDown() override {
        if (dll.Loaded()) {
            dll.unregisterServer();
            EXPECT_EQ(dll.canUnloadNow(), S_OK);
        }
        CoFreeUnusedLibrariesEx(0, 0);
        CoUninitialize();
    }

    LoadedPelvaro dll;
    std::string path;
};

TEST_F(RegistrationTest, Regsvr32RegistersTheClassAndItsTypeLibrary) {
    ComPtr<IClassFactory> factory(dll.Factory());
    ComPtr<IProvideClassInfo> early;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IProvideClassInfo, early.PutVoid()), S_OK);
    factory.Reset();
    ITypeInfo* none = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(early->GetClassInfo(&none), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(none, nullptr);

    ASSERT_EQ(RunRegsvr32("\"" + path + "\""), 0u);
    ExpectClassEntries(path);
    ExpectTypeLibraryEntries(path);

    // Class information now comes from the registered library, and stays once loaded.
    ComPtr<ITypeInfo> classInfo;
    ASSERT_EQ(early->GetClassInfo(classInfo.Put()), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(classInfo->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, CLSID_CReadSms);
    classInfo->ReleaseTypeAttr(attributes);
    ComPtr<ITypeInfo2> richer;
    EXPECT_EQ(classInfo.As(richer), S_OK);
    EXPECT_EQ(dll.unregisterServer(), S_OK);
    ComPtr<ITypeInfo> kept;
    EXPECT_EQ(early->GetClassInfo(kept.Put()), S_OK);
    EXPECT_EQ(kept.Get(), classInfo.Get());
}

TEST_F(RegistrationTest, AClientCreatesTheObjectByItsProgId) {
    ASSERT_EQ(RunRegsvr32("\"" + path + "\""), 0u);
    CLSID clsid{}, versioned{};
    ASSERT_EQ(CLSIDFromProgID(L"Pelvaro.ReadSms", &clsid), S_OK);
    ASSERT_EQ(CLSIDFromProgID(L"Pelvaro.ReadSms.1", &versioned), S_OK);
    EXPECT_EQ(clsid, CLSID_CReadSms);
    EXPECT_EQ(versioned, CLSID_CReadSms);

    ComPtr<IDispatch> object;
    ASSERT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid()),
        S_OK);
    const wchar_t* names[] = {L"StartReceiving", L"UseDialog"};
    DISPID ids[2] = {};
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(names), 2, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], 0);
    ComPtr<IProvideClassInfo2> classInfo;
    ASSERT_EQ(object.As(classInfo), S_OK);
    GUID source{};
    EXPECT_EQ(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
    EXPECT_EQ(source, DIID__IReadSmsEvents);
    ComPtr<ITypeInfo> typeInfo;
    EXPECT_EQ(classInfo->GetClassInfo(typeInfo.Put()), S_OK);
    // The same module as the one this test loaded.
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);
}

TEST_F(RegistrationTest, RegisteringAgainRebuildsTheClassKey) {
    ASSERT_EQ(dll.registerServer(), S_OK);
    HKEY added = nullptr;
    for (const std::string& key :
         {kClassKey + "\\AddedByOthers", std::string("Pelvaro.ReadSms\\AddedByOthers")}) {
        ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                  &added, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(added);
    }
    ASSERT_EQ(dll.registerServer(), S_OK);
    ExpectClassEntries(path);
    ExpectTypeLibraryEntries(path);
    EXPECT_FALSE(KeyExists(kClassKey + "\\AddedByOthers"));
    EXPECT_TRUE(KeyExists("Pelvaro.ReadSms\\AddedByOthers"));
}

TEST_F(RegistrationTest, UnregisteringRemovesTheClassButNotTheClsidKey) {
    ASSERT_EQ(dll.registerServer(), S_OK);
    EXPECT_EQ(dll.unregisterServer(), S_OK);
    EXPECT_TRUE(NothingRegistered());
    EXPECT_TRUE(KeyExists("CLSID"));
    EXPECT_FALSE(KeyExists(std::string("Interface\\{CF4A53FD-1B8D-4C3F-8B79-C4662DB19CF4}")));

    // With nothing left the registry steps pass, and the type library's removal decides.
    const HRESULT again = dll.unregisterServer();
    EXPECT_EQ(again, UnRegisterTypeLib(LIBID_Pelvaro, 1, 0, 0, kSysKind));
    EXPECT_NE(again, S_OK);
    EXPECT_TRUE(NothingRegistered());
}

// A copy of the DLL whose full path has exactly `length` characters, removed again at the end.
class DllAtPath {
  public:
    explicit DllAtPath(std::size_t length) {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        std::wstring folder = std::wstring(temp) + L"pelvaro-long\\";
        const std::wstring file = L"Pelvaro.dll";
        folders_.push_back(folder);
        // Pad with folders of at most 100 characters, each with its separator, never leaving
        // a single character over.
        std::size_t left = length - folder.size() - file.size();
        while (left > 0) {
            std::size_t chunk = left < 101 ? left : 101;
            if (left - chunk == 1) --chunk;
            folder += std::wstring(chunk - 1, L'p') + L"\\";
            folders_.push_back(folder);
            left -= chunk;
        }
        path_ = folder + file;
        for (const std::wstring& f : folders_) CreateDirectoryW((L"\\\\?\\" + f).c_str(), nullptr);
        copied_ = CopyFileW(LoadedPelvaro::DllBesideTest().c_str(), (L"\\\\?\\" + path_).c_str(),
                            FALSE) != FALSE;
    }
    ~DllAtPath() {
        DeleteFileW((L"\\\\?\\" + path_).c_str());
        for (auto f = folders_.rbegin(); f != folders_.rend(); ++f) {
            RemoveDirectoryW((L"\\\\?\\" + *f).c_str());
        }
    }
    bool Copied() const { return copied_; }
    const std::wstring& Path() const { return path_; }

  private:
    std::vector<std::wstring> folders_;
    std::wstring path_;
    bool copied_ = false;
};

TEST_F(RegistrationTest, AModulePathOf260CharactersIsRefused) {
    for (std::size_t length : {259u, 260u, 300u}) {
        DllAtPath copy(length);
        ASSERT_TRUE(copy.Copied()) << length;
        ASSERT_EQ(copy.Path().size(), length);
        LoadedPelvaro moved(copy.Path());
        ASSERT_TRUE(moved.Loaded()) << length;
        if (length < MAX_PATH) {
            EXPECT_EQ(moved.registerServer(), S_OK);
            EXPECT_EQ(ReadString(kClassKey + "\\InprocServer32"), moved.Path());
            EXPECT_EQ(moved.unregisterServer(), S_OK);
        } else {
            EXPECT_EQ(moved.registerServer(), HRESULT(0x8007007A)) << length;
            EXPECT_EQ(moved.unregisterServer(), HRESULT(0x8007007A)) << length;
            // Nor can the object read its own type information.
            ComPtr<IClassFactory> factory(moved.Factory());
            ComPtr<IDispatch> object;
            ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.PutVoid()), S_OK);
            UINT count = 1;
            EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
            EXPECT_EQ(count, 0u);
            ComPtr<ITypeInfo> typeInfo;
            EXPECT_EQ(object->GetTypeInfo(0, 0, typeInfo.Put()), E_FAIL);
        }
        EXPECT_TRUE(NothingRegistered()) << length;
        EXPECT_EQ(moved.canUnloadNow(), S_OK);
    }
}

}  // namespace
