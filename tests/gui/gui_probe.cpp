// gui_probe.dll: the GUI tests' hook inside resivex.exe (see probe_protocol.h). It answers on the program's
// own thread and changes nothing in the program but what a request asks for (a drop, a document window).
#include "shell/resource.h"
#include "tests/gui/probe_protocol.h"

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace resivex::gui_test;

namespace {

std::wstring wide(const std::string& text) {
  std::wstring out(text.size() + 1, L'\0');
  out.resize(static_cast<std::size_t>(
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), static_cast<int>(out.size()))));
  return out;
}

std::string utf8(const wchar_t* text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), length, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(length - 1));
  return out;
}

UINT probe_message() {
  static const UINT message = RegisterWindowMessageA(probe_message_name);
  return message;
}

std::string state_of(const MENUITEMINFOW& info) {
  if (info.fType & MFT_SEPARATOR) return "separator";
  return (info.fState & MFS_GRAYED) ? "grayed" : "enabled";
}

std::string menu_snapshot(HWND window) {
  std::string out;
  const HMENU bar = GetMenu(window);
  const int popups = GetMenuItemCount(bar);
  for (int pos = 0; pos < popups; ++pos) {
    wchar_t text[256] = L"";
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STATE | MIIM_FTYPE | MIIM_SUBMENU | MIIM_STRING | MIIM_ID;
    info.dwTypeData = text;
    info.cch = 256;
    if (!GetMenuItemInfoW(bar, static_cast<UINT>(pos), TRUE, &info)) continue;
    out += "menu " + std::to_string(pos) + " " + state_of(info) + " " + utf8(text) + "\n";
    const HMENU popup = info.hSubMenu;
    const int items = popup ? GetMenuItemCount(popup) : 0;
    for (int i = 0; i < items; ++i) {
      wchar_t item_text[1024] = L"";
      MENUITEMINFOW item{};
      item.cbSize = sizeof item;
      item.fMask = MIIM_STATE | MIIM_FTYPE | MIIM_STRING | MIIM_ID;
      item.dwTypeData = item_text;
      item.cch = 1024;
      if (!GetMenuItemInfoW(popup, static_cast<UINT>(i), TRUE, &item)) continue;
      out += "item " + std::to_string(pos) + " " + std::to_string(i) + " " + std::to_string(item.wID) + " " +
             state_of(item) + " " + utf8(item_text) + "\n";
    }
  }
  return out;
}

std::string drop_files(HWND window, const char* argument) {
  // DROPFILES, then the paths in UTF-16 as Explorer sends them, each with its NUL, and one more NUL.
  std::wstring paths = wide(argument);
  for (wchar_t& c : paths) {
    if (c == L'|') c = L'\0';
  }
  paths.push_back(L'\0');
  paths.push_back(L'\0');
  const std::size_t bytes = paths.size() * sizeof(wchar_t);
  const HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + bytes);
  if (memory == nullptr) return "error GlobalAlloc";
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), paths.data(), bytes);
  GlobalUnlock(memory);
  // Posted, as a real drop arrives: the program handles it in its own loop, after this request.
  if (!PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0)) {
    GlobalFree(memory);
    return "error PostMessage";
  }
  return "posted";
}

std::string font_of(const char* argument) {
  const auto window = reinterpret_cast<HWND>(static_cast<INT_PTR>(std::strtoull(argument, nullptr, 16)));
  const auto font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
  if (font == nullptr) return "none";
  LOGFONTW lf{};
  if (GetObjectW(font, sizeof lf, &lf) == 0) return "error GetObject";
  wchar_t selected[LF_FACESIZE] = L"";
  if (const HDC dc = GetDC(window)) {
    const HGDIOBJ old = SelectObject(dc, font);
    GetTextFaceW(dc, LF_FACESIZE, selected);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
  }
  return utf8(lf.lfFaceName) + "|" + std::to_string(lf.lfHeight) + "|" + std::to_string(lf.lfWeight) + "|" +
         std::to_string(lf.lfPitchAndFamily) + "|" + utf8(selected);
}

int icon_width(HICON icon) {
  ICONINFO info{};
  if (icon == nullptr || !GetIconInfo(icon, &info)) return 0;
  BITMAP bitmap{};
  GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return bitmap.bmWidth;
}

// The document window that probe_open_document asked for, created from the program's own loop by a timer.
std::wstring pending_document;
HWND pending_client = nullptr;

void CALLBACK open_pending_document(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  MDICREATESTRUCTW mcs{};
  mcs.szClass = L"MyMDIChild";
  mcs.szTitle = pending_document.c_str();
  mcs.hOwner = GetModuleHandleW(nullptr);
  mcs.x = mcs.y = mcs.cx = mcs.cy = CW_USEDEFAULT;
  mcs.style = 1;  // as the program creates its documents
  SendMessageW(pending_client, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&mcs));
}

std::string open_document(HWND frame, const char* argument) {
  pending_document = wide(argument);
  pending_client = GetDlgItem(frame, IDC_MDI_CLIENT);
  if (pending_client == nullptr) return "error no MDI client";
  return SetTimer(nullptr, 0, 0, open_pending_document) != 0 ? "posted" : "error SetTimer";
}

std::string class_icons(HWND window) {
  return std::to_string(icon_width(reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICON)))) + " " +
         std::to_string(icon_width(reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICONSM))));
}

void answer(HWND window, WPARAM request, LPARAM driver_pid) {
  const std::string name = std::string(probe_mapping_prefix) + std::to_string(static_cast<unsigned long>(driver_pid));
  const HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
  if (mapping == nullptr) return;
  auto* block = static_cast<probe_block*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(probe_block)));
  if (block != nullptr) {
    std::string reply;
    switch (request) {
      case probe_menu:
        reply = menu_snapshot(window);
        break;
      case probe_drop:
        reply = drop_files(window, block->argument);
        break;
      case probe_font:
        reply = font_of(block->argument);
        break;
      case probe_class_icons:
        reply = class_icons(window);
        break;
      case probe_open_document:
        reply = open_document(window, block->argument);
        break;
      default:
        reply = "error unknown request";
        break;
    }
    std::snprintf(block->answer, sizeof block->answer, "%s", reply.c_str());
    InterlockedExchange(const_cast<long*>(&block->answered), 1);
    UnmapViewOfFile(block);
  }
  CloseHandle(mapping);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK probe_hook(int code, WPARAM wp, LPARAM lp) {
  if (code == HC_ACTION) {
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (message->message == probe_message()) answer(message->hwnd, message->wParam, message->lParam);
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}
