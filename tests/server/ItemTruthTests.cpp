// What a client that relies on the standard's answers learns about items:
// their rights, one handle per item, values in the requested types, group
// state that takes effect, item properties and browsing by the standard.
#include "DataCallbackSink.h"
#include "DataChangeSink.h"
#include "HeldGroupTest.h"

#include <cstring>

namespace {

using fw::ComPtr;
using ItemTruth = HeldGroupTest;

struct Added {
    HRESULT hr = E_FAIL;
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
};

Added AddById(IUnknown* group, const std::vector<std::pair<const wchar_t*, VARTYPE>>& items, bool validate = false) {
    Added added;
    ComPtr<IOPCItemMgt> mgt;
    if (FAILED(group->QueryInterface(IID_IOPCItemMgt, mgt.put_void()))) return added;
    std::vector<OPCITEMDEF> defs(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        defs[i] = OPCITEMDEF{};
        defs[i].szItemID = const_cast<wchar_t*>(items[i].first);
        defs[i].bActive = TRUE;
        defs[i].hClient = static_cast<OPCHANDLE>(100 + i);
        defs[i].vtRequestedDataType = items[i].second;
    }
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    const DWORD n = static_cast<DWORD>(items.size());
    added.hr = validate ? mgt->ValidateItems(n, defs.data(), FALSE, &results, &errors)
                        : mgt->AddItems(n, defs.data(), &results, &errors);
    if (results) added.results.assign(results, results + n);
    if (errors) added.errors.assign(errors, errors + n);
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    return added;
}

HRESULT RemoveOne(IUnknown* group, OPCHANDLE handle) {
    ComPtr<IOPCItemMgt> mgt;
    HRESULT hr = group->QueryInterface(IID_IOPCItemMgt, mgt.put_void());
    if (FAILED(hr)) return hr;
    HRESULT* errors = nullptr;
    hr = mgt->RemoveItems(1, &handle, &errors);
    if (hr == S_FALSE && errors) hr = errors[0];
    CoTaskMemFree(errors);
    return hr;
}

// The string a DA 1.0 stream carries after a VT_BSTR value.
std::wstring StreamString(const ReceivedStream& stream, DWORD valueOffset) {
    DWORD bytes = 0;
    if (valueOffset + 20 > stream.bytes.size()) return L"<outside>";
    std::memcpy(&bytes, stream.bytes.data() + valueOffset + 16, sizeof bytes);
    if (valueOffset + 20 + bytes > stream.bytes.size()) return L"<outside>";
    std::wstring text(bytes / 2, L'\0');
    std::memcpy(&text[0], stream.bytes.data() + valueOffset + 20, bytes);
    return text;
}

TEST_F(ItemTruth, RightsAndOneHandlePerItem) {
    const Added validated = AddById(group_.get(), {{L"A", VT_EMPTY}}, true);
    ASSERT_EQ(S_OK, validated.hr);
    EXPECT_EQ(static_cast<DWORD>(OPC_READABLE | OPC_WRITEABLE), validated.results[0].dwAccessRights);

    const Added again = AddById(group_.get(), {{L"A", VT_EMPTY}, {L"A", VT_EMPTY}});
    ASSERT_EQ(S_OK, again.hr);
    const OPCHANDLE first = handles_[0], second = again.results[0].hServer, third = again.results[1].hServer;
    EXPECT_EQ(validated.results[0].hServer, first) << "the first item of a tag keeps the tag's handle";
    EXPECT_NE(first, second);
    EXPECT_NE(second, third);
    EXPECT_GE(second, 0x80000000u) << "no tag position can equal it";
    EXPECT_EQ(static_cast<DWORD>(OPC_READABLE | OPC_WRITEABLE), again.results[0].dwAccessRights);

    // Each handle reaches its own item: the second one's client handle.
    OPCITEMSTATE state{};
    HRESULT error = E_FAIL;
    ASSERT_EQ(S_OK, ReadNow(OPC_DS_DEVICE, second, state, error));
    EXPECT_EQ(100u, state.hClient);
    VariantClear(&state.vDataValue);
    EXPECT_EQ(S_OK, RemoveOne(group_.get(), first));
    ASSERT_EQ(S_OK, ReadNow(OPC_DS_CACHE, third, state, error)) << "the others outlive the first";
    EXPECT_EQ(101u, state.hClient);
    VariantClear(&state.vDataValue);
    EXPECT_EQ(S_OK, RemoveOne(group_.get(), second));
    EXPECT_EQ(S_OK, RemoveOne(group_.get(), third));
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, RemoveOne(group_.get(), third)) << "removed for good";
}

TEST_F(ItemTruth, ValuesComeInTheRequestedTypes) {
    const Added impossible = AddById(group_.get(), {{L"A", static_cast<VARTYPE>(VT_ARRAY | VT_I4)}});
    EXPECT_EQ(S_FALSE, impossible.hr);
    EXPECT_EQ(OPC_E_BADTYPE, impossible.errors[0]);

    ComPtr<IUnknown> typed;
    ASSERT_NO_FATAL_FAILURE(MakeGroup(L"Typed", TRUE, 0.0f, typed, {VT_R8, VT_BSTR, VT_I4}));
    group_ = typed;
    ASSERT_EQ(S_OK, WriteNow(handles_[2], Number(VT_R4, 7.0)));  // C
    const VARTYPE expected[] = {VT_R8, VT_BSTR, VT_I4};
    for (int i = 0; i < 3; ++i) {
        OPCITEMSTATE state{};
        HRESULT error = E_FAIL;
        ASSERT_EQ(S_OK, ReadNow(OPC_DS_DEVICE, handles_[i], state, error));
        EXPECT_EQ(S_OK, error);
        EXPECT_EQ(expected[i], state.vDataValue.vt) << i;
        if (i == 1) {
            EXPECT_STREQ(L"1.5", state.vDataValue.bstrVal);
        }
        if (i == 2) {
            EXPECT_EQ(7, state.vDataValue.lVal);
        }
        VariantClear(&state.vDataValue);
    }

    CallbackSubscription callback;
    ASSERT_EQ(S_OK, callback.Advise(group_.get()));
    Subscription streams;
    ASSERT_EQ(S_OK, streams.Advise(group_.get(), FormatDataTime()));
    ASSERT_TRUE(callback.Sink().WaitFor(1, 5000));
    ASSERT_TRUE(streams.Sink().WaitFor(1, 5000));
    const CallbackCall& call = callback.Sink().Calls()[0];
    ASSERT_EQ(3u, call.items.size());
    EXPECT_EQ(VT_R8, call.Find(1)->value.vt);
    EXPECT_EQ(VT_BSTR, call.Find(2)->value.vt);
    EXPECT_EQ(VT_I4, call.Find(3)->value.vt);
    const ReceivedStream& stream = streams.Sink().Streams()[0];
    std::vector<StreamEntry> entries;
    std::string why;
    ASSERT_TRUE(stream.Entries(true, entries, &why)) << why;
    ASSERT_EQ(3u, entries.size());
    EXPECT_EQ(VT_R8, entries[0].vt);
    EXPECT_EQ(1.0, entries[0].AsDouble());
    EXPECT_EQ(VT_BSTR, entries[1].vt);
    EXPECT_EQ(L"1.5", StreamString(stream, entries[1].valueOffset));
    EXPECT_EQ(VT_I4, entries[2].vt);
    EXPECT_EQ(stream.Size(), stream.bytes.size() >= stream.Size() ? stream.Size() : 0u) << "the block holds dwSize";
    EXPECT_GT(stream.Size(), 20u + 36u * 3u) << "the string made the block larger";

    // A value the requested type cannot hold is a bad item, not a wrong one.
    ComPtr<IOPCItemMgt> mgt;
    ASSERT_EQ(S_OK, group_.query(mgt));
    VARTYPE small = VT_I2;
    HRESULT* errors = nullptr;
    ASSERT_EQ(S_OK, mgt->SetDatatypes(1, &handles_[0], &small, &errors));
    CoTaskMemFree(errors);
    ASSERT_EQ(S_OK, WriteNow(handles_[0], Number(VT_I4, 100000)));
    OPCITEMSTATE state{};
    HRESULT error = S_OK;
    ASSERT_EQ(S_OK, ReadNow(OPC_DS_DEVICE, handles_[0], state, error));
    EXPECT_EQ(OPC_E_BADTYPE, error);
    EXPECT_EQ(OPC_QUALITY_BAD, state.wQuality);
    VariantClear(&state.vDataValue);
}

TEST_F(ItemTruth, WritesAcceptWhatConvertsToTheTagsType) {
    EXPECT_EQ(S_OK, WriteNow(handles_[0], Number(VT_R8, 2.0)));
    OPCITEMSTATE state{};
    HRESULT error = E_FAIL;
    ASSERT_EQ(S_OK, ReadNow(OPC_DS_DEVICE, handles_[0], state, error));
    EXPECT_EQ(VT_I4, state.vDataValue.vt);
    EXPECT_EQ(2, state.vDataValue.lVal);
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(L"17");
    EXPECT_EQ(S_OK, WriteNow(handles_[0], text));
    ASSERT_EQ(S_OK, ReadNow(OPC_DS_DEVICE, handles_[0], state, error));
    EXPECT_EQ(17, state.vDataValue.lVal);
    EXPECT_EQ(OPC_E_RANGE, WriteNow(handles_[0], Number(VT_R8, 1e12)));
    SysFreeString(text.bstrVal);
    text.bstrVal = SysAllocString(L"abc");
    EXPECT_EQ(OPC_E_BADTYPE, WriteNow(handles_[0], text));
    VariantClear(&text);
    ASSERT_EQ(S_OK, ReadNow(OPC_DS_DEVICE, handles_[0], state, error));
    EXPECT_EQ(17, state.vDataValue.lVal) << "refused writes change nothing";
}

TEST_F(ItemTruth, GroupStateNameAndClone) {
    ComPtr<IOPCGroupStateMgt> stateMgt;
    ASSERT_EQ(S_OK, group_.query(stateMgt));
    CallbackSubscription callback;
    ASSERT_EQ(S_OK, callback.Advise(group_.get()));
    Subscription streams;
    ASSERT_EQ(S_OK, streams.Advise(group_.get(), FormatDataTime()));
    ASSERT_TRUE(callback.Sink().WaitFor(1, 5000));
    ASSERT_TRUE(streams.Sink().WaitFor(1, 5000));

    BOOL inactive = FALSE;
    DWORD revised = 0;
    ASSERT_EQ(S_OK, stateMgt->SetState(nullptr, &revised, &inactive, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(100u, revised);
    ASSERT_EQ(S_OK, WriteNow(handles_[0], Number(VT_I4, 5)));
    EXPECT_EQ(0u, callback.Sink().CountArrivingWithin(500)) << "an inactive group sends nothing";
    EXPECT_EQ(1u, streams.Sink().Count());
    OPCITEMSTATE state{};
    HRESULT error = E_FAIL;
    ASSERT_EQ(S_OK, ReadNow(OPC_DS_CACHE, handles_[0], state, error));
    EXPECT_EQ(OPC_QUALITY_OUT_OF_SERVICE, state.wQuality);

    BOOL active = TRUE;
    DWORD rate = 250;
    LONG bias = 60;
    FLOAT deadband = 5.0f;
    DWORD lcid = 0x407;
    OPCHANDLE client = 88;
    ASSERT_EQ(S_OK, stateMgt->SetState(&rate, &revised, &active, &bias, &deadband, &lcid, &client));
    EXPECT_EQ(250u, revised);
    ASSERT_TRUE(callback.Sink().WaitFor(2, 3000)) << "made active, the group reports every item again";
    EXPECT_EQ(3u, callback.Sink().Calls()[1].items.size());
    EXPECT_EQ(88u, callback.Sink().Calls()[1].hGroup);
    ASSERT_TRUE(streams.Sink().WaitFor(2, 3000));
    FLOAT badBand = 101.0f;
    EXPECT_EQ(E_INVALIDARG, stateMgt->SetState(nullptr, &revised, nullptr, nullptr, &badBand, nullptr, nullptr));

    ComPtr<IUnknown> other;
    ASSERT_EQ(S_OK, AddGroup(server_.get(), L"Other", IID_IUnknown, other));
    EXPECT_EQ(OPC_E_DUPLICATENAME, stateMgt->SetName(L"Other"));
    ASSERT_EQ(S_OK, stateMgt->SetName(L"Renamed"));
    GroupState got;
    ASSERT_EQ(S_OK, ReadGroupState(group_.get(), got));
    EXPECT_EQ(L"Renamed", got.name);
    EXPECT_EQ(250u, got.updateRate);
    EXPECT_TRUE(got.active);
    EXPECT_EQ(60, got.timeBias);
    EXPECT_EQ(5.0f, got.percentDeadband);
    EXPECT_EQ(0x407u, got.lcid);
    EXPECT_EQ(88u, got.hClientGroup);

    EXPECT_EQ(OPC_E_DUPLICATENAME,
              stateMgt->CloneGroup(L"Other", IID_IUnknown, reinterpret_cast<LPUNKNOWN*>(other.put())));
    ComPtr<IUnknown> clone;
    ASSERT_EQ(S_OK, stateMgt->CloneGroup(L"", IID_IUnknown, reinterpret_cast<LPUNKNOWN*>(clone.put())));
    GroupState cloned;
    ASSERT_EQ(S_OK, ReadGroupState(clone.get(), cloned));
    EXPECT_FALSE(cloned.active) << "a clone starts inactive";
    EXPECT_NE(L"Renamed", cloned.name);
    EXPECT_FALSE(cloned.name.empty());
    EXPECT_NE(got.hServerGroup, cloned.hServerGroup);
    EXPECT_EQ(250u, cloned.updateRate);
    ComPtr<IOPCItemMgt> cloneItems;
    ASSERT_EQ(S_OK, clone.query(cloneItems));
    ComPtr<IEnumOPCItemAttributes> items;
    ASSERT_EQ(S_OK, cloneItems->CreateEnumerator(IID_IEnumOPCItemAttributes, reinterpret_cast<LPUNKNOWN*>(items.put())));
    OPCITEMATTRIBUTES* attributes = nullptr;
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, items->Next(10, &attributes, &fetched));
    ASSERT_EQ(3u, fetched) << "the same items";
    EXPECT_STREQ(L"B", attributes[1].szItemID);
    EXPECT_EQ(2u, attributes[1].hClient);
    for (ULONG i = 0; i < fetched; ++i) {
        CoTaskMemFree(attributes[i].szItemID);
        CoTaskMemFree(attributes[i].szAccessPath);
        CoTaskMemFree(attributes[i].pBlob);
        VariantClear(&attributes[i].vEUInfo);
    }
    CoTaskMemFree(attributes);
}

TEST_F(ItemTruth, PropertiesOfATag) {
    ComPtr<IOPCItemProperties> properties;
    ASSERT_EQ(S_OK, server_.query(properties));
    DWORD count = 0;
    DWORD* ids = nullptr;
    LPWSTR* descriptions = nullptr;
    VARTYPE* types = nullptr;
    ASSERT_EQ(S_OK, properties->QueryAvailableProperties(const_cast<LPWSTR>(L"B"), &count, &ids, &descriptions,
                                                         &types));
    ASSERT_EQ(6u, count);
    for (DWORD i = 0; i < count; ++i) EXPECT_EQ(i + 1, ids[i]);
    EXPECT_EQ(VT_R8, types[1]) << "the value in the tag's type";
    EXPECT_STREQ(L"Item Value", descriptions[1]);
    for (DWORD i = 0; i < count; ++i) CoTaskMemFree(descriptions[i]);
    CoTaskMemFree(ids);
    CoTaskMemFree(descriptions);
    CoTaskMemFree(types);
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, properties->QueryAvailableProperties(const_cast<LPWSTR>(L"Nothing"), &count,
                                                                        &ids, &descriptions, &types));

    ASSERT_EQ(S_OK, WriteNow(handles_[1], Number(VT_R8, 6.25)));
    DWORD wanted[] = {1, 2, 3, 4, 5, 6, 99};
    VARIANT* values = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_EQ(S_FALSE, properties->GetItemProperties(const_cast<LPWSTR>(L"B"), 7, wanted, &values, &errors));
    EXPECT_EQ(VT_R8, values[0].iVal);
    EXPECT_EQ(6.25, values[1].dblVal) << "the value is read from the device";
    EXPECT_EQ(OPC_QUALITY_GOOD, values[2].iVal);
    EXPECT_EQ(VT_DATE, values[3].vt);
    EXPECT_GT(values[3].date, 40000.0) << "a time of this century";
    EXPECT_EQ(OPC_READABLE | OPC_WRITEABLE, values[4].lVal);
    EXPECT_EQ(VT_R4, values[5].vt);
    EXPECT_EQ(OPC_E_INVALID_PID, errors[6]);
    for (int i = 0; i < 7; ++i) VariantClear(&values[i]);
    CoTaskMemFree(values);
    CoTaskMemFree(errors);

    LPWSTR* itemIds = nullptr;
    ASSERT_EQ(S_FALSE, properties->LookupItemIDs(const_cast<LPWSTR>(L"B"), 2, wanted, &itemIds, &errors));
    EXPECT_EQ(OPC_E_INVALID_PID, errors[0]);
    EXPECT_EQ(OPC_E_INVALID_PID, errors[1]);
    CoTaskMemFree(itemIds);
    CoTaskMemFree(errors);
}

std::vector<std::wstring> Browse(IOPCServer* server, OPCBROWSETYPE type, const wchar_t* filter, VARTYPE vt,
                                 DWORD rights, HRESULT* result = nullptr) {
    std::vector<std::wstring> names;
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    if (FAILED(server->QueryInterface(IID_IOPCBrowseServerAddressSpace, browse.put_void()))) return names;
    ComPtr<IEnumString> walker;
    const HRESULT hr = browse->BrowseOPCItemIDs(type, filter, vt, rights, walker.put());
    if (result) *result = hr;
    if (FAILED(hr)) return names;
    LPOLESTR got[100] = {};
    ULONG fetched = 0;
    walker->Next(100, got, &fetched);
    for (ULONG i = 0; i < fetched; ++i) {
        names.push_back(got[i]);
        CoTaskMemFree(got[i]);
    }
    return names;
}

TEST_F(ItemTruth, BrowsingBatchesAndFilters) {
    using Names = std::vector<std::wstring>;
    HRESULT hr = E_FAIL;
    EXPECT_EQ(Names({L"A", L"B", L"C", L"Reads"}), Browse(server_.get(), OPC_FLAT, L"", VT_EMPTY, 0, &hr));
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(Names({L"Reads"}), Browse(server_.get(), OPC_LEAF, L"r*", VT_EMPTY, 0));
    EXPECT_EQ(Names({L"A", L"B"}), Browse(server_.get(), OPC_FLAT, L"[a-b]", VT_EMPTY, 0));
    EXPECT_EQ(Names({L"C", L"Reads"}), Browse(server_.get(), OPC_FLAT, L"[!ab]*", VT_EMPTY, 0));
    EXPECT_EQ(Names({L"A", L"B", L"C"}), Browse(server_.get(), OPC_FLAT, L"?", VT_EMPTY, 0));
    EXPECT_EQ(Names(), Browse(server_.get(), OPC_FLAT, L"#", VT_EMPTY, 0));
    EXPECT_EQ(Names({L"B"}), Browse(server_.get(), OPC_FLAT, L"", VT_R8, 0));
    EXPECT_EQ(Names({L"A", L"B", L"C", L"Reads"}), Browse(server_.get(), OPC_FLAT, L"", VT_EMPTY, OPC_READABLE));
    EXPECT_EQ(Names(), Browse(server_.get(), OPC_BRANCH, L"", VT_EMPTY, 0, &hr));
    EXPECT_EQ(S_FALSE, hr) << "an empty enumerator says so";

    ComPtr<IOPCBrowseServerAddressSpace> browse;
    ASSERT_EQ(S_OK, server_.query(browse));
    ComPtr<IEnumString> walker;
    ASSERT_EQ(S_OK, browse->BrowseOPCItemIDs(OPC_FLAT, L"", VT_EMPTY, 0, walker.put()));
    LPOLESTR got[3] = {};
    ULONG fetched = 0;
    ASSERT_EQ(S_OK, walker->Next(3, got, &fetched)) << "all three asked for";
    EXPECT_EQ(3u, fetched);
    for (ULONG i = 0; i < fetched; ++i) CoTaskMemFree(got[i]);
    EXPECT_EQ(S_FALSE, walker->Next(3, got, &fetched));
    EXPECT_EQ(1u, fetched);
    CoTaskMemFree(got[0]);
}

// Each of the simulation driver's five tags (I2, I4, BOOL, R4, R8) read in
// each of the types a client commonly asks for.
using SimulationTypes = SimulationGroupTest;

TEST_F(SimulationTypes, EveryTagReadsInEachRequestedType) {
    ComPtr<IOPCItemMgt> mgt;
    ASSERT_EQ(S_OK, group_.query(mgt));
    ComPtr<IOPCSyncIO> io;
    ASSERT_EQ(S_OK, group_.query(io));
    const DWORD n = static_cast<DWORD>(handles_.size());
    for (const VARTYPE type : {VT_R8, VT_BSTR, VT_I4}) {
        SCOPED_TRACE(type);
        std::vector<VARTYPE> types(n, type);
        HRESULT* errors = nullptr;
        ASSERT_EQ(S_OK, mgt->SetDatatypes(n, handles_.data(), types.data(), &errors));
        CoTaskMemFree(errors);
        OPCITEMSTATE* states = nullptr;
        ASSERT_EQ(S_OK, io->Read(OPC_DS_DEVICE, n, handles_.data(), &states, &errors));
        for (DWORD i = 0; i < n; ++i) {
            EXPECT_EQ(S_OK, errors[i]) << i;
            EXPECT_EQ(type, states[i].vDataValue.vt) << i;
            EXPECT_EQ(OPC_QUALITY_GOOD, states[i].wQuality) << i;
            VariantClear(&states[i].vDataValue);
        }
        CoTaskMemFree(states);
        CoTaskMemFree(errors);
    }
}

}  // namespace
