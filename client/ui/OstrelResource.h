/* Resource ids of OSTREL's own resources.  Plain #defines: OSTREL.rc
   includes this file.  The connection dialogs' ids are in resource.h (their
   templates in Dialogs.rc); the framework's standard ids in StandardIds.h. */
#ifndef OSTREL_RESOURCE_H
#define OSTREL_RESOURCE_H

#include "StandardIds.h"

/* The About box and the OLE failure text both use 100: dialogs and strings
   are separate resource types. */
#define IDD_ABOUTBOX 100
#define IDP_OLE_INIT_FAILED 100

/* Main frame and document template: document string, menu, accelerators,
   toolbar bitmap, icon. */
#define IDR_MAINFRAME 128
/* The object tree's image strip: 17 pictures of 16 x 15 pixels. */
#define IDB_OBJECT_TREE 130

/* Commands of the Edit, View, Tools and Group Interface menus. */
#define ID_EDIT_ADD_SERVER 32771
#define ID_EDIT_ADD_GROUP 32772
#define ID_EDIT_ADD_ITEM 32773
#define ID_VIEW_PROPERTIES 32774
#define ID_TOOLS_READ_WRITE 32775
#define ID_EDIT_DELETE 32776
#define ID_GROUP_VALIDATE_ITEM 32777
#define ID_TOOLS_PERFORMANCE 32778
#define ID_GROUP_ASYNC_REFRESH 32780

/* Help: the platform's help for the program. */
#define ID_HELP_FINDER 0xE143
#define ID_CONTEXT_HELP 0xE145
#define ID_HELP 0xE146

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
