// The per-user preferences file: settings that belong to the user rather than to a project.
#pragma once

struct inst_t;
class FW_String;

// Pass 0 reads only the interface size; pass 1 applies every stored setting.
void load_prefs(inst_t* inst, int pass);
// Writes the whole file from the instance's parameters and the preset folder.
void save_prefs(inst_t* inst);
// The preset folder carried from the file back to the file (process-wide).
FW_String& pres_dir();
