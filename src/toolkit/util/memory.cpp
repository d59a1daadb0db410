#include "toolkit/util/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Large blocks are mapped straight from the system: their pages are zero until touched, and
// they go back to the system when freed. Through malloc they could land in heap memory
// freed earlier (malloc raises its mapping threshold after large frees), where calloc must
// clear every byte, so an instance made after another was closed would hold all of its
// buffers resident.
constexpr size_t MAP_MIN = size_t(1) << 20;

// Every recorded block starts with its size and kind, so that it can be released either way.
struct alignas(16) header_t {
  size_t bytes;
  size_t mapped;
};

void* acquire(size_t bytes) {
  if (bytes > SIZE_MAX - sizeof(header_t)) return nullptr;
  const size_t total = bytes + sizeof(header_t);
  header_t* h;
  if (bytes >= MAP_MIN) {
    void* p = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    h = static_cast<header_t*>(p);
    h->mapped = 1;
  } else {
    h = static_cast<header_t*>(std::calloc(1, total));
    if (!h) return nullptr;
    h->mapped = 0;
  }
  h->bytes = bytes;
  return h + 1;
}

void release(void* block) {
  if (!block) return;
  header_t* h = static_cast<header_t*>(block) - 1;
  if (h->mapped)
    munmap(h, h->bytes + sizeof(header_t));
  else
    std::free(h);
}

}  // namespace

gc_list_t* gc_list_create() {
  return static_cast<gc_list_t*>(std::calloc(1, sizeof(gc_list_t)));
}

void* gc_calloc(gc_list_t* owner, size_t count, size_t size) {
  if (size != 0 && count > SIZE_MAX / size) return nullptr;
  void** slot = nullptr;
  if (owner) {
    for (void*& s : owner->slot) {
      if (!s) {
        slot = &s;
        break;
      }
    }
  }
  // An unrecorded block is a plain one: its caller frees it with free().
  if (!slot) return std::calloc(count ? count : 1, size ? size : 1);
  void* block = acquire((count ? count : 1) * (size ? size : 1));
  if (block) *slot = block;
  return block;
}

void gc_discard(gc_list_t* owner, void* block) {
  if (!block || !owner) return;
  for (void* s : owner->slot) {
    if (s != block) continue;
    header_t* h = static_cast<header_t*>(block) - 1;
    if (!h->mapped) {
      std::memset(block, 0, h->bytes);
      return;
    }
    // Whole pages after the one holding the header; the rest of that page is cleared.
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t start = reinterpret_cast<uintptr_t>(block);
    const uintptr_t end = start + h->bytes;
    const uintptr_t first = (start + page - 1) / page * page;
    if (first >= end) {
      std::memset(block, 0, h->bytes);
      return;
    }
    std::memset(block, 0, first - start);
#ifdef __linux__
    // Private anonymous pages read as zeros after this.
    madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
#else
    std::memset(reinterpret_cast<void*>(first), 0, end - first);
#endif
    return;
  }
}

void gc_free(gc_list_t* owner, void* block) {
  if (!block || !owner) return;
  for (void*& s : owner->slot) {
    if (s == block) {
      release(s);
      s = nullptr;
      return;
    }
  }
}

void gc_cleanup(gc_list_t* owner) {
  if (!owner) return;
  for (void*& s : owner->slot) {
    release(s);
    s = nullptr;
  }
  std::free(owner);
}
