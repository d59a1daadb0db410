// The process-wide table of instance records: 1024 slots, made by the first instance.
#pragma once

#include "framework/FW_Mutex.h"

struct inst_t;

// The record of a slot (the table is made on first use).
inst_t* instance_record(int slot);
// Takes the lowest free slot, reset to a fresh record marked in use; -1 when all are taken
// (called under the construction mutex). Giving a slot back takes that mutex itself.
int acquire_instance_slot();
void release_instance_slot(int slot);
// Serialises construction and the first-use creation of process-wide resources.
FW_Mutex& construction_mutex();
