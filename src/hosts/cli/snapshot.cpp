#include "hosts/cli/snapshot.h"

#include <ftw.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "framework/IGraphics.h"
#include "framework/bitmap/RasterBitmap.h"
#include "hosts/cli/commands.h"
#include "hosts/cli/options.h"
#include "hosts/cli/output.h"
#include "hosts/cli/render.h"
#include "hosts/cli/temp_files.h"
#include "plugin/Quillmar.h"

namespace {

enum { HOST_CALL = 128, DEFAULT_FRAMES = 60 };

std::string g_scratch;

int remove_entry(const char* path, const struct stat*, int, struct FTW*) { return std::remove(path); }

void remove_scratch() {
  if (g_scratch.empty()) return;
  nftw(g_scratch.c_str(), remove_entry, 8, FTW_DEPTH | FTW_PHYS);
  forget_temp(g_scratch);
}

// ".png" in any case, or no extension at all (standard output, a device, a name of the
// user's own): the picture is PNG whatever the name, and another extension would lie.
bool png_name_ok(const std::string& path) {
  const size_t dot = path.rfind('.'), slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1) return true;
  return strcasecmp(path.c_str() + dot, ".png") == 0;
}

}  // namespace

bool use_scratch_settings_folder(std::string* error) {
  if (!g_scratch.empty()) return true;
  const char* tmp = std::getenv("TMPDIR");
  const std::string folder = tmp && *tmp ? tmp : "/tmp";
  const std::string made = make_temp_folder(folder + "/quillmar-settings-XXXXXX");
  if (made.empty()) {
    // Never the user's own preferences instead: the command would change them.
    *error = "cannot make a temporary settings folder in " + folder + " (" + std::strerror(errno) + ")";
    return false;
  }
  g_scratch = made;
  setenv("QUILLMAR_CONFIG_DIR", made.c_str(), 1);
  std::atexit(remove_scratch);
  return true;
}

void editor_tick(Quillmar* plug) {
  IGraphics* g = plug->GetGUI();
  IRECT r;
  if (g && g->IsDirty(&r)) g->Draw(&r);
}

void run_editor_frames(Quillmar* plug, const audio_t& in, int frames) {
  const int channels = in.channels;
  const size_t length = in.frames();
  host_stream_t stream(plug, in.samplerate, channels, HOST_CALL);
  std::vector<std::vector<float>> ibuf(channels, std::vector<float>(HOST_CALL)), obuf = ibuf;
  float* ip[2] = {};
  float* op[2] = {};
  for (int c = 0; c < channels; ++c) ip[c] = ibuf[c].data(), op[c] = obuf[c].data();
  const int per_frame = plug->GetGUI() ? in.samplerate / plug->GetGUI()->FPS() : 0;
  size_t pos = 0;
  for (int f = 0; f < frames; ++f) {
    for (int done = 0; length && done < per_frame; done += HOST_CALL) {
      const int n = std::min<int>(HOST_CALL, per_frame - done);
      for (int c = 0; c < channels; ++c)
        for (int i = 0; i < n; ++i) ibuf[c][i] = in.ch[c][(pos + i) % length];
      pos = (pos + n) % length;
      stream.call(ip, op, n);
    }
    editor_tick(plug);
  }
}

bool write_editor_png(Quillmar* plug, const std::string& path, std::string* error) {
  IGraphics* g = plug->GetGUI();
  if (!g || !g->GetDrawBitmap()) {
    *error = "the plug-in has no editor";
    return false;
  }
  const RasterBitmap* bitmap = g->GetDrawBitmap();
  return write_output(
      path,
      [bitmap](const std::string& file, std::string* reason) {
        // SavePNG writes FILE.part first.
        remember_temp(file + ".part");
        const bool ok = bitmap->SavePNG(file, false, reason);
        forget_temp(file + ".part");
        if (ok) return true;
        if (reason->compare(0, file.size() + 2, file + ": ") == 0) reason->erase(0, file.size() + 2);
        return false;
      },
      error);
}

int cmd_snapshot(const command_t& cmd, int argc, char** argv) {
  parsed_args_t a;
  if (const int status = parse_args(cmd, argc, argv, &a)) return status;
  settings_t settings;
  int size = -1, frames = DEFAULT_FRAMES;
  if (!settings_from_args(a, &settings) || !a.int_value("--size", 0, 2, &size) ||
      !a.int_value("--frames", 1, 100000, &frames))
    return STATUS_USAGE;
  const std::string out_path = a.operands[0], in_path = a.last("--input");
  const std::string clash = output_clash({{"--input", in_path}, {"--state", settings.state_file}},
                                         {{"OUT.png", out_path}});
  if (!clash.empty()) return fail(clash, STATUS_USAGE);
  if (!png_name_ok(out_path))
    return fail(out_path + ": snapshot writes PNG only; name the output with .png", STATUS_USAGE);

  audio_t in;
  std::string msg;
  if (in_path.empty()) {
    in = demo_signal(false);
  } else {
    if (!read_audio(in_path, &in, &msg)) return fail(msg);
  }
  // The picture depends on the arguments alone, and the user's preferences stay untouched.
  if (!use_scratch_settings_folder(&msg)) return fail(msg);
  cli_error err;
  if (size >= 0 && !remember_interface_size(size, &err)) return fail(err.message, err.status);
  plug_ptr plug = make_session(settings, &err);
  if (!plug) return fail(err.message, err.status);
  if (const int status = refuse_without_skin(plug.get())) return status;
  run_editor_frames(plug.get(), in, frames);
  if (!write_editor_png(plug.get(), out_path, &msg)) return fail(msg);
  return 0;
}
