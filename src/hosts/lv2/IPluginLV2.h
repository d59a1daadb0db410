// The LV2 host adapter: the plug-in's ports, its processing and its saved state as an LV2 host
// sees them. The plug-in class derives from it in the LV2 build; the LV2 entry points (the
// plug-in's descriptors) create the instance and call the operations below, and the LV2
// handle a host holds is this object, so an editor in the same process can reach it.
//
// Ports: port i (0 .. NParams() - 1) is the control input of parameter i, then comes the
// latency output, then the audio inputs, then the audio outputs (one or two of each).
//
// Threads, as LV2 classes them: InitLV2, Activate and RestoreState run on the
// host's instantiation thread and never alongside Run; ConnectPort and Run run on the audio
// thread; SaveState may run on any thread, also while Run runs. The editor's UI (lv2_ui.cpp)
// calls the UI operations below on the host's UI thread, the thread the editor's window and
// its graphics context live on.
#pragma once
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "framework/IPluginBase.h"

class IPluginLV2 : public IPluginBase {
 public:
  enum {
    kDefaultMaxBlock = 4096,  // frames per scratch buffer when the host names none
    kMaxAudioPorts = 2,       // per direction: mono or stereo
  };

  IPluginLV2(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
             const char* productName, const char* mfrName, int vendorVersion, int uniqueID,
             int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst);

  // ---- port layout ----
  static uint32_t LatencyPort(int nParams) { return static_cast<uint32_t>(nParams); }
  static uint32_t AudioInPort(int nParams, int ch) { return nParams + 1 + ch; }
  static uint32_t AudioOutPort(int nParams, int channels, int ch) {
    return nParams + 1 + channels + ch;
  }

  // ---- LV2 plug-in interface ----
  // Once, right after construction at the host's sample rate: the channel count of the
  // plug-in the host chose (1 or 2), the host's features (urid:map for the saved state, the
  // options' maximum block length), and the URI under which the state chunk is stored.
  void InitLV2(int channels, const LV2_Feature* const* features, const char* chunkKeyURI);
  // A port outside the layout is ignored; a null pointer disconnects the port.
  void ConnectPort(uint32_t port, void* data);
  // Applies the control ports as they are now, waiting for the plug-in's lock.
  void Activate();
  // Any number of frames, 0 included. Never allocates and never waits: control ports that
  // changed are applied under the plug-in's lock only when it is free at once (otherwise at
  // the next call); then the audio goes through the processing frame, and the latency in
  // effect is written to the latency port. An unconnected input is silence, an unconnected
  // output is not written, an unconnected control port leaves its parameter alone.
  // A port value changes its parameter only when it changed since Run last saw it and differs
  // from the parameter's value in single precision: an edit made in the editor stands until
  // the host's port follows it (through the UI), and ports never round exact values away. A
  // port whose parameter the editor holds in a gesture is not applied; a band switch is on
  // above 0 (lv2:toggled); a port's first value after construction is not applied when it is
  // the declared default (a new instance keeps the user's preferred settings).
  void Run(uint32_t nFrames);
  // The state chunk (every parameter exactly, as doubles) under the chunk key as an
  // atom:Chunk. Without urid:map there is no saved state (LV2_STATE_ERR_NO_FEATURE).
  LV2_State_Status SaveState(LV2_State_Store_Function store, LV2_State_Handle handle);
  // Restores the chunk, after which the control ports count as unseen: each is applied at the
  // next Run unless it equals its parameter's value rounded to single precision, so the
  // ports a host restores beside the chunk never round the chunk's values. No chunk: the
  // parameters follow the ports the host restores. A chunk of another type is ignored
  // (LV2_STATE_ERR_BAD_TYPE). A chunk of the wrong size restores the whole values it holds
  // (of a longer one, the first NParams()), leaves the rest, says so on standard error and
  // answers LV2_STATE_ERR_UNKNOWN.
  LV2_State_Status RestoreState(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

  int Channels() const { return mChannels; }

  // ---- the editor's UI, on the host's UI thread ----
  // At UI instantiate: the editor's changes go to the host through write (the control ports)
  // and touch (gestures; null when the host has none) until DetachUI. False when another UI
  // has the editor already.
  bool AttachUI(LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch);
  // At UI cleanup: gestures still open end, and nothing more goes to the host.
  void DetachUI();
  // At each UI idle: after a program change, writes the control port of every parameter that
  // changed since the host last learned its value (a parameter whose change comes from the
  // host's port is left to it); and the ports a new instance did not take its values from.
  void WriteChangedPorts();
  // The UI's port_event: a control port's value, as the host has it, shown on the controls
  // (not while the editor holds that parameter in a gesture, nor a declared default the
  // instance did not take). Anything else is ignored.
  void ShowPortValue(uint32_t port, float value);

  // ---- host operations ----
  // An LV2 plug-in cannot write its input ports: the editor's UI, when one is attached, tells
  // the host through its port writes. Begin/Inform/End come from the editor (UI thread), with
  // or without a UI; InformHostOfProgramChange from the audio thread (or the editor's, when
  // it serves a redesign itself) only raises a flag for the UI's next idle.
  void BeginInformHostOfParamChange(int paramIdx) override;
  void InformHostOfParamChange(int paramIdx, double normalizedValue) override;
  void EndInformHostOfParamChange(int paramIdx) override;
  void InformHostOfProgramChange() override;
  bool IsRenderingOffline() override { return false; }
  double GetSamplePos() override { return 0.0; }
  double GetTempo() override { return 0.0; }
  void GetTimeSig(int* pNumerator, int* pDenominator) override;
  void GetTime(ITimeInfo* pTimeInfo) override;
  EHost GetHost() override { return kHostUnknown; }
  EAPI GetAPI() override { return kAPILV2; }
  void ResizeGraphics(int, int) override {}
  void HostSpecificInit() override {}
  bool SendMidiMsg(IMidiMsg*) override { return false; }
  bool SendSysEx(ISysEx*) override { return false; }

 private:
  // Applies the control ports that changed since they were last seen. Blocking: waits for the
  // lock (not on the audio thread); otherwise gives up when the lock is taken.
  void ApplyControlPorts(bool blocking);
  void ApplyPort(int i, float v);
  // A port value in parameter units: clamped to the range, a band switch on above 0.
  double PortToValue(int i, float v) const;
  void Unsee();
  void WritePort(int i);
  bool IsParam(int i) const { return i >= 0 && i < NParams(); }

  int mChannels = 0;
  std::vector<const float*> mControls;  // one per parameter
  std::vector<float> mSeen;             // the port value last applied; NaN: not seen yet
  bool mFirstSync = true;               // no port applied since construction
  float* mLatencyPort = nullptr;
  float* mAudioIn[kMaxAudioPorts] = {};
  float* mAudioOut[kMaxAudioPorts] = {};
  LV2_URID mChunkKey = 0;
  LV2_URID mAtomChunk = 0;

  // Per parameter, set and read on any thread: the editor holds it in a gesture; its port's
  // first value was the declared default and was not applied (the host learns the value in
  // use at the UI's first idle).
  struct Flags {
    std::atomic<bool> grabbed{false}, kept{false};
  };
  std::unique_ptr<Flags[]> mFlags;
  std::atomic<bool> mProgramChanged{false};
  // The attached UI's callbacks, and each parameter's value as the host last learned it from
  // the UI (UI thread).
  struct UILink {
    LV2UI_Write_Function write = nullptr;
    LV2UI_Controller controller = nullptr;
    const LV2UI_Touch* touch = nullptr;
  } mUI;
  std::vector<double> mReported;
};

// The data of a feature in a host's null-terminated list, or null.
const void* lv2_feature(const LV2_Feature* const* features, const char* uri);
