// How the GUI test driver talks to gui_probe.dll, the hook it loads into resivex.exe. Some things can only
// be read or done on the program's own thread (Wine answers GetMenuState on another process's menu with -1,
// and a dropped-file handle must belong to the program). The driver sets the probe as a WH_CALLWNDPROC hook
// on that thread and sends the frame the registered message probe_message_name with the request in wParam
// and its own process id in lParam; the probe reads the argument from and writes its answer to the shared
// memory named probe_mapping_prefix + that process id. Texts in both directions are UTF-8; the probe reads
// and writes the program's windows and menus through the wide (W) functions.
#pragma once

namespace resivex::gui_test {

inline constexpr char probe_message_name[] = "resivex.gui_test.probe";
inline constexpr char probe_mapping_prefix[] = "resivex_gui_test_probe_";
inline constexpr char probe_hook_name[] = "probe_hook";

enum probe_request : unsigned {
  // The menu bar of the window, one line per entry: "menu POS STATE TEXT" for each popup of the bar and
  // "item POS INDEX ID STATE TEXT" for each item of a popup (STATE: "enabled", "grayed", "separator").
  probe_menu = 1,
  // Drops the files in the argument ("|" between paths) on the window, as Explorer would.
  probe_drop = 2,
  // The font of the window given in hexadecimal in the argument: "FACE HEIGHT" as created, then the face
  // that a device context actually selected.
  probe_font = 3,
  // The window's class icons: "BIG SMALL", each the width of the icon in pixels, 0 when there is none.
  probe_class_icons = 4,
  // Opens a document window on the file named in the argument, as the program opens one on each output of
  // a run (WM_MDICREATE of a "MyMDIChild" in the MDI client): its files can then be any a test writes. Done
  // from the program's message loop after this request has been answered ("posted"), so that a message box
  // the window shows does not hold the answer back.
  probe_open_document = 5,
};

struct probe_block {
  volatile long answered;  // set to 1 by the probe when answer holds the reply
  char argument[4096];
  char answer[32768];
};

}  // namespace resivex::gui_test
