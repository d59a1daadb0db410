#include "hosts/cli/session.h"

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>

#include "engine/engine.h"
#include "engine/fft.h"
#include "engine/inst.h"
#include "engine/params.h"
#include "hosts/cli/audio_file.h"
#include "hosts/cli/factory_presets.h"
#include "hosts/cli/options.h"
#include "plugin/Quillmar.h"
#include "plugin/io.h"
#include "plugin/params.h"
#include "plugin/presets.h"
#include "toolkit/util/memory.h"

void plug_deleter::operator()(Quillmar* p) const { delete p; }

bool parse_set(const std::string& arg, int* index, double* value, cli_error* err,
               const std::string& where) {
  const size_t eq = arg.rfind('=');
  if (eq == std::string::npos || eq == 0) {
    *err = {where + arg + ": expected NAME=VALUE", 2};
    return false;
  }
  const std::string name = arg.substr(0, eq), text = arg.substr(eq + 1);
  int found = param_index(name.c_str());
  if (found < 0) found = param_index_by_symbol(name.c_str());
  if (found < 0) {  // mutate: skip relational constant (no name or symbol is all digits: tried at 0 too, the index finds the same)
    char* end = nullptr;
    const long i = std::strtol(name.c_str(), &end, 10);
    if (*end == '\0' && i >= 0 && i < PARAM_COUNT) found = static_cast<int>(i);
  }
  if (found < 0) {
    *err = {where + arg + ": no parameter is called \"" + name + "\" (see quillmar info)", 2};
    return false;
  }
  if (!parse_decimal(text, value)) {
    *err = {where + arg + ": \"" + text + "\" is not a number", 2};
    return false;
  }
  *index = found;
  return true;
}

bool settings_from_args(const parsed_args_t& args, settings_t* s) {
  s->sets = args.all("--set");
  s->state_file = args.last("--state");
  s->preset = args.last("--preset");
  return args.double_value("--rate", 1000, 3000000, &s->rate);
}

plug_ptr make_session(const settings_t& s, cli_error* err) {
  // Settings are checked before the instance is built, so bad arguments cost nothing.
  std::vector<std::pair<int, double>> sets;
  for (const std::string& a : s.sets) {
    int i;
    double v;
    if (!parse_set(a, &i, &v, err)) return nullptr;
    sets.emplace_back(i, v);
  }
  std::vector<unsigned char> state;
  if (!s.state_file.empty()) {
    std::string msg;
    if (!read_file(s.state_file, &state, &msg)) {
      *err = {msg, 1};
      return nullptr;
    }
    if (state.size() != PARAM_COUNT * sizeof(double)) {
      *err = {s.state_file + ": not a Quillmar state (" + std::to_string(state.size()) +
                  " bytes; a state is " + std::to_string(PARAM_COUNT * sizeof(double)) + ")",
              1};
      return nullptr;
    }
  }
  preset_t preset;
  if (!s.preset.empty() && !find_factory_preset(s.preset, &preset, err)) return nullptr;
  plug_ptr plug(MakePlug());
  if (!plug) {
    *err = {"no instance slot is free", 1};
    return nullptr;
  }
  if (s.rate > 0) {
    plug->SetSampleRate(s.rate);
    plug->Reset();
  }
  if (!state.empty()) {
    ByteChunk chunk;
    chunk.PutBytes(state.data(), static_cast<int>(state.size()));
    plug->UnserializeState(&chunk, 0);
  }
  if (!s.preset.empty())
    for (int i = 0; i < PRESET_PARAMS; ++i) apply_setting(plug.get(), i, preset.values[i]);
  for (const auto& [index, value] : sets) apply_setting(plug.get(), index, value);
  plug->ServePendingChanges();
  return plug;
}

bool remember_interface_size(int size, cli_error* err) {
  plug_ptr plug(MakePlug());
  if (!plug || path_prefs().empty()) {
    *err = {plug ? "no settings folder to keep the interface size in (HOME is not set)" : "no instance slot is free", 1};
    return false;
  }
  plug->GetParam(PARAM_INTERFACE_SIZE)->Set(size);
  plug->OnParamChange(PARAM_INTERFACE_SIZE);
  plug->save_prefs();
  return true;
}

void apply_setting(Quillmar* plug, int index, double value, const std::string& where) {
  IParam* p = plug->GetParam(index);
  const double v = std::fmin(std::fmax(value, p->GetMin()), p->GetMax());
  if (v != value)
    std::fprintf(stderr, "quillmar: %s%s = %g is outside %g .. %g; using %g\n", where.c_str(),
                 p->GetNameForHost(), value, p->GetMin(), p->GetMax(), v);
  p->Set(v);
  plug->OnParamChange(index);
}

std::vector<double> log_frequencies(int n) {
  std::vector<double> f(n);
  for (int i = 0; i < n; ++i) f[i] = n == 1 ? 20.0 : 20.0 * std::pow(1000.0, double(i) / (n - 1));
  return f;
}

std::vector<double> kernel_response_db(Quillmar* plug, const std::vector<double>& freqs) {
  const engine_t& e = plug->Engine();
  const int n = e.fft_size;
  // The unitary inverse of the kernel spectrum, scaled by 1 / sqrt(N), is the impulse
  // response the convolution applies; its transform at any frequency is the gain there.
  gc_list_t* owner = gc_list_create();
  fft_plan_t* plan = fft_plan_init(owner, n);
  std::vector<double> spec(e.active_kernel, e.active_kernel + n), h(n);
  fftp(spec.data(), h.data(), n, 1, plan);
  gc_cleanup(owner);
  const double fs = plug->GetSampleRate(), scale = 1.0 / std::sqrt(double(n));
  std::vector<double> db;
  for (double f : freqs) {
    const std::complex<double> step = std::polar(1.0, -2.0 * M_PI * f / fs);
    std::complex<double> z, sum;  // z is set at i = 0
    for (int i = 0; i < n; ++i, z *= step) {
      if (i % 256 == 0) z = std::polar(1.0, -2.0 * M_PI * f / fs * i);  // keep z on the circle
      sum += h[i] * z;
    }
    db.push_back(20.0 * std::log10(std::max(std::abs(sum) * scale, 1e-30)));
  }
  return db;
}

std::vector<unsigned char> save_state(Quillmar* plug) {
  ByteChunk chunk;
  plug->SerializeState(&chunk);
  return std::vector<unsigned char>(chunk.GetBytes(), chunk.GetBytes() + chunk.Size());
}
