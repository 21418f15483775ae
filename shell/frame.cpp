// See frame.h. The window procedure only dispatches; the commands are in frame_commands.cpp.
#include "shell/frame.h"

#include "resivex_version.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/conversions.h"
#include "shell/frame_commands.h"
#include "shell/resource.h"

#include <commctrl.h>
#include <shellapi.h>

namespace resivex::shell {

static_assert(std_cut == STD_CUT && std_copy == STD_COPY && std_paste == STD_PASTE && std_undo == STD_UNDO);
static_assert(std_filenew == STD_FILENEW && std_fileopen == STD_FILEOPEN && std_filesave == STD_FILESAVE);

namespace {

constexpr char frame_class[] = "MyMDIWindow";
constexpr char frame_title[] = "WINAPI version of RESIVEX V" RESIVEX_VERSION " compiled with Visual Studio";
constexpr char status_hint[] = "Process Regshot output .TXT file";

HWND create_mdi_client(HWND frame) {
  CLIENTCREATESTRUCT ccs{app().window_menu, IDM_WINDOW_FIRST_CHILD};
  const HWND client =
      CreateWindowExA(WS_EX_CLIENTEDGE, "mdiclient", nullptr, WS_CHILD | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL,
                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, frame,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_MDI_CLIENT)), app().instance, &ccs);
  if (client != nullptr) ShowWindow(client, SW_SHOW);
  return client;
}

HWND create_status_bar(HWND frame) {
  const HWND status =
      CreateWindowExA(0, STATUSCLASSNAMEA, nullptr, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, frame,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS_BAR)), app().instance, nullptr);
  if (status == nullptr) return nullptr;
  int edges[] = {IDC_STATUS_EDGE_0, IDC_STATUS_EDGE_1, -1};
  SendMessageA(status, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(edges));
  SendMessageA(status, SB_SETTEXTA, IDC_STATUS_PART_HINT, reinterpret_cast<LPARAM>(status_hint));
  return status;
}

HWND create_toolbar(HWND frame) {
  const HWND toolbar =
      CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, frame,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TOOLBAR)), app().instance, nullptr);
  if (toolbar == nullptr) return nullptr;
  SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  TBADDBITMAP bitmaps{HINST_COMMCTRL, IDB_STD_SMALL_COLOR};
  SendMessageA(toolbar, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&bitmaps));
  const command_states initial = states_for(false, false);
  TBBUTTON buttons[toolbar_button_count]{};
  for (int i = 0; i < toolbar_button_count; ++i) {
    const toolbar_button& b = toolbar_buttons[i];
    buttons[i].iBitmap = b.bitmap;
    buttons[i].idCommand = static_cast<int>(b.id);
    buttons[i].fsState = static_cast<BYTE>(!b.separator && toolbar_button_enabled(b.id, initial) ? TBSTATE_ENABLED : 0);
    buttons[i].fsStyle = static_cast<BYTE>(b.separator ? TBSTYLE_SEP : TBSTYLE_BUTTON);
  }
  SendMessageA(toolbar, TB_ADDBUTTONSA, toolbar_button_count, reinterpret_cast<LPARAM>(buttons));
  return toolbar;
}

// --- Message handlers -----------------------------------------------------------------------------------

LRESULT on_create(HWND frame) {
  app_state& a = app();
  a.frame = frame;
  const HMENU bar = GetMenu(frame);
  a.window_menu = GetSubMenu(bar, IDM_POS_WINDOW);
  a.edit_menu = GetSubMenu(bar, IDM_POS_EDIT);
  a.client = create_mdi_client(frame);
  a.status = create_status_bar(frame);
  a.toolbar = create_toolbar(frame);
  if (a.client == nullptr || a.status == nullptr || a.toolbar == nullptr) return -1;
  DragAcceptFiles(frame, TRUE);
  return run_startup_conversion() ? 0 : -1;
}

LRESULT on_size(HWND frame, WPARAM wp) {
  // A minimised frame has no client area to share out.
  if (wp == SIZE_MINIMIZED) return 0;
  const app_state& a = app();
  SendMessageA(a.toolbar, TB_AUTOSIZE, 0, 0);
  SendMessageA(a.status, WM_SIZE, 0, 0);
  RECT client{}, status{}, toolbar{};
  GetClientRect(frame, &client);
  GetWindowRect(a.status, &status);
  GetWindowRect(a.toolbar, &toolbar);
  const int toolbar_height = toolbar.bottom - toolbar.top;
  const int status_height = status.bottom - status.top;
  MoveWindow(a.client, 0, toolbar_height, client.right, client.bottom - status_height - toolbar_height, TRUE);
  return 0;
}

LRESULT on_command(HWND frame, WPARAM wp, LPARAM lp) {
  switch (route_frame_command(LOWORD(wp))) {
    case frame_command::help:
      command_help();
      break;
    case frame_command::about:
      command_about();
      break;
    case frame_command::new_document:
      command_new();
      break;
    case frame_command::exit:
      command_exit();
      break;
    case frame_command::open:
      command_open();
      break;
    case frame_command::cascade:
      command_cascade();
      break;
    case frame_command::tile_vertical:
      command_tile(MDITILE_VERTICAL);
      break;
    case frame_command::tile_horizontal:
      command_tile(MDITILE_HORIZONTAL);
      break;
    case frame_command::arrange_icons:
      command_arrange_icons();
      break;
    case frame_command::window_list:
      return DefFrameProcA(frame, app().client, WM_COMMAND, wp, lp);
    case frame_command::to_active_document:
      command_to_active_document(wp, lp);
      break;
  }
  return 0;
}

LRESULT on_drop_files(WPARAM wp) {
  convert_dropped_files(reinterpret_cast<HDROP>(wp));
  return 0;
}

LRESULT on_close(HWND frame) {
  app_state& a = app();
  // A run is on the stack below this message (it is showing a box): the frame goes when the run is over.
  if (a.gate.busy()) {
    a.gate.defer_close();
    return 0;
  }
  if (a.closing) return 0;
  a.closing = true;
  const bool may_close = documents_may_close(true);
  a.closing = false;
  if (may_close) DestroyWindow(frame);
  return 0;
}

LRESULT on_query_end_session() { return !app().gate.busy() && documents_may_close(true) ? TRUE : FALSE; }

LRESULT on_destroy() {
  free_run_buffers(*app().rs);
  PostQuitMessage(app().exit_code);
  return 0;
}

LRESULT dispatch(HWND frame, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      return on_create(frame);
    case WM_SIZE:
      return on_size(frame, wp);
    case WM_COMMAND:
      return on_command(frame, wp, lp);
    case WM_DROPFILES:
      return on_drop_files(wp);
    case WM_CLOSE:
      return on_close(frame);
    case WM_QUERYENDSESSION:
      return on_query_end_session();
    case WM_DESTROY:
      return on_destroy();
    default:
      return DefFrameProcA(frame, app().client, msg, wp, lp);
  }
}

LRESULT CALLBACK frame_proc(HWND frame, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  try {
    return dispatch(frame, msg, wp, lp);
  } catch (...) {
    // Only memory can run out here; the message is dropped rather than the program.
    return msg == WM_CREATE ? -1 : 0;
  }
}

}  // namespace

bool register_frame_class(HINSTANCE instance) {
  WNDCLASSEXA wc = program_window_class(instance, frame_proc, frame_class, COLOR_3DSHADOW);
  wc.lpszMenuName = "MAIN";
  return RegisterClassExA(&wc) != 0;
}

HWND create_frame(HINSTANCE instance) {
  return CreateWindowExA(WS_EX_APPWINDOW, frame_class, frame_title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance,
                         nullptr);
}

}  // namespace resivex::shell
