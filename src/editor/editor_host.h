// What the editor asks of the plug-in that owns it, beyond the framework's plug-in base.
#pragma once

struct editor_host_t {
  // Writes the preferences file from the current settings (the editor's delayed write).
  virtual void save_prefs() = 0;

 protected:
  ~editor_host_t() = default;
};
