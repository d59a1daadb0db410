// The `info`, `response` and `demo` commands.
#include "hosts/cli/commands.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "editor/skin.h"
#include "engine/bands.h"
#include "engine/inst.h"
#include "engine/levels.h"
#include "engine/params.h"
#include "framework/bitmap/resources.h"
#include "hosts/cli/options.h"
#include "hosts/cli/output.h"
#include "hosts/cli/render.h"
#include "hosts/cli/snapshot.h"
#include "plugin/Quillmar.h"
#include "plugin/params.h"

namespace {

std::string json_string(const char* s) {
  std::string out = "\"";
  for (; *s; ++s) {
    const unsigned char c = static_cast<unsigned char>(*s);
    if (c == '"' || c == '\\') out += '\\', out += static_cast<char>(c);
    else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else out += static_cast<char>(c);
  }
  return out + "\"";
}

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

// The curve's level at a frequency, from the last design.
double curve_db(Quillmar* plug, double f) {
  const inst_t* inst = plug->Inst();
  return db_to_realdb(curve_at(inst->bands_sorted, inst->band_count, axis_pos(f)));
}

// Gain from in to out at a frequency, measured with a Hann-windowed transform of channel 0.
double measured_db(const audio_t& in, const audio_t& out, double f) {
  const size_t n = in.frames();
  std::complex<double> x = 0, y = 0;
  for (size_t i = 0; i < n; ++i) {
    const double w = 0.5 - 0.5 * std::cos(2 * M_PI * i / (n - 1));
    const std::complex<double> e = std::polar(w, -2 * M_PI * f * i / in.samplerate);
    x += double(in.ch[0][i]) * e;
    y += double(out.ch[0][i]) * e;
  }
  return 20 * std::log10(std::abs(y) / std::abs(x));
}

}  // namespace

int cmd_info(const command_t& cmd, int argc, char** argv) {
  parsed_args_t a;
  if (const int status = parse_args(cmd, argc, argv, &a)) return status;
  settings_t s;
  int block = 0;
  if (!settings_from_args(a, &s) || !a.int_value("--block", 1, IPluginBase::kMaxBlockSize, &block))
    return STATUS_USAGE;
  cli_error err;
  plug_ptr plug = make_session(s, &err);
  if (!plug) return fail(err.message, err.status);
  const double fs = plug->GetSampleRate();
  const int latency = plug->GetLatency(), hop = plug->Engine().hop_size;
  // The latency at a host's call length: one call of that length, as a host would make it.
  int block_latency = latency;
  if (block) {
    plug_ptr probe = make_session(s, &err);
    if (!probe) return fail(err.message, err.status);
    host_stream_t stream(probe.get(), static_cast<int>(fs), 2, block);
    std::vector<std::vector<float>> buf(2, std::vector<float>(block, 0.0f));
    float* ch[2] = {buf[0].data(), buf[1].data()};
    stream.call(ch, ch, block);
    block_latency = probe->GetLatency();
  }
  char display[64];
  const bool json = a.has("--json");
  if (json) {
    std::printf("{\n  \"samplerate\": %s,\n  \"latency_samples\": %d,\n  \"latency_ms\": %s,\n"
                "  \"hop\": %d,\n", num(fs).c_str(), latency, num(latency * 1000.0 / fs).c_str(), hop);
    if (block)
      std::printf("  \"block\": %d,\n  \"block_latency_samples\": %d,\n  \"block_latency_ms\": %s,\n",
                  block, block_latency, num(block_latency * 1000.0 / fs).c_str());
    std::printf("  \"parameters\": [\n");
    for (int i = 0; i < PARAM_COUNT; ++i) {
      const IParam* p = plug->GetParam(i);
      p->GetDisplayForHost(display, sizeof display);
      std::printf("    {\"index\": %d, \"name\": %s, \"symbol\": %s, \"value\": %s, \"display\": %s, "
                  "\"unit\": %s, \"min\": %s, \"max\": %s, \"default\": %s}%s\n",
                  i, json_string(p->GetNameForHost()).c_str(), json_string(param_symbol(i)).c_str(),
                  num(p->Value()).c_str(), json_string(display).c_str(),
                  json_string(p->GetLabelForHost()).c_str(), num(p->GetMin()).c_str(),
                  num(p->GetMax()).c_str(), num(p->GetDefault()).c_str(), i + 1 < PARAM_COUNT ? "," : "");
    }
    std::printf("  ]\n}\n");
    return 0;
  }
  std::printf("%3s  %-18s %-18s %12s %-12s %-10s %-22s %s\n", "#", "name", "symbol", "value",
              "display", "unit", "range", "default");
  for (int i = 0; i < PARAM_COUNT; ++i) {
    const IParam* p = plug->GetParam(i);
    p->GetDisplayForHost(display, sizeof display);
    char range[64];
    std::snprintf(range, sizeof range, "%g .. %g", p->GetMin(), p->GetMax());
    std::printf("%3d  %-18s %-18s %12.6g %-12s %-10s %-22s %g\n", i, p->GetNameForHost(),
                param_symbol(i), p->Value(), display, p->GetLabelForHost(), range, p->GetDefault());
  }
  std::printf("\nlatency: %d samples (%.2f ms at %g Hz) for host calls of up to %d frames (the hop)\n",
              latency, latency * 1000.0 / fs, fs, hop);
  if (!block)
    std::printf("A host that calls with more frames than the hop makes the engine re-size its blocks\n"
                "to the call, and the latency grows; --block FRAMES shows it for a call length.\n");
  else if (block <= hop)
    std::printf("at --block %d: the same, %d samples: calls up to the hop keep the engine's sizes\n",
                block, block_latency);
  else
    std::printf("at --block %d: %d samples (%.2f ms): calls longer than the hop re-size the engine\n",
                block, block_latency, block_latency * 1000.0 / fs);
  return 0;
}

int cmd_response(const command_t& cmd, int argc, char** argv) {
  parsed_args_t a;
  if (const int status = parse_args(cmd, argc, argv, &a)) return status;
  settings_t s;
  int points = 100;
  if (!settings_from_args(a, &s) || !a.int_value("--points", 2, 100000, &points))
    return STATUS_USAGE;
  cli_error err;
  plug_ptr plug = make_session(s, &err);
  if (!plug) return fail(err.message, err.status);
  const std::vector<double> f = log_frequencies(points);
  const std::vector<double> db = kernel_response_db(plug.get(), f);
  for (size_t i = 0; i < f.size(); ++i) std::printf("%.6g %.4f\n", f[i], db[i]);
  return 0;
}

int refuse_without_skin(Quillmar* plug) {
  skin_ensure(plug->GetGUI());
  const std::string failure = resource_failure();
  if (failure.empty()) return 0;
  return fail("the editor cannot be drawn without its skin: " + failure);
}

audio_t demo_signal(bool with_sweep) {
  const int fs = 44100, frames = fs * 10;
  audio_t a;
  a.channels = 2;
  a.samplerate = fs;
  a.ch.assign(2, std::vector<float>(frames));
  std::mt19937 rng(2026);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int c = 0; c < 2; ++c) {
    double rows[16] = {};
    double sum = 0;
    for (int i = 0; i < frames; ++i) {
      // Row k changes every 2^k samples: each octave down carries the same power.
      const int k = i == 0 ? 0 : __builtin_ctz(static_cast<unsigned>(i));
      if (k < 16) {
        sum -= rows[k];
        rows[k] = u(rng);
        sum += rows[k];
      }
      const double t = double(i) / fs;
      const double phase = 2 * M_PI * 20.0 * 10.0 / std::log(1000.0) * (std::pow(1000.0, t / 10.0) - 1);
      a.ch[c][i] = float(0.03 * (sum + u(rng)) + (with_sweep ? 0.1 * std::sin(phase) : 0.0));
    }
  }
  return a;
}

int cmd_demo(const command_t& cmd, int argc, char** argv) {
  parsed_args_t a;
  if (const int status = parse_args(cmd, argc, argv, &a)) return status;
  const std::string dir = a.operands.empty() ? "out" : a.operands[0];
  if (dir == "-") return fail("demo: OUTDIR is a folder; - (standard output) cannot hold its files", STATUS_USAGE);
  // The demo runs on the embedded defaults, whatever the user's preferences say.
  std::string msg;
  if (!use_scratch_settings_folder(&msg)) return fail(msg);
  // An existing folder is used; an existing file in its place is "Not a directory".
  const int made = mkdir(dir.c_str(), 0755) == 0 ? 0 : errno;
  struct stat st;
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return fail(dir + ": cannot make the folder (" + std::strerror(made && made != EEXIST ? made : ENOTDIR) + ")");

  settings_t s;
  s.sets = {"Band B gain=6", "Band D gain=-12"};
  cli_error err;
  plug_ptr plug = make_session(s, &err);
  if (!plug) return fail(err.message, err.status);
  const audio_t in = demo_signal(true);
  audio_t out;
  render_opts_t opts;
  opts.compensate = true;
  render_audio(plug.get(), in, opts, &out);

  const std::vector<unsigned char> state = save_state(plug.get());
  if (!write_audio(dir + "/demo-input.wav", in, sample_format::float32, &msg) ||
      !write_audio(dir + "/demo-output.wav", out, sample_format::float32, &msg) ||
      !write_bytes(dir + "/demo-state.bin", state.data(), state.size(), &msg))
    return fail(msg);
  // The editor after the first second of the input through the demo curve; without its skin
  // the rest is written, and the picture is not.
  skin_ensure(plug->GetGUI());
  const bool skin = resource_failure().empty();
  if (skin) {
    run_editor_frames(plug.get(), in, 60);
    if (!write_editor_png(plug.get(), dir + "/demo-editor.png", &msg)) return fail(msg);
  }

  const int latency = plug->GetLatency();
  std::printf("Quillmar demo: 10 s of pink noise and a sine sweep, stereo, 44100 Hz\n");
  std::printf("curve: band B +6 dB at 370 Hz, band D -12 dB at 8000 Hz\n");
  std::printf("latency: %d samples (%.1f ms), compensated in the output\n\n", latency,
              latency * 1000.0 / in.samplerate);
  std::printf("%10s %10s %10s %10s\n", "frequency", "curve", "kernel", "measured");
  const std::vector<double> freqs = {50, 150, 370, 1000, 2500, 5000, 8000, 15000};
  const std::vector<double> kernel = kernel_response_db(plug.get(), freqs);
  for (size_t i = 0; i < freqs.size(); ++i)
    std::printf("%7g Hz %7.2f dB %7.2f dB %7.2f dB\n", freqs[i], curve_db(plug.get(), freqs[i]),
                kernel[i], measured_db(in, out, freqs[i]));
  std::printf("\nwrote %s/demo-input.wav, %s/demo-output.wav, %s/demo-state.bin%s%s%s\n",
              dir.c_str(), dir.c_str(), dir.c_str(), skin ? ", " : "", skin ? dir.c_str() : "",
              skin ? "/demo-editor.png" : "");
  return skin ? 0 : refuse_without_skin(plug.get());
}
