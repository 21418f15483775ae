// See folder_index.h.
#include "conversion/batch/folder_index.h"

namespace resivex {

namespace {

constexpr std::uint64_t fnv_offset = 1469598103934665603ull;
constexpr std::uint64_t fnv_prime = 1099511628211ull;

std::uint64_t hash_step(std::uint64_t h, char c) {
  return (h ^ static_cast<unsigned char>(c)) * fnv_prime;
}

std::uint64_t hash_of(std::string_view text) {
  std::uint64_t h = fnv_offset;
  for (char c : text) h = hash_step(h, c);
  return h;
}

}  // namespace

void folder_index::clear() {
  paths_.clear();
  hashes_.clear();
  slots_.clear();
  paths_.shrink_to_fit();
  hashes_.shrink_to_fit();
  slots_.shrink_to_fit();
}

std::size_t folder_index::growth_bytes() const {
  const std::size_t slots = slots_.empty() ? 64 : slots_.size() * 2;
  return slots * sizeof(std::uint32_t) + (paths_.size() + 1) * (sizeof(std::string) + sizeof(std::uint64_t));
}

bool folder_index::find(std::string_view path, std::uint64_t hash) const {
  if (slots_.empty()) return false;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
    const std::uint32_t slot = slots_[i];
    if (slot == 0) return false;
    if (hashes_[slot - 1] == hash && paths_[slot - 1] == path) return true;
  }
}

void folder_index::grow() {
  std::vector<std::uint32_t> bigger(slots_.empty() ? 64 : slots_.size() * 2, 0);
  const std::size_t mask = bigger.size() - 1;
  for (std::size_t k = 0; k < paths_.size(); ++k) {
    std::size_t i = static_cast<std::size_t>(hashes_[k]) & mask;
    while (bigger[i] != 0) i = (i + 1) & mask;
    bigger[i] = static_cast<std::uint32_t>(k + 1);
  }
  slots_.swap(bigger);
}

void folder_index::insert(std::string_view path) {
  const std::uint64_t hash = hash_of(path);
  if (find(path, hash)) return;
  if ((paths_.size() + 1) * 2 > slots_.size()) grow();
  paths_.emplace_back(path);
  hashes_.push_back(hash);
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = static_cast<std::size_t>(hash) & mask;
  while (slots_[i] != 0) i = (i + 1) & mask;
  slots_[i] = static_cast<std::uint32_t>(paths_.size());
}

bool folder_index::contains_or_below(std::string_view path) const {
  if (paths_.empty()) return false;
  std::uint64_t h = fnv_offset;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '\\' && i > 0 && find(path.substr(0, i), h)) return true;
    h = hash_step(h, path[i]);
  }
  return find(path, h);
}

}  // namespace resivex
