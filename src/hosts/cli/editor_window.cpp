#include "hosts/cli/editor_window.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "framework/x11/IGraphicsX11.h"
#include "hosts/cli/commands.h"
#include "hosts/cli/options.h"
#include "hosts/cli/output.h"
#include "plugin/Quillmar.h"

int make_editor_session(const settings_t& settings, int size, plug_ptr* plug) {
  if (!x11_display_available()) {
    const char* display = std::getenv("DISPLAY");
    return fail(display && *display ? std::string("cannot open the X11 display \"") + display + "\" for the window"
                                    : std::string("no X11 display for the window (DISPLAY is not set)"));
  }
  SetGraphicsFactory(MakeGraphicsX11);
  cli_error err;
  // The size is kept only for a window that opens: the skin is checked first, and the
  // instance is made again to take the size up.
  *plug = make_session(settings, &err);
  if (!*plug) return fail(err.message, err.status);
  if (const int status = refuse_without_skin(plug->get())) return status;
  if (size >= 0) {
    plug->reset();
    if (!remember_interface_size(size, &err)) return fail(err.message, err.status);
    *plug = make_session(settings, &err);
    if (!*plug) return fail(err.message, err.status);
  }
  return 0;
}

int open_editor_window(Quillmar* plug, IGraphicsX11** window) {
  *window = dynamic_cast<IGraphicsX11*>(plug->GetGUI());
  if (!*window || !(*window)->OpenWindow(nullptr)) return fail("the editor's window could not be opened");
  return 0;
}

std::string save_state_problem(const std::string& file) {
  if (file.empty()) return "";
  const size_t slash = file.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
  const std::string end = "; the state could not be saved there";
  struct stat st;
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return file + ": the folder does not exist" + end;
  if (stat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return file + ": is a folder" + end;
  if (access(dir.c_str(), W_OK) != 0) return file + ": the folder cannot be written" + end;
  return "";
}

int write_state_at_end(Quillmar* plug, const std::string& file) {
  if (file.empty()) return 0;
  plug->ServePendingChanges();
  const std::vector<unsigned char> state = save_state(plug);
  std::string msg;
  return write_bytes(file, state.data(), state.size(), &msg) ? 0 : fail(msg);
}
