// The two IDispatch parts with fakes behind them: parameter counts, argument conversion and the
// sorting of named arguments.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "server/automation/AutomationPart.h"
#include "server/automation/EventSourcePart.h"

namespace pelvaro {
namespace {

VARIANT Raw(VARTYPE type, ULONGLONG bits = 0) {  // whatever 8 value bytes the caller chooses
    VARIANT v{};
    v.vt = type;
    v.ullVal = bits;
    return v;
}
VARIANT Text(const wchar_t* text) {
    VARIANT v = Raw(VT_BSTR);
    v.bstrVal = SysAllocString(text);
    return v;
}
VARIANT ByRef(VARTYPE type, void* target) {
    VARIANT v = Raw(static_cast<VARTYPE>(VT_BYREF | type));
    v.byref = target;
    return v;
}

// The arguments of one call in rgvarg order (the last parameter first), cleared afterwards.
struct Arguments {
    explicit Arguments(std::vector<VARIANT> v = {}, std::vector<DISPID> n = {})
        : values(std::move(v)), named(std::move(n)) {}
    std::vector<VARIANT> values;
    std::vector<DISPID> named;
    ~Arguments() {
        for (VARIANT& v : values) VariantClear(&v);
    }
    DISPPARAMS Params() {
        return {values.empty() ? nullptr : values.data(), named.data(),
                static_cast<UINT>(values.size()), static_cast<UINT>(named.size())};
    }
};

using Texts = std::vector<std::wstring>;

// What both parts call behind them.
class FakeObject final : public ReceiverCommands, public EventRaiser {
  public:
    std::vector<VARIANT_BOOL> starts;
    int closes = 0, testEvents = 0;
    std::vector<Texts> messages;  // Sender, ServCenter, MsgText
    HRESULT result = S_OK;

    HRESULT StartReceiving(VARIANT_BOOL UseDialog) override {
        starts.push_back(UseDialog);
        return result;
    }
    HRESULT Close() noexcept override { return ++closes, result; }
    HRESULT RaiseTestEvent() noexcept override { return ++testEvents, result; }
    HRESULT RaiseOnNewSms(BSTR Sender, BSTR ServCenter, BSTR MsgText) noexcept override {
        auto text = [](BSTR b) { return std::wstring(b ? b : L"", SysStringLen(b)); };
        messages.push_back({text(Sender), text(ServCenter), text(MsgText)});
        return result;
    }
};

class DispatchPartsTest : public ::testing::Test {
  protected:
    HRESULT Call(IDispatch& part, DISPID id, Arguments& args, UINT* argErr = nullptr,
                 VARIANT* result = nullptr) {
        DISPPARAMS params = args.Params();
        return part.Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result, nullptr, argErr);
    }

    FakeObject fake;
    // No controlling unknown: Invoke must not need one.
    AutomationPart automation{nullptr, fake};
    EventSourcePart events{nullptr, fake};
};

// The count is checked before the member; a call that gets through passes the result on and
// leaves the result variant empty.
TEST_F(DispatchPartsTest, BothPartsCheckTheArgumentCountAndPassTheResultOn) {
    fake.result = E_ACCESSDENIED;
    struct Case {
        IDispatch* part;
        DISPID id;
        int argCount;  // -1: no DISPPARAMS at all
        HRESULT expected;
    };
    const Case cases[] = {
        {&automation, 7, 2, DISP_E_BADPARAMCOUNT}, {&automation, 7, 0, DISP_E_MEMBERNOTFOUND},
        {&automation, 2, 1, DISP_E_BADPARAMCOUNT}, {&automation, 1, 0, DISP_E_BADPARAMCOUNT},
        {&automation, 1, -1, DISP_E_BADVARTYPE},   {&automation, 2, 0, E_ACCESSDENIED},
        {&events, 9, 4, DISP_E_BADPARAMCOUNT},     {&events, 9, 0, DISP_E_MEMBERNOTFOUND},
        {&events, 1, 1, DISP_E_BADPARAMCOUNT},     {&events, 2, 2, DISP_E_BADPARAMCOUNT},
        {&events, 2, -1, DISP_E_BADVARTYPE},       {&events, 1, 0, E_ACCESSDENIED},
    };
    for (const Case& c : cases) {
        Arguments args;
        for (int i = 0; i < c.argCount; ++i) args.values.push_back(Text(L"x"));
        DISPPARAMS params = args.Params();
        VARIANT result = Raw(VT_I4, 42);
        EXPECT_EQ(c.part->Invoke(c.id, IID_NULL, 0, DISPATCH_METHOD,
                                 c.argCount < 0 ? nullptr : &params, &result, nullptr, nullptr),
                  c.expected)
            << c.id << "/" << c.argCount;
        if (c.expected == E_ACCESSDENIED) {
            EXPECT_EQ(result.vt, VT_EMPTY) << c.id;
        }
    }
    EXPECT_EQ(fake.closes, 1);
    EXPECT_EQ(fake.testEvents, 1);
    EXPECT_TRUE(fake.starts.empty());
}

TEST_F(DispatchPartsTest, UseDialogIsReinterpretedConvertedOrRefused) {
    VARIANT_BOOL flag = VARIANT_TRUE;
    VARIANT referred = Raw(VT_I2, 7), nested = ByRef(VT_BOOL, &flag);
    struct Case {
        const char* name;
        VARIANT argument;
        HRESULT expected;
        VARIANT_BOOL useDialog = 0;
        VARTYPE argumentAfter = VT_EMPTY;  // a conversion replaces the caller's argument
    };
    const Case cases[] = {
        {"bool", Raw(VT_BOOL, 0xFFFF), S_OK, VARIANT_TRUE, VT_BOOL},
        // Scalars keep their bits: 2 stays 2, and 1.0 has zeros in its low 16 bits.
        {"I4 2", Raw(VT_I4, 2), S_OK, 2, VT_I4},
        {"R8 1.0", Raw(VT_R8, 0x3FF0000000000000ull), S_OK, 0, VT_R8},
        // Bits above the argument's own width are cleared before the 16-bit read.
        {"I1 with noise", Raw(VT_I1, 0x123456789ABCDE01ull), S_OK, 1, VT_I1},
        {"text", Text(L"True"), S_OK, VARIANT_TRUE, VT_BOOL},
        {"variant by reference", ByRef(VT_VARIANT, &referred), S_OK, 7, VT_BYREF | VT_VARIANT},
        {"bool by reference", ByRef(VT_BOOL, &flag), DISP_E_TYPEMISMATCH},
        // Followed once only: the VARIANT it refers to is itself a reference.
        {"reference chain", ByRef(VT_VARIANT, &nested), DISP_E_TYPEMISMATCH},
        {"null reference", ByRef(VT_VARIANT, nullptr), DISP_E_TYPEMISMATCH},
        {"word", Text(L"perhaps"), DISP_E_TYPEMISMATCH},
        // Flag bits beyond VT_BYREF and VT_ARRAY, and type numbers above the scalars, make no
        // scalar: the platform's conversion refuses them.
        {"vector", Raw(VT_VECTOR | VT_I4, 1), DISP_E_TYPEMISMATCH},
        {"type 72", Raw(72, 1), DISP_E_TYPEMISMATCH},
    };
    for (const Case& c : cases) {
        Arguments args{{c.argument}};
        UINT argErr = 99;
        fake.starts.clear();
        EXPECT_EQ(Call(automation, 1, args, &argErr), c.expected) << c.name;
        if (c.expected == S_OK) {
            EXPECT_EQ(argErr, 99u) << c.name;
            EXPECT_EQ(fake.starts, std::vector<VARIANT_BOOL>{c.useDialog}) << c.name;
            EXPECT_EQ(args.values[0].vt, c.argumentAfter) << c.name;
        } else {
            EXPECT_EQ(argErr, 0u) << c.name;
            EXPECT_TRUE(fake.starts.empty()) << c.name;
        }
    }
}

TEST_F(DispatchPartsTest, OnNewSmsTakesTextsAndNamesTheFirstParameterThatIsNone) {
    BSTR text = SysAllocString(L"by reference");
    // MsgText, ServCenter, Sender
    Arguments senderBad{{Raw(VT_UNKNOWN), Text(L"c"), ByRef(VT_BSTR, &text)}};
    Arguments messageBad{{Raw(VT_UNKNOWN), Text(L"c"), Text(L"s")}};
    Arguments good{{Raw(VT_I4, 5), Text(L"Center"), Text(L"Sender")}};
    UINT argErr = 99;
    EXPECT_EQ(Call(events, 2, senderBad, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 2u);
    EXPECT_EQ(Call(events, 2, messageBad, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(Call(events, 2, good), S_OK);
    EXPECT_EQ(fake.messages, (std::vector<Texts>{{L"Sender", L"Center", L"5"}}));
    SysFreeString(text);
}

TEST_F(DispatchPartsTest, NamedArgumentsGoToTheirParametersOrAreRefused) {
    struct Case {
        const char* name;
        std::vector<DISPID> named;  // naming the first of "a", "b", "c" in rgvarg
        HRESULT expected;
        UINT argErr;  // 99: untouched
        Texts raised = {};
    };
    const Case cases[] = {
        {"all named", {2, 0, 1}, S_OK, 99, {L"b", L"c", L"a"}},
        {"last named", {2}, S_OK, 99, {L"c", L"b", L"a"}},
        {"property put", {DISPID_PROPERTYPUT, 0, 1}, S_OK, 99, {L"b", L"c", L"a"}},
        {"beyond the parameters", {3}, DISP_E_PARAMNOTFOUND, 0},
        {"negative", {2, -5}, DISP_E_PARAMNOTFOUND, 1},
        {"named twice", {1, 1, 0}, DISP_E_PARAMNOTFOUND, 1},
        // Sender is also the first positional argument.
        {"named and positional", {0}, DISP_E_PARAMNOTFOUND, 2},
        {"more names than arguments", {2, 0, 1, 1}, DISP_E_PARAMNOTFOUND, 3},
    };
    for (const Case& c : cases) {
        Arguments args{{Text(L"a"), Text(L"b"), Text(L"c")}, c.named};
        UINT argErr = 99;
        fake.messages.clear();
        EXPECT_EQ(Call(events, 2, args, &argErr), c.expected) << c.name;
        EXPECT_EQ(argErr, c.argErr) << c.name;
        EXPECT_EQ(fake.messages,
                  c.raised.empty() ? std::vector<Texts>{} : std::vector<Texts>{c.raised})
            << c.name;
    }
    Arguments nameWithoutArguments{{}, {0}};
    UINT argErr = 99;
    EXPECT_EQ(Call(events, 1, nameWithoutArguments, &argErr), DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(fake.testEvents, 0);
}

}  // namespace
}  // namespace pelvaro
