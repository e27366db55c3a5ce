#include "DataStream.h"

#include <cstring>

static_assert(sizeof(OPCGROUPHEADER) == kStreamHeaderSize, "group header layout");
static_assert(sizeof(OPCITEMHEADER1) == kStreamEntryWithTimeSize, "entry with time layout");
static_assert(sizeof(OPCITEMHEADER2) == kStreamEntrySize, "entry layout");
static_assert(sizeof(OPCGROUPHEADERWRITE) == 16 && sizeof(OPCITEMHEADERWRITE) == 8, "write-complete layout");
static_assert(sizeof(VARIANT) >= kStreamValueSize, "a VARIANT holds a stream value");

DWORD StreamEntrySize(StreamKind kind) {
    switch (kind) {
    case StreamKind::Data:
        return kStreamEntrySize;
    case StreamKind::DataTime:
        return kStreamEntryWithTimeSize;
    default:
        return 0;
    }
}

namespace {

// Per-item part of the allocated size: entry and value for the data
// formats, 8 bytes for the write-complete format, the value alone otherwise.
DWORD AllocatedPerItem(StreamKind kind) {
    switch (kind) {
    case StreamKind::Data:
    case StreamKind::DataTime:
        return StreamEntrySize(kind) + kStreamValueSize;
    case StreamKind::WriteComplete:
        return 8;
    default:
        return kStreamValueSize;
    }
}

}  // namespace

DWORD StreamBlockSize(StreamKind kind, DWORD n) {
    const DWORD header = kind == StreamKind::WriteComplete ? 16 : kStreamHeaderSize;
    unsigned long long size = header + static_cast<unsigned long long>(AllocatedPerItem(kind)) * n;
    // Every stream starts with the 20-byte group header, which the
    // write-complete size of an empty list would not hold.
    if (size < kStreamHeaderSize) size = kStreamHeaderSize;
    return size > 0xFFFFFFFFull ? 0 : static_cast<DWORD>(size);
}

bool WriteWriteCompleteStream(void* block, size_t blockSize, OPCHANDLE hClientGroup, DWORD transactionId,
                              DWORD count, const OPCHANDLE* clientHandles, const HRESULT* errors) {
    const unsigned long long needed =
        sizeof(OPCGROUPHEADERWRITE) + static_cast<unsigned long long>(count) * sizeof(OPCITEMHEADERWRITE);
    if (!block || needed > blockSize || (count && (!clientHandles || !errors))) return false;
    OPCGROUPHEADERWRITE header{};
    header.dwItemCount = count;
    header.hClientGroup = hClientGroup;
    header.dwTransactionID = transactionId;
    header.hrStatus = S_OK;
    auto* bytes = static_cast<BYTE*>(block);
    for (DWORD i = 0; i < count; ++i) {
        const OPCITEMHEADERWRITE entry{clientHandles[i], errors[i]};
        std::memcpy(bytes + sizeof header + i * sizeof entry, &entry, sizeof entry);
        if (FAILED(errors[i])) header.hrStatus = S_FALSE;
    }
    std::memcpy(bytes, &header, sizeof header);
    return true;
}

size_t StreamBytesUsed(StreamKind kind, DWORD itemCount) {
    const DWORD entry = StreamEntrySize(kind);
    if (entry == 0) return kStreamHeaderSize;
    return kStreamHeaderSize + static_cast<size_t>(itemCount) * (entry + kStreamValueSize);
}

StreamWriter::StreamWriter(void* block, size_t blockSize, StreamKind kind)
    : block_(static_cast<BYTE*>(block)), size_(block ? blockSize : 0), kind_(kind) {}

size_t StreamValueExtra(const VARIANT& value) {
    if (value.vt != VT_BSTR) return 0;
    const size_t bytes = sizeof(DWORD) + SysStringByteLen(value.bstrVal) + sizeof(wchar_t);
    return (bytes + 7) & ~static_cast<size_t>(7);
}

bool StreamWriter::Fits(DWORD itemCount, size_t extraBytes) const {
    const unsigned long long needed =
        CarriesEntries() ? kStreamHeaderSize +
                               static_cast<unsigned long long>(itemCount) * (StreamEntrySize(kind_) + kStreamValueSize) +
                               extraBytes
                         : kStreamHeaderSize;
    return needed <= size_;
}

bool StreamWriter::WriteHeader(DWORD dwSize, DWORD itemCount, OPCHANDLE hClientGroup, DWORD transactionId,
                               size_t extraBytes) {
    // The whole stream must fit before anything is written; a caller that
    // learns of a short block finds it as it was.
    if (!Fits(itemCount, extraBytes)) return false;
    OPCGROUPHEADER header{};
    header.dwSize = dwSize;
    header.dwItemCount = itemCount;
    header.hClientGroup = hClientGroup;
    header.dwTransactionID = transactionId;
    header.hrStatus = S_OK;
    std::memcpy(block_, &header, sizeof header);
    itemCount_ = itemCount;
    entriesWritten_ = 0;
    nextValue_ = kStreamHeaderSize + static_cast<size_t>(itemCount) * StreamEntrySize(kind_);
    headerWritten_ = true;
    return true;
}

bool StreamWriter::WriteEntry(DWORD index, OPCHANDLE hClient, WORD quality, const FILETIME& time,
                              const VARIANT& value) {
    if (!headerWritten_ || !CarriesEntries() || index >= itemCount_ || index != entriesWritten_) return false;
    const DWORD entrySize = StreamEntrySize(kind_);
    const size_t entryOffset = kStreamHeaderSize + static_cast<size_t>(index) * entrySize;
    const size_t valueOffset = nextValue_;
    const size_t extra = StreamValueExtra(value);
    if (valueOffset + kStreamValueSize + extra > size_) return false;

    OPCITEMHEADER1 entry{};
    entry.hClient = hClient;
    entry.dwValueOffset = static_cast<DWORD>(valueOffset);
    entry.wQuality = quality;
    entry.wReserved = 0;
    entry.ftTimeStampItem = time;
    // Both entry kinds start alike; the short one simply stops before the time.
    std::memcpy(block_ + entryOffset, &entry, entrySize);
    if (value.vt == VT_BSTR) {
        // The type alone: the pointer means nothing in another process, the
        // characters follow instead.
        std::memset(block_ + valueOffset, 0, kStreamValueSize + extra);
        std::memcpy(block_ + valueOffset, &value.vt, sizeof value.vt);
        const DWORD bytes = SysStringByteLen(value.bstrVal);
        std::memcpy(block_ + valueOffset + kStreamValueSize, &bytes, sizeof bytes);
        if (bytes) std::memcpy(block_ + valueOffset + kStreamValueSize + sizeof bytes, value.bstrVal, bytes);
    } else {
        std::memcpy(block_ + valueOffset, &value, kStreamValueSize);
    }
    nextValue_ = valueOffset + kStreamValueSize + extra;
    ++entriesWritten_;
    return true;
}
