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
// buffers resident. Their size is kept beside them, never inside: a block nobody writes to
// costs no page at all, not even one for a header.
constexpr size_t MAP_MIN = size_t(64) << 10;

bool mapped(size_t bytes) { return bytes >= MAP_MIN; }

// The stretch a large page covers, where the system has them.
constexpr uintptr_t LARGE_PAGE = uintptr_t(2) << 20;

// An image's block of a large page or more starts on a large page's boundary, so that as much
// of it as possible can be backed by large pages (mem_expect_written). The mapping is made a
// large page longer and its ends cut off: what is left is exactly the block, as release
// expects. Until its owner says it writes a stretch whole, the block keeps small pages even
// where the system would give large ones unasked, as a block nobody aligned mostly does.
void* map_block(size_t bytes, bool image) {
  const int prot = PROT_READ | PROT_WRITE, flags = MAP_PRIVATE | MAP_ANONYMOUS;
  if (!image || bytes < LARGE_PAGE || bytes > SIZE_MAX - LARGE_PAGE) {
    void* p = mmap(nullptr, bytes, prot, flags, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
  }
  void* p = mmap(nullptr, bytes + LARGE_PAGE, prot, flags, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(p);
  const uintptr_t aligned = (start + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t end = (aligned + bytes + page - 1) / page * page;
  if (aligned > start) munmap(p, aligned - start);
  if (start + bytes + LARGE_PAGE > end) munmap(reinterpret_cast<void*>(end), start + bytes + LARGE_PAGE - end);
#if defined(__linux__) && defined(MADV_NOHUGEPAGE)
  madvise(reinterpret_cast<void*>(aligned), end - aligned, MADV_NOHUGEPAGE);
#endif
  return reinterpret_cast<void*>(aligned);
}

void* acquire(size_t bytes, bool image) {
  if (!mapped(bytes)) return std::calloc(1, bytes);
  return map_block(bytes, image);
}

void release(void* block, size_t bytes) {
  if (!block) return;
  if (mapped(bytes))
    munmap(block, bytes);
  else
    std::free(block);
}

size_t block_bytes(size_t count, size_t size) { return (count ? count : 1) * (size ? size : 1); }

}  // namespace

void* zeroed_alloc(size_t bytes) { return acquire(bytes ? bytes : 1, false); }

void* zeroed_alloc_image(size_t bytes) { return acquire(bytes ? bytes : 1, true); }

void zeroed_free(void* block, size_t bytes) { release(block, bytes ? bytes : 1); }

gc_list_t* gc_list_create() {
  return static_cast<gc_list_t*>(std::calloc(1, sizeof(gc_list_t)));
}

namespace {

void* recorded(gc_list_t* owner, size_t count, size_t size, bool image) {
  if (size != 0 && count > SIZE_MAX / size) return nullptr;
  int slot = -1;
  if (owner) {
    for (int i = 0; i < GC_SLOTS; ++i) {
      if (!owner->slot[i]) {
        slot = i;
        break;
      }
    }
  }
  // An unrecorded block is a plain one: its caller frees it with free().
  if (slot < 0) return std::calloc(count ? count : 1, size ? size : 1);
  const size_t bytes = block_bytes(count, size);
  void* block = acquire(bytes, image);
  if (block) {
    owner->slot[slot] = block;
    owner->bytes[slot] = bytes;
  }
  return block;
}

}  // namespace

void* gc_calloc(gc_list_t* owner, size_t count, size_t size) { return recorded(owner, count, size, false); }

void* gc_calloc_image(gc_list_t* owner, size_t count, size_t size) { return recorded(owner, count, size, true); }

void gc_discard(gc_list_t* owner, void* block) {
  if (!block || !owner) return;
  for (int i = 0; i < GC_SLOTS; ++i) {
    if (owner->slot[i] != block) continue;
    const size_t bytes = owner->bytes[i];
    if (!mapped(bytes)) {
      std::memset(block, 0, bytes);
      return;
    }
    // Whole pages; the parts of the first and last pages outside them are cleared.
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t start = reinterpret_cast<uintptr_t>(block);
    const uintptr_t end = start + bytes;
    const uintptr_t first = (start + page - 1) / page * page, last = end / page * page;
    if (first >= last) {
      std::memset(block, 0, bytes);
      return;
    }
    std::memset(block, 0, first - start);
    std::memset(reinterpret_cast<void*>(last), 0, end - last);
#ifdef __linux__
    // Private anonymous pages read as zeros after this.
    madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
#else
    std::memset(reinterpret_cast<void*>(first), 0, last - first);
#endif
    return;
  }
}

void mem_expect_written(void* block, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  const uintptr_t start = reinterpret_cast<uintptr_t>(block);
  if (!block || bytes > UINTPTR_MAX - start) return;
  const uintptr_t first = (start + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
  const uintptr_t last = (start + bytes) & ~(LARGE_PAGE - 1);
  // Only advice: where the system has no large pages to give, the pages stay small.
  if (first < last) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)block;
  (void)bytes;
#endif
}

size_t mem_round_to_large_pages(size_t bytes) {
  if (bytes > SIZE_MAX - LARGE_PAGE) return bytes;
  const size_t rounded = (bytes + LARGE_PAGE - 1) & ~(size_t)(LARGE_PAGE - 1);
  return (rounded - bytes) * 10 <= bytes ? rounded : bytes;
}

void* written_alloc(size_t bytes) {
  void* block = nullptr;
  if (bytes < LARGE_PAGE) return std::malloc(bytes ? bytes : 1);
  if (posix_memalign(&block, LARGE_PAGE, bytes)) return nullptr;
  mem_expect_written(block, bytes);
  return block;
}

void gc_free(gc_list_t* owner, void* block) {
  if (!block || !owner) return;
  for (int i = 0; i < GC_SLOTS; ++i) {
    if (owner->slot[i] == block) {
      release(block, owner->bytes[i]);
      owner->slot[i] = nullptr;
      owner->bytes[i] = 0;
      return;
    }
  }
}

void gc_cleanup(gc_list_t* owner) {
  if (!owner) return;
  for (int i = 0; i < GC_SLOTS; ++i) {
    release(owner->slot[i], owner->bytes[i]);
    owner->slot[i] = nullptr;
  }
  std::free(owner);
}
