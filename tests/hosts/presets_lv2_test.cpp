// The factory presets as an LV2 host loads them, through lilv, against `--preset` on the
// command line: the same names, and each preset leaves the plug-in with the same 29
// parameter values, as the state both save shows them.
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "cli_harness.h"
#include "hosts/lv2/quillmar_lv2.h"
#include "quillmar_version.h"

#ifdef __SANITIZE_ADDRESS__
// The leak checker misreads the thread-local storage of a dlopen'ed object on this glibc;
// without thread-local roots its check is only stricter.
extern "C" const char* __lsan_default_options() { return "use_tls=0"; }
#endif

namespace {

struct urids_t {
  std::map<std::string, LV2_URID> ids;
  static LV2_URID map(LV2_URID_Map_Handle h, const char* uri) {
    auto& ids = static_cast<urids_t*>(h)->ids;
    return ids.emplace(uri, static_cast<LV2_URID>(ids.size() + 1)).first->second;
  }
};

// Where lilv_state_restore puts a preset's port values: the host's control port buffers,
// each value converted from its atom type as hosts do.
struct host_ports_t {
  LilvWorld* world;
  const LilvPlugin* plugin;
  std::vector<float>* values;
  LV2_URID_Map* map;
};

void set_port_value(const char* symbol, void* data, const void* value, uint32_t size, uint32_t type) {
  auto* h = static_cast<host_ports_t*>(data);
  LilvNode* sym = lilv_new_string(h->world, symbol);
  const LilvPort* port = lilv_plugin_get_port_by_symbol(h->plugin, sym);
  lilv_node_free(sym);
  ASSERT_NE(port, nullptr) << symbol;
  auto is = [&](const char* uri) { return type == h->map->map(h->map->handle, uri); };
  float v;
  if (is(LV2_ATOM__Float) && size == 4) v = *static_cast<const float*>(value);
  else if (is(LV2_ATOM__Double) && size == 8) v = static_cast<float>(*static_cast<const double*>(value));
  else if (is(LV2_ATOM__Int) && size == 4) v = static_cast<float>(*static_cast<const int32_t*>(value));
  else if (is(LV2_ATOM__Long) && size == 8) v = static_cast<float>(*static_cast<const int64_t*>(value));
  else FAIL() << symbol << ": a value of a type hosts do not take";
  (*h->values)[lilv_port_get_index(h->plugin, port)] = v;
}

LV2_State_Status keep_chunk(LV2_State_Handle h, uint32_t, const void* value, size_t size, uint32_t,
                            uint32_t) {
  static_cast<std::string*>(h)->assign(static_cast<const char*>(value), size);
  return LV2_STATE_SUCCESS;
}

// The build's bundle alone, loaded as a host loads it.
class PresetsInLv2Hosts : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    setenv("QUILLMAR_CONFIG_DIR", path("config").c_str(), 1);  // for the plug-in loaded here
    world = lilv_world_new();
    lilv_world_load_bundle(world, node(lilv_new_file_uri(world, nullptr, QUILLMAR_LV2_BUNDLE "/")));
    plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), node(lilv_new_uri(world, QUILLMAR_LV2_STEREO_URI)));
    ASSERT_NE(plugin, nullptr);
  }
  void TearDown() override {
    for (LilvNode* n : nodes) lilv_node_free(n);
    lilv_world_free(world);
    CliTest::TearDown();
  }
  // A node freed with the world.
  LilvNode* node(LilvNode* n) {
    nodes.push_back(n);
    return n;
  }
  LilvNode* uri(const char* u) { return node(lilv_new_uri(world, u)); }

  LilvWorld* world = nullptr;
  const LilvPlugin* plugin = nullptr;
  std::vector<LilvNode*> nodes;
};

TEST_F(PresetsInLv2Hosts, TheBundleCarriesTheProgramsVersion) {
  for (const auto& [predicate, number] : {std::pair<const char*, int>{LV2_CORE__minorVersion, QUILLMAR_VERSION_MINOR},
                                          {LV2_CORE__microVersion, QUILLMAR_VERSION_PATCH}}) {
    LilvNodes* v = lilv_plugin_get_value(plugin, uri(predicate));
    ASSERT_NE(v, nullptr) << predicate;
    EXPECT_EQ(lilv_node_as_int(lilv_nodes_get_first(v)), number) << predicate;
    lilv_nodes_free(v);
  }
}

TEST_F(PresetsInLv2Hosts, LilvGivesEachPresetTheSameParametersAsThePresetOption) {
  LilvNode* preset_class = uri(LV2_PRESETS__Preset);
  LilvNode* label = uri(LILV_NS_RDFS "label");
  LilvNode* audio_class = uri(LV2_CORE__AudioPort);

  urids_t ids;
  LV2_URID_Map map = {&ids, urids_t::map};
  const LV2_Feature map_feature = {LV2_URID__map, &map};
  const LV2_Feature* features[] = {&map_feature, nullptr};
  const uint32_t nports = lilv_plugin_get_num_ports(plugin);
  std::vector<float> defaults(nports);
  lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());

  std::map<std::string, std::string> lilv_states;  // preset name -> the plug-in's state
  LilvNodes* presets = lilv_plugin_get_related(plugin, preset_class);
  LILV_FOREACH(nodes, i, presets) {
    const LilvNode* preset = lilv_nodes_get(presets, i);
    lilv_world_load_resource(world, preset);
    LilvNode* name = lilv_world_get(world, preset, label, nullptr);
    ASSERT_NE(name, nullptr) << lilv_node_as_uri(preset);
    // A new instance with its ports at their defaults, as a host starts one.
    std::vector<float> ports(nports, 0.0f), audio(64, 0.0f);
    LilvInstance* instance = lilv_plugin_instantiate(plugin, 44100, features);
    ASSERT_NE(instance, nullptr);
    for (uint32_t p = 0; p < nports; ++p) {
      const bool is_audio = lilv_port_is_a(plugin, lilv_plugin_get_port_by_index(plugin, p), audio_class);
      if (!is_audio && defaults[p] == defaults[p]) ports[p] = defaults[p];
      lilv_instance_connect_port(instance, p, is_audio ? audio.data() : &ports[p]);
    }
    lilv_instance_activate(instance);
    LilvState* state = lilv_state_new_from_world(world, &map, preset);
    ASSERT_NE(state, nullptr);
    host_ports_t host = {world, plugin, &ports, &map};
    lilv_state_restore(state, instance, set_port_value, &host, 0, features);
    lilv_instance_run(instance, 64);
    const auto* iface = static_cast<const LV2_State_Interface*>(
        lilv_instance_get_extension_data(instance, LV2_STATE__interface));
    std::string chunk;
    ASSERT_EQ(iface->save(lilv_instance_get_handle(instance), keep_chunk, &chunk, LV2_STATE_IS_POD, features),
              LV2_STATE_SUCCESS);
    lilv_states[lilv_node_as_string(name)] = chunk;
    lilv_state_free(state);
    lilv_instance_deactivate(instance);
    lilv_instance_free(instance);
    lilv_node_free(name);
  }
  lilv_nodes_free(presets);

  std::vector<std::string> names;
  std::istringstream listed(run({"presets"}).out);
  for (std::string n; std::getline(listed, n);) names.push_back(n);
  ASSERT_GE(names.size(), 8u);
  ASSERT_EQ(lilv_states.size(), names.size());
  write_wav("in.wav", {std::vector<float>(100, 0.0f)});
  for (const std::string& n : names) {
    ASSERT_EQ(run({"render", "in.wav", "o.wav", "--preset", n, "--save-state", "s.state"}).status, 0) << n;
    ASSERT_EQ(bytes("s.state").size(), 232u);
    EXPECT_EQ(lilv_states[n], bytes("s.state")) << n;
  }
}

}  // namespace
