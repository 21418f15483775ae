// What resivex.exe carries: the icon group 1000 with its three sizes (also the windows' icon), the version,
// and the manifest that selects common controls 6 and declares the program DPI-aware; RESIVEX.TXT beside it.
#include "tests/gui/harness.h"

#include "resivex_version.h"
#include "shell/resource.h"

#include <cstring>

namespace resivex::gui_test {

namespace {

#pragma pack(push, 2)
struct icon_group_entry {
  BYTE width, height, colours, reserved;
  WORD planes, bit_count;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

std::string resource_bytes(HMODULE module, LPCSTR type, LPCSTR name) {
  const HRSRC found = FindResourceA(module, name, type);
  check(found != nullptr, "the resource is there");
  const HGLOBAL loaded = LoadResource(module, found);
  return std::string(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, found));
}

std::string version_string(const std::string& file, const char* name) {
  DWORD ignored = 0;
  std::string data(GetFileVersionInfoSizeA(file.c_str(), &ignored), '\0');
  check(!data.empty() && GetFileVersionInfoA(file.c_str(), 0, static_cast<DWORD>(data.size()), data.data()),
        "the program has a version resource");
  char* value = nullptr;
  UINT length = 0;
  const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
  check(VerQueryValueA(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) != 0, path);
  return value;
}

// The numbers of the resource's fixed part (FILEVERSION), as "major.minor.patch.build".
std::string fixed_file_version(const std::string& file) {
  DWORD ignored = 0;
  std::string data(GetFileVersionInfoSizeA(file.c_str(), &ignored), '\0');
  check(!data.empty() && GetFileVersionInfoA(file.c_str(), 0, static_cast<DWORD>(data.size()), data.data()),
        "the program has a version resource");
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  check(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length) != 0 && length >= sizeof *info,
        "the version resource has its fixed part");
  return std::to_string(HIWORD(info->dwFileVersionMS)) + "." + std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(info->dwFileVersionLS)) + "." + std::to_string(LOWORD(info->dwFileVersionLS));
}

}  // namespace

GUI_CASE(program_carries_icon_version_manifest_and_help_text) {
  const std::string exe = ctx.install();
  const HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  check(module != nullptr, "resivex.exe loads as a data file");

  const std::string group =
      resource_bytes(module, MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(IDI_RESIVEX));  // RT_GROUP_ICON
  check(group.size() >= 6, "icon group header");
  WORD count = 0;
  std::memcpy(&count, group.data() + 4, 2);
  check_equal(count, 3, "images in icon group 1000");
  int sizes = 0;
  for (WORD i = 0; i < count; ++i) {
    icon_group_entry e{};
    std::memcpy(&e, group.data() + 6 + i * sizeof e, sizeof e);
    sizes |= e.width == 48 ? 1 : e.width == 32 ? 2 : e.width == 16 ? 4 : 8;
    check_equal(e.width, e.height, "square icon image");
    check_equal(e.bit_count, 32, "icon images with alpha");
  }
  check_equal(sizes, 7, "icon images of 48, 32 and 16 pixels");

  const std::string manifest = resource_bytes(module, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1));  // RT_MANIFEST
  check(manifest.find("Microsoft.Windows.Common-Controls") != std::string::npos &&
            manifest.find("version=\"6.0.0.0\"") != std::string::npos,
        "the manifest selects common controls 6");
  check(manifest.find("<dpiAware") != std::string::npos && manifest.find(">true</dpiAware>") != std::string::npos,
        "the manifest declares the program DPI-aware");
  check(manifest.find("name=\"RESIVEX\" version=\"" RESIVEX_VERSION ".0\"") != std::string::npos,
        "the manifest names the program's version");
  FreeLibrary(module);

  check_equal(version_string(exe, "ProductName"), "RESIVEX", "product name");
  check_equal(version_string(exe, "ProductVersion"), RESIVEX_VERSION, "product version");
  check_equal(version_string(exe, "FileVersion"), RESIVEX_VERSION, "file version");
  check_equal(fixed_file_version(exe), RESIVEX_VERSION ".0", "file version numbers");
  check_equal(version_string(exe, "OriginalFilename"), "resivex.exe", "file name");

  const std::string help = read_file(ctx.help_source);
  for (const char* topic : {"Regshot", "1st shot", "report.bat", "report.reg", "report_mods.reg", "report_errors.txt",
                            "DIR", "do_not_modify_list.TXT", "administrator"}) {
    check(help.find(topic) != std::string::npos, std::string("the help text tells about ") + topic);
  }
  check(help.find("\r\n") != std::string::npos && help.find("@PROJECT_VERSION@") == std::string::npos,
        "RESIVEX.TXT beside the program has Windows line ends and its version filled in");

  program p(exe, {}, ctx.work);
  check_equal(p.probe(probe_class_icons),
              std::to_string(GetSystemMetrics(SM_CXICON)) + " " + std::to_string(GetSystemMetrics(SM_CXSMICON)),
              "the frame's large and small icons");
}

}  // namespace resivex::gui_test
