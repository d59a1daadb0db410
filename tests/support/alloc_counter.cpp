#include "support/alloc_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

static std::atomic<size_t> g_allocs{0};
static thread_local size_t t_allocs = 0;  // plain static TLS: reading it never allocates
static thread_local bool t_refuse_nothrow = false;
static thread_local int t_refuse_calloc = 0;

size_t alloc_count() { return g_allocs.load(); }
size_t alloc_count_this_thread() { return t_allocs; }
void alloc_refuse_next_nothrow() { t_refuse_nothrow = true; }
void alloc_refuse_calloc(int nth) { t_refuse_calloc = nth; }

static void count() {
  g_allocs.fetch_add(1);
  ++t_allocs;
}

extern "C" {
void* __real_malloc(size_t);
void* __real_calloc(size_t, size_t);
void* __real_realloc(void*, size_t);
void* __wrap_malloc(size_t n) {
  count();
  return __real_malloc(n);
}
void* __wrap_calloc(size_t n, size_t s) {
  count();
  if (t_refuse_calloc > 0 && --t_refuse_calloc == 0) return nullptr;
  return __real_calloc(n, s);
}
void* __wrap_realloc(void* p, size_t n) {
  count();
  return __real_realloc(p, n);
}
}

static void* counted_new(size_t n) {
  count();
  if (void* p = __real_malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}

void* operator new(size_t n) { return counted_new(n); }
void* operator new[](size_t n) { return counted_new(n); }
static void* nothrow_new(size_t n) {
  if (t_refuse_nothrow) {
    t_refuse_nothrow = false;
    return nullptr;
  }
  return std::malloc(n ? n : 1);
}

void* operator new(size_t n, const std::nothrow_t&) noexcept { return nothrow_new(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return nothrow_new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
