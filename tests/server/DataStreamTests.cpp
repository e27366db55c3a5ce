// The stream code on its own: block sizes, offsets, refusal of any write
// that would land outside the caller's block, and what the client makes of
// what the server writes.
#include "DataStream.h"
#include "StreamApply.h"
#include "StreamReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr BYTE kGuard = 0xAB;

// A block with guard bytes on both sides, to see writes that stray.
struct GuardedBlock {
    explicit GuardedBlock(size_t size) : bytes(size + 64, kGuard) {}
    BYTE* data() { return bytes.data() + 32; }
    size_t size() const { return bytes.size() - 64; }
    bool GuardsIntact() const {
        for (size_t i = 0; i < 32; ++i)
            if (bytes[i] != kGuard || bytes[bytes.size() - 1 - i] != kGuard) return false;
        return true;
    }
    bool Untouched() const {
        for (BYTE b : bytes)
            if (b != kGuard) return false;
        return true;
    }
    template <class T>
    T At(size_t offset) {
        T v;
        std::memcpy(&v, data() + offset, sizeof v);
        return v;
    }
    std::vector<BYTE> bytes;
};

VARIANT Double(double d) {
    VARIANT v;
    std::memset(&v, 0, sizeof v);
    v.vt = VT_R8;
    v.dblVal = d;
    return v;
}

TEST(StreamBlockSize, FollowsTheFormatTable) {
    EXPECT_EQ(20u + 28u * 3u, StreamBlockSize(StreamKind::Data, 3));
    EXPECT_EQ(20u + 36u * 3u, StreamBlockSize(StreamKind::DataTime, 3));
    EXPECT_EQ(16u + 8u * 3u, StreamBlockSize(StreamKind::WriteComplete, 3));
    EXPECT_EQ(20u + 16u * 3u, StreamBlockSize(StreamKind::Other, 3));
    EXPECT_EQ(20u, StreamBlockSize(StreamKind::DataTime, 0));
    EXPECT_EQ(20u, StreamBlockSize(StreamKind::WriteComplete, 0)) << "never smaller than the group header";
    EXPECT_EQ(0u, StreamBlockSize(StreamKind::DataTime, 0xFFFFFFFFu)) << "a size past 32 bits is refused";
}

TEST(StreamWriter, WritesHeaderEntriesAndValuesAtTheirOffsets) {
    GuardedBlock block(StreamBlockSize(StreamKind::DataTime, 2));
    StreamWriter writer(block.data(), block.size(), StreamKind::DataTime);
    ASSERT_TRUE(writer.WriteHeader(92, 2, 7, 41));
    const FILETIME t{0x11223344, 0x55667788};
    ASSERT_TRUE(writer.WriteEntry(0, 100, 0xC0, t, Double(1.25)));
    ASSERT_TRUE(writer.WriteEntry(1, 101, 0x00, t, Double(-2.0)));
    EXPECT_FALSE(writer.WriteEntry(2, 102, 0xC0, t, Double(0))) << "only as many entries as the header counts";

    EXPECT_EQ(92u, block.At<DWORD>(0));
    EXPECT_EQ(2u, block.At<DWORD>(4));
    EXPECT_EQ(7u, block.At<DWORD>(8));
    EXPECT_EQ(41u, block.At<DWORD>(12));
    EXPECT_EQ(0u, block.At<DWORD>(16));
    EXPECT_EQ(100u, block.At<DWORD>(20));
    EXPECT_EQ(60u, block.At<DWORD>(24)) << "values follow all the entries";
    EXPECT_EQ(0xC0, block.At<WORD>(28));
    EXPECT_EQ(0x11223344u, block.At<DWORD>(32));
    EXPECT_EQ(101u, block.At<DWORD>(40));
    EXPECT_EQ(76u, block.At<DWORD>(44));
    EXPECT_EQ(VT_R8, block.At<VARTYPE>(60));
    EXPECT_DOUBLE_EQ(1.25, block.At<double>(68));
    EXPECT_DOUBLE_EQ(-2.0, block.At<double>(84));
    EXPECT_TRUE(block.GuardsIntact());
}

TEST(StreamWriter, ShortEntriesWithoutTime) {
    GuardedBlock block(StreamBlockSize(StreamKind::Data, 1));
    StreamWriter writer(block.data(), block.size(), StreamKind::Data);
    ASSERT_TRUE(writer.WriteHeader(48, 1, 7, 0));
    ASSERT_TRUE(writer.WriteEntry(0, 5, 0xC0, FILETIME{}, Double(3.5)));
    EXPECT_EQ(32u, block.At<DWORD>(24));
    EXPECT_DOUBLE_EQ(3.5, block.At<double>(40));
    EXPECT_TRUE(block.GuardsIntact());
}

TEST(StreamWriter, ShortBlockIsRefusedAndLeftAlone) {
    for (StreamKind kind : {StreamKind::Data, StreamKind::DataTime}) {
        GuardedBlock block(StreamBlockSize(kind, 3) - 1);
        StreamWriter writer(block.data(), block.size(), kind);
        EXPECT_FALSE(writer.Fits(3));
        EXPECT_FALSE(writer.WriteHeader(0, 3, 1, 1));
        EXPECT_FALSE(writer.WriteEntry(0, 1, 0xC0, FILETIME{}, Double(1)));
        EXPECT_TRUE(block.Untouched());
    }
    GuardedBlock tiny(19);
    StreamWriter header(tiny.data(), tiny.size(), StreamKind::Other);
    EXPECT_FALSE(header.WriteHeader(19, 0, 1, 1));
    EXPECT_TRUE(tiny.Untouched());
    StreamWriter none(nullptr, 1000, StreamKind::DataTime);
    EXPECT_FALSE(none.WriteHeader(20, 0, 1, 1));
}

TEST(StreamWriter, HeaderOnlyFormatsTakeNoEntries) {
    GuardedBlock block(StreamBlockSize(StreamKind::WriteComplete, 0));
    StreamWriter writer(block.data(), block.size(), StreamKind::WriteComplete);
    ASSERT_TRUE(writer.WriteHeader(20, 5, 1, 1)) << "the count of changes without any entry";
    EXPECT_FALSE(writer.WriteEntry(0, 1, 0xC0, FILETIME{}, Double(1)));
    EXPECT_EQ(5u, block.At<DWORD>(4));
    EXPECT_TRUE(block.GuardsIntact());
}

// The server's writer and the client's reader agree: what one writes, the
// other applies, in both entry layouts.
TEST(StreamRoundTrip, WhatTheServerWritesTheClientApplies) {
    const FILETIME time{0x89ABCDEF, 0x01234567};
    for (StreamKind kind : {StreamKind::Data, StreamKind::DataTime}) {
        std::vector<BYTE> block(StreamBlockSize(kind, 3));
        StreamWriter writer(block.data(), block.size(), kind);
        ASSERT_TRUE(writer.WriteHeader(static_cast<DWORD>(block.size()), 3, 77, 1));
        VARIANT number;
        std::memset(&number, 0, sizeof number);
        number.vt = VT_I4;
        number.lVal = -42;
        ASSERT_TRUE(writer.WriteEntry(0, 11, 0xC0, time, number));
        ASSERT_TRUE(writer.WriteEntry(1, 12, 0x18, time, Double(2.5)));
        ASSERT_TRUE(writer.WriteEntry(2, 99, 0xC0, time, number));

        const StreamReader reader(block.data(), block.size(), kind);
        ASSERT_EQ(3u, reader.EntriesInBlock());
        StreamEntry entry;
        ASSERT_TRUE(reader.ReadEntry(1, entry));
        EXPECT_EQ(12u, entry.hClient);
        EXPECT_EQ(0x18, entry.quality);
        EXPECT_EQ(kind == StreamKind::DataTime ? time.dwHighDateTime : 0u, entry.timeStamp.dwHighDateTime);
        EXPECT_FALSE(reader.ReadEntry(3, entry));

        if (kind != StreamKind::DataTime) continue;  // the client subscribes with time stamps
        CGroup group;
        for (OPCHANDLE h : {12u, 11u, 13u}) {
            group.m_items.push_back(std::make_unique<CItem>());
            group.m_items.back()->m_hClient = h;
        }
        EXPECT_EQ(2u, ApplyDataChange(block.data(), block.size(), group));
        EXPECT_EQ("2.500000", group.m_items[0]->m_valueText);
        EXPECT_EQ(0x18, group.m_items[0]->m_quality);
        EXPECT_EQ("-42", group.m_items[1]->m_valueText);
        EXPECT_EQ(0xC0, group.m_items[1]->m_quality);
        EXPECT_EQ("?", group.m_items[2]->m_valueText);
    }
}

// A block from another process is trusted in nothing: the reader never
// reads past its end, whatever the header claims.
TEST(StreamReader, ReadsOnlyWhatLiesInsideTheBlock) {
    std::vector<BYTE> block(StreamBlockSize(StreamKind::Data, 2));
    StreamWriter writer(block.data(), block.size(), StreamKind::Data);
    ASSERT_TRUE(writer.WriteHeader(static_cast<DWORD>(block.size()), 2, 1, 1));
    ASSERT_TRUE(writer.WriteEntry(0, 5, 0xC0, FILETIME{}, Double(1)));
    ASSERT_TRUE(writer.WriteEntry(1, 6, 0xC0, FILETIME{}, Double(2)));
    const DWORD claimed = 1000000;
    std::memcpy(block.data() + 4, &claimed, sizeof claimed);  // a count far beyond the block

    const StreamReader reader(block.data(), block.size(), StreamKind::Data);
    EXPECT_EQ(claimed, reader.ItemCount());
    // The entries end where the first value starts: the bytes after them
    // are values, not further entries, whatever the count says.
    EXPECT_EQ(2u, reader.EntriesInBlock());
    StreamEntry entry;
    EXPECT_TRUE(reader.ReadEntry(1, entry));
    EXPECT_EQ(6u, entry.hClient);
    EXPECT_FALSE(reader.ReadEntry(reader.EntriesInBlock(), entry));

    // An entry whose value would lie among the entries ends the trust there.
    const DWORD intoEntries = kStreamHeaderSize + 4;
    std::memcpy(block.data() + kStreamHeaderSize + kStreamEntrySize + 4, &intoEntries, sizeof intoEntries);
    const StreamReader lying(block.data(), block.size(), StreamKind::Data);
    EXPECT_EQ(1u, lying.EntriesInBlock());

    const StreamReader cut(block.data(), kStreamHeaderSize + kStreamEntrySize - 1, StreamKind::Data);
    EXPECT_EQ(0u, cut.EntriesInBlock()) << "an entry cut by the end of the block";
    const StreamReader tiny(block.data(), kStreamHeaderSize - 1, StreamKind::DataTime);
    EXPECT_EQ(0u, tiny.ItemCount());
    EXPECT_FALSE(tiny.ReadEntry(0, entry));
    const StreamReader headerOnly(block.data(), block.size(), StreamKind::WriteComplete);
    EXPECT_EQ(0u, headerOnly.EntriesInBlock()) << "a format without entries";
}

}  // namespace
