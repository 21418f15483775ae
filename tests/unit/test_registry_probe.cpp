// The live registry probe over the fake registry: hive names, status codes, error list entries, the growth of
// value_data, the enumeration fallback, one registry view for keys and values, and what it costs in calls.
#include "conversion/registry/probe.h"

#include "conversion/registry/entry_line.h"
#include "conversion/registry/value_entry.h"
#include "tests/unit/run_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace resivex::testing {
namespace {

class probe_test : public run_fixture {
protected:
  void SetUp() override {
    run_fixture::SetUp();
    rs_->value_data = allocate_memory2(*rs_, work_buffer_size);
    rs_->value_data_size = static_cast<int>(work_buffer_size);
    rs_->errors_name = path("report_errors.txt");
    rs_->Fileoutn2 = path("report.reg");
    state_ = &begin_registry_section(*rs_);
    ASSERT_TRUE(rs_->reg_open) << "a run's first registry section opens the removal script";
    machine_.set_value("HKLM\\Software\\Example", "Setting", win::reg_dword, std::string("\x01\0\0\0", 4));
    machine_.set_value("HKLM\\Software\\Example", "Name:colon", win::reg_sz, std::string("x\0", 2));
    machine_.set_value("HKLM\\Software\\Empty\\Sub", "v", win::reg_sz, std::string("y\0", 2));
    machine_.keys["HKLM\\Software\\Empty"];
  }
  void TearDown() override {
    end_registry_section(*rs_);
    EXPECT_EQ(machine_.open_key_count(), 0u) << "every key the probes opened is closed";
    rs_->errors.close();
    rs_->removal.close();
    run_fixture::TearDown();
  }

  void set_line(const std::string& line) {
    copy_text(rs_->line_buf, line);
    rs_->line_len = static_cast<int>(line.size());
    state_->key_start = key_start_of(line);
  }
  int key(const std::string& line) {
    set_line(line);
    return probe_regkey(*rs_);
  }
  // Probes the first reading of a value entry.
  int value(const std::string& line) {
    set_line(line);
    split_list splits;
    candidate_splits(line, state_->key_start, splits);
    if (splits.count == 0) return -1;
    state_->split = splits.items[0];
    const value_split& s = state_->split;
    copy_text(state_->value_name,
              s.is_default ? std::string() : line.substr(s.name_start, s.name_end - s.name_start));
    return probe_regvalue(*rs_);
  }
  std::string errors() {
    rs_->errors.close();
    rs_->errors_open = false;
    return read_error_list(path("report_errors.txt"));
  }

  static std::string sz() { return std::string("x\0", 2); }

  registry_state* state_ = nullptr;
};

TEST_F(probe_test, keys_answer_with_the_systems_codes) {
  machine_.key_open_errors["HKLM\\Software\\Locked"] = win::error_access_denied;
  machine_.key_open_errors["HKLM\\Software\\Busy"] = win::error_no_system_resources;
  machine_.key_open_errors["HKLM\\Software\\Odd"] = 1;
  machine_.keys["HKLM\\Software\\Tab\tKey"];
  const struct {
    const char* line;
    int status;
  } cases[] = {
      {"HKLM\\Software\\Example\n", 0},
      {"HKEY_LOCAL_MACHINE\\Software\\Example\n", 0},
      {"  \tHKLM\\Software\\Example\n", 0},
      // Regshot escapes nothing: a TAB is part of the key's name, which ended there would be another key.
      {"HKLM\\Software\\Example\tfollowed by a TAB\n", win::error_file_not_found},
      {"HKLM\\Software\\Tab\tKey\n", 0},
      {"HKLM\\SOFTWARE\\EXAMPLE\n", 0},
      {"HKLM\n", 0},
      {"HKLM\\Software\\Missing\n", win::error_file_not_found},
      {"HKLM\\Software\\Odd\n", 1},
      {"HKLM\\Software\\Locked\n", win::error_access_denied},
      {"HKLM\\Software\\Busy\n", win::error_file_not_found},
      {"hklm\\Software\\Example\n", win::error_invalid_handle},
      {"HKEY_PERFORMANCE_DATA\\X\n", win::error_invalid_handle},
  };
  for (const auto& c : cases) EXPECT_EQ(key(c.line), c.status) << c.line;
  EXPECT_EQ(errors(),
            "HKLM\\Software\\Locked\nAccess is denied.\n"
            "HKLM\\Software\\Busy\nSystem error 1450.\n"
            "hklm\\Software\\Example\nThe handle is invalid.\n"
            "HKEY_PERFORMANCE_DATA\\X\nThe handle is invalid.\n");
  EXPECT_EQ(rs_->error_entries, 4);
  ASSERT_EQ(machine_.boxes.size(), 1u) << "the Info box comes with the first entry only";
  EXPECT_EQ(machine_.boxes[0].caption, "Info");
  EXPECT_EQ(machine_.boxes[0].text, path("report_errors.txt"));
}

TEST_F(probe_test, every_hive_has_its_long_and_short_name) {
  for (const hive_name& h : hive_names) {
    EXPECT_EQ(find_hive(h.long_name), &h);
    EXPECT_EQ(find_hive(h.short_name), &h);
  }
  EXPECT_EQ(find_hive("HKLM")->root, win::hkey_local_machine);
  EXPECT_EQ(find_hive("HKU")->root, win::hkey_users);
  EXPECT_EQ(find_hive("HKCR")->root, win::hkey_classes_root);
  EXPECT_EQ(find_hive("HKCU")->root, win::hkey_current_user);
  EXPECT_EQ(find_hive("HKCC")->root, win::hkey_current_config);
  EXPECT_EQ(find_hive("Hklm"), nullptr);
  EXPECT_EQ(find_hive("HKEY_DYN_DATA"), nullptr);
}

TEST_F(probe_test, an_error_entry_keeps_512_characters_of_a_long_line) {
  std::string long_key = "HKLM\\Software";
  for (int i = 0; i < 6; ++i) long_key += "\\" + std::string(100, 'k');
  machine_.keys[long_key];
  machine_.key_open_errors[long_key] = win::error_access_denied;
  EXPECT_EQ(key(long_key + "\n"), win::error_access_denied);
  EXPECT_EQ(errors(), (long_key + "\n").substr(0, 512) + "Access is denied.\n");
  ASSERT_EQ(machine_.captions(), (std::vector<std::string>{"Line", "Info"}));
  EXPECT_EQ(machine_.boxes[0].text, "2F..Line too long for errmsg..." + long_key + "\n");
}

TEST_F(probe_test, values_answer_with_the_systems_codes) {
  EXPECT_EQ(value("HKLM\\Software\\Example\\Setting: 0x00000002\n"), 0);
  EXPECT_EQ(state_->value_type, win::reg_dword);
  EXPECT_EQ(state_->data_len, 4);
  EXPECT_EQ(value("HKLM\\Software\\Example\\setting: 0x00000002\n"), 0) << "names compare without case";
  EXPECT_FALSE(state_->found_by_enumeration);
  EXPECT_EQ(value("HKLM\\Software\\Example\\: \"x\"\n"), win::error_no_more_items) << "no default value";
  EXPECT_EQ(value("HKLM\\Software\\Missing\\Setting: 1\n"), win::error_file_not_found);
  EXPECT_EQ(value("HKLM\\Software\\Empty\\Setting: 1\n"), 4) << "a key without values";
  EXPECT_EQ(value("HKLM\\Software\\Example\\Other: 1\n"), win::error_no_more_items);
  EXPECT_EQ(value("hklm\\Software\\Example\\Setting: 1\n"), win::error_invalid_handle);
  EXPECT_EQ(errors(), "") << "the value probe writes no error entries";
}

TEST_F(probe_test, value_data_grows_to_the_largest_value_and_stays) {
  machine_.set_value("HKLM\\Software\\Example", "Big", win::reg_binary, std::string(20000, 'b'));
  EXPECT_EQ(value("HKLM\\Software\\Example\\Big: 62\n"), 0);
  EXPECT_EQ(state_->data_len, 20000);
  EXPECT_EQ(rs_->value_data_size, 20000);
  EXPECT_EQ(std::string(rs_->value_data.get(), 20000), std::string(20000, 'b'));
  EXPECT_EQ(value("HKLM\\Software\\Example\\Setting: 1\n"), 0);
  EXPECT_EQ(rs_->value_data_size, 20000) << "never shrinks";
}

TEST_F(probe_test, a_value_the_lookup_cannot_read_is_found_by_the_enumeration_and_gives_its_own_data) {
  machine_.set_value("HKLM\\Software\\Example", "Odd", win::reg_binary, std::string(9000, 'e'));
  machine_.query_errors["HKLM\\Software\\Example\\Odd"] = 1;
  // Left in value_data by an earlier lookup: must not be what the entry is encoded from.
  EXPECT_EQ(value("HKLM\\Software\\Example\\Setting: 1\n"), 0);
  EXPECT_EQ(value("HKLM\\Software\\Example\\Odd: 65\n"), 0);
  EXPECT_TRUE(state_->found_by_enumeration);
  EXPECT_EQ(state_->value_type, win::reg_binary);
  EXPECT_EQ(std::string(rs_->value_data.get(), static_cast<std::size_t>(state_->data_len)), std::string(9000, 'e'))
      << "value_data grows to the enumerated data";
  EXPECT_EQ(value("HKLM\\Software\\Example\\odd: 65\n"), win::error_no_more_items)
      << "the enumeration compares with case";
  // A name cut at its colon would find "Name" for "Name:gone": another value, never taken for it.
  machine_.set_value("HKLM\\Software\\Example", "Name", win::reg_binary, "other");
  EXPECT_EQ(value("HKLM\\Software\\Example\\Name:gone: 1\n"), win::error_no_more_items);
  EXPECT_FALSE(state_->found_by_enumeration);
}

TEST_F(probe_test, the_enumeration_passes_over_a_name_with_no_utf8_form) {
  // "\xED\xA0\x80": a name that the system holds with half a UTF-16 pair, which the enumeration does not give.
  machine_.set_value("HKLM\\Software\\Example", "A lone \xED\xA0\x80 unit", win::reg_binary, "a");
  machine_.set_value("HKLM\\Software\\Example", "Odd", win::reg_binary, "e");
  machine_.query_errors["HKLM\\Software\\Example\\Odd"] = 1;
  EXPECT_EQ(value("HKLM\\Software\\Example\\Odd: 65\n"), 0);
  EXPECT_TRUE(state_->found_by_enumeration);
  EXPECT_EQ(std::string(rs_->value_data.get(), static_cast<std::size_t>(state_->data_len)), "e");
}

TEST_F(probe_test, the_enumeration_runs_only_where_it_can_change_the_answer) {
  for (int i = 0; i < 10; ++i) {
    std::string name = "v";
    name += std::to_string(i);
    machine_.set_value("HKLM\\Software\\Ten", name, win::reg_sz, std::string("x\0", 2));
  }
  machine_.query_errors["HKLM\\Software\\Ten\\v9"] = win::error_access_denied;
  machine_.reg_enums = 0;
  machine_.reg_infos = 0;
  EXPECT_EQ(value("HKLM\\Software\\Ten\\Gone: \"x\"\n"), win::error_no_more_items);
  EXPECT_EQ(value("HKLM\\Software\\Ten\\Gone:x: \"x\"\n"), win::error_no_more_items);
  EXPECT_EQ(value("HKLM\\Software\\Ten\\Gone\"x: \"x\"\n"), win::error_no_more_items);
  EXPECT_EQ(machine_.reg_enums, 0) << "the lookup by the whole name has said the value is absent";
  EXPECT_EQ(machine_.reg_infos, 1) << "a key's counts are asked once while it is open";
  EXPECT_EQ(value("HKLM\\Software\\Ten\\v9: \"x\"\n"), 0);
  EXPECT_EQ(machine_.reg_enums, 11) << "names up to v9, then its data";
}

TEST_F(probe_test, a_key_whose_listed_values_are_mostly_gone_answers_from_its_names_once_listed) {
  for (const char* name : {"Alpha", "beta", "Gamma"}) machine_.set_value("HKLM\\Software\\Few", name, win::reg_sz, sz());
  machine_.reg_queries = 0;
  machine_.reg_enums = 0;
  for (int i = 1; i <= 8; ++i) {
    EXPECT_EQ(value("HKLM\\Software\\Few\\gone " + std::to_string(i) + ": \"x\"\n"), win::error_no_more_items) << i;
  }
  // Two lookups found nothing: the list of four calls (three names and the end) costs no more than twice that.
  EXPECT_EQ(machine_.reg_queries, 2);
  EXPECT_EQ(machine_.reg_enums, 4);
  // A name of the list, in any case of its letters, is looked up for its data.
  EXPECT_EQ(value("HKLM\\Software\\Few\\ALPHA: \"x\"\n"), 0);
  EXPECT_EQ(state_->value_type, static_cast<std::uint32_t>(win::reg_sz));
  EXPECT_EQ(value("HKLM\\Software\\Few\\Beta: \"x\"\n"), 0);
  EXPECT_EQ(machine_.reg_queries, 4);
  EXPECT_EQ(machine_.reg_enums, 4) << "listed once";
  // A key without values answers as the lookup does.
  machine_.keys["HKLM\\Software\\None"];
  for (int i = 0; i < 4; ++i) EXPECT_EQ(value("HKLM\\Software\\None\\v" + std::to_string(i) + ": 1\n"), 4);

  // Names the system may compare by rules of its own (not ASCII) are always asked.
  machine_.set_value("HKLM\\Software\\Mixed", "a", win::reg_sz, sz());
  machine_.set_value("HKLM\\Software\\Mixed", "\xC4\xB1", win::reg_sz, sz());  // a dotless i
  machine_.reg_queries = 0;
  for (int i = 0; i < 6; ++i) value("HKLM\\Software\\Mixed\\I" + std::to_string(i) + ": 1\n");
  EXPECT_EQ(machine_.reg_queries, 6) << "a key with a name outside ASCII is not judged by its list";
  machine_.reg_queries = 0;
  for (int i = 0; i < 6; ++i) value("HKLM\\Software\\Few\\\xC3\xA9" + std::to_string(i) + ": 1\n");
  EXPECT_EQ(machine_.reg_queries, 6) << "nor a name outside ASCII";
}

TEST_F(probe_test, values_under_one_key_cost_one_open_and_absent_keys_are_remembered) {
  machine_.reg_opens = 0;
  for (const char* name : {"Setting", "Other", "Third", "Setting"}) {
    value(std::string("HKLM\\Software\\Example\\") + name + ": 1\n");
  }
  EXPECT_EQ(machine_.reg_opens, 1);
  machine_.reg_opens = 0;
  EXPECT_EQ(key("HKLM\\Software\\Gone\n"), win::error_file_not_found);
  EXPECT_EQ(key("HKLM\\Software\\Gone\\Sub\n"), win::error_file_not_found);
  EXPECT_EQ(value("HKLM\\Software\\GONE\\Sub\\v: 1\n"), win::error_file_not_found);
  EXPECT_EQ(machine_.reg_opens, 1) << "a key under an absent key is absent";
}

TEST_F(probe_test, keys_found_absent_last_answer_only_for_themselves_and_what_lies_under_them) {
  machine_.keys["HKLM\\Software\\Gone2"];
  machine_.keys["HKLM\\Hardware\\Gone"];  // the same length and the same last characters as Software\Gone
  machine_.keys["HKCU\\Software\\Gone"];
  machine_.reg_opens = 0;
  EXPECT_EQ(key("HKLM\\Software\\Gone\n"), win::error_file_not_found);
  EXPECT_EQ(machine_.reg_opens, 1);
  EXPECT_EQ(key("HKLM\\Software\\gone\n"), win::error_file_not_found);
  EXPECT_EQ(key("HKLM\\SOFTWARE\\GONE\\Deeper\\Still\n"), win::error_file_not_found);
  EXPECT_EQ(value("HKLM\\Software\\Gone\\v: 1\n"), win::error_file_not_found);
  EXPECT_EQ(machine_.reg_opens, 1) << "the key itself and keys under it, whatever their case";
  EXPECT_EQ(key("HKLM\\Software\\Gone2\n"), 0) << "a longer name is no key under it";
  EXPECT_EQ(key("HKLM\\Hardware\\Gone\n"), 0);
  EXPECT_EQ(key("HKCU\\Software\\Gone\n"), 0) << "another hive";
  EXPECT_EQ(key("HKLM\\Software\\Gon\n"), win::error_file_not_found);
  EXPECT_EQ(machine_.reg_opens, 5);
}

TEST_F(probe_test, keys_found_absent_are_asked_again_once_forgotten) {
  // A new run forgets what the last found absent; a key made since then is found.
  EXPECT_EQ(key("HKLM\\Software\\Later\n"), win::error_file_not_found);
  machine_.keys["HKLM\\Software\\Later"];
  EXPECT_EQ(key("HKLM\\Software\\Later\n"), win::error_file_not_found) << "remembered within the run";
  state_->keys.forget_absent();
  EXPECT_EQ(key("HKLM\\Software\\Later\n"), 0);
  // The table of absent keys is emptied when it is full: the keys found absent just before are asked anew too.
  end_registry_section(*rs_);
  state_->keys.forget_absent();
  int made = 0;
  std::string last;
  for (;; ++made) {
    last = "HKLM\\Software\\Many\\K" + std::to_string(made);
    machine_.reg_opens = 0;
    ASSERT_EQ(key(last + "\n"), win::error_file_not_found);
    if (made >= 65536) break;
  }
  const std::string before_last = "HKLM\\Software\\Many\\K" + std::to_string(made - 1);
  machine_.keys[before_last];
  machine_.reg_opens = 0;
  EXPECT_EQ(key(before_last + "\n"), 0) << "forgotten with the full table";
  EXPECT_EQ(key(last + "\n"), win::error_file_not_found);
  EXPECT_EQ(machine_.reg_opens, 1) << "the key found absent after the table was emptied is remembered";
}

TEST_F(probe_test, the_readings_of_an_entry_are_tried_only_where_a_value_can_be) {
  // Under a deep key that exists, a value that is gone: the keys nearer the hive hold no values (or only
  // short names), so the further readings ("D\\Gone" under C, ...) cost no lookup.
  machine_.set_value("HKLM\\Software\\A\\B\\C\\D", "Here", win::reg_sz, sz());
  machine_.set_value("HKLM\\Software\\A", "x", win::reg_sz, sz());
  set_line("HKLM\\Software\\A\\B\\C\\D\\Gone: \"x\"\n");
  machine_.reg_queries = 0;
  EXPECT_EQ(resolve_value_entry(*rs_), win::error_no_more_items);
  EXPECT_EQ(machine_.reg_queries, 1);
  // A value named by a path is found under the key where the path begins.
  machine_.set_value("HKLM\\Software\\P\\Q\\R", "Here", win::reg_sz, sz());
  machine_.set_value("HKLM\\Software\\P", "Q\\R\\Named", win::reg_sz, sz());
  set_line("HKLM\\Software\\P\\Q\\R\\Named: \"x\"\n");
  EXPECT_EQ(resolve_value_entry(*rs_), 0);
  EXPECT_EQ(std::string(state_->value_name), "Q\\R\\Named");
  EXPECT_EQ(state_->split.key_end, static_cast<int>(std::string("HKLM\\Software\\P").size()));
}

TEST_F(probe_test, no_reading_takes_a_key_whose_last_name_is_empty) {
  const struct {
    const char* line;
    const char* first_key;  // of the documented reading
    const char* first_name;
  } cases[] = {
      {"HKLM\\Software\\K\\\\Name: 1\n", "HKLM\\Software\\K", "\\Name"},
      {"HKLM\\s\\\\:\n", "HKLM\\s", "\\"},
      {"HKLM\\A\\\\\\B: 1\n", "HKLM\\A", "\\\\B"},
      {"HKLM\\A\\B\\\\: 1\n", "HKLM\\A\\B", "\\"},
  };
  for (const auto& c : cases) {
    const std::string line = c.line;
    split_list splits;
    candidate_splits(line, 0, splits);
    ASSERT_GT(splits.count, 0) << line;
    EXPECT_EQ(line.substr(0, static_cast<std::size_t>(splits.items[0].key_end)), c.first_key) << line;
    EXPECT_EQ(line.substr(static_cast<std::size_t>(splits.items[0].name_start),
                          static_cast<std::size_t>(splits.items[0].name_end - splits.items[0].name_start)),
              c.first_name)
        << line;
    for (int i = 0; i < splits.count; ++i) {
      EXPECT_NE(line[static_cast<std::size_t>(splits.items[i].key_end) - 1], '\\') << line << " reading " << i;
    }
  }
  split_list splits;
  candidate_splits("HKLM\\\\v: 1\n", 0, splits);
  EXPECT_EQ(splits.count, 0) << "the hive with an empty key name is no key";
}

// The readings in their documented order, character by character: the last separator first, its default
// reading, then each backslash from the name towards the hive; then the earlier separators.
std::vector<std::pair<int, int>> readings_by_hand(const std::string& line,
                                                  std::size_t start = 0) {  // (key_end, name_start)
  std::string body = line;
  if (!body.empty() && body.back() == '\n') body.pop_back();
  std::vector<std::pair<int, int>> out;
  const std::size_t hive_end = body.find('\\', start);
  if (hive_end == std::string::npos) return out;
  const std::size_t first_break = body.find_first_of("\r\n", start);
  auto add = [&](std::size_t key_end, std::size_t name_start) {
    if (out.size() >= static_cast<std::size_t>(max_candidate_splits) || key_end <= hive_end) return;
    if (first_break != std::string::npos && first_break < key_end) return;
    if (body[key_end - 1] == '\\') return;
    out.emplace_back(static_cast<int>(key_end), static_cast<int>(name_start));
  };
  for (std::size_t sep = body.size(); sep-- > hive_end + 1;) {
    if (body[sep] != ':' || !(sep + 1 == body.size() || body[sep + 1] == ' ')) continue;
    std::size_t b = sep;
    if (body[sep - 1] == '\\') {
      add(sep - 1, sep);
      b = sep - 1;
    }
    while (b-- > hive_end) {
      if (body[b] == '\\') add(b, b + 1);
    }
  }
  return out;
}

TEST_F(probe_test, readings_are_the_same_for_few_and_for_many_backslashes_and_separators) {
  // Up to 128 backslashes and separators are gathered first; more send the entry the slow way. Both must give
  // the readings in the same order, whatever the data after the separators holds.
  const std::string lines[] = {
      "HKLM\\Software\\K\\Name: C:\\Windows\\x.dll\n",
      "HKLM\\Software\\K\\a: b\\c: d:e\\: f\n",
      "HKLM\\S\\K\\: 1\n",
      "HKLM\\S\\K\\v:\n",
      "HKLM\\S\\K\\v: line\rbreak\\x: 2\n",
      "HKLM\\S\\K\\v::: :\\\\: \n",
      "HKLM\\S\\K\\v: " + std::string(300, '\\') + "\n",
      "HKLM\\S" + [] {
        std::string t;
        for (int i = 0; i < 140; ++i) t += "\\k" + std::to_string(i);
        return t;
      }() + "\\v: 1\n",
      "HKLM\\S\\K\\v: " + [] {
        std::string t;
        for (int i = 0; i < 140; ++i) t += "\\n" + std::to_string(i) + ": ";
        return t;
      }() + "\n",
  };
  for (const std::string& line : lines) {
    split_list splits;
    candidate_splits(line, 0, splits);
    const std::vector<std::pair<int, int>> expected = readings_by_hand(line);
    ASSERT_EQ(static_cast<std::size_t>(splits.count), expected.size()) << line;
    for (int i = 0; i < splits.count; ++i) {
      EXPECT_EQ(splits.items[i].key_end, expected[static_cast<std::size_t>(i)].first) << line << " reading " << i;
      EXPECT_EQ(splits.items[i].name_start, expected[static_cast<std::size_t>(i)].second) << line << " reading " << i;
    }
  }
}

TEST_F(probe_test, readings_are_the_same_wherever_the_characters_fall_in_the_line) {
  // The line is looked at sixteen characters at a time from its key start: backslashes, separators and line
  // breaks at every place in and across those pieces, before and after the hive's end, give the readings
  // that the character-by-character way gives.
  std::vector<std::string> lines;
  for (std::size_t n = 0; n <= 40; ++n) {
    const std::string pad(n, 'a');
    lines.push_back("HKLM\\" + pad + "\\v: 1\n");
    lines.push_back("HKLM\\S\\" + pad + ":\n");
    lines.push_back("HKLM\\S\\" + pad + "\\: x\\y: 2");
    lines.push_back("  \tHKLM\\S" + pad + "\\K\\v: 1\n");
    lines.push_back("HK" + pad + ":\\S\\K\\v: 1\n");  // a separator before the hive's end ends no name
    lines.push_back("HK\r" + pad + "\\S\\K\\v: 1\n");  // a line break before the hive's end
    lines.push_back("HKLM\\S\\K" + pad + "\\v: 1\r\\w: 2\n");
    lines.push_back("HKLM\\S\\K\\v" + pad + "\nx\\w: 2\n");
    lines.push_back(pad + "\\");
  }
  for (const std::string& line : lines) {
    const int start = key_start_of(line);
    split_list splits;
    candidate_splits(line, start, splits);
    const std::vector<std::pair<int, int>> expected = readings_by_hand(line, static_cast<std::size_t>(start));
    ASSERT_EQ(static_cast<std::size_t>(splits.count), expected.size()) << line;
    for (int i = 0; i < splits.count; ++i) {
      EXPECT_EQ(splits.items[i].key_start, start) << line;
      EXPECT_EQ(splits.items[i].key_end, expected[static_cast<std::size_t>(i)].first) << line << " reading " << i;
      EXPECT_EQ(splits.items[i].name_start, expected[static_cast<std::size_t>(i)].second) << line << " reading " << i;
    }
  }
  split_list splits;
  candidate_splits("  \t", 3, splits);
  EXPECT_EQ(splits.count, 0) << "nothing after the key start";
}

TEST(skip_words, are_found_wherever_they_fall_in_the_line) {
  // Sixteen characters at a time: a word at every place in and across those pieces, and cut by the end.
  const std::initializer_list<std::string_view> words = {"\\RunOnce", "\\BitBucket\\", "\\MountPoints\\"};
  for (std::size_t n = 0; n <= 40; ++n) {
    const std::string line = "HKCU" + std::string(n, 'x') + "\\BitBucket\\";
    EXPECT_TRUE(holds_any(line, words)) << line;
    EXPECT_FALSE(holds_any(std::string_view(line).substr(0, line.size() - 1), words)) << line;
    EXPECT_FALSE(holds_any(std::string(n, '\\') + "BitBucket", words)) << n;
  }
}

TEST(skip_words, are_found_at_any_backslash_of_the_line_and_only_whole) {
  const std::initializer_list<std::string_view> words = {"\\RunOnce", "\\BitBucket\\", "\\MountPoints\\"};
  EXPECT_TRUE(holds_any("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce\n", words));
  EXPECT_TRUE(holds_any("HKCU\\X\\BitBucket\\Volume\\v: 1\n", words));
  EXPECT_TRUE(holds_any("HKCU\\X\\v: data\\MountPoints\\", words)) << "the last characters of the line";
  EXPECT_TRUE(holds_any("\\RunOnce", words)) << "the first characters of the line";
  EXPECT_FALSE(holds_any("HKCU\\X\\BitBucket\n", words)) << "the word needs its closing backslash";
  EXPECT_FALSE(holds_any("HKCU\\X\\v: \\MountPoints", words)) << "cut by the line's end";
  EXPECT_FALSE(holds_any("HKCU\\X\\RUNONCE\n", words)) << "the words compare with their case";
  EXPECT_FALSE(holds_any("HKCU\\X\\", words));
  EXPECT_FALSE(holds_any("", words));
  EXPECT_FALSE(holds_any(std::string_view("HKCU\\X\\RunOnce", 13), words)) << "only the given length";
  EXPECT_TRUE(holds_any(std::string_view("HKCU\\X\0\\RunOnce", 15), words)) << "a NUL ends nothing";
}

TEST_F(probe_test, keys_and_values_are_looked_up_in_one_registry_view) {
  // Namesakes in the two views of 64-bit Windows: the 32-bit key holds v, the 64-bit one w.
  machine_.set_value("HKLM\\Software\\Wow6432Node\\Vendor", "v", win::reg_sz, std::string("x\0", 2));
  machine_.set_value("HKLM\\Software\\Vendor", "w", win::reg_sz, std::string("x\0", 2));
  rs_->access_mask = win::key_read | win::key_wow64_32key;
  EXPECT_EQ(key("HKLM\\Software\\Vendor\n"), 0);
  EXPECT_EQ(value("HKLM\\Software\\Vendor\\v: \"x\"\n"), 0);
  EXPECT_NE(value("HKLM\\Software\\Vendor\\w: \"x\"\n"), 0) << "the 64-bit key's value is not the report's";
  for (std::uint32_t access : machine_.open_accesses) EXPECT_EQ(access, 0x20219u);

  end_registry_section(*rs_);
  machine_.open_accesses.clear();
  rs_->access_mask = win::key_read | win::key_wow64_64key;
  EXPECT_EQ(value("HKLM\\Software\\Vendor\\w: \"x\"\n"), 0);
  EXPECT_NE(value("HKLM\\Software\\Vendor\\v: \"x\"\n"), 0);
  for (std::uint32_t access : machine_.open_accesses) EXPECT_EQ(access, 0x20119u);
}

TEST_F(probe_test, paths_longer_than_an_open_takes_are_opened_a_part_at_a_time) {
  std::string deep = "HKLM\\Software\\Deep";
  for (int i = 0; i < 12; ++i) deep += "\\Level" + std::to_string(i) + "_abcdefghijklmnopqrstuvwxyz";
  ASSERT_GT(deep.size(), 300u);
  machine_.set_value(deep, "v", win::reg_dword, std::string(4, '\0'));
  EXPECT_EQ(key(deep + "\n"), 0);
  EXPECT_EQ(value(deep + "\\v: 0x00000000\n"), 0);
  EXPECT_EQ(key(deep + "x\n"), win::error_file_not_found);
  EXPECT_EQ(errors(), "");
}

}  // namespace
}  // namespace resivex::testing
