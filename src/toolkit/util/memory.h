// Tracked memory: every block an instance owns is recorded in its allocation list,
// so destroying the instance releases all of them at once.
#pragma once
#include <cstddef>

enum { GC_SLOTS = 1024 };

struct gc_list_t {
  void* slot[GC_SLOTS];
  size_t bytes[GC_SLOTS];  // each recorded block's size
};

// A zero-filled list, owned by the caller until gc_cleanup releases it.
gc_list_t* gc_list_create();

// A zero-filled block of count * size bytes, recorded in the first empty slot.
// With every slot taken the block is returned unrecorded (gc_cleanup never frees it).
// Returns null only when the allocation itself fails (or count * size overflows).
void* gc_calloc(gc_list_t* owner, size_t count, size_t size);
// The same for an image, written whole when it is used: a block of 2 MB or more starts on a
// large page, so that mem_expect_written can back as much of it as possible by large pages.
void* gc_calloc_image(gc_list_t* owner, size_t count, size_t size);

// Gives the memory of a recorded block back to the system while the block stays valid: it
// reads as zeros afterwards and costs nothing until written again. A null block or one not
// in the list is left alone.
void gc_discard(gc_list_t* owner, void* block);

// Releases a recorded block; a null block or one not in the list is left alone.
void gc_free(gc_list_t* owner, void* block);

// Releases every recorded block, then the list itself.
void gc_cleanup(gc_list_t* owner);

// Tells the system that the caller is about to write these bytes whole (an image drawn over
// entirely). The aligned 2 MB stretches inside are backed by large pages where the system
// offers them: one page fault where there would be 512, which is most of what a first frame
// costs where faults are slow. The memory around them is left alone, so nothing becomes
// resident that the writes would not make so. Call it before the first write; any block.
void mem_expect_written(void* block, size_t bytes);
// bytes rounded up to whole large pages where that adds at most a tenth: the size to allocate
// and advise for a block written whole whose end would otherwise take hundreds of small pages.
size_t mem_round_to_large_pages(size_t bytes);
// A block the caller is about to write whole, freed with free(): it starts on a large page
// and is advised as above. Null on failure.
void* written_alloc(size_t bytes);

// A zero-filled block outside any list, for owners that free it themselves with its size
// (zeroed_free). A large one is mapped from the system like a large recorded block: it costs
// no memory until written, wherever earlier blocks were freed. Null on failure. Like large
// recorded blocks, it is not heap memory: a leak checker does not look for pointers in it.
void* zeroed_alloc(size_t bytes);
void* zeroed_alloc_image(size_t bytes);  // aligned as gc_calloc_image's blocks
void zeroed_free(void* block, size_t bytes);
