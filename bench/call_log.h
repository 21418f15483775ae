// The machine calls of one conversion, kept so that they can be made again without the conversion. Their
// replay is what the machine alone costs of a run: the floor under any conversion that asks what this one
// asks, whatever it does besides.
#pragma once

#include "bench/bench_machine.h"

#include <cstdint>
#include <string>
#include <vector>

namespace resivex::bench {

// Passes every call on to the bench machine and writes down the registry and file-system questions (with
// the room each caller offered for the answers). Everything else only passes through.
class recording_machine : public machine {
public:
  explicit recording_machine(bench_machine& inner) : inner_(inner) {}

  long reg_open_key(win::reg_key root, const char* sub_key, std::uint32_t access, win::reg_key* key) override;
  long reg_query_value(win::reg_key key, const char* name, std::uint32_t* type, unsigned char* data,
                       std::uint32_t* data_len) override;
  long reg_query_info_key(win::reg_key key, reg_key_info* info) override;
  long reg_enum_value(win::reg_key key, std::uint32_t index, std::string& name, std::uint32_t* type,
                      unsigned char* data, std::uint32_t* data_len) override;
  void reg_close_key(win::reg_key key) override;
  long reg_key_name(win::reg_key key, std::string& out) override { return inner_.reg_key_name(key, out); }
  std::string error_text(long code) override { return inner_.error_text(code); }

  std::uint32_t file_attributes(const char* path) override;
  int file_status(const char* path) override;
  long long file_size(const char* path) override { return inner_.file_size(path); }
  std::FILE* open_file(const char* path, const char* mode) override { return inner_.open_file(path, mode); }
  bool remove_file(const char* path) override { return inner_.remove_file(path); }
  bool full_path(const char* path, std::string& out) override { return inner_.full_path(path, out); }
  bool short_path(const char* path, std::string& out) override { return inner_.short_path(path, out); }
  bool long_path(const char* path, std::string& out) override { return inner_.long_path(path, out); }

  int message_box(window_handle owner, const char* text, const char* caption, unsigned style) override {
    return inner_.message_box(owner, text, caption, style);
  }
  bool open_result_window(window_handle owner, const char* path) override {
    return inner_.open_result_window(owner, path);
  }
  os_version_info os_version() override { return inner_.os_version(); }
  int is_wow64_process() override { return inner_.is_wow64_process(); }
  bool windows_is_64bit() override { return inner_.windows_is_64bit(); }
  std::string windows_folder() override { return inner_.windows_folder(); }
  bool utf8_from_ansi(std::string_view ansi, std::string& out) override { return inner_.utf8_from_ansi(ansi, out); }
  bool ansi_from_utf8(std::string_view text, std::string& out) override { return inner_.ansi_from_utf8(text, out); }
  bool oem_from_utf8(std::string_view text, std::string& out) override { return inner_.oem_from_utf8(text, out); }

  std::size_t calls() const { return calls_.size(); }
  // Makes the recorded calls again, in their order, on m (which must hold what the recorded one held, with
  // no key open: the handles then come out the same). Returns how many answers differ from the recorded
  // ones; 0 when the replay asked exactly what the run asked.
  std::size_t replay(bench_machine& m) const;

private:
  enum class kind : std::uint8_t { open, query, info, enumerate, close, attributes, status };
  struct call {
    kind what;
    bool with_data = false;     // the caller offered room for data (query, enumeration)
    std::uint32_t text_at = 0;  // the path or name, in texts_
    std::uint32_t text_length = 0;
    std::uint64_t key = 0;      // root or key handle
    std::uint32_t number = 0;   // access, enumeration index
    std::uint32_t name_room = 0;
    std::uint32_t data_room = 0;
    long answer = 0;            // the status, attributes or handle the machine gave
  };
  call& note(kind what, std::uint64_t key, const char* text);

  bench_machine& inner_;
  std::vector<call> calls_;
  std::string texts_;  // every recorded text, each followed by a NUL
};

}  // namespace resivex::bench
