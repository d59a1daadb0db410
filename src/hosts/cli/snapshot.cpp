#include "hosts/cli/snapshot.h"

#include <ftw.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "framework/IGraphics.h"
#include "framework/bitmap/RasterBitmap.h"
#include "hosts/cli/args.h"
#include "hosts/cli/commands.h"
#include "hosts/cli/render.h"
#include "plugin/Quillmar.h"

namespace {

enum { HOST_CALL = 128, DEFAULT_FRAMES = 60 };

std::string g_scratch;

int remove_entry(const char* path, const struct stat*, int, struct FTW*) { return std::remove(path); }

void remove_scratch() {
  if (!g_scratch.empty()) nftw(g_scratch.c_str(), remove_entry, 8, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

void use_scratch_settings_folder() {
  if (!g_scratch.empty()) return;
  const char* tmp = std::getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/quillmar-settings-XXXXXX";
  if (!mkdtemp(tmpl.data())) return;
  g_scratch = tmpl;
  setenv("QUILLMAR_CONFIG_DIR", tmpl.c_str(), 1);
  std::atexit(remove_scratch);
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
  return g->GetDrawBitmap()->SavePNG(path, false, error);
}

int cmd_snapshot(int argc, char** argv) {
  args_t a(argc, argv);
  settings_t settings;
  std::string out_path, in_path;
  int size = -1, frames = DEFAULT_FRAMES;
  while (a.more() && !a.failed()) {
    if (!a.is_option()) {
      if (!out_path.empty()) return a.usage("snapshot: unexpected argument " + a.take());
      out_path = a.take();
      continue;
    }
    const std::string o = a.take();
    if (o == "--input") in_path = a.value(o);
    else if (o == "--set") settings.sets.push_back(a.value(o));
    else if (o == "--state") settings.state_file = a.value(o);
    else if (o == "--size") size = a.int_value(o, 0, 2);
    else if (o == "--frames") frames = a.int_value(o, 1, 100000);
    else return a.usage("snapshot: unknown option " + o);
  }
  if (a.failed()) return a.status();
  if (out_path.empty()) return a.usage("snapshot: expected OUT.png (quillmar snapshot OUT.png)");

  audio_t in;
  std::string msg;
  if (in_path.empty()) {
    in = demo_signal(false);
  } else {
    if (!read_audio(in_path, &in, &msg)) return fail(msg);
    if (in.channels > 2)
      return fail(in_path + ": " + std::to_string(in.channels) + " channels; Quillmar takes mono or stereo");
  }
  // The picture depends on the arguments alone, and the user's preferences stay untouched.
  use_scratch_settings_folder();
  cli_error err;
  if (size >= 0 && !remember_interface_size(size, &err)) return fail(err.message, err.status);
  plug_ptr plug = make_session(settings, &err);
  if (!plug) return fail(err.message, err.status);
  run_editor_frames(plug.get(), in, frames);
  if (!write_editor_png(plug.get(), out_path, &msg)) return fail(msg);
  return 0;
}
