// See call_log.h.
#include "bench/call_log.h"

#include <cstring>
#include <vector>

namespace resivex::bench {

recording_machine::call& recording_machine::note(kind what, std::uint64_t key, const char* text) {
  call c;
  c.what = what;
  c.key = key;
  if (text != nullptr) {
    c.text_at = static_cast<std::uint32_t>(texts_.size());
    c.text_length = static_cast<std::uint32_t>(std::strlen(text));
    texts_.append(text, c.text_length);
    texts_.push_back('\0');
  }
  calls_.push_back(c);
  return calls_.back();
}

long recording_machine::reg_open_key(win::reg_key root, const char* sub_key, std::uint32_t access,
                                     win::reg_key* key) {
  call& c = note(kind::open, root, sub_key);
  c.number = access;
  const long status = inner_.reg_open_key(root, sub_key, access, key);
  // An open that succeeds is told by the handle it gave (replayed, it must give the same one).
  calls_.back().answer = status == 0 ? static_cast<long>(*key) : -status;
  return status;
}

long recording_machine::reg_query_value(win::reg_key key, const char* name, std::uint32_t* type,
                                        unsigned char* data, std::uint32_t* data_len) {
  call& c = note(kind::query, key, name);
  c.with_data = data != nullptr;
  c.data_room = data_len != nullptr ? *data_len : 0;
  const long status = inner_.reg_query_value(key, name, type, data, data_len);
  calls_.back().answer = status;
  return status;
}

long recording_machine::reg_query_info_key(win::reg_key key, reg_key_info* info) {
  note(kind::info, key, nullptr);
  const long status = inner_.reg_query_info_key(key, info);
  calls_.back().answer = status;
  return status;
}

long recording_machine::reg_enum_value(win::reg_key key, std::uint32_t index, std::string& name, std::uint32_t* type,
                                       unsigned char* data, std::uint32_t* data_len) {
  call& c = note(kind::enumerate, key, nullptr);
  c.number = index;
  c.with_data = data != nullptr;
  c.data_room = data_len != nullptr ? *data_len : 0;
  const long status = inner_.reg_enum_value(key, index, name, type, data, data_len);
  calls_.back().answer = status;
  return status;
}

void recording_machine::reg_close_key(win::reg_key key) {
  note(kind::close, key, nullptr);
  inner_.reg_close_key(key);
}

std::uint32_t recording_machine::file_attributes(const char* path) {
  note(kind::attributes, 0, path);
  const std::uint32_t a = inner_.file_attributes(path);
  calls_.back().answer = static_cast<long>(a);
  return a;
}

int recording_machine::file_status(const char* path) {
  note(kind::status, 0, path);
  const int s = inner_.file_status(path);
  calls_.back().answer = s;
  return s;
}

std::size_t recording_machine::replay(bench_machine& m) const {
  std::vector<unsigned char> data(1 << 16);
  std::vector<char> name(1 << 16);
  std::size_t differ = 0;
  for (const call& c : calls_) {
    const char* text = texts_.data() + c.text_at;
    long answer = 0;
    switch (c.what) {
      case kind::open: {
        win::reg_key key = 0;
        const long status = m.reg_open_key(c.key, text, c.number, &key);
        answer = status == 0 ? static_cast<long>(key) : -status;
        break;
      }
      case kind::query: {
        std::uint32_t type = 0;
        std::uint32_t len = c.data_room;
        if (len > data.size()) data.resize(len);
        answer = m.reg_query_value(c.key, text, &type, c.with_data ? data.data() : nullptr, &len);
        break;
      }
      case kind::info: {
        reg_key_info info;
        answer = m.reg_query_info_key(c.key, &info);
        break;
      }
      case kind::enumerate: {
        std::uint32_t type = 0;
        std::uint32_t len = c.data_room;
        if (len > data.size()) data.resize(len);
        std::string enumerated;
        answer = m.reg_enum_value(c.key, c.number, enumerated, &type, c.with_data ? data.data() : nullptr, &len);
        break;
      }
      case kind::close:
        m.reg_close_key(c.key);
        break;
      case kind::attributes:
        answer = static_cast<long>(m.file_attributes(text));
        break;
      case kind::status:
        answer = m.file_status(text);
        break;
    }
    differ += answer != c.answer;
  }
  return differ;
}

}  // namespace resivex::bench
