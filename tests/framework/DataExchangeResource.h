/* The dialog the data-exchange tests drive.  Plain #defines: the resource
   script includes this file.  The numbers stay clear of the server's
   resources, which are linked into the same test program. */
#ifndef DATA_EXCHANGE_RESOURCE_H
#define DATA_EXCHANGE_RESOURCE_H

#define IDD_EXCHANGE_TEST 0x7E00

#define IDC_DX_TEXT 1101
#define IDC_DX_NUMBER 1102
#define IDC_DX_COUNT 1103
#define IDC_DX_RATIO 1104
#define IDC_DX_FLAG 1105
#define IDC_DX_CHOICE 1106

#endif
