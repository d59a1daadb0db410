#include "toolkit/util/memory.h"

#include <cstdint>
#include <cstdlib>

gc_list_t* gc_list_create() {
  return static_cast<gc_list_t*>(std::calloc(1, sizeof(gc_list_t)));
}

void* gc_calloc(gc_list_t* owner, size_t count, size_t size) {
  if (size != 0 && count > SIZE_MAX / size) return nullptr;
  void* block = std::calloc(count ? count : 1, size ? size : 1);
  if (!block || !owner) return block;
  for (void*& s : owner->slot) {
    if (!s) {
      s = block;
      break;
    }
  }
  return block;
}

void gc_free(gc_list_t* owner, void* block) {
  if (!block || !owner) return;
  for (void*& s : owner->slot) {
    if (s == block) {
      std::free(s);
      s = nullptr;
      return;
    }
  }
}

void gc_cleanup(gc_list_t* owner) {
  if (!owner) return;
  for (void*& s : owner->slot) {
    std::free(s);
    s = nullptr;
  }
  std::free(owner);
}
