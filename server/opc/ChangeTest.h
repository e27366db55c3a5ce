// Which items a subscription sends: those never sent (or asked for again),
// and those whose tag's status or value differs from what that subscriber
// was last told.
#pragma once

#include "RealItem.h"

#include <windows.h>
#include <oaidl.h>

// What one kind of subscriber was last told about an item.  The data
// streams of a group share one record per item; the group's data callback
// keeps a second one, so that neither path hides a change from the other.
struct SentValue {
    SentValue() { VariantInit(&value); }
    ~SentValue() { VariantClear(&value); }
    SentValue(const SentValue&) = delete;
    SentValue& operator=(const SentValue&) = delete;

    VARIANT value;      // the bytes as sent (scalar types only)
    HRESULT status = 0; // the item error that went with them
    BOOL due = TRUE;    // send at the next chance, whatever the value
};

// Values compare exactly, in the tag's own type.  Types the test cannot
// compare always count as changed.
//
// deadbandPercent applies to numeric types only.  The standard measures it
// against an item's engineering range; our tags have none, so the range is
// the magnitude of the value last sent: a move counts when it is more than
// that percentage of |last sent|.  A last value of 0 has no magnitude, so
// any move from it counts.  A new status, or an item due, is always sent.
bool HasChanged(const SentValue& sent, VARTYPE type, const TagReading& reading, float deadbandPercent = 0.0f);

// Remembers what was sent: the value (scalar bytes) and its item error.
void RememberSent(SentValue& sent, const VARIANT& value, HRESULT status);
