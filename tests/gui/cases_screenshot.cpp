// The picture of the program for its documentation: a genuine Regshot report of an uninstall, with some of
// its left-overs recreated on this machine, converted at start-up. The driver arranges the windows, then
// asks the runner (tests/gui/run) to take the screenshot and waits until it has.
#include "tests/gui/expectations.h"
#include "tests/gui/harness.h"

#include "shell/resource.h"

namespace resivex::gui_test {

namespace {

const char gadget_root[] = "C:\\rstest\\Gadget Soft";

// Folders and files of the report that "the uninstaller left behind".
void make_gadget_leftovers() {
  remove_tree(gadget_root);
  make_folder("C:\\rstest");
  for (const char* folder : {"", "\\Gadget Suite", "\\backup", "\\logs", "\\logs\\2024"}) {
    make_folder(std::string(gadget_root) + folder);
  }
  for (const char* file : {"\\Gadget Suite\\crash 0001.dmp", "\\backup\\a.bak", "\\backup\\b.bak",
                           "\\logs\\2024\\uninstall.log", "\\logs\\setup.log"}) {
    write_file(std::string(gadget_root) + file, "left over");
  }
}

void set_value(HKEY root, const char* key, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY k = nullptr;
  check(RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) == ERROR_SUCCESS,
        std::string("registry key ") + key);
  RegSetValueExA(k, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(k);
}

// Keys and values of the report that are still there, and the value it lists as modified.
void make_gadget_registry() {
  const char user[] = "S-1-5-21-0-0-0-1000\\Software\\Gadget Soft\\Gadget Suite";
  const std::string backup = std::string(user) + "\\Backup";
  const char root_dir[] = "%LOCALAPPDATA%\\Gadget Soft\\backup";
  set_value(HKEY_USERS, backup.c_str(), "Root", REG_SZ, root_dir, sizeof root_dir);
  const char files[] = "C:\\rstest\\Gadget Soft\\backup\\a.bak\0C:\\rstest\\Gadget Soft\\backup\\b.bak\0";
  set_value(HKEY_USERS, (backup + "\\2024-05-01").c_str(), "Files", REG_MULTI_SZ, files, sizeof files);
  const DWORD launches = 0x12;
  set_value(HKEY_USERS, (std::string(user) + "\\Settings").c_str(), "Launches", REG_DWORD, &launches, sizeof launches);
  const DWORD one = 1;
  set_value(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
            "C:\\rstest\\Gadget Soft\\common\\gadget core.dll", REG_DWORD, &one, sizeof one);
}

}  // namespace

GUI_CASE(screenshot_of_a_real_report) {
  check(!ctx.screenshot_dir.empty() && !ctx.gadget_report.empty(),
        "the runner gives --screenshot-dir and --gadget-report");
  make_gadget_leftovers();
  make_gadget_registry();
  // Where a user keeps the snapshots: short paths read well in the titles.
  const std::string folder = "C:\\Snapshots";
  remove_tree(folder);
  make_folder(folder);
  const std::string report = folder + "\\gadget-uninstall.txt";
  check(CopyFileA(ctx.gadget_report.c_str(), report.c_str(), FALSE) != 0, "the Regshot report copied");
  const outputs out = outputs_of(report);
  program p(ctx.install(), {report}, ctx.work);
  const HWND bat = p.document(out.bat), reg = p.document(out.reg), mods = p.document(out.mods);
  check(read_file(out.bat).find("DEL ") != std::string::npos, "the batch file deletes left-overs");
  check(script_text(out.reg).find("[-") != std::string::npos, "the removal script deletes keys");

  SetWindowPos(p.frame(), nullptr, 0, 0, 1024, 740, SWP_NOZORDER | SWP_NOACTIVATE);
  // The batch file in front: it is the one a user reads first.
  p.activate(mods);
  p.activate(reg);
  p.activate(bat);
  p.command(IDM_WINDOW_CASCADE);
  wait_until("the cascade with the batch file in front", [&] {
    const RECT a = rect_in_parent(mods), b = rect_in_parent(reg), c = rect_in_parent(bat);
    return b.left > a.left && c.left > b.left && p.documents().front() == bat;
  });
  check(p.dialogs_after_pending_commands().empty(), "no message box in the picture");

  RECT frame{};
  GetWindowRect(p.frame(), &frame);
  const std::string ready = ctx.screenshot_dir + "\\screenshot.ready", done = ctx.screenshot_dir + "\\screenshot.done";
  DeleteFileA(done.c_str());
  write_file(ready + ".part", std::to_string(frame.right - frame.left) + "x" +
                                  std::to_string(frame.bottom - frame.top) + "+" + std::to_string(frame.left) + "+" +
                                  std::to_string(frame.top) + "\n");
  MoveFileExA((ready + ".part").c_str(), ready.c_str(), MOVEFILE_REPLACE_EXISTING);
  wait_until(
      "the runner to take the screenshot", [&] { return file_exists(done); }, 60000);
  DeleteFileA(ready.c_str());
  wait_until("the runner's answer", [&] { return read_file(done).find('\n') != std::string::npos; });
  check_equal(read_file(done), "ok\n", "the runner took the screenshot");

  p.command(IDM_FILE_EXIT);
  check_equal(p.wait_exit(), 0, "exit code after File/Exit");
}

}  // namespace resivex::gui_test
