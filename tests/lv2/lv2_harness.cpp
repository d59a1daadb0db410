#include "lv2_harness.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "hosts/lv2/quillmar_lv2.h"

namespace {

LV2_URID map_uri(LV2_URID_Map_Handle h, const char* uri) {
  return static_cast<lv2_uris_t*>(h)->map(uri);
}

LV2_State_Status store_entry(LV2_State_Handle h, uint32_t key, const void* value, size_t size,
                             uint32_t type, uint32_t flags) {
  auto* out = static_cast<std::vector<lv2_host_t::stored_t>*>(h);
  const uint8_t* b = static_cast<const uint8_t*>(value);
  out->push_back({key, type, flags, std::vector<uint8_t>(b, b + size)});
  return LV2_STATE_SUCCESS;
}

const void* retrieve_entry(LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type,
                           uint32_t* flags) {
  for (const lv2_host_t::stored_t& e : *static_cast<const std::vector<lv2_host_t::stored_t>*>(h)) {
    if (e.key != key) continue;
    *size = e.bytes.size();
    *type = e.type;
    *flags = e.flags;
    return e.bytes.data();
  }
  return nullptr;
}

}  // namespace

LV2_URID lv2_uris_t::map(const char* uri) {
  for (size_t i = 0; i < uris.size(); ++i)
    if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
  uris.push_back(uri);
  return static_cast<LV2_URID>(uris.size());
}

lv2_host_t::lv2_host_t(lv2_descriptor_fn entry, int kind, double rate, lv2_features_t f) {
  desc_ = entry(kind);
  if (!desc_) return;
  channels_ = kind == 1 ? 1 : 2;
  map_ = {&uris, map_uri};
  map_feature_ = {LV2_URID__map, &map_};
  if (f.urid_map) features_.push_back(&map_feature_);
  if (f.max_block != 0 || f.option != f.OPTION_RIGHT) {
    max_block_ = f.option == f.OPTION_ZERO ? 0 : f.max_block;
    LV2_Options_Option o[2] = {};
    o[0] = {LV2_OPTIONS_INSTANCE, 0,
            uris.map(f.option == f.OPTION_OTHER_KEY ? LV2_BUF_SIZE__minBlockLength : LV2_BUF_SIZE__maxBlockLength),
            f.option == f.OPTION_WRONG_SIZE ? uint32_t(sizeof(int64_t)) : uint32_t(sizeof(int32_t)),
            uris.map(f.option == f.OPTION_NOT_INT ? LV2_ATOM__Float : LV2_ATOM__Int),
            f.option == f.OPTION_NO_VALUE ? nullptr : &max_block_};
    options_.assign(reinterpret_cast<uint8_t*>(o), reinterpret_cast<uint8_t*>(o + 2));
    options_feature_ = {LV2_OPTIONS__options, options_.data()};
    features_.push_back(&options_feature_);
  }
  features_.push_back(nullptr);
  handle_ = desc_->instantiate(desc_, rate, "/nonexistent/", features_.data());
  if (desc_->extension_data)
    state_ = static_cast<const LV2_State_Interface*>(desc_->extension_data(LV2_STATE__interface));
}

lv2_host_t::~lv2_host_t() {
  if (handle_) desc_->cleanup(handle_);
}

void lv2_host_t::connect_all(int frames) {
  for (int i = 0; i < PARAMS; ++i) {
    control[i] = std::numeric_limits<float>::quiet_NaN();
    connect(i, &control[i]);
  }
  connect(PARAMS, &latency);
  for (int c = 0; c < channels_; ++c) {
    in[c].assign(frames, 0.0f);
    out[c].assign(frames, 0.0f);
    connect(PARAMS + 1 + c, in[c].data());
    connect(PARAMS + 1 + channels_ + c, out[c].data());
  }
}

LV2_State_Status lv2_host_t::save(std::vector<stored_t>* out) {
  return state_->save(handle_, store_entry, out, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE,
                      features_.data());
}

LV2_State_Status lv2_host_t::restore(const std::vector<stored_t>& entries) {
  return state_->restore(handle_, retrieve_entry, const_cast<std::vector<stored_t>*>(&entries), 0,
                         features_.data());
}

std::vector<uint8_t> lv2_host_t::chunk() {
  std::vector<stored_t> entries;
  save(&entries);
  return entries.empty() ? std::vector<uint8_t>() : entries[0].bytes;
}

lv2_host_t::stored_t lv2_host_t::chunk_entry(const std::vector<uint8_t>& bytes) {
  return {uris.map(QUILLMAR_LV2_CHUNK_URI), uris.map(LV2_ATOM__Chunk),
          LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, bytes};
}

void lv2_host_t::ports_from_chunk(const std::vector<uint8_t>& bytes) {
  for (int i = 0; i < PARAMS && (i + 1) * sizeof(double) <= bytes.size(); ++i) {
    double v;
    std::memcpy(&v, bytes.data() + i * sizeof(double), sizeof v);
    control[i] = static_cast<float>(v);
  }
}

lv2_ui_t::lv2_ui_t(lv2ui_descriptor_fn entry, const lv2_host_t& host, unsigned long parent,
                   bool instance_access, bool touch) {
  desc_ = entry(0);
  if (!desc_) return;
  touch_ = {this, [](LV2UI_Feature_Handle h, uint32_t port, bool grabbed) {
              static_cast<lv2_ui_t*>(h)->touches.push_back({port, grabbed});
            }};
  resize_ = {this, [](LV2UI_Feature_Handle h, int w, int ht) {
               auto* ui = static_cast<lv2_ui_t*>(h);
               ui->width = w;
               ui->height = ht;
               return 0;
             }};
  feature_data_ = {{LV2_UI__resize, &resize_}};
  if (touch) feature_data_.push_back({LV2_UI__touch, &touch_});
  if (instance_access) feature_data_.push_back({LV2_INSTANCE_ACCESS_URI, host.handle()});
  if (parent) feature_data_.push_back({LV2_UI__parent, reinterpret_cast<void*>(parent)});
  std::vector<const LV2_Feature*> features;
  for (const LV2_Feature& f : feature_data_) features.push_back(&f);
  features.push_back(nullptr);
  auto write = [](LV2UI_Controller c, uint32_t port, uint32_t size, uint32_t protocol,
                  const void* buffer) {
    if (protocol == 0 && size == sizeof(float))
      static_cast<lv2_ui_t*>(c)->writes.push_back({port, *static_cast<const float*>(buffer)});
  };
  handle_ = desc_->instantiate(desc_, host.uri(), "/nonexistent/", write, this, &widget,
                               features.data());
  idle_ = static_cast<const LV2UI_Idle_Interface*>(desc_->extension_data(LV2_UI__idleInterface));
  show_ = static_cast<const LV2UI_Show_Interface*>(desc_->extension_data(LV2_UI__showInterface));
}

lv2_ui_t::~lv2_ui_t() { close(); }

void lv2_ui_t::close() {
  if (handle_) desc_->cleanup(handle_);
  handle_ = nullptr;
}

int lv2_ui_t::idle() { return idle_->idle(handle_); }
int lv2_ui_t::show() { return show_->show(handle_); }
int lv2_ui_t::hide() { return show_->hide(handle_); }

void lv2_ui_t::port_event(uint32_t port, float value) { port_event(port, sizeof value, 0, &value); }

void lv2_ui_t::port_event(uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  desc_->port_event(handle_, port, size, format, buffer);
}
