// Resource and control identifiers of resivex.exe: shared by resivex.rc, the shell and the GUI tests, so that
// a menu id means the same thing in all three. Plain #defines only: windres reads this file too.
#pragma once

// The program's icon group (48x48, 32x32 and 16x16).
#define IDI_RESIVEX 1000

// Menu commands.
#define IDM_HELP_HELP 9068
#define IDM_HELP_ABOUT 9069
#define IDM_FILE_NEW 9070
#define IDM_FILE_EXIT 9071
#define IDM_FILE_OPEN 9072
#define IDM_FILE_SAVE 9073
#define IDM_FILE_SAVE_AS 9074
#define IDM_EDIT_UNDO 9075
#define IDM_WINDOW_CASCADE 9076
#define IDM_EDIT_CUT 9077
#define IDM_EDIT_COPY 9078
#define IDM_EDIT_PASTE 9079
#define IDM_WINDOW_TILE_VERTICAL 9080
#define IDM_WINDOW_ARRANGE_ICONS 9081
#define IDM_WINDOW_TILE_HORIZONTAL 9082
#define IDM_FILE_CANCEL 9083

// The MDI client gives the entries it appends to the Window menu the ids from here on.
#define IDM_WINDOW_FIRST_CHILD 50000

// Positions of the popups on the menu bar (as long as no document window is maximised).
#define IDM_POS_FILE 0
#define IDM_POS_EDIT 1
#define IDM_POS_WINDOW 2
#define IDM_POS_HELP 3

// Fixed child windows of the frame, and the edit control of each document window.
#define IDC_STATUS_BAR 4997
#define IDC_TOOLBAR 4998
#define IDC_MDI_CLIENT 4999
#define IDC_DOCUMENT_EDIT 2000

// Status-bar parts: right edges, and the part that shows the active document's title.
#define IDC_STATUS_PART_DOCUMENT 0
#define IDC_STATUS_PART_HINT 2
#define IDC_STATUS_EDGE_0 200
#define IDC_STATUS_EDGE_1 300
