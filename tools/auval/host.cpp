// The validator's host side: instances, formats, the test signal, rendering in slices, the
// source units, and the comparison with `quillmar render`.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "auval.h"

components_t g;
feeder_t g_source;

const std::vector<setting_t> kCurve = {{5, -12.0f}, {6, 6.0f}, {14, 24.0f}, {17, -3.0f}};

bool check_t::operator()(bool ok, const char* fmt, ...) {
  if (ok) return true;
  char msg[512];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(msg, sizeof msg, fmt, args);
  va_end(args);
  failures.push_back(msg);
  return false;
}

OSStatus open_unit(AudioUnit* u, Component c) {
  *u = nullptr;
  if (!c && g.by_bundle) return AudioComponentInstanceNew(g.bundle.component, u);
  return OpenAComponent(c ? c : g.plugin, u);
}

OSStatus close_unit(AudioUnit u) {
  return AudioComponentInstanceGetComponent(u) ? AudioComponentInstanceDispose(u)
                                               : OSStatus(CloseComponent(u));
}

unit_t::unit_t(Component c) {
  if (open_unit(&u, c) != noErr) u = nullptr;
}

unit_t::~unit_t() {
  if (u) close_unit(u);
}

raw_call_t raw_call(AudioUnit u, SInt16 what, std::vector<long> args) {
  raw_call_t c = {};
  c.head.what = what;
  c.head.paramSize = UInt8(args.size() * sizeof(long));
  long* slots = reinterpret_cast<long*>(c.head.params);
  slots[0] = reinterpret_cast<long>(u);
  for (size_t i = 0; i < args.size() && i < 8; ++i) slots[i + 1] = args[i];
  return c;
}

float get_param(AudioUnit u, AudioUnitParameterID id) {
  AudioUnitParameterValue v = NAN;
  AudioUnitGetParameter(u, id, kAudioUnitScope_Global, 0, &v);
  return v;
}

std::string cf_text(CFStringRef s) {
  char buf[512];
  if (!s || CFGetTypeID(s) != CFStringGetTypeID() ||
      !CFStringGetCString(s, buf, sizeof buf, kCFStringEncodingUTF8))
    return "";
  return buf;
}

AudioStreamBasicDescription canonical_format(double rate, UInt32 channels) {
  AudioStreamBasicDescription f = {};
  f.mSampleRate = rate;
  f.mFormatID = kAudioFormatLinearPCM;
  f.mFormatFlags = kAudioFormatFlagsNativeFloatPacked | kAudioFormatFlagIsNonInterleaved;
  f.mBytesPerPacket = f.mBytesPerFrame = 4;
  f.mFramesPerPacket = 1;
  f.mChannelsPerFrame = channels;
  f.mBitsPerChannel = 32;
  return f;
}

OSStatus set_io(AudioUnit u, int in, int out, double rate) {
  OSStatus r = set_prop(u, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0,
                        canonical_format(rate, in));
  if (r) return r;
  return set_prop(u, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0,
                  canonical_format(rate, out));
}

audio_t test_signal(int channels, size_t frames, double rate) {
  audio_t a(channels, std::vector<float>(frames));
  uint32_t seed = 12345;
  for (int c = 0; c < channels; ++c)
    for (size_t i = 0; i < frames; ++i) {
      seed = seed * 1664525u + 1013904223u;
      const double noise = (seed >> 8) / double(1 << 24) - 0.5;
      const double t = i / rate;
      a[c][i] = float(0.3 * std::sin(2 * M_PI * (220.0 + 110.0 * c) * t) +
                      0.2 * std::sin(2 * M_PI * 3100.0 * t) + 0.2 * noise);
    }
  return a;
}

double max_diff(const audio_t& a, const audio_t& b) {
  if (a.size() != b.size()) return std::numeric_limits<double>::infinity();
  double d = 0;
  for (size_t c = 0; c < a.size(); ++c) {
    if (a[c].size() != b[c].size()) return std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < a[c].size(); ++i)
      d = std::max(d, std::fabs(double(a[c][i]) - double(b[c][i])));
  }
  return d;
}

void apply_settings(AudioUnit u, const std::vector<setting_t>& s) {
  for (const setting_t& x : s) AudioUnitSetParameter(u, x.id, kAudioUnitScope_Global, 0, x.value, 0);
}

OSStatus feed_callback(void* ref, AudioUnitRenderActionFlags*, const AudioTimeStamp* ts, UInt32,
                       UInt32 frames, AudioBufferList* io) {
  feeder_t* f = static_cast<feeder_t*>(ref);
  if (!f || !f->in || !ts || !io) return kAudio_ParamError;
  ++f->pulls;
  const size_t at = size_t(ts->mSampleTime);
  for (UInt32 c = 0; c < io->mNumberBuffers; ++c) {
    float* dst = static_cast<float*>(io->mBuffers[c].mData);
    if (!dst) return kAudio_ParamError;
    const std::vector<float>& src = (*f->in)[std::min<size_t>(c, f->in->size() - 1)];
    for (UInt32 i = 0; i < frames; ++i) dst[i] = at + i < src.size() ? src[at + i] : 0.0f;
  }
  return noErr;
}

namespace {

// Argument i of a selector (params[0] is the instance).
template <class T>
T arg(const ComponentParameters* p, int i) {
  T v;
  std::memcpy(&v, reinterpret_cast<const char*>(p->params) + sizeof(long) * (i + 1), sizeof v);
  return v;
}

OSStatus source_render(void*, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* ts,
                       UInt32 bus, UInt32 frames, AudioBufferList* io) {
  return feed_callback(&g_source, flags, ts, bus, frames, io);
}

// A generator unit: renders g_source; offers its render procedure when fast.
ComponentResult source_entry(ComponentParameters* p, bool fast) {
  switch (p->what) {
    case kComponentOpenSelect:
    case kComponentCloseSelect: return noErr;
    case kAudioUnitGetPropertySelect:
      if (!fast || arg<UInt32>(p, 0) != kAudioUnitProperty_FastDispatch ||
          arg<UInt32>(p, 2) != kAudioUnitRenderSelect)
        return kAudioUnitErr_InvalidProperty;
      *arg<AudioUnitRenderProc*>(p, 3) = &source_render;
      *arg<UInt32*>(p, 4) = sizeof(AudioUnitRenderProc);
      return noErr;
    case kAudioUnitRenderSelect:
      return source_render(nullptr, arg<AudioUnitRenderActionFlags*>(p, 0),
                           arg<const AudioTimeStamp*>(p, 1), arg<UInt32>(p, 2),
                           arg<UInt32>(p, 3), arg<AudioBufferList*>(p, 4));
    default: return badComponentSelector;
  }
}

}  // namespace

ComponentResult source_entry_fast(ComponentParameters* p, Handle) { return source_entry(p, true); }
ComponentResult source_entry_slow(ComponentParameters* p, Handle) { return source_entry(p, false); }

OSStatus render(AudioUnit u, const render_job_t& job, const audio_t& in, audio_t* out) {
  static feeder_t feeder;
  feeder = feeder_t{&in, 0};
  g_source = feeder_t{&in, 0};
  OSStatus r = set_io(u, job.channels, job.channels, job.rate);
  unit_t source(job.input == kByFastUnit ? g.source_fast : g.source_slow);
  if (r == noErr && job.input == kByCallback) {
    r = set_prop(u, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                 AURenderCallbackStruct{&feed_callback, &feeder});
  } else if (r == noErr) {
    r = set_prop(u, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0,
                 AudioUnitConnection{source, 0, 0});
  }
  if (job.curve) apply_settings(u, kCurve);
  if (r == noErr) r = AudioUnitInitialize(u);
  out->assign(job.channels, std::vector<float>(job.frames));
  for (size_t pos = 0; r == noErr && pos < job.frames; pos += job.slice) {
    const UInt32 n = UInt32(std::min<size_t>(job.slice, job.frames - pos));
    AudioTimeStamp ts = {};
    ts.mSampleTime = double(pos);
    ts.mFlags = kAudioTimeStampSampleTimeValid;
    list2_t l;
    AudioBufferList* list = l.get();
    list->mNumberBuffers = UInt32(job.channels);
    for (int c = 0; c < job.channels; ++c)
      list->mBuffers[c] = AudioBuffer{1, n * 4, job.null_output ? nullptr : &(*out)[c][pos]};
    AudioUnitRenderActionFlags flags = 0;
    r = AudioUnitRender(u, &flags, &ts, 0, n, list);
    for (int c = 0; r == noErr && job.null_output && c < job.channels; ++c)
      std::memcpy(&(*out)[c][pos], list->mBuffers[c].mData, n * 4);
  }
  // The source unit closes with this call: nothing may keep pulling from it.
  if (job.input != kByCallback)
    set_prop(u, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0,
             AudioUnitConnection{nullptr, 0, 0});
  return r;
}

namespace {

bool write_wav(const std::string& path, const audio_t& a, double rate) {
  SF_INFO info = {};
  info.samplerate = int(rate);
  info.channels = int(a.size());
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return false;
  std::vector<float> inter(a[0].size() * a.size());
  for (size_t i = 0; i < a[0].size(); ++i)
    for (size_t c = 0; c < a.size(); ++c) inter[i * a.size() + c] = a[c][i];
  const bool ok = sf_writef_float(f, inter.data(), sf_count_t(a[0].size())) == sf_count_t(a[0].size());
  sf_close(f);
  return ok;
}

bool read_wav(const std::string& path, audio_t* a) {
  SF_INFO info = {};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return false;
  std::vector<float> inter(size_t(info.frames) * info.channels);
  sf_readf_float(f, inter.data(), info.frames);
  sf_close(f);
  a->assign(info.channels, std::vector<float>(size_t(info.frames)));
  for (size_t i = 0; i < size_t(info.frames); ++i)
    for (int c = 0; c < info.channels; ++c) (*a)[c][i] = inter[i * info.channels + c];
  return true;
}

}  // namespace

bool cli_render(const render_job_t& job, const audio_t& in, audio_t* out, std::string* err) {
  const std::string in_path = g.temp_dir + "/in.wav", out_path = g.temp_dir + "/out.wav";
  if (!write_wav(in_path, in, job.rate)) {
    *err = "cannot write " + in_path;
    return false;
  }
  std::string cmd = "'" + g.cli_path + "' render '" + in_path + "' '" + out_path +
                    "' --no-progress --block " + std::to_string(job.slice);
  for (const setting_t& s : job.curve ? kCurve : std::vector<setting_t>()) {
    char set[64];
    std::snprintf(set, sizeof set, " --set %u=%.9g", s.id, double(s.value));
    cmd += set;
  }
  if (std::system(cmd.c_str()) != 0 || !read_wav(out_path, out)) {
    *err = "quillmar render failed: " + cmd;
    return false;
  }
  return true;
}

void check_against_cli(check_t& c, const char* what, const render_job_t& job) {
  const audio_t in = test_signal(job.channels, job.frames, job.rate);
  audio_t au, cli;
  std::string err;
  unit_t u;
  const OSStatus r = render(u, job, in, &au);
  if (!c(r == noErr, "%s: render answered %d", what, int(r))) return;
  if (!c(cli_render(job, in, &cli, &err), "%s: %s", what, err.c_str())) return;
  // With settings the unit designs their kernel at its first block and crossfades into it;
  // the program designs it before it starts. The start-up fade has passed after twice the
  // latency (the kernel's reach) and a call.
  const double moved = max_diff(au, in);
  size_t from = 0;
  if (job.curve) {
    Float64 latency = 0;
    get_prop(u, kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0, &latency);
    from = size_t(2 * latency * job.rate) + job.slice;
  }
  if (!c(from + 2048 <= job.frames, "%s: a signal too short to compare", what)) return;
  for (audio_t* a : {&au, &cli})
    for (std::vector<float>& ch : *a) ch.erase(ch.begin(), ch.begin() + from);
  const double d = max_diff(au, cli);
  c(d <= 1e-6, "%s: differs from quillmar render by %g", what, d);
  c(moved > 1e-3, "%s: the output equals the input", what);
}
