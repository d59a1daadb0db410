// What the editor asks of the plug-in that owns it, beyond the framework's plug-in base.
#pragma once

struct editor_host_t {
  // Writes the preferences file from the current settings (the editor's delayed write).
  virtual void save_prefs() = 0;
  // After the editor's own redesign, once lock_process is released: the band knobs follow
  // the parameters the redesign rewrote, and the host is told. Done outside the lock because
  // the knobs report to the host under the plug-in's lock, which a host's Reset holds while
  // it waits for lock_process.
  virtual void finish_idle_write_back() = 0;

 protected:
  ~editor_host_t() = default;
};
