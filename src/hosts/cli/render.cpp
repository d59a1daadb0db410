#include "hosts/cli/render.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "hosts/cli/args.h"
#include "plugin/Quillmar.h"

namespace {

class progress_bar {
 public:
  progress_bar(bool on, size_t total) : on_(on), total_(total ? total : 1) {}
  void update(size_t done) {
    if (!on_) return;
    const int pct = static_cast<int>(100 * std::min(done, total_) / total_);
    if (pct == last_) return;
    last_ = pct;
    const int filled = pct * 40 / 100;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                 40 - filled, "", pct);
    if (pct == 100) std::fputc('\n', stderr);
    std::fflush(stderr);
  }

 private:
  bool on_;
  size_t total_;
  int last_ = -1;
};

}  // namespace

host_stream_t::host_stream_t(Quillmar* plug, int samplerate, int channels, int block)
    : plug_(plug), channels_(channels), block_(block) {
  plug->SetSampleRate(samplerate);
  plug->SetBlockSize(block);
  plug->Reset();
  plug->SetInputChannelConnections(0, channels, true);
  plug->SetInputChannelConnections(channels, 2 - channels, false);
  plug->SetOutputChannelConnections(0, channels, true);
  plug->SetOutputChannelConnections(channels, 2 - channels, false);
}

void host_stream_t::call(float* const* in, float* const* out, int n) {
  plug_->AttachInputBuffers(0, channels_, const_cast<float**>(in), n);
  plug_->AttachOutputBuffers(0, channels_, const_cast<float**>(out));
  plug_->ProcessBuffers(0.0f, n);
}

void render_audio(Quillmar* plug, const audio_t& in, const render_opts_t& opts, audio_t* out) {
  const int channels = in.channels;
  const size_t frames = in.frames();
  host_stream_t stream(plug, in.samplerate, channels, opts.block);

  *out = audio_t();
  out->channels = channels;
  out->samplerate = in.samplerate;
  out->sf_format = in.sf_format;
  out->ch.assign(channels, std::vector<float>(frames, 0.0f));

  std::vector<std::vector<float>> ibuf(channels, std::vector<float>(opts.block));
  std::vector<std::vector<float>> obuf(channels, std::vector<float>(opts.block));
  float* ip[2] = {};
  float* op[2] = {};
  for (int c = 0; c < channels; ++c) {
    ip[c] = ibuf[c].data();
    op[c] = obuf[c].data();
  }
  // With compensation the latency is known after the first call (a call longer than the hop
  // re-sizes the engine there); that many samples are dropped and fed again as silence.
  size_t skip = 0, fed = 0;
  size_t total = frames;
  bool latency_known = !opts.compensate;
  progress_bar bar(opts.progress, frames);
  while (fed < total || !latency_known) {
    const size_t n = std::min<size_t>(opts.block, std::max(total - fed, size_t(1)));
    for (int c = 0; c < channels; ++c)
      for (size_t i = 0; i < n; ++i)
        ibuf[c][i] = fed + i < frames ? in.ch[c][fed + i] : 0.0f;
    stream.call(ip, op, static_cast<int>(n));
    if (!latency_known) {
      skip = plug->GetLatency();
      total = frames + skip;
      latency_known = true;
    }
    // Output sample i of this call is output frame fed + i - skip.
    for (size_t i = fed < skip ? skip - fed : 0; i < n; ++i) {
      const size_t at = fed + i - skip;
      if (at >= frames) break;
      for (int c = 0; c < channels; ++c) out->ch[c][at] = obuf[c][i];
    }
    fed += n;
    bar.update(std::min(fed, frames));
  }
}

int cmd_render(int argc, char** argv) {
  args_t a(argc, argv);
  std::string in_path, out_path, save_state_file;
  settings_t settings;
  render_opts_t opts;
  opts.progress = isatty(STDERR_FILENO);
  sample_format format = sample_format::same;
  while (a.more()) {
    if (a.is_option()) {
      const std::string o = a.take();
      if (o == "--set") settings.sets.push_back(a.value(o));
      else if (o == "--state") settings.state_file = a.value(o);
      else if (o == "--save-state") save_state_file = a.value(o);
      else if (o == "--block") opts.block = a.int_value(o, 1, IPluginBase::kMaxBlockSize);
      else if (o == "--compensate") opts.compensate = true;
      else if (o == "--progress") opts.progress = true;
      else if (o == "--no-progress") opts.progress = false;
      else if (o == "--format") {
        const std::string f = a.value(o);
        if (f == "float") format = sample_format::float32;
        else if (f == "pcm16") format = sample_format::pcm16;
        else if (f == "pcm24") format = sample_format::pcm24;
        else return a.usage("--format " + f + ": expected float, pcm16 or pcm24");
      } else return a.usage("render: unknown option " + o);
    } else if (in_path.empty()) in_path = a.take();
    else if (out_path.empty()) out_path = a.take();
    else return a.usage("render: unexpected argument " + a.take());
    if (a.failed()) return a.status();
  }
  if (out_path.empty()) return a.usage("render: expected IN and OUT (quillmar render IN OUT)");

  audio_t in;
  std::string msg;
  if (!read_audio(in_path, &in, &msg)) return fail(msg);
  cli_error err;
  plug_ptr plug = make_session(settings, &err);
  if (!plug) return fail(err.message, err.status);
  audio_t out;
  render_audio(plug.get(), in, opts, &out);
  if (!write_audio(out_path, out, format, &msg)) return fail(msg);
  if (!save_state_file.empty()) {
    const std::vector<unsigned char> state = save_state(plug.get());
    if (!write_file_atomic(save_state_file, state.data(), state.size(), &msg)) return fail(msg);
  }
  return 0;
}
