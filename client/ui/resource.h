/* Dialog templates of the client's connection dialogs and their controls.
   Plain #defines: Dialogs.rc includes this file, and so may the program's
   own resource script. */
#ifndef OSTREL_UI_DIALOGS_RESOURCE_H
#define OSTREL_UI_DIALOGS_RESOURCE_H

#define IDD_ADD_SERVER 0x0201
#define IDD_ADD_GROUP 0x0202
#define IDD_ADD_ITEM 0x0203

/* Add OPC Server */
#define IDC_NODE_NAME 1001
#define IDC_SERVER_NAME 1002

/* Add Group */
#define IDC_GROUP_NAME 1005
#define IDC_DEADBAND 1006
#define IDC_UPDATE_RATE 1007
#define IDC_TIME_BIAS 1008
#define IDC_ACTIVE 1009
#define IDC_LOCALE_ID 1010
#define IDC_DATA_CALLBACK 1026

/* Add Item */
#define IDC_ITEM_ID 1011
#define IDC_ADD_ALL 1018
#define IDC_BROWSE_TREE 1025

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
