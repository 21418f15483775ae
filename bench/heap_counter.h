// Counts the bytes that operator new hands out, for the memory benchmark: linking heap_counter.cpp replaces
// the global operator new and delete of the program.
#pragma once

#include <cstddef>

namespace resivex::bench::heap {

// Bytes allocated and not yet freed (as the allocator sizes the blocks).
std::size_t live();
// The highest value live() has had since the last reset_peak().
std::size_t peak();
void reset_peak();

}  // namespace resivex::bench::heap
