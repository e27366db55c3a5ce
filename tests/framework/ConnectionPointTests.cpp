// Snapshot enumerators and connection points in process, called the way a
// client calls them.
#include "ConnectionPointContainer.h"
#include "Enumerator.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

FW_INTERFACE_ID(IPropertyNotifySink)

namespace {

class AdviseSink final : public fw::ComObject<AdviseSink, IAdviseSink> {
public:
    STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) override {}
    STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override {}
    STDMETHODIMP_(void) OnRename(IMoniker*) override {}
    STDMETHODIMP_(void) OnSave() override {}
    STDMETHODIMP_(void) OnClose() override {}
};

// An object with two outgoing interfaces; advise sinks are limited to one.
class Owner final : public fw::ComObject<Owner, IConnectionPointContainer> {
public:
    Owner() {
        advise_.attach(new fw::ConnectionPoint<IAdviseSink>(this, 1));
        points_.Add(advise_);
        notify_.attach(new fw::ConnectionPoint<IPropertyNotifySink>(this, 0));
        points_.Add(notify_);
    }
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override {
        return points_.EnumConnectionPoints(out);
    }
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
        return points_.FindConnectionPoint(iid, out);
    }

private:
    fw::ComPtr<fw::ConnectionPoint<IAdviseSink>> advise_;
    fw::ComPtr<fw::ConnectionPoint<IPropertyNotifySink>> notify_;
    fw::ConnectionPointContainer points_;
};

template <class T, class... Args>
fw::ComPtr<T> New(Args&&... args) {
    fw::ComPtr<T> object;
    object.attach(new T(std::forward<Args>(args)...));
    return object;
}

ULONG Refs(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

using Names = std::vector<std::wstring>;

fw::ComPtr<IEnumString> Walk(Names names) {
    fw::ComPtr<IEnumString> walker;
    EXPECT_EQ(S_OK, fw::MakeEnumerator<IEnumString>(std::move(names), IID_IEnumString, walker.put_void()));
    return walker;
}

// One Next call; the names it handed out are freed as a client frees them.
Names Take(IEnumString* walker, ULONG celt, HRESULT expected) {
    std::vector<LPOLESTR> slots(celt, nullptr);
    ULONG fetched = 0;
    EXPECT_EQ(expected, walker->Next(celt, slots.data(), &fetched));
    Names names;
    for (ULONG i = 0; i < fetched; ++i) {
        names.push_back(slots[i]);
        CoTaskMemFree(slots[i]);
    }
    return names;
}

TEST(Enumerator, NextGivesWhatIsLeftAndSaysWhetherThatWasAllItWasAskedFor) {
    auto walker = Walk({L"a", L"b", L"c"});
    EXPECT_EQ((Names{L"a", L"b"}), Take(walker.get(), 2, S_OK));
    EXPECT_EQ((Names{L"c"}), Take(walker.get(), 5, S_FALSE));
    EXPECT_EQ(Names{}, Take(walker.get(), 1, S_FALSE));
    LPOLESTR slots[2] = {};
    EXPECT_EQ(E_POINTER, walker->Next(2, slots, nullptr)) << "several elements need a count";
}

TEST(Enumerator, EachStringIsACopyTheCallerOwns) {
    auto walker = Walk({L"a"});
    LPOLESTR first = nullptr;
    ASSERT_EQ(S_OK, walker->Next(1, &first, nullptr));
    first[0] = L'z';
    ASSERT_EQ(S_OK, walker->Reset());
    LPOLESTR second = nullptr;
    ASSERT_EQ(S_OK, walker->Next(1, &second, nullptr));
    EXPECT_NE(first, second);
    EXPECT_STREQ(L"a", second);
    CoTaskMemFree(first);
    CoTaskMemFree(second);
}

TEST(Enumerator, SkipStopsAtTheEndAndACloneWalksOnFromItsOriginalsPlace) {
    auto walker = Walk({L"a", L"b", L"c"});
    EXPECT_EQ(S_OK, walker->Skip(1));
    fw::ComPtr<IEnumString> clone;
    ASSERT_EQ(S_OK, walker->Clone(clone.put()));
    EXPECT_EQ(S_FALSE, walker->Skip(5));
    EXPECT_EQ(Names{}, Take(walker.get(), 1, S_FALSE));
    EXPECT_EQ((Names{L"b"}), Take(clone.get(), 1, S_OK));
    EXPECT_EQ(S_OK, walker->Reset());
    EXPECT_EQ(S_OK, walker->Skip(3)) << "reaching the end exactly is no overrun";
    EXPECT_EQ((Names{L"c"}), Take(clone.get(), 2, S_FALSE));
}

TEST(ConnectionPoint, ALimitOfOneRefusesASecondSinkUntilTheFirstLeaves) {
    auto owner = New<Owner>();
    fw::ComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, owner->FindConnectionPoint(IID_IAdviseSink, point.put()));
    auto first = New<AdviseSink>(), second = New<AdviseSink>();
    DWORD cookie = 0, refused = 99;
    ASSERT_EQ(S_OK, point->Advise(first.get(), &cookie));
    EXPECT_EQ(CONNECT_E_ADVISELIMIT, point->Advise(second.get(), &refused));
    EXPECT_EQ(0u, refused);
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie + 1));
    EXPECT_EQ(S_OK, point->Unadvise(cookie));
    ASSERT_EQ(S_OK, point->Advise(second.get(), &cookie));
    EXPECT_EQ(S_OK, point->Unadvise(cookie));
}

TEST(ConnectionPoint, EnumConnectionsListsTheCookiesAdvisedWithAReferenceToEachSink) {
    auto point = New<fw::ConnectionPoint<IAdviseSink>>(nullptr, 0);
    auto a = New<AdviseSink>(), b = New<AdviseSink>(), c = New<AdviseSink>();
    DWORD cookies[3] = {};
    ASSERT_EQ(S_OK, point->Advise(a.get(), &cookies[0]));
    ASSERT_EQ(S_OK, point->Advise(b.get(), &cookies[1]));
    ASSERT_EQ(S_OK, point->Advise(c.get(), &cookies[2]));
    ASSERT_EQ(S_OK, point->Unadvise(cookies[1]));

    fw::ComPtr<IEnumConnections> walker;
    ASSERT_EQ(S_OK, point->EnumConnections(walker.put()));
    CONNECTDATA listed[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, walker->Next(3, listed, &fetched));
    ASSERT_EQ(2u, fetched);
    EXPECT_EQ(cookies[0], listed[0].dwCookie);
    EXPECT_EQ(a->Identity(), listed[0].pUnk);
    EXPECT_EQ(cookies[2], listed[1].dwCookie);
    EXPECT_EQ(c->Identity(), listed[1].pUnk);
    EXPECT_EQ(4u, Refs(a.get())) << "ours, the point's, the snapshot's and the one handed out";
    listed[0].pUnk->Release();
    listed[1].pUnk->Release();
    walker.reset();
    EXPECT_EQ(2u, Refs(a.get()));
    EXPECT_EQ(1u, Refs(b.get()));
}

TEST(ConnectionPointContainer, FindsAndListsItsPointsByInterface) {
    auto owner = New<Owner>();
    fw::ComPtr<IConnectionPoint> advise, notify;
    ASSERT_EQ(S_OK, owner->FindConnectionPoint(IID_IAdviseSink, advise.put()));
    ASSERT_EQ(S_OK, owner->FindConnectionPoint(IID_IPropertyNotifySink, notify.put()));
    IConnectionPoint* none = advise.get();
    EXPECT_EQ(CONNECT_E_NOCONNECTION, owner->FindConnectionPoint(IID_IDispatch, &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(E_POINTER, owner->FindConnectionPoint(IID_IAdviseSink, nullptr));

    fw::ComPtr<IEnumConnectionPoints> walker;
    ASSERT_EQ(S_OK, owner->EnumConnectionPoints(walker.put()));
    IConnectionPoint* listed[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, walker->Next(3, listed, &fetched));
    ASSERT_EQ(2u, fetched);
    EXPECT_EQ(advise.get(), listed[0]);
    EXPECT_EQ(notify.get(), listed[1]);
    listed[0]->Release();
    listed[1]->Release();
}

TEST(ConnectionPointContainer, APointThatOutlivesItsContainerSaysItIsGone) {
    const long before = fw::ModuleLock::Count();
    auto owner = New<Owner>();
    fw::ComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, owner->FindConnectionPoint(IID_IAdviseSink, point.put()));
    fw::ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, point->GetConnectionPointContainer(container.put()));
    EXPECT_EQ(static_cast<IConnectionPointContainer*>(owner.get()), container.get());

    IConnectionPointContainer* gone = container.get();  // only compared from here on
    container.reset();
    owner.reset();
    EXPECT_EQ(before + 1, fw::ModuleLock::Count()) << "only the point still held is left";
    EXPECT_EQ(E_UNEXPECTED, point->GetConnectionPointContainer(&gone));
    EXPECT_EQ(nullptr, gone);
}

}  // namespace
