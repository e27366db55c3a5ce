// Which items a subscription cycle sends: those never sent, and those whose
// tag's status or value differs from what the client was last told.
#pragma once

#include "Item.h"

// Values compare exactly, in the tag's own type; no deadband applies.
// Types the test cannot compare always count as changed.
bool HasChanged(const CItem& item, const TagReading& reading);

// Remembers what a stream told the client about the item: the value as sent
// and the item error that went with it.
void RememberSent(CItem& item, const VARIANT& value, HRESULT status);
