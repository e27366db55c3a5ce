/* Dialog templates of the client's tool dialogs and their controls.  Plain
   #defines: Tools.rc includes this file, and so may the program's own
   resource script.  Control ids repeat between dialogs, never within one. */
#ifndef OSTREL_UI_TOOL_RESOURCE_H
#define OSTREL_UI_TOOL_RESOURCE_H

#define IDD_OPC_INTERFACES 134
#define IDD_READ_WRITE 135
#define IDD_VALIDATE_RESULT 137
#define IDD_PERFORMANCE 138

/* OPC Interfaces */
#define IDC_INTERFACE_LIST 1010

/* Read/Write */
#define IDC_RW_ITEM_NAME 1005
#define IDC_RW_NEW_VALUE 1011
#define IDC_RW_VALUE 1012
#define IDC_RW_READ 1013
#define IDC_RW_WRITE 1014

/* Validate Item result */
#define IDC_VALIDATED_ITEM_ID 1015
#define IDC_VALIDATED_TYPE 1016
#define IDC_VALIDATED_HANDLE 1017

/* Performance test */
#define IDC_PERF_REQUESTS 1015
#define IDC_PERF_TIME 1016
#define IDC_PERF_REQUEST_RATE 1017
#define IDC_PERF_CACHE 1019
#define IDC_PERF_DEVICE 1020
#define IDC_PERF_REQUEST_TIME 1021
#define IDC_PERF_VALUE_RATE 1022
#define IDC_PERF_ITEMS 1023
#define IDC_PERF_ERRORS 1024

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
