/* Resource ids of the server program.  Plain #defines: VELMORA_OPC.rc
   includes this file.  The framework's standard command and string ids come
   from StandardIds.h. */
#ifndef VELMORA_OPC_RESOURCE_H
#define VELMORA_OPC_RESOURCE_H

#include "StandardIds.h"

/* The About dialog and the OLE failure text both use 100: dialogs and
   strings are separate resource types, so the numbers do not collide. */
#define IDD_ABOUTBOX 100
#define IDP_OLE_INIT_FAILED 100

/* Main frame: title string, menu, icon, toolbar bitmap, accelerators. */
#define IDR_MAINFRAME 128
/* Document template: document string, menu, icon. */
#define IDR_OPCSERVER_DOC 129

/* Outcome of /Unregserver. */
#define IDS_UNREG_DONE 0xF0C0
#define IDS_UNREG_FAILED 0xF0C1

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
