// The data-change stream of OPC DA 1.0: one block of global memory holding a
// group header, an entry per item and a 16-byte value per entry.  Pure layout
// code: the server writes streams with it (subscriptions, GetData and the
// asynchronous reads) and the client reads them (StreamReader.h).
#pragma once

#include "OpcInterfaces.h"

#include <windows.h>
#include <oaidl.h>

#include <cstddef>

enum class StreamKind {
    Data,           // entries without time stamps
    DataTime,       // entries with time stamps
    WriteComplete,  // the header only
    Other,          // any format we do not know: the header only
};

constexpr DWORD kStreamHeaderSize = 20;
constexpr DWORD kStreamEntrySize = 12;
constexpr DWORD kStreamEntryWithTimeSize = 20;
// Values travel as the 32-bit VARIANT: type, reserved words and 8 bytes of
// data.  A 64-bit VARIANT's tail is never sent.
constexpr DWORD kStreamValueSize = 16;

// Bytes of one entry header: 0 for the formats without entries.
DWORD StreamEntrySize(StreamKind kind);

// The size a block is allocated with for n items, as dwSize reports it; 0
// when that does not fit in 32 bits.
DWORD StreamBlockSize(StreamKind kind, DWORD n);

// Bytes that a stream of itemCount entries really uses.
size_t StreamBytesUsed(StreamKind kind, DWORD itemCount);

// The write-complete stream of an asynchronous write: a 16-byte header
// (count, client group handle, transaction ID, overall status) and one
// (client handle, item error) pair per item.  The overall status is S_FALSE
// when any item failed.  False, and nothing written, when the block is too
// small for it.
bool WriteWriteCompleteStream(void* block, size_t blockSize, OPCHANDLE hClientGroup, DWORD transactionId,
                              DWORD count, const OPCHANDLE* clientHandles, const HRESULT* errors);

// Bytes a value takes in a stream beyond its 16-byte VARIANT: a string
// (VT_BSTR) follows it as its length in bytes (4 bytes), its characters and
// a terminating NUL, padded to 8 bytes so that the next VARIANT is aligned.
// 0 for every other type.
size_t StreamValueExtra(const VARIANT& value);

// Writes one stream into a caller's block.  Every write is checked against
// the block: nothing lands outside it, and a write that would is refused.
class StreamWriter {
public:
    StreamWriter(void* block, size_t blockSize, StreamKind kind);

    // Whether the block holds a stream of itemCount entries whose values
    // need extraBytes beyond their VARIANTs (see StreamValueExtra).
    bool Fits(DWORD itemCount, size_t extraBytes = 0) const;
    // Fixes the number of entries; false when the block cannot hold the
    // stream (the block is left untouched).
    bool WriteHeader(DWORD dwSize, DWORD itemCount, OPCHANDLE hClientGroup, DWORD transactionId,
                     size_t extraBytes = 0);

    // Entry `index` (0-based) and its value; the data formats only, entries
    // in order, each value after the one before.  A scalar value goes in as
    // its first 16 bytes; a string as a VARIANT of type VT_BSTR without its
    // pointer, followed by the characters (see StreamValueExtra).
    bool WriteEntry(DWORD index, OPCHANDLE hClient, WORD quality, const FILETIME& time, const VARIANT& value);

    bool CarriesEntries() const { return kind_ == StreamKind::Data || kind_ == StreamKind::DataTime; }

private:
    BYTE* block_;
    size_t size_;
    StreamKind kind_;
    DWORD itemCount_ = 0;
    DWORD entriesWritten_ = 0;
    size_t nextValue_ = 0;
    bool headerWritten_ = false;
};
