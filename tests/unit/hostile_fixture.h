// Whole conversions of hostile reports over the fake machine, each checked for what no report may break: the
// report and every file beside it but the four outputs stay as they were, nothing else is opened for writing,
// and a completed run's scripts keep the promises of tests/fuzz/script_checks.h.
#pragma once

#include "tests/fuzz/script_checks.h"
#include "tests/unit/run_fixture.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

namespace resivex::testing {

inline const std::string dashes = "----------------------------------\r\n";

// A section as Regshot writes it: dashes, the title with its count, dashes, the entries, a blank line.
inline std::string section(const std::string& title, const std::string& count, const std::string& entries) {
  return dashes + title + " " + count + "\r\n" + dashes + entries + "\r\n";
}

class hostile_fixture : public run_fixture {
protected:
  void SetUp() override {
    run_fixture::SetUp();
    // A neighbour of the report that no run may touch, and an exclusion list (it is read, never written).
    write_file("neighbour.txt", "not an output\r\n");
    write_file("do_not_modify_list.TXT", "; nothing excluded\r\n");
  }

  // Every file of the scratch folder (recursively) with its bytes; a folder maps to "<folder>".
  std::map<std::string, std::string> snapshot() const {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir_)) {
      files[e.path().string()] = e.is_directory() ? "<folder>" : read_file(e.path().string());
    }
    return files;
  }

  std::set<std::string> outputs(const std::string& report) const {
    std::string stem = report;
    const std::size_t slash = stem.rfind('/');
    const std::size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > slash + 1) stem.resize(dot);
    return {stem + ".bat", stem + ".reg", stem + "_mods.reg", stem + "_errors.txt"};
  }

  // Converts the report at report_path (already written); asserts that nothing but its outputs changed.
  // check_scripts: also hold the outputs of a completed run to the script promises (reads the whole report).
  run_result convert_guarded(const std::string& report_path, bool check_scripts = true) {
    const std::map<std::string, std::string> before = snapshot();
    const std::string mode = rs_->mode_word;
    machine_.opened_for_writing.clear();
    const run_result r = convert(report_path);
    const std::set<std::string> outs = outputs(report_path);
    for (const std::string& written : machine_.opened_for_writing) {
      EXPECT_EQ(outs.count(written), 1u) << "opened for writing: " << written;
    }
    const std::map<std::string, std::string> after = snapshot();
    for (const auto& [name, bytes] : before) {
      if (outs.count(name) != 0) continue;
      const auto now = after.find(name);
      EXPECT_TRUE(now != after.end() && now->second == bytes) << "changed or removed: " << name;
    }
    for (const auto& [name, bytes] : after) {
      EXPECT_TRUE(before.count(name) != 0 || outs.count(name) != 0) << "appeared: " << name;
    }
    EXPECT_EQ(machine_.open_key_count(), 0u) << "every key opened by the run is closed";
    EXPECT_STREQ(rs_->mode_word, mode.c_str()) << "the listing word is the same after the run";
    if (check_scripts && r.how == run_result::outcome::completed) {
      const checks::report_text text(read_file(report_path));
      const std::string stem = *outs.begin();  // ".bat" sorts first
      const std::string base = stem.substr(0, stem.size() - 4);
      EXPECT_EQ(checks::check_batch(read_file(base + ".bat"), base + ".bat", mode, text, oracle()), "");
      EXPECT_EQ(checks::check_reg_script(read_file(base + ".reg"), true, text, oracle()), "");
      EXPECT_EQ(checks::check_reg_script(read_file(base + "_mods.reg"), false, text, oracle()), "");
    }
    return r;
  }

  // Writes the report (Regshot's heading lines in front of body) as report.txt and converts it guarded.
  run_result convert_body(const std::string& body, bool check_scripts = true) {
    return convert_guarded(write_file("report.txt", report_heading + body), check_scripts);
  }

  std::string removal() const { return read_script(path("report.reg")); }
  std::string reset() const { return read_script(path("report_mods.reg")); }

  // The fake machine's answers, for the script checks.
  checks::machine_oracle oracle() {
    return checks::machine_oracle{
        [this](const std::string& p) {
          return machine_.existing_files.count(p) != 0 || machine_.existing_folders.count(p) != 0;
        },
        [this](win::reg_key root, std::string_view sub_key) { return find_key(root, sub_key) != nullptr; },
        [this](win::reg_key root, std::string_view sub_key, std::string_view name) {
          const auto* values = find_key(root, sub_key);
          if (values == nullptr) return false;
          for (const auto& [n, v] : *values) {
            if (upper(n) == upper(name)) return true;
          }
          return false;
        }};
  }

private:
  static std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return out;
  }

  // The values of an existing key (an empty map for a key that only holds sub-keys), or null.
  const std::map<std::string, fake_value>* find_key(win::reg_key root, std::string_view sub_key) {
    static const std::map<std::string, fake_value> none;
    const char* hive = root == win::hkey_local_machine  ? "HKLM"
                       : root == win::hkey_current_user ? "HKCU"
                       : root == win::hkey_users        ? "HKU"
                       : root == win::hkey_classes_root ? "HKCR"
                                                        : "HKCC";
    const std::string wanted = upper(std::string(hive) + (sub_key.empty() ? "" : "\\") + std::string(sub_key));
    for (const auto& [k, values] : machine_.keys) {
      if (upper(k) == wanted) return &values;
    }
    for (const auto& [k, values] : machine_.keys) {
      if (upper(k).rfind(wanted + "\\", 0) == 0) return &none;
    }
    return nullptr;
  }
};

// Writes `size` bytes of a pseudo-random but fixed sequence (the same on every run).
inline std::string garbage(std::size_t size, std::uint32_t seed) {
  std::string out(size, '\0');
  for (char& c : out) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return out;
}

}  // namespace resivex::testing
