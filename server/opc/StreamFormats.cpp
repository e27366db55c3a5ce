#include "StreamFormats.h"

#include "OpcConstants.h"

namespace {

const UINT g_formatData = RegisterClipboardFormatA(OPC_STREAM_FORMAT_DATA);
const UINT g_formatDataTime = RegisterClipboardFormatA(OPC_STREAM_FORMAT_DATATIME);
const UINT g_formatWriteComplete = RegisterClipboardFormatA(OPC_STREAM_FORMAT_WRITECOMPLETE);

}  // namespace

UINT StreamFormatData() { return g_formatData; }
UINT StreamFormatDataTime() { return g_formatDataTime; }
UINT StreamFormatWriteComplete() { return g_formatWriteComplete; }
