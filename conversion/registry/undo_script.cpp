// See undo_script.h.
#include "conversion/registry/undo_script.h"

#include "conversion/registry/encoders.h"
#include "conversion/registry/entry_line.h"
#include "conversion/registry/key_names.h"
#include "conversion/registry/registry_state.h"
#include "conversion/unicode.h"

#include <cstdio>
#include <new>
#include <vector>

namespace resivex {

namespace {

// One key's subtree on its way to the undo script: kept in memory, and beyond a limit in a scratch file beside
// the outputs, so that a subtree of any size is written whole, and a subtree that cannot be read whole is not
// written at all.
class undo_section {
public:
  explicit undo_section(run_state& rs) : rs_(rs) {}
  ~undo_section() { discard(); }
  undo_section(const undo_section&) = delete;
  undo_section& operator=(const undo_section&) = delete;

  void append(std::string_view text) {
    text_.append(text);
    if (text_.size() >= memory_limit) spill();
  }

  // Hands the whole section to the undo script.
  void commit() {
    if (scratch_ != nullptr) {
      spill();
      std::rewind(scratch_);
      char block[64 * 1024];
      for (std::size_t got; (got = std::fread(block, 1, sizeof block, scratch_)) > 0;) {
        rs_.undo.write(std::string_view(block, got));
      }
      // A scratch file that cannot be read back whole leaves the undo script incomplete: the run is told.
      if (std::ferror(scratch_) != 0 || spill_failed_) rs_.undo.mark_failed();
    }
    rs_.undo.write(text_);
    text_.clear();
    discard();
  }

private:
  static constexpr std::size_t memory_limit = 1024 * 1024;

  void spill() {
    if (scratch_ == nullptr && !spill_failed_) {
      scratch_ = rs_.sys->open_file(rs_.undo_scratch.c_str(), "w+b");
      if (scratch_ == nullptr) spill_failed_ = true;  // kept in memory instead
    }
    if (scratch_ == nullptr) return;
    if (std::fwrite(text_.data(), 1, text_.size(), scratch_) != text_.size()) spill_failed_ = true;
    text_.clear();
  }

  void discard() {
    if (scratch_ != nullptr) {
      std::fclose(scratch_);
      scratch_ = nullptr;
      rs_.sys->remove_file(rs_.undo_scratch.c_str());
    }
  }

  run_state& rs_;
  std::string text_;
  std::FILE* scratch_ = nullptr;
  bool spill_failed_ = false;
};

std::string reason_of(run_state& rs, long code) {
  std::string text = rs.sys->error_text(code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text.empty() ? "system error " + std::to_string(code) : text;
}

// Writes the key's line and its values into the section; false with why when a value cannot be read or written.
bool export_values(run_state& rs, win::reg_key key, const std::string& name, undo_section& section,
                   std::vector<unsigned char>& data, std::string& why) {
  section.append("[" + name + "]\n");
  std::string value_name, line, quoted;
  for (std::uint32_t index = 0;; ++index) {
    progress_step(rs);  // a key may hold hundreds of thousands of values
    std::uint32_t type = 0;
    std::uint32_t length = static_cast<std::uint32_t>(data.size());
    long status = rs.sys->reg_enum_value(key, index, value_name, &type, data.empty() ? nullptr : data.data(), &length);
    while (status == win::error_more_data && length > data.size()) {
      data.resize(length);
      status = rs.sys->reg_enum_value(key, index, value_name, &type, data.data(), &length);
    }
    if (status == win::error_no_more_items) {
      section.append("\n");
      return true;
    }
    if (status == win::error_no_unicode_translation) {
      why = "a value of " + name + " has a name a .reg file cannot hold";
      return false;
    }
    if (status != 0) {
      why = "a value of " + name + " cannot be read: " + reason_of(rs, status);
      return false;
    }
    if (!quoted_value_name(value_name, value_name.empty(), quoted)) {
      why = "a value of " + name + " has a name a .reg file cannot hold";
      return false;
    }
    line.clear();
    append_exact_value(line, quoted, type, std::string_view(reinterpret_cast<const char*>(data.data()), length));
    section.append(line + "\n");
  }
}

void write_lines(run_state& rs, std::string_view text, bool commented) {
  for (;;) {
    const std::size_t nl = text.find('\n');
    if (commented) rs.undo.write(";");
    rs.undo.write(text.substr(0, nl));
    rs.undo.write("\n");
    if (nl == std::string_view::npos) return;
    text.remove_prefix(nl + 1);
  }
}

}  // namespace

void open_undo_script(run_state& rs) {
  if (rs.undo_open) return;
  rs.undo_open = true;
  if (!rs.undo.create(*rs.sys, rs.undo_name.c_str(), file_encoding::utf16le_bom)) {
    show_message(rs, msg::output_open_failed, rs.undo_name.c_str());
    end_process(exit_code::open_failed);
  }
  rs.undo.write("Windows Registry Editor Version 5.00\n\n");
  rs.undo.write("; The registry entries that the scripts of this report change, as they are now...\n");
  rs.undo.write("; Import this file after " + rs.Fileoutn2 + ", " + rs.mods_name + " and " + rs.restore_name +
                " to UNDO them: file " + rs.undo_name + " \n");
  rs.undo.write("; " + registry_view_note(rs.view, rs.windows_64bit) + "\n\n");
}

bool undo_key_subtree(run_state& rs, win::reg_key root, std::string_view sub_key, std::string_view name,
                      std::string& why) {
  open_undo_script(rs);
  registry_state& state = registry_of(rs);
  win::reg_key top = 0;
  const long opened = state.keys.open(*rs.sys, root, sub_key, rs.access_mask, &top);
  if (opened != 0) {
    why = "it cannot be opened again to read it whole: " + reason_of(rs, opened);
    return false;
  }
  // Depth first, a key at a time: its line and values, then its sub-keys. A key whose counts or last-write time
  // differ after it was read was written to meanwhile: what was read is not what is deleted.
  struct frame {
    win::reg_key handle;
    bool own;
    std::string name;
    reg_key_info before;
    std::uint32_t next_sub_key = 0;
  };
  std::vector<frame> stack;
  std::vector<unsigned char> data(256);
  undo_section section(rs);
  const auto close_all = [&] {
    for (const frame& f : stack) {
      if (f.own) rs.sys->reg_close_key(f.handle);
    }
    stack.clear();
  };
  const auto enter = [&](win::reg_key handle, bool own, std::string key_name) {
    stack.push_back(frame{handle, own, std::move(key_name), {}, 0});
    frame& f = stack.back();
    const long info = rs.sys->reg_query_info_key(handle, &f.before);
    if (info != 0) {
      why = f.name + " cannot be read: " + reason_of(rs, info);
      return false;
    }
    return export_values(rs, handle, f.name, section, data, why);
  };
  try {
    bool ok = enter(top, false, std::string(name));
    std::string sub_name;
    while (ok && !stack.empty()) {
      progress_step(rs);
      frame& f = stack.back();
      const long status = rs.sys->reg_enum_key(f.handle, f.next_sub_key++, sub_name);
      if (status == win::error_no_more_items) {
        reg_key_info after;
        if (rs.sys->reg_query_info_key(f.handle, &after) != 0 || !(after == f.before)) {
          why = f.name + " was written to while it was read";
          ok = false;
          break;
        }
        if (f.own) rs.sys->reg_close_key(f.handle);
        stack.pop_back();
        continue;
      }
      if (status != 0 && status != win::error_no_unicode_translation) {
        why = "the sub-keys of " + f.name + " cannot be read: " + reason_of(rs, status);
        ok = false;
        break;
      }
      if (status != 0 || find_first_char(sub_name, "\r\n") != std::string::npos) {
        why = "a sub-key of " + f.name + " has a name a .reg file cannot hold";
        ok = false;
        break;
      }
      win::reg_key child = 0;
      const long child_status = rs.sys->reg_open_key(f.handle, sub_name.c_str(), rs.access_mask, &child);
      const std::string child_name = f.name + "\\" + sub_name;
      if (child_status != 0) {
        why = "its sub-key " + child_name + " cannot be read: " + reason_of(rs, child_status);
        ok = false;
        break;
      }
      ok = enter(child, true, child_name);
    }
    close_all();
    if (!ok) return false;
    section.commit();
  } catch (const std::bad_alloc&) {
    close_all();
    why = "it is too large to be read whole";
    return false;
  } catch (...) {
    close_all();  // a cancelled run leaves no key open
    throw;
  }
  ++rs.undo_entries;
  return true;
}

void undo_value(run_state& rs, std::string_view key_name, std::string_view name_part, std::uint32_t type,
                std::string_view bytes, bool commented) {
  open_undo_script(rs);
  std::string text = "[" + std::string(key_name) + "]\n";
  append_exact_value(text, name_part, type, bytes);
  write_lines(rs, text, commented);
  rs.undo.write("\n");
  ++rs.undo_entries;
}

void undo_created_key(run_state& rs, std::string_view key_name, bool commented) {
  open_undo_script(rs);
  write_lines(rs, "[-" + std::string(key_name) + "]", commented);
  rs.undo.write("\n");
  ++rs.undo_entries;
}

void undo_created_value(run_state& rs, std::string_view key_name, std::string_view name_part, bool commented) {
  open_undo_script(rs);
  write_lines(rs, "[" + std::string(key_name) + "]\n" + std::string(name_part) + "=-", commented);
  rs.undo.write("\n");
  ++rs.undo_entries;
}

}  // namespace resivex
