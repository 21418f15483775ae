// See report_generator.h.
#include "bench/report_generator.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace resivex::bench {

namespace {

constexpr std::size_t wrap_length = 1000;  // Regshot 1.9.x breaks an entry after every 1000 characters
constexpr std::string_view dashes = "----------------------------------";
constexpr std::string_view user_hive = "HKU\\S-1-5-21-0-0-0-1000\\Software\\RSBench";
constexpr std::string_view machine_hive = "HKLM\\SOFTWARE\\RSBench";

// Independent streams of choices, so that changing one share never changes another choice.
enum class stream : std::uint64_t { inside = 1, folder_pick, exists, size, value_long, value_multiline, data, reg_key };

std::uint64_t choice(const report_plan& plan, stream s, std::uint64_t index) {
  std::uint64_t z = plan.seed * 0x9E3779B97F4A7C15ull + (static_cast<std::uint64_t>(s) << 56) + index;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

bool percent_hit(const report_plan& plan, stream s, std::uint64_t index, unsigned percent) {
  return choice(plan, s, index) % 100 < percent;
}

[[gnu::format(printf, 1, 2)]] std::string text(const char* format, ...) {
  char buf[512];
  std::va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return std::string(buf, n < 0 ? 0 : static_cast<std::size_t>(n) < sizeof buf ? n : sizeof buf - 1);
}

// Buffers the report and counts its lines and bytes.
class report_writer {
public:
  explicit report_writer(std::FILE* out) : out_(out) { buf_.reserve(1 << 20); }
  ~report_writer() { flush(); }

  // A line and its CR LF; data with a line break in it counts as the lines it makes.
  void line(std::string_view s) {
    buf_.append(s);
    buf_.append("\r\n");
    for (char c : s) lines_ += c == '\n';
    ++lines_;
    if (buf_.size() >= (1 << 20)) flush();
  }
  // An entry as Regshot 1.9.x writes it: broken after every 1000 characters.
  void entry(std::string_view s) {
    while (s.size() > wrap_length) {
      line(s.substr(0, wrap_length));
      s.remove_prefix(wrap_length);
    }
    line(s);
  }
  bool flush() {
    if (!buf_.empty() && std::fwrite(buf_.data(), 1, buf_.size(), out_) != buf_.size()) failed_ = true;
    bytes_ += buf_.size();
    buf_.clear();
    return !failed_;
  }
  std::uint64_t lines() const { return lines_; }
  std::uint64_t bytes() const { return bytes_ + buf_.size(); }
  bool failed() const { return failed_; }

private:
  std::FILE* out_;
  std::string buf_;
  std::uint64_t lines_ = 0;
  std::uint64_t bytes_ = 0;
  bool failed_ = false;
};

std::string hex_bytes(const report_plan& plan, std::uint64_t index, std::size_t count) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(count * 3);
  std::uint64_t r = 0;
  for (std::size_t k = 0; k < count; ++k) {
    if (k % 8 == 0) r = choice(plan, stream::data, index * 1024 + k);
    const auto b = static_cast<unsigned>(r & 0xFF);
    r >>= 8;
    if (k > 0) out += ' ';
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// The data part of a value line, from the colon on, in Regshot 1.9.1's notation of its type. `variant` tells
// an old value from a new one in a modified pair.
std::string value_data(const report_plan& plan, std::uint64_t index, unsigned type, unsigned variant) {
  const std::uint64_t r = choice(plan, stream::data, index * 2 + variant);
  if (percent_hit(plan, stream::value_long, index, plan.long_value_percent)) {
    // Binary data past the wrap length: 350 to 700 bytes.
    std::string hex = hex_bytes(plan, index * 2 + variant, 350 + r % 351);
    return ": " + hex;
  }
  const bool multiline = percent_hit(plan, stream::value_multiline, index, plan.multiline_percent);
  switch (type) {
    case 0:
    case 8:
      if (multiline) return text(": \"first line %" PRIu64 "\r\nsecond line %u\"", index, variant);
      return text(": \"Text value %" PRIu64 " %s\"", index, variant == 0 ? "old" : "new");
    case 1:
      return text(": \"%%ProgramFiles%%\\Vendor %03u\\bin %u\"", static_cast<unsigned>(r % 1000), variant);
    case 2:
    case 6:
      return text(": 0x%08X", static_cast<unsigned>(r));
    case 3:
      return text(": 0x%016" PRIX64, r);
    case 4:
      return text(": \"first %" PRIu64 "\", \"%s\"", index, variant == 0 ? "second" : "second changed");
    case 5:
      return ": " + hex_bytes(plan, index * 2 + variant, 4 + r % 28);
    case 7:
      return ": (NULL!)";
    default:
      return ": 0x00000001";
  }
}

constexpr std::string_view shared_dlls = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

std::string product_path(std::uint64_t n) {
  const std::string_view hive = n % 3 == 0 ? user_hive : machine_hive;
  return text("%.*s\\Vendor %04" PRIu64 "\\Product %05" PRIu64, static_cast<int>(hive.size()), hive.data(),
              n / 1000, n / 100);
}

std::string key_line(std::uint64_t k) { return product_path(k) + text("\\Settings %07" PRIu64, k); }

// The ten kinds of value, in turn: string, expandable string, DWORD, QWORD, multi-string, binary, big-endian
// DWORD, zero-length, default value, and a value named by a path (as SharedDLLs has them).
enum value_kind : unsigned { k_sz, k_expand, k_dword, k_qword, k_multi, k_binary, k_big_endian, k_empty,
                             k_default, k_path_named };

value_kind kind_of(std::uint64_t v) { return static_cast<value_kind>(v % 10); }

// Value v of "Values added:" (section 0) or "Values modified:" (section 1): its key, name and the index of
// its choices.
struct value_id {
  std::string key;
  std::string name;  // empty for the default value
  std::uint64_t index;
};

value_id value_at(const report_plan& plan, std::uint64_t v, unsigned section) {
  value_id id{{}, {}, v * 2 + section};
  if (kind_of(v) == k_path_named) {
    id.key = std::string(shared_dlls);
    id.name = plan.root + text("\\Vendor %04" PRIu64 "\\common\\%s%07" PRIu64 ".dll", v / 1000,
                               section == 0 ? "lib" : "mod", v);
  } else {
    id.key = product_path(v) + (section == 0 ? "\\Options" : "\\State");
    // A key has one default value: each one gets a key of its own.
    if (kind_of(v) == k_default) id.key += text("\\Item %07" PRIu64, v);
    else id.name = text("Value %07" PRIu64, v);
  }
  return id;
}

// The live type of value v: what its data in the report stands for.
std::uint32_t type_of(const report_plan& plan, std::uint64_t v, std::uint64_t index) {
  if (percent_hit(plan, stream::value_long, index, plan.long_value_percent)) return 3;  // REG_BINARY
  switch (kind_of(v)) {
    case k_sz: case k_default: return 1;           // REG_SZ
    case k_expand: return 2;                        // REG_EXPAND_SZ
    case k_dword: case k_path_named: return 4;      // REG_DWORD
    case k_qword: return 11;                        // REG_QWORD
    case k_multi: return 7;                         // REG_MULTI_SZ
    case k_big_endian: return 5;                    // REG_DWORD_BIG_ENDIAN
    case k_binary: case k_empty: return 3;          // REG_BINARY
  }
  return 4;
}

std::string value_line(const report_plan& plan, std::uint64_t v, unsigned section, unsigned variant) {
  const value_id id = value_at(plan, v, section);
  std::string line = id.key + "\\" + id.name;
  line += value_data(plan, id.index, static_cast<unsigned>(kind_of(v)), variant);
  // A last piece of exactly 1000 characters would make a reader join the next entry to this one; Regshot's
  // own reports have that flaw too, but a benchmark input should be unambiguous.
  if (line.size() >= wrap_length && line.size() % wrap_length == 0) line += " 00";
  return line;
}

bool added_key_left(const report_plan& plan, std::uint64_t k) {
  if (plan.keys_left == 0) return false;
  const std::uint64_t stride = std::max<std::uint64_t>(1, plan.keys_added / plan.keys_left);
  return k % stride == stride / 2 && k / stride < plan.keys_left;
}

bool value_left(const report_plan& plan, const value_id& id, unsigned exist_percent) {
  return percent_hit(plan, stream::exists, id.index, exist_percent);
}

// A key of values that kept none of them may still be there (the uninstaller emptied it).
bool emptied_key_left(const report_plan& plan, std::uint64_t v, unsigned section) {
  return percent_hit(plan, stream::reg_key, ((v / 100) * 2 + (v % 3 == 0)) * 2 + section, 30);
}

std::string file_attribute_line(const report_plan& plan, std::uint64_t j) {
  return text("2026-12-07 05:39:25, 0x00000020, %" PRIu64, choice(plan, stream::size, j) % 100000);
}

struct section {
  const char* title;
  std::uint64_t count;
  std::function<void(report_writer&, std::uint64_t)> entry;
};

void write_section(report_writer& w, const section& s) {
  if (s.count == 0) return;
  w.line(dashes);
  w.line(text("%s: %" PRIu64, s.title, s.count));
  w.line(dashes);
  for (std::uint64_t i = 0; i < s.count; ++i) s.entry(w, i);
  w.line("");
}

}  // namespace

const char plan_options_help[] =
    "  --keys N          \"Keys added:\" entries\n"
    "  --values N        \"Values added:\" entries (ten value kinds in turn)\n"
    "  --modified N      \"Values modified:\" pairs (two lines each)\n"
    "  --folders N       \"Folders added:\" entries, none inside another\n"
    "  --files N         \"Files added:\" entries\n"
    "  --inside PCT      files lying in a listed folder (default 50)\n"
    "  --long PCT        values whose data runs past 1000 characters (default 0)\n"
    "  --multiline PCT   string values holding a line break (default 0)\n"
    "  --root PATH       drive path that holds every folder and file (default C:\\rsbench)\n"
    "  --seed N          (default 1)\n"
    "  --keys-left N     added keys that still exist (default 50; a run records at most 100)\n"
    "  --exist PCT       share of folders, files and values that exist (default 10)\n";

bool set_plan_option(report_plan& plan, unsigned& exist_percent, std::string_view option, const char* value,
                     std::string& error) {
  if (option == "--root") {
    plan.root = value;
    return true;
  }
  char* end = nullptr;
  const std::uint64_t n = std::strtoull(value, &end, 10);
  if (end == value || *end != '\0') {
    error = std::string(option) + ": not a number: " + value;
    return false;
  }
  const auto percent = static_cast<unsigned>(std::min<std::uint64_t>(n, 100));
  if (option == "--keys") plan.keys_added = n;
  else if (option == "--values") plan.values_added = n;
  else if (option == "--modified") plan.values_modified = n;
  else if (option == "--folders") plan.folders_added = n;
  else if (option == "--files") plan.files_added = n;
  else if (option == "--inside") plan.files_inside_percent = percent;
  else if (option == "--long") plan.long_value_percent = percent;
  else if (option == "--multiline") plan.multiline_percent = percent;
  else if (option == "--keys-left") plan.keys_left = n;
  else if (option == "--seed") plan.seed = n;
  else if (option == "--exist") exist_percent = percent;
  else error = "unknown option " + std::string(option);
  return error.empty();
}

std::string folder_path(const report_plan& plan, std::uint64_t i) {
  // A quarter of the folders lie one level deeper, so that paths are not all of one depth.
  return plan.root + text("\\Vendor %04" PRIu64 "\\Product %07" PRIu64 "%s", i / 1000, i,
                          i % 4 == 3 ? "\\cache data" : "");
}

file_entry file_at(const report_plan& plan, std::uint64_t j) {
  static constexpr const char* extensions[] = {"dll", "exe", "log", "dat", "ini"};
  file_entry f;
  f.inside = plan.folders_added > 0 && percent_hit(plan, stream::inside, j, plan.files_inside_percent);
  const char* ext = extensions[j % 5];
  if (f.inside) {
    f.folder = choice(plan, stream::folder_pick, j) % plan.folders_added;
    f.path = folder_path(plan, f.folder) + text("\\file_%07" PRIu64 ".%s", j, ext);
  } else {
    f.path = plan.root + text("\\left over\\dir %04" PRIu64 "\\file_%07" PRIu64 ".%s", j / 1000, j, ext);
  }
  return f;
}

std::uint64_t path_hash(std::string_view s) {
  // Eight bytes at a time; the quality of a general-purpose hash is not needed for paths.
  std::uint64_t h = 0x9E3779B97F4A7C15ull ^ s.size();
  std::size_t i = 0;
  for (; i + 8 <= s.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, s.data() + i, 8);
    h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
  }
  std::uint64_t tail = 0;
  std::memcpy(&tail, s.data() + i, s.size() - i);
  h = (h ^ tail) * 0x94D049BB133111EBull;
  return h ^ (h >> 31);
}

bool exists_by_rule(std::string_view path, unsigned exist_percent) {
  if (exist_percent >= 100) return true;
  // The length and the last 16 characters: the generator's paths end with the digits of their index, so this
  // tells them apart at the cost of two loads.
  std::uint64_t a = 0, b = 0;
  const std::size_t n = path.size();
  if (n >= 16) {
    std::memcpy(&a, path.data() + n - 16, 8);
    std::memcpy(&b, path.data() + n - 8, 8);
  } else {
    std::memcpy(&a, path.data(), std::min<std::size_t>(n, 8));
    if (n > 8) std::memcpy(&b, path.data() + 8, n - 8);
  }
  std::uint64_t h = (a ^ (b * 0x9E3779B97F4A7C15ull) ^ n) * 0xBF58476D1CE4E5B9ull;
  h ^= h >> 31;
  return h % 100 < exist_percent;
}

std::uint64_t expected_batch_lines(const report_plan& plan, unsigned exist_percent) {
  std::uint64_t n = 0;
  for (std::uint64_t i = 0; i < plan.folders_added; ++i) n += exists_by_rule(folder_path(plan, i), exist_percent);
  for (std::uint64_t j = 0; j < plan.files_added; ++j) {
    const file_entry f = file_at(plan, j);
    if (!f.inside && exists_by_rule(f.path, exist_percent)) ++n;
  }
  return n;
}

std::uint64_t for_each_on_disk(const report_plan& plan, unsigned exist_percent,
                               const std::function<void(std::string_view, bool)>& visit) {
  std::uint64_t n = 0;
  for (std::uint64_t i = 0; i < plan.folders_added; ++i) {
    const std::string path = folder_path(plan, i);
    if (!exists_by_rule(path, exist_percent)) continue;
    visit(path, true);
    ++n;
  }
  for (std::uint64_t j = 0; j < plan.files_added; ++j) {
    const file_entry f = file_at(plan, j);
    if (!exists_by_rule(f.path, exist_percent)) continue;
    if (f.inside && !exists_by_rule(folder_path(plan, f.folder), exist_percent)) continue;
    visit(f.path, false);
    if (!f.inside) ++n;
  }
  return n;
}

void for_each_existing_registry(const report_plan& plan, unsigned exist_percent, const registry_visitor& visit) {
  for (std::uint64_t k = 0; k < plan.keys_added; ++k) {
    if (added_key_left(plan, k)) visit.key(key_line(k));
  }
  const std::uint64_t counts[2] = {plan.values_added, plan.values_modified};
  for (unsigned section = 0; section < 2; ++section) {
    for (std::uint64_t v = 0; v < counts[section]; ++v) {
      const value_id id = value_at(plan, v, section);
      if (value_left(plan, id, exist_percent)) {
        visit.value(id.key, id.name, type_of(plan, v, id.index));
      } else if (kind_of(v) != k_path_named && emptied_key_left(plan, v, section)) {
        visit.key(id.key);
      }
    }
  }
}

registry_expectation expected_registry(const report_plan& plan, unsigned exist_percent) {
  registry_expectation e;
  for (std::uint64_t k = 0; k < plan.keys_added; ++k) e.keys += added_key_left(plan, k);
  for (std::uint64_t v = 0; v < plan.values_added; ++v) {
    e.values_added += value_left(plan, value_at(plan, v, 0), exist_percent);
  }
  for (std::uint64_t v = 0; v < plan.values_modified; ++v) {
    e.values_modified += value_left(plan, value_at(plan, v, 1), exist_percent);
  }
  return e;
}

bool write_report(const report_plan& plan, std::FILE* out, report_totals* totals) {
  report_writer w(out);
  for (const char* line : {"Regshot 1.9.1 x64 ANSI (beta r321)", "Comments: ",
                           "Datetime: 2026-12-07 05:39:19, 2026-12-07 05:39:25", "Computer: VM, VM",
                           "Username: root, root", ""}) {
    w.line(line);
  }
  const section sections[] = {
      {"Keys added", plan.keys_added, [&](report_writer& o, std::uint64_t k) { o.line(key_line(k)); }},
      {"Values added", plan.values_added,
       [&](report_writer& o, std::uint64_t v) { o.entry(value_line(plan, v, 0, 0)); }},
      {"Values modified", plan.values_modified,
       [&](report_writer& o, std::uint64_t v) {
         o.entry(value_line(plan, v, 1, 0));
         o.entry(value_line(plan, v, 1, 1));
       }},
      {"Folders added", plan.folders_added,
       [&](report_writer& o, std::uint64_t i) {
         o.line(folder_path(plan, i));
         o.line("0x00000010");
       }},
      {"Files added", plan.files_added,
       [&](report_writer& o, std::uint64_t j) {
         o.line(file_at(plan, j).path);
         o.line(file_attribute_line(plan, j));
       }},
  };
  std::uint64_t total = 0;
  for (const section& s : sections) {
    write_section(w, s);
    total += s.count;
  }
  w.line(dashes);
  w.line(text("Total changes: %" PRIu64, total));
  w.line(dashes);
  const bool ok = w.flush();
  if (totals != nullptr) *totals = {total, w.lines(), w.bytes()};
  return ok;
}

}  // namespace resivex::bench
