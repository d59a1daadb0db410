// The `live` command: the plug-in as a JACK client, with the editor in a window or without.
#include <time.h>

#include <cstdio>
#include <string>

#include "framework/x11/IGraphicsX11.h"
#include "hosts/cli/commands.h"
#include "hosts/cli/editor_window.h"
#include "hosts/cli/options.h"
#include "hosts/cli/output.h"
#include "hosts/cli/session.h"
#include "hosts/cli/stop_signals.h"
#include "plugin/Quillmar.h"
#ifdef QUILLMAR_HAVE_JACK
#include "hosts/cli/jack_client.h"
#endif

#ifndef QUILLMAR_HAVE_JACK

int cmd_live(const command_t& cmd, int argc, char** argv) {
  parsed_args_t a;
  if (const int status = parse_args(cmd, argc, argv, &a)) return status;
  return fail("live: this quillmar was built without JACK (its build found no libjack; make deps installs "
              "libjack-jackd2-dev)");
}

#else

namespace {

// How often the loop without a window looks at the server and the latency.
constexpr long POLL_NS = 20 * 1000 * 1000;

// The longest client name: jack_client_name_size() counts the final NUL, and JACK2's server
// refuses a name of one character fewer than that still.
size_t longest_client_name() { return static_cast<size_t>(jack_client_name_size()) - 2; }

// A name JACK would refuse or cut short is a usage error, before any server is asked.
bool valid_client_name(const std::string& name) {
  return !name.empty() && name.find(':') == std::string::npos && name.size() <= longest_client_name();
}

}  // namespace

int cmd_live(const command_t& cmd, int argc, char** argv) {
  // Caught from the start: one that comes while the editor or the client is being made still
  // ends it cleanly (deactivated, the state written).
  catch_stop_signals();
  parsed_args_t a;
  if (const int status = parse_args(cmd, argc, argv, &a)) return status;
  settings_t settings;
  int size = -1;
  if (!settings_from_args(a, &settings) || !a.int_value("--size", 0, 2, &size)) return STATUS_USAGE;
  const std::string name = a.has("--name") ? a.last("--name") : "Quillmar";
  if (!valid_client_name(name))
    return fail("--name " + name + ": a JACK client name has no ':' and at most " +
                    std::to_string(longest_client_name()) + " characters",
                STATUS_USAGE);
  const int channels = a.has("--mono") ? 1 : 2;
  const bool with_window = !a.has("--no-window");
  const std::vector<std::string> ins = a.all("--connect-in"), outs = a.all("--connect-out");
  const std::string save_state_file = a.last("--save-state");
  const std::string clash = output_clash({{"--state", settings.state_file}}, {{"--save-state", save_state_file}});
  if (!clash.empty()) return fail(clash, STATUS_USAGE);
  const std::string save_problem = save_state_problem(save_state_file);
  if (!save_problem.empty()) return fail(save_problem);

  plug_ptr plug;
  IGraphicsX11* window = nullptr;
  cli_error err;
  if (with_window) {
    if (const int status = make_editor_session(settings, size, &plug)) return status;
  } else {
    if (size >= 0 && !remember_interface_size(size, &err)) return fail(err.message, err.status);
    plug = make_session(settings, &err);
    if (!plug) return fail(err.message, err.status);
  }

  live_client_t client(plug.get(), channels);
  {
    // JACK's threads leave the signals to the main thread.
    stop_signals_blocked_t blocked;
    if (!client.open(name, a.has("--name"), &err) || !client.check_ports(ins, outs, &err)) return fail(err.message, err.status);
    // The window shows only once the server has taken the client and its connections are sound.
    if (with_window)
      if (const int status = open_editor_window(plug.get(), &window)) return status;
    if (!client.activate(&err)) return fail(err.message, err.status);
  }
  if (name != client.name())
    std::fprintf(stderr, "quillmar: the JACK client \"%s\" exists; this one is \"%s\"\n", name.c_str(), client.name());
  int status = 0;
  if (!client.connect(ins, outs, &err)) {
    status = fail(err.message, err.status);
  } else if (window) {
    window->Run(&g_stop_requested, [&] {
      client.poll();
      if (client.server_gone()) g_stop_requested = true;
    });
  } else {
    const timespec pause{0, POLL_NS};
    while (!g_stop_requested && !client.server_gone()) {
      client.poll();
      nanosleep(&pause, nullptr);
    }
  }
  const bool gone = client.server_gone();
  const std::string reason = client.gone_reason();
  client.close();
  if (window) window->CloseWindow();
  if (const int saved = write_state_at_end(plug.get(), save_state_file)) return saved;
  if (gone)
    return fail("the JACK server \"" + std::string(live_client_t::server_name()) + "\" shut down" +
                (reason.empty() ? "" : " (" + reason + ")"));
  if (a.has("--stats"))
    print_cycle_stats(client.xruns(), client.times(), client.period_us());
  return status;
}

#endif
