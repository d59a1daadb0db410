// The LV2 entry points: the stereo and the mono plug-in's descriptors. Every call goes to the
// instance's adapter; the stream is (re)started and pending re-sizing served at activation (on
// the host's instantiation thread), so that the first call of the audio thread has nothing to
// design.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "engine/inst.h"
#include "framework/x11/IGraphicsX11.h"
#include "hosts/lv2/IPluginLV2.h"
#include "hosts/lv2/quillmar_lv2.h"
#include "plugin/Quillmar.h"

namespace {

constexpr int kKinds = sizeof kQuillmarLV2Kinds / sizeof kQuillmarLV2Kinds[0];

Quillmar* Plug(LV2_Handle h) { return static_cast<Quillmar*>(static_cast<IPluginLV2*>(h)); }

// Every instance's editor can open a window when the host shows its UI. Making the context
// connects to no display, so hosts without one run the plug-in all the same.
void UseX11Editors() {
  static std::once_flag once;
  std::call_once(once, [] { SetGraphicsFactory(MakeGraphicsX11); });
}

LV2_Handle Instantiate(const LV2_Descriptor* descriptor, double rate, const char*,
                       const LV2_Feature* const* features) {
  if (!(rate > 0.0) || !std::isfinite(rate)) {
    std::fprintf(stderr, "Quillmar: cannot run at a sample rate of %g Hz\n", rate);
    return nullptr;
  }
  int channels = 2;  // mutate: skip (every descriptor that reaches here is a kind of ours, which sets it)
  for (const quillmar_lv2_kind_t& k : kQuillmarLV2Kinds)
    if (descriptor && !std::strcmp(descriptor->URI, k.uri)) channels = k.channels;
  UseX11Editors();
  Quillmar* plug = MakePlug(rate);
  if (!plug) {
    std::fprintf(stderr, "Quillmar: all %d instances of this process are in use\n",
                 int(MAX_INSTANCES));
    return nullptr;
  }
  plug->InitLV2(channels, features, QUILLMAR_LV2_CHUNK_URI);
  return static_cast<IPluginLV2*>(plug);
}

void ConnectPort(LV2_Handle h, uint32_t port, void* data) { Plug(h)->ConnectPort(port, data); }

void Activate(LV2_Handle h) {
  Quillmar* plug = Plug(h);
  plug->Activate();
  // Every activation starts the stream clean: nothing from before it is heard.
  plug->Inst()->bufs_dirty = 1;
  plug->ServePendingChanges();
}

void Run(LV2_Handle h, uint32_t nFrames) { Plug(h)->Run(nFrames); }
// Nothing to stop: the next activation starts the stream clean.
void Deactivate(LV2_Handle) {}
void Cleanup(LV2_Handle h) { delete Plug(h); }

LV2_State_Status Save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle,
                      uint32_t, const LV2_Feature* const*) {
  return Plug(h)->SaveState(store, handle);
}

LV2_State_Status Restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle handle, uint32_t, const LV2_Feature* const*) {
  Quillmar* plug = Plug(h);
  const LV2_State_Status status = plug->RestoreState(retrieve, handle);
  plug->ServePendingChanges();
  return status;
}

const void* ExtensionData(const char* uri) {
  static const LV2_State_Interface state = {Save, Restore};
  if (uri && !std::strcmp(uri, LV2_STATE__interface)) return &state;
  return nullptr;
}

const LV2_Descriptor kDescriptors[kKinds] = {
    {kQuillmarLV2Kinds[0].uri, Instantiate, ConnectPort, Activate, Run, Deactivate, Cleanup,
     ExtensionData},
    {kQuillmarLV2Kinds[1].uri, Instantiate, ConnectPort, Activate, Run, Deactivate, Cleanup,
     ExtensionData},
};

}  // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index < static_cast<uint32_t>(kKinds) ? &kDescriptors[index] : nullptr;
}
