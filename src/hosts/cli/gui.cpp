// The `gui` command: the editor in an X11 window, with a file playing through the plug-in.
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "framework/x11/IGraphicsX11.h"
#include "hosts/cli/commands.h"
#include "hosts/cli/options.h"
#include "hosts/cli/output.h"
#include "hosts/cli/player.h"
#include "hosts/cli/session.h"
#include "plugin/Quillmar.h"

namespace {

std::atomic<bool> g_stop{false};

void on_signal(int) { g_stop = true; }

// The folder a file would be written into exists (checked before anything is shown).
bool folder_exists(const std::string& file) {
  const size_t slash = file.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
  struct stat st;
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Ctrl-C and SIGTERM end the window's loop; poll is interrupted, so it ends at once.
void catch_stop_signals() {
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

}  // namespace

int cmd_gui(const command_t& cmd, int argc, char** argv) {
  parsed_args_t a;
  if (const int status = parse_args(cmd, argc, argv, &a)) return status;
  settings_t settings;
  int size = -1;
  if (!settings_from_args(a, &settings) || !a.int_value("--size", 0, 2, size, &size)) return STATUS_USAGE;
  const std::string in_path = a.operands.empty() ? "" : a.operands[0];
  const std::string save_state_file = a.last("--save-state");
  const std::string device = a.has("--device") ? a.last("--device") : "default";
  const bool no_audio = a.has("--no-audio");
  if (no_audio && a.has("--device")) return fail("gui: --device and --no-audio exclude each other", STATUS_USAGE);
  const std::string clash = output_clash({{"IN", in_path}}, {{"--save-state", save_state_file}});
  if (!clash.empty()) return fail(clash, STATUS_USAGE);
  // Everything that can be refused is refused before a window opens or a file is written.
  if (!save_state_file.empty() && !folder_exists(save_state_file))
    return fail(save_state_file + ": the folder does not exist; the state could not be saved there");
  audio_t in;
  std::string msg;
  if (!in_path.empty() && !read_audio(in_path, &in, &msg)) return fail(msg);
  if (!x11_display_available()) {
    const char* display = std::getenv("DISPLAY");
    return fail(display && *display ? std::string("cannot open the X11 display \"") + display + "\" for the window"
                                    : std::string("no X11 display for the window (DISPLAY is not set)"));
  }

  SetGraphicsFactory(MakeGraphicsX11);
  cli_error err;
  // The size is kept only for a window that opens: the skin is checked first, and the
  // instance is made again to take the size up.
  plug_ptr plug = make_session(settings, &err);
  if (!plug) return fail(err.message, err.status);
  if (const int status = refuse_without_skin(plug.get())) return status;
  if (size >= 0) {
    plug.reset();
    if (!remember_interface_size(size, &err)) return fail(err.message, err.status);
    plug = make_session(settings, &err);
    if (!plug) return fail(err.message, err.status);
  }
  IGraphicsX11* window = dynamic_cast<IGraphicsX11*>(plug->GetGUI());
  if (!window || !window->OpenWindow(nullptr)) return fail("the editor's window could not be opened");

  player_t player;
  if (!in_path.empty()) {
    std::string why;
    if (no_audio)
      ;  // silent by request
    else if (!player.open_device(device, in.samplerate, in.channels, &why))
      std::fprintf(stderr, "quillmar: audio device \"%s\" did not open (%s); playing silently\n", device.c_str(),
                   why.c_str());
    // The signals are the window loop's to take: the audio thread is started with them blocked.
    sigset_t stops, old;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, &old);
    player.start(plug.get(), &in);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
  }
  catch_stop_signals();
  bool told = false;
  window->Run(&g_stop, [&] {
    if (player.device_failed() && !told) {
      std::fprintf(stderr, "quillmar: audio device \"%s\" failed; playing silently\n", device.c_str());
      told = true;
    }
  });
  player.stop();
  window->CloseWindow();
  if (!save_state_file.empty()) {
    // An edit the audio path has not taken up yet still belongs in the state.
    plug->ServePendingChanges();
    const std::vector<unsigned char> state = save_state(plug.get());
    if (!write_bytes(save_state_file, state.data(), state.size(), &msg)) return fail(msg);
  }
  return 0;
}
