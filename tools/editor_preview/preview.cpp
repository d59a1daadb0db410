#include "preview.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/inst.h"
#include "engine/params.h"
#include "framework/bitmap/RasterBitmap.h"
#include "hosts/cli/session.h"
#include "hosts/cli/snapshot.h"
#include "plugin/params.h"

namespace {

enum { HOST_BLOCK = 128, FRAME_RATE = 60 };

double uniform(uint32_t* seed) {
  *seed = *seed * 1664525u + 1013904223u;
  return (*seed >> 8) * (1.0 / 16777216.0) * 2 - 1;
}

// Pink noise by summing rows of white noise, row k renewed every 2^k samples.
double pink(preview_signal_t* s) {
  s->counter++;
  int k = 0;
  while (k < 15 && !((s->counter >> k) & 1)) k++;
  s->rows[k] = uniform(&s->seed);
  double sum = uniform(&s->seed);
  for (double r : s->rows) sum += r;
  return sum / 17 * 3.5;  // about unit RMS
}

double next_sample(preview_signal_t* s, double fs) {
  const double amp = std::pow(10.0, s->level / 20);
  switch (s->kind) {
    case preview_signal_t::PINK: return amp * pink(s);
    case preview_signal_t::SINE: {
      const double v = amp * std::sin(s->phase);
      s->phase = std::fmod(s->phase + 2 * M_PI * s->freq / fs, 2 * M_PI);
      return v;
    }
    default: return 0;
  }
}

}  // namespace

bool preview_parse_signal(const std::string& spec, preview_signal_t* sig) {
  std::string kind = spec, place;
  const size_t comma = spec.find(',');
  if (comma != std::string::npos) {
    kind = spec.substr(0, comma);
    place = spec.substr(comma + 1);
  }
  if (place == "left")
    sig->place = preview_signal_t::LEFT;
  else if (place == "right")
    sig->place = preview_signal_t::RIGHT;
  else if (place.empty() || place == "both")
    sig->place = preview_signal_t::BOTH;
  else
    return false;
  if (kind == "pink") {
    sig->kind = preview_signal_t::PINK;
  } else if (kind == "silence") {
    sig->kind = preview_signal_t::SILENCE;
  } else if (kind.compare(0, 4, "sine") == 0) {
    sig->kind = preview_signal_t::SINE;
    if (kind.size() > 4) {
      char* end = nullptr;
      if (kind[4] != ':') return false;
      sig->freq = std::strtod(kind.c_str() + 5, &end);
      if (*end || !(sig->freq > 0)) return false;
    }
  } else {
    return false;
  }
  return true;
}

void preview_scratch_config() {
  const char* dir = std::getenv("QUILLMAR_CONFIG_DIR");
  std::string error;
  if ((!dir || !*dir) && !use_scratch_settings_folder(&error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::exit(1);
  }
}

PreviewPlug preview_make(int size, double samplerate) {
  cli_error err;
  if (!remember_interface_size(size, &err)) return nullptr;
  PreviewPlug p(MakePlug());
  if (!p) return nullptr;
  p->SetSampleRate(samplerate);
  p->SetBlockSize(HOST_BLOCK);
  p->Reset();
  p->SetInputChannelConnections(0, 2, true);
  p->SetOutputChannelConnections(0, 2, true);
  return p;
}

bool preview_set(Quillmar* plug, const std::string& name, double value) {
  int index = param_index(name.c_str());
  if (index < 0) {
    char* end = nullptr;
    const long i = std::strtol(name.c_str(), &end, 10);
    if (name.empty() || *end || i < 0 || i >= PARAM_COUNT) return false;
    index = static_cast<int>(i);
  }
  plug->GetParam(index)->Set(value);
  plug->OnParamChange(index);
  return true;
}

void preview_run(Quillmar* plug, preview_signal_t* sig, int frames, bool feed) {
  const double fs = plug->GetSampleRate();
  const int per_frame = static_cast<int>(fs / FRAME_RATE);
  std::vector<double> l(HOST_BLOCK), r(HOST_BLOCK), o0(HOST_BLOCK), o1(HOST_BLOCK);
  double* in[2] = {l.data(), r.data()};
  double* out[2] = {o0.data(), o1.data()};
  for (int f = 0; f < frames; ++f) {
    for (int done = 0; feed && done < per_frame; done += HOST_BLOCK) {
      const int n = std::min<int>(HOST_BLOCK, per_frame - done);
      for (int i = 0; i < n; ++i) {
        const double v = next_sample(sig, fs);
        l[i] = sig->place == preview_signal_t::RIGHT ? 0 : v;
        r[i] = sig->place == preview_signal_t::LEFT ? 0 : v;
      }
      plug->ProcessDoubleReplacing(in, out, n);
    }
    preview_frame(plug);
  }
}

void preview_frame(Quillmar* plug) { editor_tick(plug); }

bool preview_write_png(const inst_t* inst, const std::string& path, std::string* error) {
  RasterBitmap bitmap(inst->ui_w, inst->ui_h);
  convert_lrgb_to_srgb(bitmap.Pixels(), inst->fb, inst->ui_w * inst->ui_h, 0);
  return bitmap.SavePNG(path, false, error);
}
