// One tag of a server object's tag table: the driver's record of a plant
// value, its cached VARIANT and the outcome of its last device read.
#pragma once

#include "DriverStatus.h"
#include "Sync.h"

#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <string>

class ServerContext;

// A tag that takes part in device reads and writes through the driver.
constexpr int32_t kDeviceTag = 3;

// A tag's cached value and the status of the read that left it, taken
// together.  `raw` holds the bytes as the driver left them, whatever the
// status; CRealItem::ValueOf gives what a client is told.
struct TagReading {
    VARIANT raw;
    DriverStatus status;
};

class CRealItem {
public:
    CRealItem();
    ~CRealItem();
    CRealItem(const CRealItem&) = delete;
    CRealItem& operator=(const CRealItem&) = delete;

    // Copies the cached value into out (type field = the canonical type) and
    // returns the item error of the tag's read status; E_FAIL for a type it
    // cannot copy.
    HRESULT ReadValue(VARIANT* out) const;
    TagReading Reading() const;
    // What ReadValue would give for a reading taken before.
    HRESULT ValueOf(const TagReading& reading, VARIANT* out) const;
    // The device read's outcome: the bytes the driver wrote and its status.
    void StoreReading(const VARIANT& raw, DriverStatus status);

    // The same for a caller that holds the value lock (TagValueLock) over
    // many tags at once, as the device reads and the subscription cycles do.
    TagReading ReadingLocked() const { return {m_value, m_readStatus}; }
    void StoreReadingLocked(const VARIANT& raw, DriverStatus status, const FILETIME& when);
    // When the last device read left its value (zero before the first).
    FILETIME ReadTime() const;
    // Sends one write request for value, which must hold the canonical type.
    HRESULT WriteValue(const VARIANT& value);

    std::wstring m_name;
    CRealItem* m_pNext = nullptr;
    int32_t m_index = 0;
    int32_t m_accessRights = 0;
    VARTYPE m_canonicalType = VT_EMPTY;
    int32_t m_ioMode = 0;
    int32_t m_device = 0;
    int32_t m_addressNumber = 0;
    int32_t m_addressParam = 0;
    char m_address[32] = {};
    ServerContext* m_pContext = nullptr;
    // The tag table's value lock (set when the table takes the tag).
    fw::CriticalSection* m_valueLock = nullptr;

private:
    VARIANT m_value;
    DriverStatus m_readStatus = kNotReadYet;
    FILETIME m_readTime{};
};

// Holds the value lock of a tag's table (that of every tag of the table) for
// a scope; nothing to hold for a tag in no table, or for none.
class TagValueLock {
public:
    explicit TagValueLock(const CRealItem* anyTag) : lock_(anyTag ? anyTag->m_valueLock : nullptr) {
        if (lock_) lock_->Enter();
    }
    ~TagValueLock() {
        if (lock_) lock_->Leave();
    }
    TagValueLock(const TagValueLock&) = delete;
    TagValueLock& operator=(const TagValueLock&) = delete;

private:
    fw::CriticalSection* lock_;
};
