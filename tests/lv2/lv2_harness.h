// A small LV2 host for tests: one instance of a descriptor with every port connected to its
// own buffer, a URID map, the options' maximum block length, and a state store in memory.
#pragma once
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <string>
#include <vector>

typedef const LV2_Descriptor* (*lv2_descriptor_fn)(uint32_t);

struct lv2_uris_t {
  std::vector<std::string> uris;
  LV2_URID map(const char* uri);
};

struct lv2_features_t {
  bool urid_map = true;
  int max_block = 4096;  // 0: no options feature
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
