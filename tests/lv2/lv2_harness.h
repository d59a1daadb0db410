// A small LV2 host for tests: one instance of a descriptor with every port connected to its
// own buffer, a URID map, the options' maximum block length, and a state store in memory; and
// the instance's editor UI as a host opens it.
#pragma once
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <string>
#include <vector>

typedef const LV2_Descriptor* (*lv2_descriptor_fn)(uint32_t);
typedef const LV2UI_Descriptor* (*lv2ui_descriptor_fn)(uint32_t);

struct lv2_uris_t {
  std::vector<std::string> uris;
  LV2_URID map(const char* uri);
};

struct lv2_features_t {
  bool urid_map = true;
  int max_block = 4096;  // 0: no options feature
  // The maximum block length's option record as a host may get it wrong (OPTION_ZERO: a
  // right record of the value 0).
  enum option_t { OPTION_RIGHT, OPTION_ZERO, OPTION_OTHER_KEY, OPTION_NOT_INT, OPTION_WRONG_SIZE, OPTION_NO_VALUE };
  option_t option = OPTION_RIGHT;
};

class lv2_host_t {
 public:
  enum { PARAMS = 29 };
  // kind: 0 stereo, 1 mono. The instance is null when the plug-in refused.
  lv2_host_t(lv2_descriptor_fn entry, int kind, double rate = 48000,
             lv2_features_t features = lv2_features_t());
  ~lv2_host_t();
  lv2_host_t(const lv2_host_t&) = delete;
  lv2_host_t& operator=(const lv2_host_t&) = delete;

  bool ok() const { return handle_ != nullptr; }
  LV2_Handle handle() const { return handle_; }
  const char* uri() const { return desc_->URI; }
  int channels() const { return channels_; }

  // Every port to its buffer (audio buffers of `frames` frames); the controls start as NaN,
  // which the plug-in ignores, until a test sets them.
  void connect_all(int frames = 4096);
  void connect(uint32_t port, void* data) { desc_->connect_port(handle_, port, data); }
  void activate() { desc_->activate(handle_); }
  void deactivate() { desc_->deactivate(handle_); }
  void run(uint32_t frames) { desc_->run(handle_, frames); }

  // The saved state's entries, and the status of the save.
  struct stored_t {
    uint32_t key, type, flags;
    std::vector<uint8_t> bytes;
  };
  LV2_State_Status save(std::vector<stored_t>* out);
  // Restores from entries (none: an empty store).
  LV2_State_Status restore(const std::vector<stored_t>& entries);
  // The state chunk alone: empty when the save stored none.
  std::vector<uint8_t> chunk();
  // A chunk entry for restore.
  stored_t chunk_entry(const std::vector<uint8_t>& bytes);
  // Copies the chunk's values into the control ports, rounded as a host's ports round them.
  void ports_from_chunk(const std::vector<uint8_t>& bytes);

  float control[PARAMS] = {};
  float latency = -1.0f;
  std::vector<float> in[2], out[2];
  lv2_uris_t uris;

 private:
  const LV2_Descriptor* desc_ = nullptr;
  const LV2_State_Interface* state_ = nullptr;
  LV2_Handle handle_ = nullptr;
  int channels_ = 2;
  LV2_URID_Map map_{};
  LV2_Feature map_feature_{};
  int32_t max_block_ = 0;
  std::vector<uint8_t> options_;  // LV2_Options_Option records
  LV2_Feature options_feature_{};
  std::vector<const LV2_Feature*> features_;
};

// The instance's editor UI: the host's instance through instance-access (unless told not to
// give it), embedded in the X window parent when given; its port writes, its touch gestures
// and the size it announces are recorded.
class lv2_ui_t {
 public:
  lv2_ui_t(lv2ui_descriptor_fn entry, const lv2_host_t& host, unsigned long parent = 0,
           bool instance_access = true, bool touch = true);
  ~lv2_ui_t();
  lv2_ui_t(const lv2_ui_t&) = delete;
  lv2_ui_t& operator=(const lv2_ui_t&) = delete;

  bool ok() const { return handle_ != nullptr; }
  int idle();
  int show();
  int hide();
  void port_event(uint32_t port, float value);
  void port_event(uint32_t port, uint32_t size, uint32_t format, const void* buffer);
  // Cleans the UI up now (the destructor does otherwise); what it recorded stays.
  void close();

  struct write_t {
    uint32_t port;
    float value;
  };
  struct touch_t {
    uint32_t port;
    bool grabbed;
  };
  void* widget = nullptr;
  std::vector<write_t> writes;
  std::vector<touch_t> touches;
  int width = 0, height = 0;  // as announced through ui:resize

 private:
  const LV2UI_Descriptor* desc_ = nullptr;
  LV2UI_Handle handle_ = nullptr;
  const LV2UI_Idle_Interface* idle_ = nullptr;
  const LV2UI_Show_Interface* show_ = nullptr;
  LV2UI_Touch touch_{};
  LV2UI_Resize resize_{};
  std::vector<LV2_Feature> feature_data_;
};
