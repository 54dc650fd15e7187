// What Pelvaro.dll carries in its file: the type library and the version resource.

#include <gtest/gtest.h>
#include <windows.h>
#include <winver.h>

#include <string>
#include <vector>

#include "LoadedPelvaro.h"
#include "Pelvaro_h.h"
#include "server/ComPtr.h"

namespace {

class ModuleFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CoInitialize(nullptr);
        ASSERT_TRUE(dll.Loaded());
        ASSERT_EQ(LoadTypeLib(LoadedPelvaro::DllBesideTest().c_str(), library.Put()), S_OK);
    }
    void TearDown() override {
        library.Reset();
        CoUninitialize();
    }

    LoadedPelvaro dll;
    ComPtr<ITypeLib> library;
};

TEST_F(ModuleFileTest, TheTypeLibraryIdentifiesTheLibrary) {
    EXPECT_TRUE(FindResourceExW(dll.Module(), L"TYPELIB", MAKEINTRESOURCEW(1), 1033));
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, LIBID_Pelvaro);
    EXPECT_EQ(attributes->lcid, 0u);
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    EXPECT_EQ(attributes->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
    library->ReleaseTLibAttr(attributes);
    BSTR name = nullptr, help = nullptr;
    ASSERT_EQ(library->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_STREQ(name, L"Pelvaro");
    EXPECT_STREQ(help, L"Pelvaro 1.0 Type Library");
    SysFreeString(name);
    SysFreeString(help);
}

TEST_F(ModuleFileTest, TheTypeLibraryDescribesTheInterfacesAndTheClass) {
    struct Type {
        const GUID* guid;
        TYPEKIND kind;
        WORD flags;
        const wchar_t* help;
        // Member or parameter names and their DISPID or position.
        std::vector<std::pair<const wchar_t*, MEMBERID>> names;
    };
    const Type types[] = {
        {&IID_IReadSms,
         TKIND_DISPATCH,
         TYPEFLAG_FDUAL,
         L"IReadSms Interface",
         {{L"StartReceiving", 1}, {L"Close", 2}}},
        {&DIID__IReadSmsEvents,
         TKIND_DISPATCH,
         0,
         L"_IReadSmsEvents Interface",
         {{L"TestEvent", 1}, {L"OnNewSms", 2}}},
        {&CLSID_CReadSms, TKIND_COCLASS, TYPEFLAG_FCANCREATE, L"ReadSms Class", {}},
    };
    for (const Type& type : types) {
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(library->GetTypeInfoOfGuid(*type.guid, info.Put()), S_OK) << type.help;
        TYPEATTR* attributes = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
        EXPECT_EQ(attributes->typekind, type.kind) << type.help;
        EXPECT_EQ(attributes->wTypeFlags & type.flags, type.flags) << type.help;
        info->ReleaseTypeAttr(attributes);
        BSTR help = nullptr;
        info->GetDocumentation(MEMBERID_NIL, nullptr, &help, nullptr, nullptr);
        EXPECT_STREQ(help, type.help);
        SysFreeString(help);
        for (const auto& [name, id] : type.names) {
            MEMBERID found = -99;
            EXPECT_EQ(info->GetIDsOfNames(const_cast<LPOLESTR*>(&name), 1, &found), S_OK);
            EXPECT_EQ(found, id) << name;
        }
    }

    // Parameter names give their positions.
    ComPtr<ITypeInfo> events;
    ASSERT_EQ(library->GetTypeInfoOfGuid(DIID__IReadSmsEvents, events.Put()), S_OK);
    const wchar_t* onNewSms[] = {L"OnNewSms", L"Sender", L"ServCenter", L"MsgText"};
    MEMBERID ids[4] = {};
    EXPECT_EQ(events->GetIDsOfNames(const_cast<LPOLESTR*>(onNewSms), 4, ids), S_OK);
    EXPECT_EQ(std::vector<MEMBERID>(ids, ids + 4), (std::vector<MEMBERID>{2, 0, 1, 2}));

    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_CReadSms, coclass.Put()), S_OK);
    const std::pair<const IID*, INT> implemented[] = {
        {&IID_IReadSms, IMPLTYPEFLAG_FDEFAULT},
        {&DIID__IReadSmsEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE},
    };
    for (UINT i = 0; i < 2; ++i) {
        INT flags = 0;
        HREFTYPE reference = 0;
        ComPtr<ITypeInfo> info;
        TYPEATTR* attributes = nullptr;
        EXPECT_EQ(coclass->GetImplTypeFlags(i, &flags), S_OK);
        EXPECT_EQ(flags, implemented[i].second);
        ASSERT_EQ(coclass->GetRefTypeOfImplType(i, &reference), S_OK);
        ASSERT_EQ(coclass->GetRefTypeInfo(reference, info.Put()), S_OK);
        ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
        EXPECT_EQ(attributes->guid, *implemented[i].first);
        info->ReleaseTypeAttr(attributes);
    }
}

TEST_F(ModuleFileTest, TheVersionResourceNamesTheModuleAndItsSelfRegistration) {
    EXPECT_TRUE(FindResourceExW(dll.Module(), MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), 1031));
    const std::wstring path = LoadedPelvaro::DllBesideTest();
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(
        GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &value, &length));
    const auto* fixed = static_cast<VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length));
    EXPECT_EQ(static_cast<WORD*>(value)[0], 0x0407);
    EXPECT_EQ(static_cast<WORD*>(value)[1], 0x04E4);

    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"FileVersion", L"1.0.0.1"},      {L"ProductVersion", L"1.0.0.1"},
        {L"InternalName", L"Pelvaro.dll"}, {L"OriginalFilename", L"Pelvaro.dll"},
        {L"OLESelfRegister", L""},
    };
    for (const auto& [name, expected] : strings) {
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040704e4\\") + name;
        ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), &value, &length)) << name;
        EXPECT_EQ(std::wstring(value ? static_cast<wchar_t*>(value) : L""), expected) << name;
    }
}

}  // namespace
