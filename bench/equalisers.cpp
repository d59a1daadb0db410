// Quillmar against the equalisers Linux users already run, through the same LV2 interface: a
// small host of ours loads each plug-in with lilv (our bundle from the build, the others from
// the system's LV2 path), connects every port (audio to float buffers of noise, controls to
// their defaults or the setting named below, atom ports to empty sequences), activates it and
// times run() in calls of 64, 256 and 1024 frames of stereo at 44.1 kHz. Each figure is the CPU
// time of one second of audio; the latency each reports is printed beside it.
//
// The others: LSP's parametric equaliser (lsp-plugins-lv2, x16 stereo, its defaults) in its
// FIR and IIR modes, and x42's fil4 (x42-plugins, stereo, its defaults). A plug-in that is not
// installed is skipped with a message.
#include <benchmark/benchmark.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

const double kRate = 44100;
const int kMaxBlock = 1024;
const int kAtomBytes = 65536;

struct equaliser_t {
  const char* name;
  const char* uri;
  std::map<std::string, float> settings;  // control ports set away from their defaults
};

const equaliser_t kEqualisers[] = {
    {"quillmar", "urn:merrowind:quillmar:stereo", {}},
    {"lsp_para_x16_fir", "http://lsp-plug.in/plugins/lv2/para_equalizer_x16_stereo", {{"mode", 1}}},
    {"lsp_para_x16_iir", "http://lsp-plug.in/plugins/lv2/para_equalizer_x16_stereo", {{"mode", 0}}},
    {"x42_fil4", "http://gareus.org/oss/lv2/fil4#stereo", {}},
};

// The URID map every plug-in here asks for.
struct urid_map_t {
  std::map<std::string, LV2_URID> ids;
  LV2_URID_Map map{this, [](LV2_URID_Map_Handle h, const char* uri) {
                     auto* self = static_cast<urid_map_t*>(h);
                     auto it = self->ids.find(uri);
                     if (it != self->ids.end()) return it->second;
                     const LV2_URID id = static_cast<LV2_URID>(self->ids.size() + 1);
                     self->ids.emplace(uri, id);
                     return id;
                   }};
  LV2_URID id(const char* uri) { return map.map(this, uri); }
};

LilvWorld* world() {
  static LilvWorld* w = [] {
    // Our bundle from the build first, then the system's plug-ins.
    const std::string path = std::string(QUILLMAR_LV2_DIR) + ":/usr/lib/lv2:/usr/local/lib/lv2";
    setenv("LV2_PATH", path.c_str(), 1);
    setenv("QUILLMAR_CONFIG_DIR", "/tmp/quillmar-bench-equalisers", 1);
    LilvWorld* lw = lilv_world_new();
    lilv_world_load_all(lw);
    return lw;
  }();
  return w;
}

// One plug-in instance with every port connected.
struct instance_t {
  urid_map_t urids;
  int32_t min_block = 1, max_block = kMaxBlock;
  float rate = static_cast<float>(kRate);
  std::vector<LV2_Options_Option> options;
  LV2_Feature map_feature{LV2_URID__map, &urids.map};
  LV2_Feature options_feature{LV2_OPTIONS__options, nullptr};
  LilvInstance* inst = nullptr;
  std::vector<std::vector<float>> audio_in, audio_out;
  std::vector<float> controls;
  std::vector<std::vector<uint8_t>> atoms;
  std::vector<bool> atom_out;
  int latency_port = -1;
  std::string error;

  instance_t(const equaliser_t& eq) {
    LilvWorld* w = world();
    LilvNode* uri = lilv_new_uri(w, eq.uri);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(w), uri);
    lilv_node_free(uri);
    if (!plugin) {
      error = std::string("not installed: ") + eq.uri;
      return;
    }
    const LV2_URID int_type = urids.id(LV2_ATOM__Int), float_type = urids.id(LV2_ATOM__Float);
    options = {
        {LV2_OPTIONS_INSTANCE, 0, urids.id(LV2_BUF_SIZE__minBlockLength), sizeof(int32_t), int_type, &min_block},
        {LV2_OPTIONS_INSTANCE, 0, urids.id(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), int_type, &max_block},
        {LV2_OPTIONS_INSTANCE, 0, urids.id(LV2_CORE__sampleRate), sizeof(float), float_type, &rate},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    options_feature.data = options.data();
    const LV2_Feature* features[] = {&map_feature, &options_feature, nullptr};
    inst = lilv_plugin_instantiate(plugin, kRate, features);
    if (!inst) {
      error = std::string("cannot instantiate ") + eq.uri;
      return;
    }
    LilvNode* audio = lilv_new_uri(w, LV2_CORE__AudioPort);
    LilvNode* control = lilv_new_uri(w, LV2_CORE__ControlPort);
    LilvNode* input = lilv_new_uri(w, LV2_CORE__InputPort);
    LilvNode* atom = lilv_new_uri(w, LV2_ATOM__AtomPort);
    LilvNode* reports = lilv_new_uri(w, LV2_CORE__reportsLatency);
    const uint32_t n = lilv_plugin_get_num_ports(plugin);
    std::vector<float> defaults(n, 0.0f);
    lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
    controls.assign(n, 0.0f);
    atoms.resize(n);
    atom_out.assign(n, false);
    std::mt19937 rng(1);
    std::normal_distribution<float> noise(0.0f, 0.1f);
    for (uint32_t i = 0; i < n; ++i) {
      const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
      const bool in = lilv_port_is_a(plugin, port, input);
      if (lilv_port_is_a(plugin, port, audio)) {
        std::vector<float> buf(kMaxBlock, 0.0f);
        if (in)
          for (float& x : buf) x = noise(rng);
        auto& list = in ? audio_in : audio_out;
        list.push_back(std::move(buf));  // moving a vector keeps its storage where it was
        lilv_instance_connect_port(inst, i, list.back().data());
      } else if (lilv_port_is_a(plugin, port, control)) {
        const char* symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
        auto set = eq.settings.find(symbol);
        controls[i] = set != eq.settings.end() ? set->second : std::isnan(defaults[i]) ? 0.0f : defaults[i];
        if (!in && lilv_port_has_property(plugin, port, reports)) latency_port = static_cast<int>(i);
        lilv_instance_connect_port(inst, i, &controls[i]);
      } else if (lilv_port_is_a(plugin, port, atom)) {
        // An empty sequence in, room for one out.
        atoms[i].assign(kAtomBytes, 0);
        atom_out[i] = !in;
        auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(atoms[i].data());
        seq->atom.type = urids.id(LV2_ATOM__Sequence);
        seq->atom.size = in ? sizeof(LV2_Atom_Sequence_Body) : kAtomBytes - sizeof(LV2_Atom);
        lilv_instance_connect_port(inst, i, atoms[i].data());
      } else {
        lilv_instance_connect_port(inst, i, nullptr);
      }
    }
    for (LilvNode* node : {audio, control, input, atom, reports}) lilv_node_free(node);
    lilv_instance_activate(inst);
  }
  ~instance_t() {
    if (inst) {
      lilv_instance_deactivate(inst);
      lilv_instance_free(inst);
    }
  }
  // Output sequences get their whole room back before each call, as a host does.
  void run(int frames) {
    for (size_t i = 0; i < atoms.size(); ++i)
      if (atom_out[i]) reinterpret_cast<LV2_Atom*>(atoms[i].data())->size = kAtomBytes - sizeof(LV2_Atom);
    lilv_instance_run(inst, frames);
  }
  double latency() const { return latency_port >= 0 ? controls[latency_port] : 0.0; }
};

void BM_equaliser(benchmark::State& state) {
  const equaliser_t& eq = kEqualisers[state.range(0)];
  const int frames = static_cast<int>(state.range(1));
  instance_t h(eq);
  if (!h.inst) return state.SkipWithError(h.error.c_str());
  if (h.audio_in.size() != 2 || h.audio_out.size() != 2) return state.SkipWithError("not stereo");
  // Settle: a second of audio before timing (sizes, first designs, latency reports).
  for (int done = 0; done < kRate; done += frames) h.run(frames);
  const int calls = static_cast<int>(std::ceil(kRate / frames));
  for (auto _ : state)
    for (int c = 0; c < calls; ++c) h.run(frames);  // one second of audio per iteration
  state.counters["latency"] = h.latency();
  state.counters["x_realtime"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.SetLabel(eq.name);
}

void cases(benchmark::internal::Benchmark* b) {
  for (int e = 0; e < static_cast<int>(sizeof kEqualisers / sizeof kEqualisers[0]); ++e)
    for (int frames : {64, 256, 1024}) b->Args({e, frames});
  b->ArgNames({"equaliser", "frames"});
}

BENCHMARK(BM_equaliser)->Apply(cases)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
