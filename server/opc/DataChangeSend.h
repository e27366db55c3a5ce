// Hands one data-change stream to a client's sink.
#pragma once

#include <objidl.h>

// Delivered synchronously; the block stays the caller's.
void SendDataChange(IAdviseSink* sink, const FORMATETC& format, HGLOBAL block);
