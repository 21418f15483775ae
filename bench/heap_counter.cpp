// See heap_counter.h. Blocks come from malloc; their size is asked back from the allocator on release, so
// no header is added to them and the counts are what the heap really holds.
#include "bench/heap_counter.h"

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>

namespace resivex::bench::heap {

namespace {

std::atomic<std::size_t> live_bytes{0};
std::atomic<std::size_t> peak_bytes{0};

void* take(std::size_t n, std::size_t align) {
  void* p = align <= alignof(std::max_align_t) ? std::malloc(n == 0 ? 1 : n)
                                                : std::aligned_alloc(align, (n + align - 1) / align * align);
  if (p == nullptr) return nullptr;
  const std::size_t now = live_bytes.fetch_add(malloc_usable_size(p)) + malloc_usable_size(p);
  std::size_t seen = peak_bytes.load();
  while (now > seen && !peak_bytes.compare_exchange_weak(seen, now)) {
  }
  return p;
}

void give_back(void* p) {
  if (p == nullptr) return;
  live_bytes.fetch_sub(malloc_usable_size(p));
  std::free(p);
}

void* take_or_throw(std::size_t n, std::size_t align) {
  void* p = take(n, align);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

std::size_t live() { return live_bytes.load(); }
std::size_t peak() { return peak_bytes.load(); }
void reset_peak() { peak_bytes.store(live_bytes.load()); }

}  // namespace resivex::bench::heap

using resivex::bench::heap::give_back;
using resivex::bench::heap::take;
using resivex::bench::heap::take_or_throw;

void* operator new(std::size_t n) { return take_or_throw(n, 0); }
void* operator new[](std::size_t n) { return take_or_throw(n, 0); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return take(n, 0); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return take(n, 0); }
void* operator new(std::size_t n, std::align_val_t a) { return take_or_throw(n, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t n, std::align_val_t a) { return take_or_throw(n, static_cast<std::size_t>(a)); }
void operator delete(void* p) noexcept { give_back(p); }
void operator delete[](void* p) noexcept { give_back(p); }
void operator delete(void* p, std::size_t) noexcept { give_back(p); }
void operator delete[](void* p, std::size_t) noexcept { give_back(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { give_back(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { give_back(p); }
void operator delete(void* p, std::align_val_t) noexcept { give_back(p); }
void operator delete[](void* p, std::align_val_t) noexcept { give_back(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { give_back(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { give_back(p); }
