// The two IDispatch parts with fakes behind them: names, parameter counts, argument
// conversion and the sorting of named arguments.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Variants.h"
#include "server/AutomationPart.h"
#include "server/EventSourcePart.h"

namespace {

// Stands in for the object's controlling unknown; the parts must not need more of it here.
class UnusedUnknown final : public IUnknown {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_UNEXPECTED; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

class FakeReceiver final : public ReceiverCommands {
  public:
    std::vector<VARIANT_BOOL> starts;
    int closes = 0;
    HRESULT result = S_OK;

    HRESULT StartReceiving(VARIANT_BOOL UseDialog) override {
        starts.push_back(UseDialog);
        return result;
    }
    HRESULT Close() override {
        ++closes;
        return result;
    }
};

struct Raise {
    DISPID id;
    std::vector<std::wstring> args;  // Sender, ServCenter, MsgText
};

class FakeRaiser final : public EventRaiser {
  public:
    std::vector<Raise> raises;
    HRESULT result = S_OK;

    HRESULT RaiseTestEvent() override {
        raises.push_back({1, {}});
        return result;
    }
    HRESULT RaiseOnNewSms(BSTR Sender, BSTR ServCenter, BSTR MsgText) override {
        raises.push_back({2, {ToText(Sender), ToText(ServCenter), ToText(MsgText)}});
        return result;
    }
};

class DispatchPartsTest : public ::testing::Test {
  protected:
    HRESULT InvokeAutomation(DISPID id, DISPPARAMS* params, UINT* argErr = nullptr,
                             VARIANT* result = nullptr) {
        return automation.Invoke(id, IID_NULL, 0, DISPATCH_METHOD, params, result, nullptr, argErr);
    }
    HRESULT InvokeEvents(DISPID id, DISPPARAMS* params, UINT* argErr = nullptr) {
        return events.Invoke(id, IID_NULL, 0, DISPATCH_METHOD, params, nullptr, nullptr, argErr);
    }
    std::vector<DISPID> Ids(IDispatch& dispatch, std::vector<const wchar_t*> names,
                            HRESULT expected) {
        std::vector<DISPID> ids(names.size(), -99);
        EXPECT_EQ(dispatch.GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(names.data()),
                                         static_cast<UINT>(names.size()), 0, ids.data()),
                  expected);
        return ids;
    }

    UnusedUnknown owner;
    FakeReceiver receiver;
    FakeRaiser raiser;
    AutomationPart automation{&owner, receiver};
    EventSourcePart events{&owner, raiser};
};

TEST_F(DispatchPartsTest, NameTablesAreSearchedWithoutRegardToCase) {
    EXPECT_EQ(Ids(automation, {L"startreceiving", L"usedialog"}, S_OK),
              (std::vector<DISPID>{1, 0}));
    EXPECT_EQ(Ids(automation, {L"CLOSE"}, S_OK), (std::vector<DISPID>{2}));
    // The names before the unknown one are already answered.
    EXPECT_EQ(Ids(automation, {L"Close", L"Open", L"UseDialog"}, DISP_E_UNKNOWNNAME),
              (std::vector<DISPID>{2, -99, -99}));
    EXPECT_EQ(Ids(events, {L"OnNewSms", L"sender", L"ServCenter", L"MSGTEXT"}, S_OK),
              (std::vector<DISPID>{2, 0, 1, 2}));
    EXPECT_EQ(Ids(events, {L"TestEvent"}, S_OK), (std::vector<DISPID>{1}));
    Ids(events, {L"StartReceiving"}, DISP_E_UNKNOWNNAME);
    Ids(automation, {L"OnNewSms"}, DISP_E_UNKNOWNNAME);
}

TEST_F(DispatchPartsTest, AutomationChecksTheArgumentCountBeforeTheMember) {
    struct Case {
        DISPID id;
        int argCount;
        HRESULT expected;
    };
    const Case cases[] = {
        {7, 2, DISP_E_BADPARAMCOUNT}, {7, 0, DISP_E_MEMBERNOTFOUND}, {2, 1, DISP_E_BADPARAMCOUNT},
        {1, 0, DISP_E_BADPARAMCOUNT}, {1, 2, DISP_E_BADPARAMCOUNT},  {2, 0, S_OK},
    };
    for (const Case& c : cases) {
        Arguments args;
        for (int i = 0; i < c.argCount; ++i) args.Bool(VARIANT_FALSE);
        DISPPARAMS params = args.Params();
        EXPECT_EQ(InvokeAutomation(c.id, &params), c.expected) << c.id << "/" << c.argCount;
    }
    EXPECT_EQ(receiver.closes, 1);
    EXPECT_TRUE(receiver.starts.empty());
    EXPECT_EQ(InvokeAutomation(1, nullptr), DISP_E_BADVARTYPE);
}

TEST_F(DispatchPartsTest, AutomationPassesTheReceiversResultAndEmptiesTheResultVariant) {
    receiver.result = E_FAIL;
    Arguments args;
    args.Bool(VARIANT_TRUE);
    DISPPARAMS params = args.Params();
    VARIANT result;
    result.vt = VT_I4;
    result.lVal = 42;
    EXPECT_EQ(InvokeAutomation(1, &params, nullptr, &result), E_FAIL);
    EXPECT_EQ(result.vt, VT_EMPTY);
    EXPECT_EQ(receiver.starts, std::vector<VARIANT_BOOL>{VARIANT_TRUE});
}

TEST_F(DispatchPartsTest, UseDialogIsReinterpretedOrConvertedFromTheArgument) {
    VARIANT referred;
    VariantInit(&referred);
    referred.vt = VT_I2;
    referred.iVal = 7;
    struct Case {
        const char* name;
        void (*build)(Arguments&, VARIANT&);
        VARIANT_BOOL expected;
    };
    const Case cases[] = {
        {"bool", [](Arguments& a, VARIANT&) { a.Bool(VARIANT_TRUE); }, VARIANT_TRUE},
        // Scalars keep their bits: 2 stays 2, and 1.0 has zeros in its low 16 bits.
        {"I4 2", [](Arguments& a, VARIANT&) { a.I4(2); }, 2},
        {"R8 1.0", [](Arguments& a, VARIANT&) { a.R8(1.0); }, 0},
        // Bits above the argument's own width are cleared before the 16-bit read.
        {"I1 with noise", [](Arguments& a, VARIANT&) { a.Raw(VT_I1, 0x123456789ABCDE01ull); }, 1},
        {"UI2 wide", [](Arguments& a, VARIANT&) { a.Raw(VT_UI2, 0x0000000000018001ull); },
         static_cast<VARIANT_BOOL>(0x8001)},
        {"text", [](Arguments& a, VARIANT&) { a.Text(L"True"); }, VARIANT_TRUE},
        {"empty", [](Arguments& a, VARIANT&) { a.Raw(VT_EMPTY); }, VARIANT_FALSE},
        {"variant by reference", [](Arguments& a, VARIANT& r) { a.ByRef(VT_VARIANT, &r); }, 7},
    };
    for (const Case& c : cases) {
        Arguments args;
        c.build(args, referred);
        DISPPARAMS params = args.Params();
        UINT argErr = 99;
        receiver.starts.clear();
        EXPECT_EQ(InvokeAutomation(1, &params, &argErr), S_OK) << c.name;
        EXPECT_EQ(argErr, 99u) << c.name;
        EXPECT_EQ(receiver.starts, std::vector<VARIANT_BOOL>{c.expected}) << c.name;
    }
}

TEST_F(DispatchPartsTest, AConvertedArgumentReplacesTheCallersValue) {
    VARIANT referred;
    VariantInit(&referred);
    referred.vt = VT_BSTR;
    referred.bstrVal = SysAllocString(L"False");
    Arguments direct, byReference;
    direct.Text(L"True");
    byReference.ByRef(VT_VARIANT, &referred);
    DISPPARAMS directParams = direct.Params(), referenceParams = byReference.Params();

    EXPECT_EQ(InvokeAutomation(1, &directParams), S_OK);
    EXPECT_EQ(direct[0].vt, VT_BOOL);
    EXPECT_EQ(direct[0].boolVal, VARIANT_TRUE);
    EXPECT_EQ(InvokeAutomation(1, &referenceParams), S_OK);
    EXPECT_EQ(referred.vt, VT_BOOL);
    EXPECT_EQ(referred.boolVal, VARIANT_FALSE);
    EXPECT_EQ(receiver.starts, (std::vector<VARIANT_BOOL>{VARIANT_TRUE, VARIANT_FALSE}));
}

TEST_F(DispatchPartsTest, ArgumentsThatCannotBecomeABooleanAreATypeMismatch) {
    VARIANT_BOOL flag = VARIANT_TRUE;
    VARIANT nested;
    VariantInit(&nested);
    nested.vt = VT_BYREF | VT_BOOL;
    nested.pboolVal = &flag;
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 1);
    struct Case {
        const char* name;
        void (*build)(Arguments&, void*);
        void* context;
    };
    const Case cases[] = {
        {"bool by reference", [](Arguments& a, void* f) { a.ByRef(VT_BOOL, f); }, &flag},
        // Followed once only: the VARIANT it refers to is itself a reference.
        {"reference chain", [](Arguments& a, void* n) { a.ByRef(VT_VARIANT, n); }, &nested},
        {"null reference", [](Arguments& a, void*) { a.ByRef(VT_VARIANT, nullptr); }, nullptr},
        {"word", [](Arguments& a, void*) { a.Text(L"perhaps"); }, nullptr},
        {"array",
         [](Arguments& a, void* s) {
             a.Raw(VT_ARRAY | VT_I4);
             a[0].parray = static_cast<SAFEARRAY*>(s);
         },
         array},
        // Flag bits beyond VT_BYREF and VT_ARRAY, and type numbers above the scalars, are left
        // to the platform's conversion, which refuses them.
        {"vector", [](Arguments& a, void*) { a.Raw(VT_VECTOR | VT_I4, 1); }, nullptr},
        {"type 72", [](Arguments& a, void*) { a.Raw(72, 1); }, nullptr},
        {"type 4095", [](Arguments& a, void*) { a.Raw(0x0FFF, 1); }, nullptr},
    };
    for (const Case& c : cases) {
        Arguments args;
        c.build(args, c.context);
        DISPPARAMS params = args.Params();
        UINT argErr = 99;
        EXPECT_EQ(InvokeAutomation(1, &params, &argErr), DISP_E_TYPEMISMATCH) << c.name;
        EXPECT_EQ(argErr, 0u) << c.name;
        if (args[0].vt == (VT_ARRAY | VT_I4)) args[0].vt = VT_EMPTY;  // the array is ours
    }
    EXPECT_TRUE(receiver.starts.empty());
    SafeArrayDestroy(array);
}

TEST_F(DispatchPartsTest, EventSourceRaisesWithTheArgumentsInParameterOrderAndPassesTheResult) {
    Arguments args;
    args.I4(5).Text(L"Center").Text(L"Sender");  // MsgText, ServCenter, Sender
    DISPPARAMS params = args.Params();
    Arguments none;
    DISPPARAMS noParams = none.Params();

    EXPECT_EQ(InvokeEvents(2, &params), S_OK);
    raiser.result = E_ACCESSDENIED;
    EXPECT_EQ(InvokeEvents(1, &noParams), E_ACCESSDENIED);
    ASSERT_EQ(raiser.raises.size(), 2u);
    EXPECT_EQ(raiser.raises[0].id, 2);
    EXPECT_EQ(raiser.raises[0].args, (std::vector<std::wstring>{L"Sender", L"Center", L"5"}));
    EXPECT_EQ(raiser.raises[1].id, 1);
}

TEST_F(DispatchPartsTest, EventSourceChecksCountsAndMembers) {
    struct Case {
        DISPID id;
        int argCount;
        HRESULT expected;
    };
    const Case cases[] = {
        {2, 4, DISP_E_BADPARAMCOUNT}, {9, 4, DISP_E_BADPARAMCOUNT},  {1, 1, DISP_E_BADPARAMCOUNT},
        {2, 2, DISP_E_BADPARAMCOUNT}, {9, 0, DISP_E_MEMBERNOTFOUND},
    };
    for (const Case& c : cases) {
        Arguments args;
        for (int i = 0; i < c.argCount; ++i) args.Text(L"x");
        DISPPARAMS params = args.Params();
        EXPECT_EQ(InvokeEvents(c.id, &params), c.expected) << c.id << "/" << c.argCount;
    }
    EXPECT_EQ(InvokeEvents(2, nullptr), DISP_E_BADVARTYPE);
    EXPECT_TRUE(raiser.raises.empty());
}

TEST_F(DispatchPartsTest, EventSourceNamesTheFirstArgumentThatIsNoText) {
    BSTR text = SysAllocString(L"by reference");
    Arguments senderBad, messageBad;
    senderBad.Raw(VT_UNKNOWN).Text(L"c").ByRef(VT_BSTR, &text);  // both MsgText and Sender
    messageBad.Raw(VT_UNKNOWN).Text(L"c").Text(L"s");
    DISPPARAMS senderParams = senderBad.Params(), messageParams = messageBad.Params();
    UINT argErr = 99;
    EXPECT_EQ(InvokeEvents(2, &senderParams, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 2u);
    EXPECT_EQ(InvokeEvents(2, &messageParams, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    EXPECT_TRUE(raiser.raises.empty());
    SysFreeString(text);
}

TEST_F(DispatchPartsTest, NamedArgumentsGoToTheirParameters) {
    struct Case {
        const char* name;
        std::vector<DISPID> named;
        HRESULT expected;
        UINT argErr;  // 99: untouched
        std::vector<std::wstring> raised;
    };
    // rgvarg holds "a", "b", "c" in that order; named arguments name the first entries.
    const std::vector<Case> cases = {
        {"all named", {2, 0, 1}, S_OK, 99, {L"b", L"c", L"a"}},
        {"last named", {2}, S_OK, 99, {L"c", L"b", L"a"}},
        {"property put", {DISPID_PROPERTYPUT, 0, 1}, S_OK, 99, {L"b", L"c", L"a"}},
        {"beyond the parameters", {3}, DISP_E_PARAMNOTFOUND, 0, {}},
        {"negative", {2, -5}, DISP_E_PARAMNOTFOUND, 1, {}},
        {"named twice", {1, 1, 0}, DISP_E_PARAMNOTFOUND, 1, {}},
        // Sender is also the first positional argument.
        {"named and positional", {0}, DISP_E_PARAMNOTFOUND, 2, {}},
        {"property put and named last", {DISPID_PROPERTYPUT, 2}, DISP_E_PARAMNOTFOUND, 1, {}},
        {"more names than arguments", {2, 0, 1, 1}, DISP_E_PARAMNOTFOUND, 3, {}},
    };
    for (const Case& c : cases) {
        Arguments args;
        args.Text(L"a").Text(L"b").Text(L"c");
        std::vector<DISPID> named = c.named;
        DISPPARAMS params = args.Params(&named);
        UINT argErr = 99;
        raiser.raises.clear();
        EXPECT_EQ(InvokeEvents(2, &params, &argErr), c.expected) << c.name;
        EXPECT_EQ(argErr, c.argErr) << c.name;
        if (c.raised.empty()) {
            EXPECT_TRUE(raiser.raises.empty()) << c.name;
        } else {
            ASSERT_EQ(raiser.raises.size(), 1u) << c.name;
            EXPECT_EQ(raiser.raises[0].args, c.raised) << c.name;
        }
    }
}

TEST_F(DispatchPartsTest, ANamedArgumentWithoutArgumentsIsRefused) {
    std::vector<DISPID> named = {0};
    DISPPARAMS params{nullptr, named.data(), 0, 1};
    UINT argErr = 99;
    EXPECT_EQ(InvokeEvents(1, &params, &argErr), DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(argErr, 0u);
    EXPECT_TRUE(raiser.raises.empty());
}

}  // namespace
