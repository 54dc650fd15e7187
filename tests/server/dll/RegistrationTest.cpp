// Registration of Pelvaro.dll in the test prefix's registry, read back from it.

#include <optional>
#include <string>
#include <vector>

#include "tests/server/dll/LoadedPelvaro.h"

namespace pelvaro {
namespace {

using test::LoadedPelvaro;
using test::LoadedPelvaroTest;
using test::TypeGuid;

const std::string kClsid = "{7BA5C6B8-AA6A-4367-85F1-9109C1766873}";
const std::string kClassKey = "CLSID\\" + kClsid;
const std::string kLibid = "{335DBBE2-0A9D-426A-9824-19B5776835C0}";
const std::string kInterfaceKeys[] = {"Interface\\{CF4A53FD-1B8D-4C3F-8B79-C4662DB19CF4}",
                                      "Interface\\{6452C602-FD7C-4887-B866-017ED413E088}"};
const HRESULT kPathTooLong = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

// A classes root in one registry view: HKEY_CLASSES_ROOT as a client sees it, or one of the two
// roots that Windows merges into it, the machine's and the user's own.
struct Classes {
    HKEY hive;
    const char* prefix;
    REGSAM view;  // 0: this process's own
};
const Classes kMerged{HKEY_CLASSES_ROOT, "", 0};
const Classes kMachine{HKEY_LOCAL_MACHINE, "Software\\Classes\\", 0};
const Classes kUser{HKEY_CURRENT_USER, "Software\\Classes\\", 0};
// Each root in both views.
const Classes kMachineViews[] = {{HKEY_LOCAL_MACHINE, "Software\\Classes\\", KEY_WOW64_32KEY},
                                 {HKEY_LOCAL_MACHINE, "Software\\Classes\\", KEY_WOW64_64KEY}};
const Classes kUserViews[] = {{HKEY_CURRENT_USER, "Software\\Classes\\", KEY_WOW64_32KEY},
                              {HKEY_CURRENT_USER, "Software\\Classes\\", KEY_WOW64_64KEY}};

// Wine 8's RegisterTypeLibForUser and UnRegisterTypeLibForUser register and remove the library
// machine-wide (a FIXME of its oleaut32); Windows keeps it among the user's classes.
const bool kTypeLibsPerUser = !GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version");

bool KeyExists(const std::string& path, const Classes& where = kMerged) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(where.hive, (where.prefix + path).c_str(), 0, KEY_READ | where.view, &key)) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// A REG_SZ value written with its terminating NUL; nothing otherwise.
std::optional<std::string> ReadString(const std::string& path, const char* name = nullptr,
                                      const Classes& where = kMerged) {
    char data[1024] = {};
    DWORD size = sizeof data - 1, type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(where.hive, (where.prefix + path).c_str(), 0, KEY_READ | where.view, &key)) {
        return std::nullopt;
    }
    const LONG error =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (error || type != REG_SZ || size == 0 || data[size - 1] != '\0') return std::nullopt;
    return std::string(data);
}

struct Entry {
    std::string key;
    const char* value;                // null: the key's default value
    std::optional<std::string> data;  // nothing: a key without a default value
};

std::vector<Entry> ClassEntries(const std::string& modulePath) {
    return {
        {"Pelvaro.ReadSms.1", nullptr, "CReadSms Object"},
        {"Pelvaro.ReadSms.1\\CLSID", nullptr, kClsid},
        {"Pelvaro.ReadSms", nullptr, "CReadSms Object"},
        {"Pelvaro.ReadSms\\CLSID", nullptr, kClsid},
        {"Pelvaro.ReadSms\\CurVer", nullptr, "Pelvaro.ReadSms.1"},
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
}

// The type library's own entries, for the bitness it was built for.
std::vector<Entry> TypeLibEntries(const std::string& modulePath) {
    const std::string typeLib = "TypeLib\\" + kLibid + "\\1.0";
    return {
        {typeLib, nullptr, "Pelvaro 1.0 Type Library"},
        {typeLib + (sizeof(void*) == 8 ? "\\0\\win64" : "\\0\\win32"), nullptr, modulePath},
        {typeLib + "\\HELPDIR", nullptr, modulePath.substr(0, modulePath.rfind('\\') + 1)},
        {kInterfaceKeys[0] + "\\TypeLib", nullptr, kLibid},
        {kInterfaceKeys[1] + "\\TypeLib", nullptr, kLibid},
    };
}

void ExpectEntries(const std::vector<Entry>& entries, const Classes& where) {
    for (const Entry& entry : entries) {
        const std::string at = where.prefix + entry.key + " " + (entry.value ? entry.value : "");
        EXPECT_TRUE(KeyExists(entry.key, where)) << at;
        EXPECT_EQ(ReadString(entry.key, entry.value, where), entry.data) << at;
    }
}

void ExpectEntries(const std::string& modulePath) {
    ExpectEntries(ClassEntries(modulePath), kMerged);
    ExpectEntries(TypeLibEntries(modulePath), kMerged);
}

bool NothingRegistered() {
    return !KeyExists("Pelvaro.ReadSms") && !KeyExists("Pelvaro.ReadSms.1") &&
           !KeyExists(kClassKey) && !KeyExists("TypeLib\\" + kLibid) &&
           !KeyExists(kInterfaceKeys[0]) && !KeyExists(kInterfaceKeys[1]) && KeyExists("CLSID");
}

const std::vector<std::string> kTypeLibKeys = {"TypeLib\\" + kLibid, kInterfaceKeys[0],
                                               kInterfaceKeys[1]};

// Which keys of ours a root holds, in either view.
std::vector<std::string> OursIn(const Classes (&views)[2]) {
    std::vector<std::string> ours;
    for (const std::string& key :
         {std::string("Pelvaro.ReadSms"), std::string("Pelvaro.ReadSms.1"), kClassKey}) {
        if (KeyExists(key, views[0]) || KeyExists(key, views[1])) ours.push_back(key);
    }
    for (const std::string& key : kTypeLibKeys) {
        if (KeyExists(key, views[0]) || KeyExists(key, views[1])) ours.push_back(key);
    }
    return ours;
}

// A copy of Pelvaro.dll in a folder of its own, loaded beside the one next to the test.
class CopiedPelvaro {
  public:
    explicit CopiedPelvaro(const std::wstring& name) {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = temp + name;
        CreateDirectoryW(folder_.c_str(), nullptr);
        CopyFileW(LoadedPelvaro::DllBesideTest().c_str(), File().c_str(), FALSE);
        dll.emplace(File());
    }
    ~CopiedPelvaro() {
        dll.reset();
        DeleteFileW(File().c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    std::optional<LoadedPelvaro> dll;

  private:
    std::wstring File() const { return folder_ + L"\\Pelvaro.dll"; }
    std::wstring folder_;
};

class RegistrationTest : public LoadedPelvaroTest {
  protected:
    void SetUp() override {
        LoadedPelvaroTest::SetUp();
        // Whatever an earlier run left behind, even a type library whose file is gone.
        dll.install(FALSE, L"user");
        dll.unregisterServer();
        for (const std::string& key :
             {"TypeLib\\" + kLibid, kInterfaceKeys[0], kInterfaceKeys[1]}) {
            RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
        }
        ASSERT_TRUE(NothingRegistered());
        ASSERT_EQ(OursIn(kUserViews), std::vector<std::string>{});
    }
    void TearDown() override {
        dll.install(FALSE, L"user");
        dll.unregisterServer();
        LoadedPelvaroTest::TearDown();
    }
};

TEST_F(RegistrationTest, ClassInformationComesFromTheRegisteredLibraryAndIsKept) {
    ComPtr<IProvideClassInfo> early;
    ASSERT_EQ(dll.Factory()->CreateInstance(nullptr, IID_IProvideClassInfo, early.PutVoid()), S_OK);
    ITypeInfo* none = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(early->GetClassInfo(&none), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(none, nullptr);

    ASSERT_EQ(dll.registerServer(), S_OK);
    ExpectEntries(dll.Path());
    ComPtr<ITypeInfo> classInfo;
    ASSERT_EQ(early->GetClassInfo(classInfo.Put()), S_OK);
    EXPECT_EQ(TypeGuid(classInfo.Get()), CLSID_CReadSms);
    // Its default source is the interface that GetGUID names.
    HREFTYPE reference = 0;
    INT flags = 0;
    ComPtr<ITypeInfo> source;
    ASSERT_EQ(classInfo->GetImplTypeFlags(1, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
    ASSERT_EQ(classInfo->GetRefTypeOfImplType(1, &reference), S_OK);
    ASSERT_EQ(classInfo->GetRefTypeInfo(reference, source.Put()), S_OK);
    EXPECT_EQ(TypeGuid(source.Get()), DIID__IReadSmsEvents);

    EXPECT_EQ(dll.unregisterServer(), S_OK);
    ComPtr<ITypeInfo> kept;
    EXPECT_EQ(early->GetClassInfo(kept.Put()), S_OK);
    EXPECT_EQ(kept.Get(), classInfo.Get());
}

TEST_F(RegistrationTest, RegisteringAgainRebuildsTheClassKey) {
    ASSERT_EQ(dll.registerServer(), S_OK);
    for (const std::string& key : {kClassKey + "\\Added", std::string("Pelvaro.ReadSms\\Added")}) {
        HKEY added = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, key.c_str(), &added), ERROR_SUCCESS);
        RegCloseKey(added);
    }
    ASSERT_EQ(dll.registerServer(), S_OK);
    ExpectEntries(dll.Path());
    EXPECT_FALSE(KeyExists(kClassKey + "\\Added"));
    EXPECT_TRUE(KeyExists("Pelvaro.ReadSms\\Added"));
}

TEST_F(RegistrationTest, UnregisteringRemovesAllButTheClsidKey) {
    ASSERT_EQ(dll.registerServer(), S_OK);
    EXPECT_EQ(dll.unregisterServer(), S_OK);
    EXPECT_TRUE(NothingRegistered());
    // With nothing left to remove, the type library's removal reports its failure.
    EXPECT_NE(dll.unregisterServer(), S_OK);
    EXPECT_TRUE(NothingRegistered());
}

TEST_F(RegistrationTest, PerUserRegistrationWritesTheUsersClassesAloneAndIsRemovedWhole) {
    ASSERT_EQ(dll.install(TRUE, L"user"), S_OK);
    ExpectEntries(ClassEntries(dll.Path()), kUser);
    ExpectEntries(TypeLibEntries(dll.Path()), kTypeLibsPerUser ? kUser : kMachine);
    EXPECT_EQ(OursIn(kMachineViews), kTypeLibsPerUser ? std::vector<std::string>{} : kTypeLibKeys);

    // regsvr32 passes the command line as it was typed.
    EXPECT_EQ(dll.install(FALSE, L"User"), S_OK);
    EXPECT_EQ(OursIn(kUserViews), std::vector<std::string>{});
    EXPECT_EQ(OursIn(kMachineViews), std::vector<std::string>{});
}

TEST_F(RegistrationTest, PerUserRegistrationLeavesTheMachineWideOneAsItWas) {
    ASSERT_EQ(dll.registerServer(), S_OK);
    {
        // Another copy, so that an entry of either shows which one wrote it.
        CopiedPelvaro copy(L"pelvaro-per-user");
        ASSERT_TRUE(copy.dll->Loaded());
        ASSERT_EQ(copy.dll->install(TRUE, L"user"), S_OK);
        ExpectEntries(ClassEntries(copy.dll->Path()), kUser);
        ExpectEntries(ClassEntries(dll.Path()), kMachine);
        EXPECT_EQ(copy.dll->install(FALSE, L"user"), S_OK);
        EXPECT_EQ(copy.dll->canUnloadNow(), S_OK);
    }
    EXPECT_EQ(OursIn(kUserViews), std::vector<std::string>{});
    ExpectEntries(ClassEntries(dll.Path()), kMachine);
    if (kTypeLibsPerUser) ExpectEntries(TypeLibEntries(dll.Path()), kMachine);
}

TEST_F(RegistrationTest, DllInstallRefusesEveryOtherCommandLine) {
    for (const wchar_t* line :
         {static_cast<const wchar_t*>(nullptr), L"", L"machine", L"users", L" user", L"/i:user"}) {
        for (const BOOL install : {TRUE, FALSE}) {
            EXPECT_EQ(dll.install(install, line), E_INVALIDARG) << (line ? line : L"(null)");
        }
    }
    EXPECT_EQ(OursIn(kUserViews), std::vector<std::string>{});
    EXPECT_EQ(OursIn(kMachineViews), std::vector<std::string>{});
}

TEST_F(RegistrationTest, AModulePathOf260CharactersIsRefused) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    for (std::size_t length : {259u, 260u}) {
        // One folder pads the copy's full path to `length` characters.
        const std::wstring file = L"\\Pelvaro.dll",
                           folder = L"\\\\?\\" + std::wstring(temp) +
                                    std::wstring(length - wcslen(temp) - file.size(), L'p');
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS);
        ASSERT_TRUE(
            CopyFileW(LoadedPelvaro::DllBesideTest().c_str(), (folder + file).c_str(), FALSE));
        {
            LoadedPelvaro moved(folder.substr(4) + file);
            ASSERT_TRUE(moved.Loaded()) << length;
            const HRESULT expected = length < MAX_PATH ? S_OK : kPathTooLong;
            EXPECT_EQ(moved.registerServer(), expected) << length;
            if (length < MAX_PATH) {
                EXPECT_EQ(ReadString(kClassKey + "\\InprocServer32"), moved.Path());
            }
            EXPECT_EQ(moved.unregisterServer(), expected) << length;
            // Nor can the object read its own type information.
            ComPtr<IDispatch> object;
            ASSERT_EQ(moved.Factory()->CreateInstance(nullptr, IID_IDispatch, object.PutVoid()),
                      S_OK);
            UINT count = 7;
            EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
            EXPECT_EQ(count, length < MAX_PATH ? 1u : 0u);
            object.Reset();
            EXPECT_TRUE(NothingRegistered()) << length;
            EXPECT_EQ(moved.canUnloadNow(), S_OK);
        }
        DeleteFileW((folder + file).c_str());
        RemoveDirectoryW(folder.c_str());
    }
}

}  // namespace
}  // namespace pelvaro
