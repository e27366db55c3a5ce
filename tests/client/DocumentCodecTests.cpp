// The "Contents" stream byte for byte, and what reading makes of good,
// truncated and damaged streams.
#include "AdviseSink.h"
#include "DocumentCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

template <class T = uint32_t>
T At(const Bytes& bytes, size_t offset) {
    T value = 0;
    std::memcpy(&value, &bytes.at(offset + sizeof value - 1) - (sizeof value - 1), sizeof value);
    return value;
}

// A 100-byte field holds `text`, then a NUL and zeros when it is shorter.
void ExpectTextField(const Bytes& bytes, size_t offset, const std::string& text) {
    ASSERT_LE(offset + kTextFieldSize, bytes.size());
    EXPECT_EQ(text, std::string(bytes.begin() + offset, bytes.begin() + offset + text.size())) << "at " << offset;
    for (size_t i = text.size(); i < kTextFieldSize; ++i)
        EXPECT_EQ(0, bytes[offset + i]) << "byte " << i << " of the field at " << offset;
}

std::unique_ptr<CServer> Server(const std::string& progId) {
    auto entry = std::make_unique<CServer>();
    entry->m_progId = progId;
    return entry;
}

CGroup& AddGroup(CServer& entry, const std::string& name, std::vector<std::string> itemIds) {
    auto group = std::make_unique<CGroup>();
    group->m_name = name;
    group->m_active = TRUE;
    group->m_timeBias = -60;
    group->m_percentDeadband = 2.5f;
    group->m_localeId = 0x409;
    group->m_updateRate = 500;
    group->m_nextClientHandle = static_cast<DWORD>(itemIds.size());
    OPCHANDLE handle = 0;
    for (const std::string& id : itemIds) {
        auto item = std::make_unique<CItem>();
        item->m_itemId = id;
        item->m_valueText = "42";
        item->m_quality = 0xC0;
        item->m_hClient = handle++;
        item->m_hServer = 1000 + handle;
        item->m_changed = FALSE;
        item->m_canonicalType = VT_I4;
        group->m_items.push_back(std::move(item));
    }
    entry.m_groups.push_back(std::move(group));
    return *entry.m_groups.back();
}

// Two servers, the second connected with two groups.
ServerTable SampleTable() {
    ServerTable table;
    table.push_back(Server("Other.Server.1"));
    table.push_back(Server("Velmora.VelmoraOPC.1"));
    CServer& connected = *table.back();
    connected.m_node = 0x1234;
    connected.m_clsidText = "{12345678-9ABC-DEF0-1234-56789ABCDEF0}";
    AddGroup(connected, "Group1", {"Random.Int4", "Random.Real8"});
    AddGroup(connected, "Empty", {});
    return table;
}

// Connected means a server object, a node in the tree or a mark still
// pending from an opened document; an entry without groups ends at once.
TEST(ContentsLayout, EntriesWithoutGroupsEndAtOnce) {
    ServerTable table;
    for (const char* name : {"B.Server", "A.Server", "C.Server", "Node", "Mark", "Object"})
        table.push_back(Server(name));
    table[2]->m_clsidText = "{0}";  // a server once connected and now not
    table[3]->m_node = 9;
    table[4]->m_connectedMark = true;
    table[5]->m_pServer.attach(new CAdviseSink());  // any object stands for a server; the entry releases it
    const Bytes bytes = EncodeContents(table);
    ASSERT_EQ(4 + 6 * (kServerRecordSize + 1), bytes.size());
    EXPECT_EQ(6u, At(bytes, 0));
    for (size_t e = 0; e < 6; ++e) {
        SCOPED_TRACE(table[e]->m_progId);
        const size_t at = 4 + e * (kServerRecordSize + 1);
        EXPECT_EQ(0u, At(bytes, at));
        EXPECT_EQ(e < 3 ? 0u : 1u, At(bytes, at + 4)) << "connected";
        EXPECT_EQ(0u, At(bytes, at + 8));
        ExpectTextField(bytes, at + 12, table[e]->m_progId);
        ExpectTextField(bytes, at + 112, e == 2 ? "{0}" : "");
        EXPECT_EQ(0x00, bytes[at + kServerRecordSize]);
    }
}

TEST(ContentsLayout, AConnectedServerWithOneGroupOfTwoItems) {
    ServerTable table;
    table.push_back(Server("Velmora.VelmoraOPC.1"));
    table[0]->m_node = 0x00ABCDEF;
    table[0]->m_clsidText = "{12345678-9ABC-DEF0-1234-56789ABCDEF0}";
    AddGroup(*table[0], "Group1", {"Random.Int4", "Saw.Real8"});
    const Bytes bytes = EncodeContents(table);

    const size_t record = 4;
    const size_t group = record + kServerRecordSize;
    const size_t head = group + 1;
    const size_t item1 = head + kGroupHeadSize;
    const size_t item2 = item1 + 1 + kTextFieldSize;
    const size_t end = item2 + 1 + kTextFieldSize;
    ASSERT_EQ(end + 2, bytes.size());
    EXPECT_EQ(1u, At(bytes, 0));
    EXPECT_EQ(0u, At(bytes, record));
    EXPECT_EQ(1u, At(bytes, record + 4)) << "connected";
    EXPECT_EQ(0u, At(bytes, record + 8));
    ExpectTextField(bytes, record + 12, "Velmora.VelmoraOPC.1");
    ExpectTextField(bytes, record + 112, "{12345678-9ABC-DEF0-1234-56789ABCDEF0}");
    EXPECT_EQ(0x01, bytes[group]);
    EXPECT_EQ(1u, At(bytes, head));                              // active
    EXPECT_EQ(static_cast<uint32_t>(-60), At(bytes, head + 4));  // time bias
    EXPECT_EQ(2.5f, At<float>(bytes, head + 8));                 // deadband
    EXPECT_EQ(0x409u, At(bytes, head + 12));                     // locale
    EXPECT_EQ(500u, At(bytes, head + 16));                       // granted rate
    ExpectTextField(bytes, head + 20, "Group1");
    EXPECT_EQ(0x01, bytes[item1]);
    ExpectTextField(bytes, item1 + 1, "Random.Int4");
    EXPECT_EQ(0x01, bytes[item2]);
    ExpectTextField(bytes, item2 + 1, "Saw.Real8");
    EXPECT_EQ(0x00, bytes[end]) << "end of the items";
    EXPECT_EQ(0x00, bytes[end + 1]) << "end of the groups";
}

TEST(ContentsLayout, AHundredCharacterNameFillsItsFieldWithoutNul) {
    ServerTable table;
    table.push_back(Server(std::string(100, 'P')));
    table[0]->m_node = 1;
    const std::string name(100, 'N');
    AddGroup(*table[0], name, {std::string(100, 'I')});
    AddGroup(*table[0], std::string(130, 'L'), {});  // longer names are cut to the field
    const Bytes bytes = EncodeContents(table);
    const size_t head = 4 + kServerRecordSize + 1;
    EXPECT_EQ(name, std::string(bytes.begin() + head + 20, bytes.begin() + head + 120));
    EXPECT_EQ(0x01, bytes[head + 120]) << "the item marker follows the name directly";

    ServerTable read;
    std::string why;
    ASSERT_TRUE(DecodeContents(bytes, read, &why)) << why;
    ASSERT_EQ(1u, read.size());
    EXPECT_EQ(std::string(100, 'P'), read[0]->m_progId);
    ASSERT_EQ(2u, read[0]->m_groups.size());
    EXPECT_EQ(name, read[0]->m_groups[0]->m_name);
    ASSERT_EQ(1u, read[0]->m_groups[0]->m_items.size());
    EXPECT_EQ(std::string(100, 'I'), read[0]->m_groups[0]->m_items[0]->m_itemId);
    EXPECT_EQ(std::string(100, 'L'), read[0]->m_groups[1]->m_name);
}

TEST(ContentsReading, RebuildsTheTableInFileOrder) {
    const ServerTable written = SampleTable();
    const Bytes bytes = EncodeContents(written);
    ServerTable read;
    std::string why;
    ASSERT_TRUE(DecodeContents(bytes, read, &why)) << why;
    ASSERT_EQ(2u, read.size());
    EXPECT_EQ("Other.Server.1", read[0]->m_progId);
    EXPECT_FALSE(read[0]->m_connectedMark);
    EXPECT_TRUE(read[0]->m_groups.empty());
    const CServer& entry = *read[1];
    EXPECT_EQ("Velmora.VelmoraOPC.1", entry.m_progId);
    EXPECT_EQ("{12345678-9ABC-DEF0-1234-56789ABCDEF0}", entry.m_clsidText);
    EXPECT_TRUE(entry.m_connectedMark);
    EXPECT_EQ(nullptr, entry.m_pServer.get());
    EXPECT_EQ(0u, entry.m_node) << "nodes belong to the tree that shows the table";
    ASSERT_EQ(2u, entry.m_groups.size());
    for (size_t g = 0; g < 2; ++g) {
        const CGroup& was = *written[1]->m_groups[g];
        const CGroup& group = *entry.m_groups[g];
        SCOPED_TRACE(was.m_name);
        EXPECT_EQ(was.m_name, group.m_name);
        EXPECT_EQ(was.m_active, group.m_active);
        EXPECT_EQ(was.m_timeBias, group.m_timeBias);
        EXPECT_EQ(was.m_percentDeadband, group.m_percentDeadband);
        EXPECT_EQ(was.m_localeId, group.m_localeId);
        EXPECT_EQ(was.m_updateRate, group.m_updateRate);
        EXPECT_EQ(0u, group.m_nextClientHandle);
        EXPECT_EQ(nullptr, group.m_pItemMgt.get());
        EXPECT_EQ(nullptr, group.m_pSink.get());
        ASSERT_EQ(was.m_items.size(), group.m_items.size());
        for (size_t i = 0; i < group.m_items.size(); ++i) {
            const CItem& item = *group.m_items[i];
            EXPECT_EQ(was.m_items[i]->m_itemId, item.m_itemId);
            EXPECT_EQ("?", item.m_valueText);
            EXPECT_EQ(0, item.m_quality);
            EXPECT_TRUE(item.m_changed);
            EXPECT_EQ(0u, item.m_hServer);
            EXPECT_EQ(VT_EMPTY, item.m_canonicalType);
        }
    }
    // What was read writes the same bytes again.
    EXPECT_EQ(bytes, EncodeContents(read));
}

TEST(ContentsReading, AnEmptyTableIsFourBytes) {
    const Bytes bytes = EncodeContents(ServerTable());
    EXPECT_EQ(Bytes({0, 0, 0, 0}), bytes);
    ServerTable read = SampleTable();
    ASSERT_TRUE(DecodeContents(bytes, read, nullptr));
    EXPECT_TRUE(read.empty());
}

TEST(ContentsReading, TextFieldsEndAtTheirNulAndIgnoreWhatFollows) {
    ServerTable table;
    table.push_back(Server("Short"));
    Bytes bytes = EncodeContents(table);
    // Noise after the NUL of the ProgID and in the CLSID field after its NUL.
    std::memset(&bytes[4 + 12 + 6], 'z', 94);
    bytes[4 + 112] = 0;
    std::memset(&bytes[4 + 113], 'q', 99);
    ServerTable read;
    std::string why;
    ASSERT_TRUE(DecodeContents(bytes, read, &why)) << why;
    EXPECT_EQ("Short", read[0]->m_progId);
    EXPECT_EQ("", read[0]->m_clsidText);
}

// Refused, with a reason that holds one of the `|`-separated parts, and the
// table left alone.
void ExpectRefused(const Bytes& bytes, const std::string& reasonParts) {
    ServerTable table;
    table.push_back(Server("Still.Here"));
    std::string why;
    EXPECT_FALSE(DecodeContents(bytes, table, &why));
    bool named = false;
    for (size_t start = 0; start <= reasonParts.size();) {
        const size_t bar = std::min(reasonParts.find('|', start), reasonParts.size());
        named = named || why.find(reasonParts.substr(start, bar - start)) != std::string::npos;
        start = bar + 1;
    }
    EXPECT_TRUE(named) << "reason: " << why;
    ASSERT_EQ(1u, table.size());
    EXPECT_EQ("Still.Here", table[0]->m_progId);
}

TEST(ContentsReading, EveryTruncationIsRefused) {
    const Bytes whole = EncodeContents(SampleTable());
    for (size_t size = 0; size < whole.size(); ++size) {
        SCOPED_TRACE(size);
        // Short enough, the count itself shows that entries are missing.
        ExpectRefused(Bytes(whole.begin(), whole.begin() + size), "ends|needs more");
    }
}

TEST(ContentsReading, DamagedStreamsAreRefusedWithAReason) {
    const Bytes whole = EncodeContents(SampleTable());
    const size_t groupMarker = 4 + 2 * kServerRecordSize + 1;  // the second entry's first group
    const size_t itemMarker = groupMarker + 1 + kGroupHeadSize;
    ASSERT_EQ(0x01, whole[groupMarker]);
    ASSERT_EQ(0x01, whole[itemMarker]);
    auto changed = [&](size_t at, uint8_t byte) {
        Bytes bytes = whole;
        bytes[at] = byte;
        return bytes;
    };
    auto counting = [&](int32_t count) {
        Bytes bytes = whole;
        std::memcpy(&bytes[0], &count, 4);
        return bytes;
    };
    Bytes trailing = whole;
    trailing.push_back(0);
    const std::pair<Bytes, const char*> cases[] = {
        {changed(groupMarker, 0x02), "not 0 or 1"},
        {changed(itemMarker, 0xFF), "not 0 or 1"},
        {counting(-1), "negative"},
        {counting(INT32_MIN), "negative"},
        {counting(INT32_MAX), "needs more"},
        {counting(0x00100000), "needs more"},
        {counting(3), "ends"},
        {counting(1), "follow the last entry"},  // the second entry is left over
        {trailing, "follow the last entry"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        ExpectRefused(cases[i].first, cases[i].second);
    }
    ServerTable table;
    EXPECT_FALSE(DecodeContents(Bytes{0xFF, 0xFF, 0xFF, 0xFF}, table, nullptr)) << "no reason wanted";
}

}  // namespace
