#include "plugin/instances.h"

#include <new>

#include "engine/inst.h"
#include "plugin/Quillmar.h"

static inst_t* ins = nullptr;  // never freed: records may be in use until the process ends

inst_t* instance_record(int slot) {
  if (!ins) ins = new inst_t[MAX_INSTANCES]();
  return (slot >= 0 && slot < MAX_INSTANCES) ? &ins[slot] : nullptr;
}

int acquire_instance_slot() {
  instance_record(0);
  for (int i = 0; i < MAX_INSTANCES; ++i) {
    if (!ins[i].in_use) {
      ins[i].~inst_t();
      new (&ins[i]) inst_t();
      ins[i].in_use = 1;
      return i;
    }
  }
  return -1;
}

void release_instance_slot(int slot) {
  // Under the mutex that construction takes the slots under.
  FW_MutexLock guard(construction_mutex());
  if (inst_t* rec = instance_record(slot)) rec->in_use = 0;
}

FW_Mutex& construction_mutex() {
  static FW_Mutex mutex;
  return mutex;
}
