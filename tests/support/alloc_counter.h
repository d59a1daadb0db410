// Counts heap allocations made by the test program: operator new in all its forms, and
// malloc, calloc and realloc called from the project's own (statically linked) code.
#pragma once
#include <cstddef>

// Allocations since the program started.
size_t alloc_count();
// Allocations made by the calling thread since it started.
size_t alloc_count_this_thread();

// Makes the calling thread's next nothrow operator new give null, as when memory runs out.
void alloc_refuse_next_nothrow();
// Makes the calling thread's nth calloc from now give null (0: none), as when memory runs out.
void alloc_refuse_calloc(int nth);

// The number of allocations made while it lived.
class alloc_scope {
 public:
  alloc_scope() : start_(alloc_count()) {}
  size_t count() const { return alloc_count() - start_; }

 private:
  size_t start_;
};
