// Display texts of values, in UTF-8 like every text of the model.
//
// Every result is a string of its own, owned by the caller: the program runs
// on one thread today, but a text that the next conversion overwrites is a
// trap for the first caller who keeps two at once.  Texts are whole: a long
// string value or array is shown as long as it is.
#pragma once

#include "TextEncoding.h"

#include <windows.h>
#include <oaidl.h>

#include <cstddef>
#include <optional>
#include <string>

// A value as the user sees it, with the type the value had.
struct VariantText {
    std::string text;
    VARTYPE type = VT_EMPTY;
};

// The size of a value in a data-change stream: the 32-bit VARIANT (type,
// three reserved words, eight bytes of data), also in a 64-bit program.
constexpr size_t kStreamVariantSize = 16;

// A VARIANT held in memory ("plain form"): a VT_BSTR is read through its
// pointer.  VT_I2 and VT_I4 as "%i", VT_R4 and VT_R8 as "%f" where six
// decimals show them to their precision and otherwise as the shortest text
// that reads back as the same value ("1e-50"), VT_BOOL and
// type 12 as "TRUE"/"FALSE" from their 16-bit value, anything else
// (arrays and references included) as "???".
VariantText VariantToText(const VARIANT& value);

// A value inside a data-change stream ("stream form"): `value` is the start
// of the 16-byte VARIANT and `available` the bytes from there to the end of
// the block.  A VT_BSTR is read from the block itself (its byte length at
// +16, the characters from +20), never through the pointer that the server
// left in the VARIANT, which means nothing in this process.  Empty when the
// value or its characters would run past the end of the block.
std::optional<VariantText> VariantToText(const BYTE* value, size_t available);
