// The server's OPC objects in process, without a server program or windows:
// the item list, the change test of the subscriptions, the cycle schedule,
// the texts of result codes.
#include "BrowseFilter.h"
#include "ChangeTest.h"
#include "ComPtr.h"
#include "CycleSchedule.h"
#include "Group.h"
#include "ItemList.h"
#include "OpcConstants.h"
#include "OpcErrorText.h"
#include "ServerBudget.h"
#include "TagTable.h"
#include "ValueConversion.h"
#include "TaskMem.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// Tags as the driver lists them: their table position is their handle.
class Tags {
public:
    explicit Tags(int count, VARTYPE type = VT_I4) {
        for (int i = 0; i < count; ++i) {
            auto* tag = new CRealItem;
            tag->m_name = L"T" + std::to_wstring(i + 1);
            tag->m_canonicalType = type;
            tag->m_ioMode = kDeviceTag;
            table_.Append(tag);
        }
    }
    CRealItem* operator[](int handle) const {
        CRealItem* tag = table_.First();
        while (tag && tag->m_index != handle) tag = tag->m_pNext;
        return tag;
    }

private:
    TagTable table_;
};

CItem* NewItem(CRealItem* tag, OPCHANDLE client) {
    auto* item = new CItem;
    item->m_pTag = tag;
    item->m_hServer = static_cast<OPCHANDLE>(tag->m_index);
    item->m_hClient = client;
    return item;
}

std::vector<OPCHANDLE> ClientHandles(const ItemList& list) {
    std::vector<OPCHANDLE> handles;
    for (CItem* item = list.First(); item; item = item->m_pNext) handles.push_back(item->m_hClient);
    return handles;
}

TEST(ItemList, ATagAddedTwiceIsFoundFirstAndTheSecondTakesOverWhenTheFirstGoes) {
    Tags tags(3);
    ItemList list;
    CItem* first = NewItem(tags[2], 10);
    CItem* other = NewItem(tags[1], 11);
    CItem* second = NewItem(tags[2], 12);
    ASSERT_TRUE(list.Append(first));
    ASSERT_TRUE(list.Append(other));
    ASSERT_TRUE(list.Append(second));
    EXPECT_EQ(first, list.Find(2));
    EXPECT_EQ(nullptr, list.Find(3));

    list.Remove(first);
    EXPECT_EQ(second, list.Find(2));
    EXPECT_EQ((std::vector<OPCHANDLE>{11, 12}), ClientHandles(list));
    list.Remove(second);
    EXPECT_EQ(nullptr, list.Find(2));
    EXPECT_EQ(other, list.Find(1));
    EXPECT_EQ(1u, list.Count());
}

TEST(ItemList, RemovingFromTheMiddleAndTheEndsKeepsTheOrderAndTheLinks) {
    Tags tags(5);
    ItemList list;
    std::vector<CItem*> items;
    for (int h = 1; h <= 5; ++h) {
        items.push_back(NewItem(tags[h], static_cast<OPCHANDLE>(100 + h)));
        ASSERT_TRUE(list.Append(items.back()));
    }
    list.Remove(items[2]);
    list.Remove(items[0]);
    list.Remove(items[4]);
    EXPECT_EQ((std::vector<OPCHANDLE>{102, 104}), ClientHandles(list));
    EXPECT_EQ(nullptr, list.First()->m_pPrev);
    EXPECT_EQ(list.First(), list.First()->m_pNext->m_pPrev);
    // Appending after removals links behind the last one left.
    ASSERT_TRUE(list.Append(NewItem(tags[1], 201)));
    EXPECT_EQ((std::vector<OPCHANDLE>{102, 104, 201}), ClientHandles(list));
    list.Clear();
    EXPECT_EQ(0u, list.Count());
    EXPECT_EQ(nullptr, list.Find(2));
}

VARIANT Value(VARTYPE type, double number) {
    VARIANT v;
    std::memset(&v, 0, sizeof v);
    v.vt = type;
    switch (type) {
    case VT_I2: v.iVal = static_cast<SHORT>(number); break;
    case VT_BOOL: v.boolVal = number != 0 ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_I4: v.lVal = static_cast<LONG>(number); break;
    case VT_R4: v.fltVal = static_cast<float>(number); break;
    case VT_R8: v.dblVal = number; break;
    default: break;
    }
    return v;
}

// What a cycle does with an item: take the reading, test it, and if it
// changed, remember what was sent.
bool Cycle(CItem& item, const TagReading& reading, float deadband = 0.0f) {
    // The streams never apply a deadband; the data callback's record does.
    SentValue& record = deadband > 0.0f ? item.m_callbackSent : item.m_streamSent;
    if (!HasChanged(record, item.m_pTag->m_canonicalType, reading, deadband)) return false;
    VARIANT sent;
    std::memset(&sent, 0, sizeof sent);
    const HRESULT status = item.m_pTag->ValueOf(reading, &sent);
    RememberSent(record, sent, status);
    return true;
}

TEST(ChangeTest, SendsFirstThenOnlyWhatChangedInEveryType) {
    for (const VARTYPE type : {VT_I2, VT_BOOL, VT_I4, VT_R4, VT_R8}) {
        SCOPED_TRACE(type);
        Tags tags(1, type);
        std::unique_ptr<CItem> item(NewItem(tags[1], 1));
        EXPECT_TRUE(Cycle(*item, {Value(type, 1), kDriverOk})) << "never sent";
        EXPECT_FALSE(Cycle(*item, {Value(type, 1), kDriverOk})) << "same value";
        EXPECT_TRUE(Cycle(*item, {Value(type, 0), kDriverOk})) << "new value";
        EXPECT_TRUE(Cycle(*item, {Value(type, 0), DriverStatus{3}})) << "new status";
        EXPECT_FALSE(Cycle(*item, {Value(type, 0), DriverStatus{3}})) << "same status";
        item->m_streamSent.due = TRUE;
        EXPECT_TRUE(Cycle(*item, {Value(type, 0), DriverStatus{3}})) << "asked to send again";
    }
}

TEST(ChangeTest, ACloseDoubleIsAChangeAndUnknownTypesAlwaysAre) {
    Tags doubles(1, VT_R8);
    std::unique_ptr<CItem> item(NewItem(doubles[1], 1));
    Cycle(*item, {Value(VT_R8, 1.0), kDriverOk});
    EXPECT_TRUE(Cycle(*item, {Value(VT_R8, 1.0 + 1e-12), kDriverOk})) << "no deadband";

    Tags strings(1, VT_BSTR);
    std::unique_ptr<CItem> text(NewItem(strings[1], 2));
    VARIANT empty;
    std::memset(&empty, 0, sizeof empty);
    Cycle(*text, {empty, kDriverOk});
    EXPECT_TRUE(Cycle(*text, {empty, kDriverOk}));
}

// A deadband of 2 % holds back moves of at most 2 % of the value last sent,
// in every numeric type; a status change and a move away from 0 always go.
TEST(ChangeTest, DeadbandIsMeasuredAgainstTheValueLastSent) {
    for (const VARTYPE type : {VT_I4, VT_R4, VT_R8}) {
        SCOPED_TRACE(type);
        Tags tags(1, type);
        std::unique_ptr<CItem> item(NewItem(tags[1], 1));
        EXPECT_TRUE(Cycle(*item, {Value(type, 1000), kDriverOk}, 2.0f));
        EXPECT_FALSE(Cycle(*item, {Value(type, 1015), kDriverOk}, 2.0f)) << "1.5 %";
        EXPECT_FALSE(Cycle(*item, {Value(type, 980), kDriverOk}, 2.0f)) << "exactly 2 %, downwards";
        EXPECT_TRUE(Cycle(*item, {Value(type, 1021), kDriverOk}, 2.0f)) << "2.1 % of what was sent";
        EXPECT_FALSE(Cycle(*item, {Value(type, 1021), DriverStatus{0}}, 2.0f));
        EXPECT_TRUE(Cycle(*item, {Value(type, 1021), DriverStatus{3}}, 2.0f)) << "new status";
        EXPECT_TRUE(Cycle(*item, {Value(type, 0), kDriverOk}, 2.0f));
        EXPECT_TRUE(Cycle(*item, {Value(type, 1), kDriverOk}, 2.0f)) << "any move away from 0";
    }
    Tags flags(1, VT_BOOL);
    std::unique_ptr<CItem> flag(NewItem(flags[1], 2));
    Cycle(*flag, {Value(VT_BOOL, 1), kDriverOk}, 50.0f);
    EXPECT_TRUE(Cycle(*flag, {Value(VT_BOOL, 0), kDriverOk}, 50.0f)) << "not a number: no deadband";
}

TEST(BrowseFilter, WildcardsOfTheStandardIgnoringCase) {
    struct Case {
        const wchar_t* text;
        const wchar_t* pattern;
        bool matches;
    };
    const Case cases[] = {
        {L"Tank1", L"", true},          {L"Tank1", L"tank?", true},      {L"Tank", L"Tank?", false},
        {L"Tank12", L"T*2", true},      {L"Tank12", L"T*3", false},      {L"T", L"T*", true},
        {L"Tank1", L"Tank#", true},     {L"TankX", L"Tank#", false},     {L"Tank1", L"*[0-3]", true},
        {L"Tank7", L"*[0-3]", false},   {L"Tank7", L"*[!0-3]", true},    {L"a]", L"a[]]", true},
        {L"Ab", L"[a-b][A-B]", true},   {L"Tank1", L"Tank[1", false},    {L"x*y", L"x[*]y", true},
        {L"abcabc", L"*b*c*c", true},   {L"abcab", L"*b*c*c", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.matches, MatchesPattern(c.text, c.pattern)) << "\"" << c.text << "\" against \"" << c.pattern << "\"";
}

TEST(ValueConversion, RequestedTypesAndTheirFailures) {
    EXPECT_EQ(S_OK, CheckRequestedType(VT_I4, VT_EMPTY));
    EXPECT_EQ(S_OK, CheckRequestedType(VT_I4, VT_BSTR));
    EXPECT_EQ(S_OK, CheckRequestedType(VT_R8, VT_I1)) << "a value may not fit, the type still can";
    EXPECT_EQ(OPC_E_BADTYPE, CheckRequestedType(VT_I4, static_cast<VARTYPE>(VT_ARRAY | VT_I4)));
    EXPECT_EQ(OPC_E_BADTYPE, CheckRequestedType(VT_R4, VT_UNKNOWN));
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = 70000.0;
    EXPECT_EQ(OPC_E_RANGE, ConvertValue(v, VT_I2, 0x409));
    EXPECT_EQ(VT_EMPTY, v.vt);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(L"12");
    EXPECT_EQ(S_OK, ConvertValue(v, VT_I2, 0x409));
    EXPECT_EQ(VT_I2, v.vt);
    EXPECT_EQ(12, v.iVal);
}

TEST(TagReading, AValueIsHandedOutOnlyWhenTheDriverDeliveredIt) {
    Tags tags(1, VT_R8);
    CRealItem& tag = *tags[1];
    VARIANT out;
    std::memset(&out, 0, sizeof out);
    EXPECT_EQ(-1, tag.ReadValue(&out)) << "not read yet";
    EXPECT_EQ(0.0, out.dblVal);
    tag.StoreReading(Value(VT_R8, 2.5), kDriverOk);
    EXPECT_EQ(S_OK, tag.ReadValue(&out));
    EXPECT_EQ(VT_R8, out.vt);
    EXPECT_EQ(2.5, out.dblVal);
    tag.StoreReading(Value(VT_R8, 7.0), DriverStatus{9});
    std::memset(&out, 0, sizeof out);
    EXPECT_EQ(9, tag.ReadValue(&out));
    EXPECT_EQ(0.0, out.dblVal);
}

double g_now = 0;
double FakeClock() { return g_now; }

TEST(CycleSchedule, WaitsFromWhenTheCycleWasDueAndCatchesUpAfterAnOverrun) {
    g_now = 1000;
    CycleSchedule schedule(FakeClock);
    g_now += 30;  // the cycle took 30 ms
    EXPECT_EQ(70u, schedule.NextWait(100));
    g_now += 70 + 5;  // woke 5 ms late
    EXPECT_EQ(95u, schedule.NextWait(100)) << "the late wake-up is taken off the next wait";
    g_now += 95 + 250;  // a cycle that overran
    EXPECT_EQ(0u, schedule.NextWait(100)) << "the next cycle follows at once";
    g_now += 10;
    EXPECT_EQ(90u, schedule.NextWait(100)) << "counted again from the overrun";
    g_now += 90;
    EXPECT_EQ(kMinimumCyclePeriodMs, schedule.NextWait(0)) << "rate 0: the shortest period, not a spin";
}

// Counts taken from many threads at once never pass their limit, and what
// is given back can be taken again.
TEST(BoundedCount, NeverPassesItsLimitUnderRacingThreads) {
    BoundedCount count(8);
    EXPECT_FALSE(count.Take(9)) << "more than the limit at once";
    EXPECT_FALSE(count.Take(static_cast<size_t>(-1))) << "no wrap-around";
    EXPECT_EQ(0u, count.Used());
    std::atomic<bool> overrun{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                if (!count.Take(3)) continue;
                if (count.Used() > 8) overrun = true;
                count.Give(3);
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_FALSE(overrun);
    EXPECT_EQ(0u, count.Used());
    ASSERT_TRUE(count.Take(8));
    EXPECT_FALSE(count.Take());
    count.Give(2);
    EXPECT_TRUE(count.Take(2));
}

// A code's text as a client receives it, freed as the client frees it.
std::wstring ErrorString(HRESULT code, LCID locale = 0x409) {
    LPWSTR text = nullptr;
    EXPECT_EQ(S_OK, ErrorStringFor(code, locale, &text));
    const fw::TaskMemPtr<wchar_t> owner(text);
    return text ? text : L"";
}

TEST(ErrorString, OpcCodesHaveTheirOwnTextOtherCodesTheSystemsOrTheirNumber) {
    EXPECT_EQ(L"The value of the handle is invalid.", ErrorString(OPC_E_INVALIDHANDLE));
    const std::wstring inUse = ErrorString(OPC_S_INUSE, 0);
    EXPECT_NE(std::wstring::npos, inUse.find(L"is being referenced")) << "a success code, its typo mended";
    EXPECT_EQ(inUse, OpcErrorText(OPC_S_INUSE));

    EXPECT_TRUE(OpcErrorText(E_OUTOFMEMORY).empty());
    for (const LCID locale : {0x409u, 0u}) {
        SCOPED_TRACE(locale);
        const std::wstring system = ErrorString(E_OUTOFMEMORY, locale);
        ASSERT_FALSE(system.empty());
        EXPECT_EQ(system.size() - 1, system.find_last_not_of(L" \t\r\n")) << "no line break at the end";
        EXPECT_EQ(std::wstring::npos, system.find(L"Unknown error"));
    }

    // The customer bit: no system defines such a code.
    EXPECT_EQ(L"Unknown error 0xE0040123", ErrorString(static_cast<HRESULT>(0xE0040123)));
    EXPECT_EQ(E_INVALIDARG, ErrorStringFor(E_FAIL, 0x409, nullptr));
}

}  // namespace
