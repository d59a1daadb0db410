#include "plugin/instances.h"

#include <cstdlib>
#include <new>
#include <type_traits>

#include "engine/inst.h"
#include "plugin/Quillmar.h"

namespace {

// The table is zeroed heap memory, never freed (records may be in use until the process
// ends); a record is constructed when its slot is first taken, so the pages of slots never
// used are never touched (calloc maps a block this large fresh). The heap, not a mapping of
// our own: the records hold the only pointers to their allocation lists, which a leak
// checker must see.
inst_t* ins = nullptr;
// A record taken again is constructed over the old one, which leaves nothing to destroy.
static_assert(std::is_trivially_destructible<inst_t>::value, "a record is reused without its destructor");
bool made[MAX_INSTANCES];  // the slot's record has been constructed

}  // namespace

inst_t* instance_record(int slot) {
  if (!ins) ins = static_cast<inst_t*>(std::calloc(MAX_INSTANCES, sizeof(inst_t)));
  return ins && slot >= 0 && slot < MAX_INSTANCES ? &ins[slot] : nullptr;
}

int acquire_instance_slot() {
  if (!instance_record(0)) return -1;  // mutate: skip constant (slot 1's record or another failure value: only when calloc fails)
  for (int i = 0; i < MAX_INSTANCES; ++i) {
    if (!made[i] || !ins[i].in_use) {
      new (&ins[i]) inst_t();
      made[i] = true;
      ins[i].in_use = 1;
      return i;
    }
  }
  return -1;
}

void release_instance_slot(int slot) {
  // Under the mutex that construction takes the slots under.
  FW_MutexLock guard(construction_mutex());
  if (inst_t* record = instance_record(slot)) record->in_use = 0;
}

FW_Mutex& construction_mutex() {
  static FW_Mutex mutex;
  return mutex;
}
