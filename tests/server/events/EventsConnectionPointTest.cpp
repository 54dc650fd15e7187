#include <gtest/gtest.h>
#include <olectl.h>

#include <utility>

#include "Pelvaro_h.h"
#include "server/events/ConnectionEnumerators.h"
#include "server/events/EventsConnectionPoint.h"
#include "server/module/ModuleLock.h"
#include "tests/server/ServerTestSupport.h"
#include "win/Bstr.h"
#include "win/ComPtr.h"

namespace pelvaro {
namespace {

using test::FailAllocations;
using test::TestSink;

class FakeOwner final : public IConnectionPointContainer {
  public:
    static inline int alive = 0;
    LONG refs = 1;
    PropertyNotifyConnectionPoint notify{this};
    EventsConnectionPoint events{this};

    FakeOwner() { ++alive; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IConnectionPointContainer) return E_NOINTERFACE;
        *ppv = static_cast<IConnectionPointContainer*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        if (--refs != 0) return refs;
        refs = -1000;  // no second destruction from references taken while tearing down
        notify.ReleaseAllSinks();
        events.ReleaseAllSinks();
        delete this;
        return 0;
    }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override {
        return CreateConnectionPointEnumerator({notify.Interface(), events.Interface()}, ppEnum);
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID, IConnectionPoint**) override {
        return E_NOTIMPL;
    }

  private:
    ~FakeOwner() { --alive; }
};

class EventsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CoInitialize(nullptr);
        locks = ModuleLockCount();
        owner = new FakeOwner;
    }
    // Every count returns to where it started, whatever the test did in between.
    void TearDown() override {
        if (owner) {
            EXPECT_EQ(owner->refs, 1);
            owner->Release();
        }
        EXPECT_EQ(FakeOwner::alive, 0);
        for (const TestSink& sink : sinks) EXPECT_EQ(sink.refs, 1);
        EXPECT_EQ(ModuleLockCount(), locks);
        CoUninitialize();
    }

    IConnectionPoint* Events() { return owner->events.Interface(); }
    DWORD Advise(TestSink& sink) {
        DWORD cookie = 0;
        EXPECT_EQ(Events()->Advise(sink.Unknown(), &cookie), S_OK);
        return cookie;
    }
    std::vector<std::pair<IUnknown*, DWORD>> Connections() {
        ComPtr<IEnumConnections> e;
        EXPECT_EQ(Events()->EnumConnections(e.Put()), S_OK);
        std::vector<std::pair<IUnknown*, DWORD>> out;
        CONNECTDATA data;
        while (e && e->Next(1, &data, nullptr) == S_OK) {
            out.emplace_back(data.pUnk, data.dwCookie);
            data.pUnk->Release();
        }
        return out;
    }

    FakeOwner* owner = nullptr;
    TestSink sinks[8];
    LONG locks = 0;
};

TEST_F(EventsTest, SinkListGrowsByDoublingAndReusesTheLowestEmptySlot) {
    SinkList list;
    const std::size_t slotsAfterAdd[] = {1, 4, 4, 4, 8, 8, 8, 8, 16};
    for (DWORD i = 0; i < 9; ++i) {
        sinks[0].AddRef();
        EXPECT_EQ(list.Add(sinks[0].Unknown()), i + 1);
        EXPECT_EQ(list.SlotCount(), slotsAfterAdd[i]);
    }
    EXPECT_TRUE(list.Remove(5));
    EXPECT_TRUE(list.Remove(2));
    sinks[0].AddRef();
    EXPECT_EQ(list.Add(sinks[0].Unknown()), 2u);
    for (DWORD cookie = 1; cookie <= 9; ++cookie) list.Remove(cookie);
    EXPECT_EQ(list.SlotCount(), 16u) << "the array never shrinks";
}

TEST_F(EventsTest, OneSinkNeedsNoAllocationAlsoAfterTheOnlyOneWent) {
    for (int round = 1; round <= 2; ++round) {
        DWORD cookie = 0;
        HRESULT advised = E_FAIL;
        {
            FailAllocations fail;
            advised = Events()->Advise(sinks[0].Unknown(), &cookie);
        }
        EXPECT_EQ(advised, S_OK) << "round " << round;
        EXPECT_EQ(cookie, 1u);
        EXPECT_EQ(Events()->Unadvise(cookie), S_OK);
    }
}

TEST_F(EventsTest, RefusedAdviseAndUnadviseChangeNothingAndCookiesAreReused) {
    sinks[0].queryFailure = E_NOINTERFACE;
    sinks[1].queryFailure = E_UNEXPECTED;
    DWORD cookie = 7;
    const struct {
        IUnknown* sink;
        DWORD* cookie;
        HRESULT expected;
    } cases[] = {{nullptr, &cookie, E_POINTER},
                 {sinks[2].Unknown(), nullptr, E_POINTER},
                 {sinks[0].Unknown(), &cookie, CONNECT_E_CANNOTCONNECT},
                 {sinks[1].Unknown(), &cookie, E_UNEXPECTED}};
    for (const auto& c : cases) {
        cookie = 7;
        EXPECT_EQ(Events()->Advise(c.sink, c.cookie), c.expected);
        if (c.cookie) {
            EXPECT_EQ(cookie, 0u);
        }
    }
    EXPECT_EQ(Advise(sinks[3]), 1u);
    EXPECT_EQ(Advise(sinks[4]), 2u);
    EXPECT_EQ(Events()->Unadvise(2), S_OK);
    for (DWORD gone : {0u, 2u, 3u, 0xFFFFFFFFu}) {
        EXPECT_EQ(Events()->Unadvise(gone), CONNECT_E_NOCONNECTION) << gone;
    }
    EXPECT_EQ(Advise(sinks[5]), 2u);
    EXPECT_EQ(Advise(sinks[3]), 3u);
    const std::vector<std::pair<IUnknown*, DWORD>> listed = {
        {sinks[3].Unknown(), 1}, {sinks[5].Unknown(), 2}, {sinks[3].Unknown(), 1}};
    EXPECT_EQ(Connections(), listed) << "a sink connected twice shows its lower cookie twice";
}

TEST_F(EventsTest, OutOfMemoryLeavesTheListAsItWas) {
    for (int connected : {1, 4}) {  // the first array, then doubling it
        for (int i = 0; i < connected; ++i) Advise(sinks[i]);
        DWORD cookie = 7;
        ComPtr<IEnumConnections> e;
        {
            FailAllocations fail;
            EXPECT_EQ(Events()->Advise(sinks[5].Unknown(), &cookie), CONNECT_E_ADVISELIMIT);
            EXPECT_EQ(Events()->EnumConnections(e.Put()), E_OUTOFMEMORY);
        }
        EXPECT_EQ(cookie, 0u);
        EXPECT_FALSE(e);
        EXPECT_EQ(Connections().size(), std::size_t(connected));
        owner->events.ReleaseAllSinks();
    }
}

TEST_F(EventsTest, ConnectionPointsLiveOnTheirOwnersCount) {
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(Events()->GetConnectionPointContainer(container.Put()), S_OK);
    EXPECT_EQ(container.Get(), owner);
    EXPECT_EQ(owner->refs, 2);
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(owner->EnumConnectionPoints(points.Put()), S_OK);
    EXPECT_EQ(owner->refs, 4) << "the list holds both points";
    ComPtr<IConnectionPoint> second;
    EXPECT_EQ(points->Skip(1), S_OK);
    EXPECT_EQ(points->Next(1, second.Put(), nullptr), S_OK);
    EXPECT_EQ(second.Get(), Events());
}

TEST_F(EventsTest, EnumeratorWalksItsSnapshotAndClonesShareIt) {
    for (int i = 0; i < 3; ++i) Advise(sinks[i]);
    ComPtr<IEnumConnections> e;
    ASSERT_EQ(Events()->EnumConnections(e.Put()), S_OK);
    EXPECT_EQ(Events()->Unadvise(3), S_OK);
    EXPECT_EQ(sinks[2].refs, 2) << "the snapshot keeps its own reference";
    EXPECT_EQ(ModuleLockCount(), locks + 1);

    CONNECTDATA data[4] = {};
    ULONG fetched = 9;
    EXPECT_EQ(e->Next(0, data, &fetched), E_INVALIDARG);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(e->Next(1, nullptr, &fetched), E_POINTER);
    EXPECT_EQ(e->Next(2, data, nullptr), E_POINTER);
    EXPECT_EQ(e->Skip(0), E_INVALIDARG);
    EXPECT_EQ(e->Clone(nullptr), E_POINTER);

    EXPECT_EQ(e->Skip(1), S_OK);
    ComPtr<IEnumConnections> clone;
    ASSERT_EQ(e->Clone(clone.Put()), S_OK);
    EXPECT_EQ(e->Next(4, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(data[1].dwCookie, 3u);
    for (ULONG i = 0; i < fetched; ++i) data[i].pUnk->Release();
    EXPECT_EQ(e->Skip(1), S_FALSE);

    EXPECT_EQ(clone->Next(1, data, nullptr), S_OK) << "a clone keeps the position it was made at";
    EXPECT_EQ(data[0].dwCookie, 2u);
    data[0].pUnk->Release();
    EXPECT_EQ(clone->Reset(), S_OK);
    EXPECT_EQ(clone->Skip(3), S_OK);
    {
        FailAllocations fail;
        EXPECT_EQ(clone->Clone(e.Put()), E_OUTOFMEMORY);
    }
    EXPECT_FALSE(e);
}

TEST_F(EventsTest, EveryEventSinkReceivesTheArguments) {
    Bstr sender(L"Sender"), center(L"Center"), text(L"Text: hi");
    auto raiseNewSms = [&] {
        return owner->events.RaiseOnNewSms(sender.Get(), center.Get(), text.Get());
    };
    EXPECT_EQ(raiseNewSms(), S_OK) << "no sink connected";
    Advise(sinks[0]);
    Advise(sinks[1]);
    DWORD cookie = 0;
    EXPECT_EQ(owner->notify.Interface()->Advise(sinks[2].Unknown(), &cookie), S_OK);
    EXPECT_EQ(raiseNewSms(), S_OK);
    EXPECT_EQ(owner->events.RaiseTestEvent(), S_OK);
    for (const TestSink& sink : {std::cref(sinks[0]), std::cref(sinks[1])}) {
        ASSERT_EQ(sink.calls.size(), 2u);
        EXPECT_EQ(sink.calls[0].id, 2);
        EXPECT_EQ(sink.calls[0].args,
                  (std::vector<std::wstring>{L"Sender", L"Center", L"Text: hi"}));
        EXPECT_EQ(sink.calls[1].id, 1);
        EXPECT_TRUE(sink.calls[1].args.empty());
        EXPECT_TRUE(sink.calls[0].conventional && sink.calls[1].conventional);
    }
    EXPECT_TRUE(sinks[2].calls.empty()) << "property notifications are never raised";
}

TEST_F(EventsTest, FailingSinkEndsTheRaiseWithItsCode) {
    const struct {
        std::vector<HRESULT> results;
        HRESULT expected;
        std::size_t called;
    } cases[] = {{{S_FALSE, S_OK}, S_OK, 2},
                 {{S_OK, S_FALSE}, S_FALSE, 2},
                 {{E_FAIL, S_OK}, E_FAIL, 1},
                 {{S_OK, DISP_E_EXCEPTION, S_OK}, DISP_E_EXCEPTION, 2}};
    for (const auto& c : cases) {
        std::size_t called = 0;
        for (std::size_t i = 0; i < c.results.size(); ++i) {
            sinks[i].result = c.results[i];
            sinks[i].onInvoke = [&] { ++called; };
            Advise(sinks[i]);
        }
        EXPECT_EQ(owner->events.RaiseTestEvent(), c.expected);
        EXPECT_EQ(called, c.called);
        owner->events.ReleaseAllSinks();
    }
}

HRESULT STDMETHODCALLTYPE FillInLate(EXCEPINFO* info) {
    info->bstrDescription = SysAllocString(L"late");
    return S_OK;
}

TEST_F(EventsTest, SinkExceptionBecomesTheThreadsErrorInformation) {
    const struct {
        const wchar_t* description;
        bool deferred;
        const wchar_t* published;
    } cases[] = {{nullptr, false, L""}, {nullptr, true, L"late"}, {L"said", false, L"said"}};
    Advise(sinks[0]);
    sinks[0].result = DISP_E_EXCEPTION;
    for (const auto& c : cases) {
        sinks[0].exception = EXCEPINFO{};
        sinks[0].exception.scode = E_FAIL;
        sinks[0].exception.pfnDeferredFillIn = c.deferred ? FillInLate : nullptr;
        sinks[0].description = c.description;
        SetErrorInfo(0, nullptr);
        EXPECT_EQ(owner->events.RaiseTestEvent(), DISP_E_EXCEPTION) << "the sink's own code";
        ComPtr<IErrorInfo> info;
        ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
        GUID guid{};
        Bstr description;
        info->GetGUID(&guid);
        info->GetDescription(description.Put());
        EXPECT_EQ(guid, IID_IDispatch);
        EXPECT_EQ(description.Str(), c.published);
    }
}

// A handler may disconnect itself or a later sink, or release the owner's last reference.
TEST_F(EventsTest, HandlersMayDisconnectOrReleaseTheOwnerDuringARaise) {
    for (int i = 0; i < 4; ++i) Advise(sinks[i]);
    sinks[0].onInvoke = [&] {
        EXPECT_EQ(Events()->Unadvise(1), S_OK);
        EXPECT_EQ(sinks[0].refs, 2) << "a sink is held while it is called";
    };
    sinks[1].onInvoke = [&] { EXPECT_EQ(Events()->Unadvise(3), S_OK); };
    EXPECT_EQ(owner->events.RaiseTestEvent(), S_OK);
    EventsConnectionPoint& events = owner->events;
    sinks[1].onInvoke = [&] { std::exchange(owner, nullptr)->Release(); };
    EXPECT_EQ(events.RaiseTestEvent(), S_OK);
    const std::size_t calls[] = {1, 2, 0, 2};  // the last one after the owner went
    for (int i = 0; i < 4; ++i) EXPECT_EQ(sinks[i].calls.size(), calls[i]) << i;
    EXPECT_EQ(FakeOwner::alive, 0);
}

TEST_F(EventsTest, SinksConnectedDuringARaiseWaitForTheNextEvent) {
    Advise(sinks[0]);
    // Grows the inline slot into an array of 4, then to 8, while the walk is on slot 0.
    sinks[0].onInvoke = [&] {
        for (int i = 1; i < 6; ++i) Advise(sinks[i]);
        sinks[0].onInvoke = nullptr;
    };
    EXPECT_EQ(owner->events.RaiseTestEvent(), S_OK);
    EXPECT_EQ(owner->events.RaiseTestEvent(), S_OK);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(sinks[i].calls.size(), i == 0 ? 2u : 1u);
}

}  // namespace
}  // namespace pelvaro
