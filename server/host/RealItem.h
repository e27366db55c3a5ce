// One tag of a server object's tag table: the driver's record of a plant
// value, its cached VARIANT and the outcome of its last device read.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <string>

class CHalyardDoc;

// A tag that takes part in device reads and writes through the driver.
constexpr int32_t kDeviceTag = 3;
// Read status of a tag that no device read has reached yet.
constexpr int32_t kNotReadYet = -1;

class CRealItem {
public:
    CRealItem();
    ~CRealItem();
    CRealItem(const CRealItem&) = delete;
    CRealItem& operator=(const CRealItem&) = delete;

    // Copies the cached value into out (type field = the canonical type) and
    // returns the tag's read status; E_FAIL for a type it cannot copy.
    HRESULT ReadValue(VARIANT* out) const;
    // Sends one write request for value, which must hold the canonical type.
    HRESULT WriteValue(const VARIANT& value);

    std::wstring m_name;
    CRealItem* m_pNext = nullptr;
    int32_t m_index = 0;
    int32_t m_accessRights = 0;
    VARTYPE m_canonicalType = VT_EMPTY;
    int32_t m_ioMode = 0;
    VARIANT m_value;
    volatile LONG m_readStatus = kNotReadYet;
    int32_t m_device = 0;
    int32_t m_addressNumber = 0;
    int32_t m_addressParam = 0;
    char m_address[32] = {};
    CHalyardDoc* m_pDocument = nullptr;
};
