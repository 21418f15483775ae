// A scripted machine for the unit tests: files and folders that "exist", a registry, and a record of every
// message box and result window. Output and report files are real files in a scratch folder, so the tests
// read back exactly the bytes a run wrote.
#pragma once

#include "conversion/machine.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace resivex::testing {

struct shown_box {
  window_handle owner;
  std::string text;
  std::string caption;
  unsigned style;
};

struct fake_value {
  std::uint32_t type = 0;
  std::string data;  // raw bytes
};

class fake_machine : public machine {
public:
  // Files and folders that exist on the fake machine (paths compare exactly).
  std::set<std::string> existing_files;
  std::set<std::string> existing_folders;
  std::map<std::string, int> stat_errors;  // path -> errno of a status query that fails although it exists
  std::set<std::string> unopenable;        // paths that open_file refuses
  std::set<std::string> attributes_fail_for;  // paths whose attributes cannot be read although they exist
  std::set<std::string> unwritable;        // paths that open, but every write fails (disk full)
  std::vector<std::string> opened_for_writing;
  std::vector<std::string> removed;  // paths handed to remove_file
  int attribute_queries = 0;

  // Registry: key paths as "HKLM\\Software\\X" (short root names), compared without regard to case. Like
  // RegOpenKeyExA, an open takes a sub-key of at most 260 characters (Wine answers ERROR_MORE_DATA beyond),
  // relative to a root or to an open key.
  std::map<std::string, std::map<std::string, fake_value>> keys;
  std::map<std::string, long> key_open_errors;  // key path -> error code of RegOpenKeyExA
  // The 32-bit view: an open with KEY_WOW64_32KEY from a root, of a key at or below one of these, is redirected
  // to the same path below its Wow6432Node (HKLM\Software\X is HKLM\Software\Wow6432Node\X), unless the key
  // lies at or below one of the shared keys.
  std::vector<std::string> redirected_32 = {"HKLM\\Software"};
  std::vector<std::string> shared_32;
  // The current user, whose key HKCU names: the system names HKCU\X as \REGISTRY\USER\<sid>\X.
  std::string current_user_sid = "S-1-5-21-0-0-0-1000";
  std::map<std::string, long> key_name_errors;  // key path -> error code of reg_key_name
  // Keys written to while they are read: each RegQueryInfoKeyW tells a later last-write time.
  std::set<std::string> changing_keys;
  std::map<std::string, std::string> key_names;  // key path -> the full name reg_key_name gives instead
  // "key\\name" -> error code of RegQueryValueExA for that value (the enumeration still lists it).
  std::map<std::string, long> query_errors;
  std::vector<std::uint32_t> open_accesses;     // the access mask of every open
  int reg_opens = 0;
  int reg_queries = 0;
  int reg_infos = 0;
  int reg_enums = 0;
  // Adds a value (and its key).
  void set_value(const std::string& key, const std::string& name, std::uint32_t type, const std::string& data) {
    keys[key][name] = fake_value{type, data};
  }
  std::size_t open_key_count() const { return open_keys_.size(); }

  // The progress each offer told, and the offer (counted from 1) at which the run is asked to stop (0: never).
  struct offer {
    std::string section;
    std::uint64_t bytes_read;
    std::uint64_t bytes_total;
    std::uint64_t entries_read;
  };
  std::vector<offer> offers;
  std::size_t stop_at_offer = 0;
  bool keep_running(const run_progress& p) override {
    offers.push_back(offer{std::string(p.section), p.bytes_read, p.bytes_total, p.entries_read});
    return offers.size() != stop_at_offer;
  }

  std::vector<shown_box> boxes;
  std::vector<std::string> windows;
  bool windows_fail = false;

  os_version_info version{win::ver_platform_win32_nt, 10};
  int wow64 = 0;
  bool windows_64 = true;
  std::string windows_dir = "C:\\Windows";

  // The short (8.3) paths of items (long path -> short path), as GetShortPathNameW gives them; an item
  // without one is its own short path. long_names answers GetLongPathNameW where it differs from the map's
  // inverse (a short name that names another item).
  std::map<std::string, std::string> short_names;
  std::map<std::string, std::string> long_names;

  void add_file(const std::string& path) { existing_files.insert(path); }
  // Every folder on the way to an existing item exists too, as on a real machine (without it, a case can
  // make items whose folders are gone).
  bool folders_of_items_exist = false;
  void add_folder(const std::string& path) { existing_folders.insert(path); }

  long reg_open_key(win::reg_key root, const char* sub_key, std::uint32_t access, win::reg_key* key) override;
  long reg_query_value(win::reg_key key, const char* name, std::uint32_t* type, unsigned char* data,
                       std::uint32_t* data_len) override;
  long reg_query_info_key(win::reg_key key, reg_key_info* info) override;
  long reg_enum_value(win::reg_key key, std::uint32_t index, std::string& name, std::uint32_t* type,
                      unsigned char* data, std::uint32_t* data_len) override;
  long reg_enum_key(win::reg_key key, std::uint32_t index, std::string& name) override;
  void reg_close_key(win::reg_key key) override;
  long reg_key_name(win::reg_key key, std::string& out) override;
  std::string error_text(long code) override;

  std::uint32_t file_attributes(const char* path) override;
  int file_status(const char* path) override;
  long long file_size(const char* path) override;
  std::FILE* open_file(const char* path, const char* mode) override;
  bool remove_file(const char* path) override;
  bool full_path(const char* path, std::string& out) override;
  bool short_path(const char* path, std::string& out) override;
  bool long_path(const char* path, std::string& out) override;

  int message_box(window_handle owner, const char* text, const char* caption, unsigned style) override;
  bool open_result_window(window_handle owner, const char* path) override;

  os_version_info os_version() override { return version; }
  int is_wow64_process() override { return wow64; }
  bool windows_is_64bit() override { return windows_64; }
  std::string windows_folder() override { return windows_dir; }

  // ANSI is Latin-1 here (but for the bytes in ansi_undefined, which name no character); OEM holds ASCII and
  // a few Latin-1 letters, as code page 850 does.
  bool utf8_from_ansi(std::string_view ansi, std::string& out) override;
  bool ansi_from_utf8(std::string_view text, std::string& out) override;
  bool oem_from_utf8(std::string_view text, std::string& out) override;
  std::set<unsigned char> ansi_undefined;

  std::vector<std::string> captions() const;

private:
  std::string redirected(const std::string& path) const;
  bool holds_items_below(const std::string& folder) const;

  std::map<win::reg_key, std::string> open_keys_;
  win::reg_key next_handle_ = 0x1000;
  std::uint64_t clock_ = 0;
};

}  // namespace resivex::testing
