#include "hosts/cli/render.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "hosts/cli/commands.h"
#include "hosts/cli/help.h"
#include "hosts/cli/options.h"
#include "hosts/cli/output.h"
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
  // Changes timed at or after the input's end are never made.
  const std::vector<scheduled_change_t>& changes = opts.automation;
  size_t next_change = 0, due = 0;
  while (due < changes.size() && changes[due].at < static_cast<int64_t>(frames)) ++due;
  while (fed < total || !latency_known) {
    for (; next_change < due && changes[next_change].at <= static_cast<int64_t>(fed);
         ++next_change) {
      const timed_change_t& c = changes[next_change].change;
      apply_setting(plug, c.index, c.value,
                    opts.automation_name + " line " + std::to_string(c.line) + ": ");
    }
    size_t n = std::min<size_t>(opts.block, std::max(total - fed, size_t(1)));
    if (next_change < due)
      n = std::min<size_t>(n, static_cast<size_t>(changes[next_change].at) - fed);
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

int parse_render_args(int argc, char** argv, render_args_t* r) {
  parsed_args_t a;
  if (const int status = parse_args(*find_command("render"), argc, argv, &a)) return status;
  r->in_path = a.operands[0];
  r->out_path = a.operands[1];
  if (!settings_from_args(a, &r->settings)) return STATUS_USAGE;
  r->save_state_file = a.last("--save-state");
  r->automate_file = a.last("--automate");
  if (!a.int_value("--block", 1, IPluginBase::kMaxBlockSize, &r->opts.block))
    return STATUS_USAGE;
  r->opts.compensate = a.has("--compensate");
  const std::string progress = a.last_given({"--progress", "--no-progress"});
  if (!progress.empty()) r->opts.progress = progress == "--progress";
  if (a.has("--format")) {
    const std::string f = a.last("--format");
    if (f == "float") r->format = sample_format::float32;
    else if (f == "pcm16") r->format = sample_format::pcm16;
    else if (f == "pcm24") r->format = sample_format::pcm24;
    else return fail("--format " + f + ": expected float, pcm16 or pcm24", STATUS_USAGE);
  }
  return 0;
}

int cmd_render(const command_t&, int argc, char** argv) {
  render_args_t r;
  r.opts.progress = isatty(STDERR_FILENO);
  if (const int status = parse_render_args(argc, argv, &r)) return status;
  render_opts_t& opts = r.opts;
  cli_error err;
  // Nothing is read or written when an output would write over an input (--save-state may
  // rewrite the --state file).
  std::string clash = output_clash(
      {{"IN", r.in_path}, {"--state", r.settings.state_file}, {"--automate", r.automate_file}},
      {{"OUT", r.out_path}});
  if (clash.empty())
    clash = output_clash({{"IN", r.in_path}, {"--automate", r.automate_file}},
                         {{"OUT", r.out_path}, {"--save-state", r.save_state_file}});
  if (!clash.empty()) return fail(clash, STATUS_USAGE);
  // A bad automation file is refused before anything is read or written.
  std::vector<timed_change_t> changes;
  if (!r.automate_file.empty() && !read_automation(r.automate_file, &changes, &err))
    return fail(err.message, err.status);

  audio_t in;
  std::string msg;
  if (!read_audio(r.in_path, &in, &msg)) return fail(msg);
  int out_format = 0;
  if (!output_format(r.out_path, in.sf_format, in.channels, in.samplerate, r.format, &out_format, &msg))
    return fail(msg, STATUS_USAGE);
  opts.automation_name = r.automate_file;
  if (!schedule_changes(changes, in.samplerate, r.automate_file, &opts.automation, &err))
    return fail(err.message, err.status);
  plug_ptr plug = make_session(r.settings, &err);
  if (!plug) return fail(err.message, err.status);
  audio_t out;
  render_audio(plug.get(), in, opts, &out);
  if (!write_audio(r.out_path, out, r.format, &msg)) return fail(msg);
  if (!r.save_state_file.empty()) {
    const std::vector<unsigned char> state = save_state(plug.get());
    if (!write_bytes(r.save_state_file, state.data(), state.size(), &msg)) return fail(msg);
  }
  return 0;
}
