/* Command, string and window ids the framework itself understands.  The
   numbers are the long-established standard ones of Windows MDI programs, so
   resource scripts written for them work unchanged.  Plain #defines only:
   resource scripts include this file too. */
#ifndef FW_STANDARD_IDS_H
#define FW_STANDARD_IDS_H

#define ID_SEPARATOR 0

/* File */
#define ID_FILE_NEW 0xE100
#define ID_FILE_OPEN 0xE101
#define ID_FILE_CLOSE 0xE102
#define ID_FILE_SAVE 0xE103
#define ID_FILE_SAVE_AS 0xE104
#define ID_FILE_MRU_FILE1 0xE110

/* Edit */
#define ID_EDIT_COPY 0xE122
#define ID_EDIT_CUT 0xE123
#define ID_EDIT_PASTE 0xE125
#define ID_EDIT_UNDO 0xE12B

/* Window */
#define ID_WINDOW_NEW 0xE130
#define ID_WINDOW_ARRANGE 0xE131
#define ID_WINDOW_CASCADE 0xE132
#define ID_WINDOW_TILE_HORZ 0xE133

/* Application */
#define ID_APP_ABOUT 0xE140
#define ID_APP_EXIT 0xE141
#define ID_NEXT_PANE 0xE150
#define ID_PREV_PANE 0xE151

/* View */
#define ID_VIEW_TOOLBAR 0xE800
#define ID_VIEW_STATUS_BAR 0xE801

/* Status bar indicators: the string of the same id is the pane's text. */
#define ID_INDICATOR_CAP 0xE701
#define ID_INDICATOR_NUM 0xE702
#define ID_INDICATOR_SCRL 0xE703

/* Strings */
#define IDS_APP_TITLE 0xE000
#define IDS_IDLE_MESSAGE 0xE001

/* Child window ids of the frame windows */
#define IDW_TOOLBAR 0xE800
#define IDW_STATUS_BAR 0xE801
#define IDW_PANE_FIRST 0xE900

/* The MDI client numbers its window-list entries from here. */
#define IDM_FIRST_MDICHILD 0xFF00

#endif
