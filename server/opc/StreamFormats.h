// Clipboard formats of the OPC DA 1.0 data-change streams, registered by
// name before start-up: advise requests are compared against them.
#pragma once

#include <windows.h>

UINT StreamFormatData();
UINT StreamFormatDataTime();
UINT StreamFormatWriteComplete();
