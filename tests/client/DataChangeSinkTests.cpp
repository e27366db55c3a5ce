// Data-change streams delivered to a real CAdviseSink in real global memory,
// as a server's OnDataChange call hands them over.
#include "AdviseSink.h"
#include "ComPtr.h"
#include "GlobalMemory.h"
#include "StreamApply.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void PutDword(Bytes& bytes, size_t offset, DWORD value) { std::memcpy(&bytes[offset], &value, sizeof value); }

// One 16-byte value in the 32-bit VARIANT layout a stream carries: the type
// at 0, reserved words left as noise that nobody may read, the data at 8.
template <class T>
Bytes StreamValue(VARTYPE type, T data) {
    static_assert(sizeof(T) <= 8, "eight data bytes");
    Bytes value(16, 0xAB);
    std::memcpy(&value[0], &type, sizeof type);
    std::memset(&value[8], 0, 8);
    std::memcpy(&value[8], &data, sizeof data);
    return value;
}

Bytes I4(int32_t number) { return StreamValue<int32_t>(VT_I4, number); }

// A VT_BSTR value with its characters after it.  The pointer bytes of the
// VARIANT point nowhere in this process, so reading through them crashes or
// shows garbage.
Bytes StreamString(const std::wstring& text, DWORD byteLengthField = 0xFFFFFFFF) {
    Bytes value = StreamValue<uint64_t>(VT_BSTR, 0x00000BADF00D0000ull);
    const DWORD byteLength =
        byteLengthField != 0xFFFFFFFF ? byteLengthField : static_cast<DWORD>(text.size() * sizeof(wchar_t));
    value.resize(20);
    std::memcpy(&value[16], &byteLength, sizeof byteLength);
    const auto* chars = reinterpret_cast<const uint8_t*>(text.c_str());
    value.insert(value.end(), chars, chars + (text.size() + 1) * sizeof(wchar_t));
    return value;
}

struct Entry {
    OPCHANDLE hClient;
    WORD quality;
    Bytes value;
};

// An "OPCSTMFORMATDATATIME" block: header, the 20-byte entries with time
// stamps (entry k's value offset at 24 + 20 k), then the values in entry order.
Bytes Stream(const std::vector<Entry>& entries) {
    Bytes bytes(20 + 20 * entries.size(), 0);
    PutDword(bytes, 4, static_cast<DWORD>(entries.size()));
    PutDword(bytes, 8, 77);  // the group's client handle: not used by the sink
    for (size_t k = 0; k < entries.size(); ++k) {
        const size_t entry = 20 + 20 * k;
        PutDword(bytes, entry, entries[k].hClient);
        PutDword(bytes, entry + 4, static_cast<DWORD>(bytes.size()));
        std::memcpy(&bytes[entry + 8], &entries[k].quality, 2);
        PutDword(bytes, entry + 12, 0x12345678);  // a time stamp: never read
        bytes.insert(bytes.end(), entries[k].value.begin(), entries[k].value.end());
    }
    PutDword(bytes, 0, static_cast<DWORD>(bytes.size()));
    return bytes;
}

class DataChangeSink : public testing::Test {
protected:
    void SetUp() override {
        // The creation reference goes to the group, as when a group is
        // recorded; sink_ stands for the server's advise holder.
        CAdviseSink* sink = new CAdviseSink([this](CGroup& changed) {
            ++callbacks_;
            calledWith_ = &changed;
        });
        sink_ = fw::ComPtr<CAdviseSink>(sink);
        group_.m_pSink.attach(sink);
        sink->SetGroup(&group_);
        for (OPCHANDLE h : {0u, 1u, 2u}) {
            auto item = std::make_unique<CItem>();
            item->m_itemId = "Item" + std::to_string(h);
            item->m_hClient = h;
            item->m_changed = FALSE;  // as after the list has shown the rows
            group_.m_items.push_back(std::move(item));
        }
    }

    // Hands the bytes to a sink (ours unless told) in a movable global block,
    // as a server does, and checks that the sink left the block unlocked and
    // alive.
    void Deliver(const Bytes& bytes, CAdviseSink* sink = nullptr) {
        fw::UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, bytes.size()));
        ASSERT_NE(nullptr, block.get());
        std::memcpy(GlobalLock(block.get()), bytes.data(), bytes.size());
        GlobalUnlock(block.get());
        FORMATETC format{static_cast<CLIPFORMAT>(RegisterClipboardFormatA("OPCSTMFORMATDATATIME")), nullptr,
                         DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium{};
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = block.get();
        (sink ? sink : sink_.get())->OnDataChange(&format, &medium);
        EXPECT_EQ(0u, GlobalFlags(block.get()) & GMEM_LOCKCOUNT) << "the block stays locked";
        EXPECT_EQ(block.get(), medium.hGlobal) << "the medium is the caller's";
        // Only a free that succeeds shows the sink left the block alive, so
        // this one is made by hand and its answer checked.
        EXPECT_EQ(nullptr, GlobalFree(block.release()));
    }

    CItem& Item(size_t n) { return *group_.m_items.at(n); }
    void ExpectUntouched(std::initializer_list<size_t> rows) {
        for (size_t n : rows) {
            EXPECT_EQ("?", Item(n).m_valueText) << n;
            EXPECT_FALSE(Item(n).m_changed) << n;
        }
    }

    int callbacks_ = 0;
    CGroup* calledWith_ = nullptr;
    fw::ComPtr<CAdviseSink> sink_;  // declared first: the group lets go of the sink first
    CGroup group_;
};

// Each type's text is ValueText's business; here the sink's part: every entry
// reaches its row with its quality, and each stream marks the rows again.
TEST_F(DataChangeSink, EachStreamSetsTheRowsTextsAndQualities) {
    Deliver(Stream({{0, 0xC0, StreamValue<double>(VT_R8, 12.5)},
                    {1, 0xC0, StreamValue<int16_t>(VT_BOOL, -1)},
                    {2, 0xC0, StreamValue<uint8_t>(VT_UI1, 200)}}));
    EXPECT_EQ("12.500000", Item(0).m_valueText);
    EXPECT_EQ("TRUE", Item(1).m_valueText);
    EXPECT_EQ("200", Item(2).m_valueText);
    for (size_t n = 0; n < 3; ++n) {
        EXPECT_TRUE(Item(n).m_changed) << n;
        EXPECT_EQ(0xC0, Item(n).m_quality) << n;
    }
    EXPECT_EQ(1, callbacks_);
    EXPECT_EQ(&group_, calledWith_);

    Item(0).m_changed = FALSE;
    Deliver(Stream({{0, 0x00, StreamValue<double>(VT_R8, 12.5)}}));
    EXPECT_EQ(0x00, Item(0).m_quality);
    EXPECT_TRUE(Item(0).m_changed) << "a new stream marks the row even with the same value";
    EXPECT_EQ(2, callbacks_);
}

TEST_F(DataChangeSink, StringsAreReadFromTheBlockNotThroughThePointer) {
    Deliver(Stream({{0, 0xC0, StreamString(L"Pump 3 running")}, {1, 0xC0, I4(5)}}));
    EXPECT_EQ("Pump 3 running", Item(0).m_valueText);
    EXPECT_EQ("5", Item(1).m_valueText) << "the value after a string is found through its own offset";

    // The length bounds the string: characters after it are not part of it;
    // a long one and one outside any ANSI code page are kept whole, in UTF-8.
    const wchar_t cyrillicAndCjk[] = {0x0416, 0x4E2D, 0};
    Deliver(Stream({{2, 0xC0, StreamString(L"abcdef", 3 * sizeof(wchar_t))},
                    {0, 0xC0, StreamString(std::wstring(30000, L'w'))},
                    {1, 0xC0, StreamString(cyrillicAndCjk)}}));
    EXPECT_EQ("abc", Item(2).m_valueText);
    EXPECT_EQ(std::string(30000, 'w'), Item(0).m_valueText);
    EXPECT_EQ("\xD0\x96\xE4\xB8\xAD", Item(1).m_valueText);
}

TEST_F(DataChangeSink, UnknownClientHandlesAreSkippedAndAnEmptyStreamStillAsksForARefresh) {
    Deliver(Stream({{0, 0xC0, I4(10)}, {99, 0xC0, I4(11)}, {2, 0xC0, I4(12)}}));
    EXPECT_EQ("10", Item(0).m_valueText);
    ExpectUntouched({1});
    EXPECT_EQ("12", Item(2).m_valueText);

    Item(0).m_changed = Item(2).m_changed = FALSE;
    Deliver(Stream({}));
    EXPECT_EQ(2, callbacks_);
    EXPECT_EQ(&group_, calledWith_);
    for (size_t n = 0; n < 3; ++n) EXPECT_FALSE(Item(n).m_changed) << n;
}

TEST_F(DataChangeSink, OnlyWhatLiesInsideTheBlockIsRead) {
    Bytes bytes = Stream({{0, 0xC0, I4(1)}, {1, 0xC0, I4(2)}, {2, 0xC0, I4(3)}});
    PutDword(bytes, 24, 0xFFFFFFF0);  // entry 0's value far outside
    // Entry 1's value would start 8 bytes before the end: half a VARIANT.
    PutDword(bytes, 44, static_cast<DWORD>(bytes.size() - 8));
    Deliver(bytes);
    ExpectUntouched({0, 1});
    EXPECT_EQ(0, Item(0).m_quality);
    EXPECT_EQ("3", Item(2).m_valueText);
    Item(2).m_valueText = "?";
    Item(2).m_changed = FALSE;

    // A string longer than the block, and one whose length field itself is
    // cut off by the block's end.
    Deliver(Stream({{0, 0xC0, StreamString(L"xy", 0x7FFFFFF0)}}));
    Deliver(Stream({{1, 0xC0, StreamValue<uint64_t>(VT_BSTR, 0)}}));
    ExpectUntouched({0, 1});

    // A header claiming more entries than the block holds.
    bytes = Stream({{0, 0xC0, I4(40)}, {1, 0xC0, I4(41)}});
    PutDword(bytes, 4, 0xFFFFFFFF);
    Deliver(bytes);
    EXPECT_EQ("40", Item(0).m_valueText);
    EXPECT_EQ("41", Item(1).m_valueText);
    ExpectUntouched({2});

    // Shorter than its header.  GlobalAlloc may round the size up; the
    // rounding is zero-filled here and still holds no entry.
    Bytes tooShort(12, 0);
    PutDword(tooShort, 4, 1);
    Deliver(tooShort);
    ExpectUntouched({2});
    EXPECT_EQ(5, callbacks_);
}

// A sink whose group was detached, or removed while the "server" still holds
// the sink, calls nobody; a medium that is no global block changes nothing.
TEST_F(DataChangeSink, NothingChangesWithoutAGlobalBlockOrWithoutAGroup) {
    STGMEDIUM medium{};
    medium.tymed = TYMED_ISTREAM;
    sink_->OnDataChange(nullptr, &medium);
    sink_->OnDataChange(nullptr, nullptr);
    ExpectUntouched({0, 1, 2});

    const int calledBefore = callbacks_;
    sink_->DetachGroup();
    Deliver(Stream({{0, 0xC0, I4(1)}}));
    ExpectUntouched({0});
    EXPECT_EQ(calledBefore, callbacks_) << "a detached sink calls nobody";

    fw::ComPtr<CAdviseSink> held;
    int calls = 0;
    {
        CGroup gone;
        CAdviseSink* sink = new CAdviseSink([&calls](CGroup&) { ++calls; });
        held = fw::ComPtr<CAdviseSink>(sink);
        gone.m_pSink.attach(sink);
        sink->SetGroup(&gone);
        EXPECT_EQ(&gone, sink->Group());
    }
    EXPECT_EQ(nullptr, held->Group());
    Deliver(Stream({{0, 0xC0, I4(1)}}), held.get());
    EXPECT_EQ(0, calls);
}

TEST_F(DataChangeSink, ACallbackMayRemoveTheGroupItWasCalledFor) {
    const long before = fw::ModuleLock::Count();
    auto owned = std::make_unique<CGroup>();
    owned->m_items.push_back(std::make_unique<CItem>());
    owned->m_items.back()->m_hClient = 0;
    // The group holds the only reference, as once the server has released
    // its own; the callback removes the group during the sink's call.
    CAdviseSink* sink = new CAdviseSink([&owned](CGroup&) { owned.reset(); });
    owned->m_pSink.attach(sink);
    sink->SetGroup(owned.get());
    EXPECT_EQ(before + 1, fw::ModuleLock::Count());
    Deliver(Stream({{0, 0xC0, I4(1)}}), sink);
    EXPECT_EQ(nullptr, owned);
    EXPECT_EQ(before, fw::ModuleLock::Count()) << "the sink went with its last reference";
}

TEST(AdviseSinkObject, AnswersIUnknownAndIAdviseSinkOnly) {
    const long before = fw::ModuleLock::Count();
    CAdviseSink* sink = new CAdviseSink();
    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, sink->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    IAdviseSink* adviseSink = nullptr;
    ASSERT_EQ(S_OK, sink->QueryInterface(IID_IAdviseSink, reinterpret_cast<void**>(&adviseSink)));
    IUnknown* again = nullptr;
    ASSERT_EQ(S_OK, adviseSink->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)));
    EXPECT_EQ(unknown, again) << "one identity";
    for (const IID* iid : {&IID_IDataObject, &IID_IDispatch, &IID_IAdviseSink2, &IID_IOPCDataCallback}) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, sink->QueryInterface(*iid, &out));
        EXPECT_EQ(nullptr, out);
    }
    EXPECT_EQ(E_POINTER, sink->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(3u, again->Release());
    EXPECT_EQ(2u, adviseSink->Release());
    EXPECT_EQ(1u, unknown->Release());
    EXPECT_EQ(before + 1, fw::ModuleLock::Count());
    // The interface's other notifications are accepted and do nothing.
    sink->OnViewChange(DVASPECT_CONTENT, -1);
    sink->OnRename(nullptr);
    sink->OnSave();
    sink->OnClose();
    EXPECT_EQ(0u, sink->Release());
    EXPECT_EQ(before, fw::ModuleLock::Count());
}

// The parser alone, on blocks that no sink would be given.
TEST(ApplyDataChange, CountsTheEntriesItApplied) {
    CGroup group;
    // A document may carry a client handle twice: the first item of the list
    // with it takes the value, as a walk of the list finds it.
    for (OPCHANDLE h : {5u, 6u, 5u}) {
        group.m_items.push_back(std::make_unique<CItem>());
        group.m_items.back()->m_hClient = h;
    }
    const Bytes bytes = Stream({{5, 0xC0, I4(1)}, {7, 0xC0, I4(2)}, {6, 0xC0, I4(3)}});
    EXPECT_EQ(2u, ApplyDataChange(bytes.data(), bytes.size(), group));
    EXPECT_EQ("1", group.m_items[0]->m_valueText);
    EXPECT_EQ("3", group.m_items[1]->m_valueText);
    EXPECT_EQ("?", group.m_items[2]->m_valueText);
    EXPECT_EQ(0u, ApplyDataChange(nullptr, 100, group));
    // Every cut of the block applies only whole values: the last ends the block.
    for (size_t size = 0; size < bytes.size(); ++size) {
        CGroup fresh;
        fresh.m_items.push_back(std::make_unique<CItem>());
        fresh.m_items.back()->m_hClient = 6;
        EXPECT_EQ(0u, ApplyDataChange(bytes.data(), size, fresh)) << "block of " << size << " bytes";
        EXPECT_EQ("?", fresh.m_items[0]->m_valueText) << size;
    }
}

}  // namespace
