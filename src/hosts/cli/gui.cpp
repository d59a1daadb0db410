// The `gui` command: the editor in an X11 window, with a file playing through the plug-in.
#include <cstdio>
#include <string>

#include "framework/x11/IGraphicsX11.h"
#include "hosts/cli/commands.h"
#include "hosts/cli/editor_window.h"
#include "hosts/cli/options.h"
#include "hosts/cli/output.h"
#include "hosts/cli/player.h"
#include "hosts/cli/session.h"
#include "hosts/cli/stop_signals.h"
#include "plugin/Quillmar.h"

int cmd_gui(const command_t& cmd, int argc, char** argv) {
  parsed_args_t a;
  if (const int status = parse_args(cmd, argc, argv, &a)) return status;
  settings_t settings;
  int size = -1;
  if (!settings_from_args(a, &settings) || !a.int_value("--size", 0, 2, &size)) return STATUS_USAGE;
  const std::string in_path = a.operands.empty() ? "" : a.operands[0];
  const std::string save_state_file = a.last("--save-state");
  const std::string device = a.has("--device") ? a.last("--device") : "default";
  const bool no_audio = a.has("--no-audio");
  if (no_audio && a.has("--device")) return fail("gui: --device and --no-audio exclude each other", STATUS_USAGE);
  const std::string clash = output_clash({{"IN", in_path}}, {{"--save-state", save_state_file}});
  if (!clash.empty()) return fail(clash, STATUS_USAGE);
  // Everything that can be refused is refused before a window opens or a file is written.
  const std::string save_problem = save_state_problem(save_state_file);
  if (!save_problem.empty()) return fail(save_problem);
  audio_t in;
  std::string msg;
  if (!in_path.empty() && !read_audio(in_path, &in, &msg)) return fail(msg);
  plug_ptr plug;
  IGraphicsX11* window = nullptr;
  if (const int status = make_editor_session(settings, size, &plug)) return status;
  if (const int status = open_editor_window(plug.get(), &window)) return status;

  player_t player;
  if (!in_path.empty()) {
    std::string why;
    if (no_audio)
      ;  // silent by request
    else if (!player.open_device(device, in.samplerate, in.channels, &why))
      std::fprintf(stderr, "quillmar: audio device \"%s\" did not open (%s); playing silently\n", device.c_str(),
                   why.c_str());
    // The signals are the window loop's to take: the audio thread is started with them blocked.
    stop_signals_blocked_t blocked;
    player.start(plug.get(), &in);
  }
  catch_stop_signals();
  bool told = false;
  window->Run(&g_stop_requested, [&] {
    if (player.device_failed() && !told) {
      std::fprintf(stderr, "quillmar: audio device \"%s\" failed; playing silently\n", device.c_str());
      told = true;
    }
  });
  player.stop();
  window->CloseWindow();
  return write_state_at_end(plug.get(), save_state_file);
}
