// See folder_index.h.
#include "conversion/batch/folder_index.h"

#include "conversion/text.h"

#include <cstring>
#include <new>

namespace resivex {

namespace {

constexpr std::uint64_t hash_seed = 0x9E3779B97F4A7C15ull;
constexpr std::uint64_t hash_multiplier = 0xBF58476D1CE4E5B9ull;

// Up to 8 bytes from p as one number (the same bytes always give the same number on one machine).
std::uint64_t load_bytes(const char* p, std::size_t n) {
  std::uint64_t w = 0;
  if (n > 0) std::memcpy(&w, p, n);
  return w;
}

std::uint64_t load_word(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}

std::uint64_t mix(std::uint64_t h, std::uint64_t word) {
  h = (h ^ word) * hash_multiplier;
  return h ^ (h >> 31);
}

// Spreads every bit over the whole number: the table takes its slot from the low bits, which the
// multiplications alone would leave to the first bytes of each word.
std::uint64_t finish(std::uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// The hash of a text is taken 8 bytes at a time, so that the hashes of a path's prefixes come from one pass
// over the path: the prefix of length n mixes in the whole words before it, then its last bytes and n.
class prefix_hasher {
public:
  explicit prefix_hasher(std::string_view text) : text_(text) {}
  // The hash of the first n characters; n must not shrink from call to call.
  std::uint64_t hash(std::size_t n) {
    while (done_ + 8 <= n) {
      h_ = mix(h_, load_word(text_.data() + done_));
      done_ += 8;
    }
    const std::size_t left = n - done_;
    std::uint64_t tail;
    if (done_ + 8 <= text_.size()) {
      // A whole word lies there: load it and keep its first `left` bytes (a library call for a copy of
      // a varying length would cost more than the rest of the hash).
      tail = left == 0 ? 0 : load_word(text_.data() + done_) & (~std::uint64_t{0} >> (64 - 8 * left));
    } else {
      tail = load_bytes(text_.data() + done_, left);
    }
    return finish(mix(h_, tail) ^ n);
  }

private:
  std::string_view text_;
  std::size_t done_ = 0;
  std::uint64_t h_ = hash_seed;
};

std::uint64_t hash_of(std::string_view text) { return prefix_hasher(text).hash(text.size()); }

}  // namespace

void folder_index::clear() {
  slots_.clear();
  shift_ = 64;
  length_bits_.fill(0);
  slots_.shrink_to_fit();
  count_ = 0;
}

std::size_t folder_index::growth_bytes() const {
  const std::size_t slots = slots_.empty() ? 64 : slots_.size() * 2;
  return slots * sizeof(std::uint64_t);
}

bool folder_index::find(std::uint64_t hash) const {
  if (slots_.empty()) return false;
  const std::size_t mask = slots_.size() - 1;
  const std::uint64_t wanted = stored_form(hash);
  for (std::size_t i = home_of(hash);; i = (i + 1) & mask) {
    const std::uint64_t s = slots_[i];
    if (s == wanted) return true;
    if (s == free_slot) return false;
  }
}

void folder_index::place(std::vector<std::uint64_t>& table, std::uint64_t home, std::uint64_t slot) {
  const std::size_t mask = table.size() - 1;
  std::size_t i = static_cast<std::size_t>(home);
  while (table[i] != free_slot) i = (i + 1) & mask;
  table[i] = slot;
}

void folder_index::grow() {
  const unsigned shift = slots_.empty() ? 64 - 6 : shift_ - 1;  // 64 slots first, then twice as many
  const unsigned bits = 64 - shift;
  std::vector<std::uint64_t> bigger(std::size_t{1} << bits, free_slot);
  for (const std::uint64_t s : slots_) {
    if (s != free_slot) place(bigger, s >> shift, s);  // the top bits of the hash (free_slot - 1: the same)
  }
  slots_.swap(bigger);
  shift_ = shift;
}

void folder_index::insert(std::string_view path) {
  const std::uint64_t hash = hash_of(path);
  if (find(hash)) return;
  insert_new(path, hash);
}

bool folder_index::insert_unless_covered(std::string_view path) {
  // The look-up of the whole path (when some stored path is as long) hashes it already.
  std::uint64_t whole = 0;
  bool hashed = false;
  const bool covered = any_candidate(path, [&](std::size_t n, std::uint64_t hash) {
    if (n == path.size()) {
      whole = hash;
      hashed = true;
    }
    return find(hash);
  });
  if (covered) return false;
  insert_new(path, hashed ? whole : hash_of(path));
  return true;
}

void folder_index::insert_new(std::string_view path, std::uint64_t hash) {
  if ((count_ + 1) * 2 > slots_.size()) grow();  // the one step that can fail
  place(slots_, home_of(hash), stored_form(hash));
  ++count_;
  const std::size_t word = path.size() / 64;
  if (word < max_length_words) length_bits_[word] |= std::uint64_t{1} << (path.size() % 64);
}

template <bool every_length, class Visit>
bool folder_index::any_candidate(std::string_view path, Visit visit) const {
  if (!every_length && count_ == 0) return false;
  prefix_hasher hasher(path);
  // Only the prefixes that end before a backslash (not one at the very start), and only those as long as some
  // stored path, are looked up. The backslashes are found sixteen characters at a time: a library search for
  // each of them costs more than the rest of the test on a path of ordinary length.
  const char* const p = path.data();
  const std::size_t n = path.size();
  const auto candidate = [&](std::size_t at) {
    return at > 0 && (every_length || has_length(at)) && visit(at, hasher.hash(at));
  };
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    // Bit k for a backslash at i + k, taken in the order of the path.
    for (unsigned slashes = lane_bits(load16(p + i) == '\\'); slashes != 0; slashes &= slashes - 1) {
      if (candidate(i + static_cast<std::size_t>(__builtin_ctz(slashes)))) return true;
    }
  }
  if (i < n && n >= 16) {
    // The last sixteen characters, of which those already seen are shifted out: bit k for i + k.
    for (unsigned slashes = lane_bits(load16(p + n - 16) == '\\') >> (16 - (n - i)); slashes != 0;
         slashes &= slashes - 1) {
      if (candidate(i + static_cast<std::size_t>(__builtin_ctz(slashes)))) return true;
    }
  } else {
    for (; i < n; ++i) {
      if (p[i] == '\\' && candidate(i)) return true;
    }
  }
  return (every_length || has_length(n)) && visit(n, hasher.hash(n));
}

bool folder_index::contains_or_below(std::string_view path) const {
  return any_candidate(path, [&](std::size_t, std::uint64_t hash) { return find(hash); });
}

namespace {

// Notes each look-up in `out` until it is full.
struct lookup_recorder {
  folder_index::lookups& out;
  bool operator()(std::size_t n, std::uint64_t hash) const {
    if (out.count == folder_index::lookups::room) {
      out.complete = false;
      return true;
    }
    out.length[out.count] = static_cast<std::uint32_t>(n);
    out.hash[out.count] = hash;
    ++out.count;
    return false;
  }
};

}  // namespace

void folder_index::lookups_of(std::string_view path, lookups& out) const {
  out.count = 0;
  out.complete = true;
  any_candidate(path, lookup_recorder{out});
}

void folder_index::every_lookup_of(std::string_view path, lookups& out) const {
  out.count = 0;
  out.complete = true;
  any_candidate<true>(path, lookup_recorder{out});
}

bool folder_index::insert_unless_covered(std::string_view path, const lookups& l) {
  // Complete, the look-ups end with the whole path's.
  if (!l.complete || l.count == 0 || l.length[l.count - 1] != path.size()) return insert_unless_covered(path);
  for (std::size_t k = 0; k < l.count; ++k) {
    if (has_length(l.length[k]) && find(l.hash[k])) return false;
  }
  insert_new(path, l.hash[l.count - 1]);
  return true;
}

bool folder_index::contains_or_below(std::string_view path, const lookups& l) const {
  if (!l.complete) return contains_or_below(path);
  for (std::size_t k = 0; k < l.count; ++k) {
    if (find(l.hash[k])) return true;
  }
  return false;
}

// Kept out of line: inlined into the queue, GCC 12 dropped the prefetches as code without effect, and the
// folders cases took two thirds longer.
void folder_index::prefetch(const lookups& l, int step) const {
  // The slots hold all there is to read: the second step has nothing left to fetch.
  if (slots_.empty() || step != 0) return;
  for (std::size_t c = 0; c < l.count; ++c) {
    if (has_length(l.length[c])) __builtin_prefetch(&slots_[home_of(l.hash[c])]);
  }
}

bool folder_index::has_length(std::size_t n) const {
  const std::size_t word = n / 64;
  if (word >= max_length_words) return true;
  return (length_bits_[word] >> (n % 64) & 1) != 0;
}

}  // namespace resivex
