// The Audio Unit adapter: the plug-in as an Audio Unit. A host opens it either through the
// AudioComponent API, which calls the bundle's factory function (Quillmar_Factory, which
// returns NewPlugInInterface) and then the interface's methods, or through the Component
// Manager, which calls the entry point (Quillmar_Entry, which forwards to Dispatch) for every
// selector. Both reach Dispatch; the adapter answers properties, parameters, state and
// rendering through the framework, and tells the host about parameter gestures, latency and
// program changes.
//
// Threads and moments, as hosts call them:
// - Dispatch: open, close, initialize, properties, listeners and parameters on the host's main
//   thread; properties that change buses, connections or the block size only while the unit is
//   not rendering. Parameters (also through the fast-dispatch procedures and scheduled events)
//   may come from any thread, the render thread included: they take the framework lock, and the
//   editor's controls learn of them on the main thread (at once, or at its next call there).
// - Render (selector and fast-dispatch procedure): the host's render thread. Nothing on it
//   allocates, frees, locks or prints.
// - Begin/Inform/EndInformHostOfParamChange: the editor's main thread, during a knob gesture.
// - InformHostOfProgramChange and SetLatency: the audio thread (the engine writes bands back and
//   re-sizes there) or the main thread (construction, the editor's idle service).
#pragma once
#include <cstdint>
#include <memory>

#include "framework/IPluginBase.h"

struct AudioComponentPlugInInterface;
struct ComponentParameters;

class IPluginAU : public IPluginBase {
 public:
  IPluginAU(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
            const char* productName, const char* mfrName, int vendorVersion, int uniqueID,
            int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst);
  ~IPluginAU() override;

  void BeginInformHostOfParamChange(int paramIdx) override;
  void InformHostOfParamChange(int paramIdx, double normalizedValue) override;
  void EndInformHostOfParamChange(int paramIdx) override;
  // Calls the listeners of the PresentPreset property: many parameters changed at once.
  void InformHostOfProgramChange() override;
  bool IsRenderingOffline() override;
  double GetSamplePos() override;
  double GetTempo() override;
  void GetTimeSig(int* pNumerator, int* pDenominator) override;
  // From the host's callbacks; what the host does not supply stays 0.
  void GetTime(ITimeInfo* pTimeInfo) override;
  EHost GetHost() override { return GetIdentifiedHost(); }
  EAPI GetAPI() override { return kAPIAU; }
  void ResizeGraphics(int, int) override {}
  // Records the host's main thread (the one opening the unit).
  void HostSpecificInit() override;
  // Main thread, from the editor's timer: shows on the editor what the host set elsewhere.
  void OnIdle() override;
  // Stores the latency, then calls the listeners of the Latency property, so that a listener
  // reading the property gets the new value.
  void SetLatency(int samples) override;
  bool SendMidiMsg(IMidiMsg*) override { return false; }
  bool SendSysEx(ISysEx*) override { return false; }
  // The framework's block size and the adapter's scratch memory for pulled input and for output
  // buffers the host leaves to the unit.
  void SetBlockSize(int blockSize) override;

  // The component entry: one selector. makePlug builds the plug-in when the host opens the
  // component; storage is the instance storage (the plug-in) for every other selector.
  static int32_t Dispatch(ComponentParameters* params, void* storage, IPluginAU* (*makePlug)());
  // A new plug-in interface, one per unit instance (the factory's answer): its Open builds the
  // plug-in with makePlug, its Lookup gives a method for each selector the unit serves (each
  // forwarding to Dispatch), and its Close destroys the plug-in and the interface.
  static AudioComponentPlugInInterface* NewPlugInInterface(IPluginAU* (*makePlug)());

  // What the last input assessment found for an input bus: 0 not connected, 1 an upstream unit
  // with a fast render procedure, 2 one rendered through AudioUnitRender, 3 a render callback;
  // -1 for a bus that does not exist. The trace word of each type is InputTypeName.
  int InputType(int bus) const;
  static const char* InputTypeName(int type);

  struct State;  // the Audio Unit records (IPluginAU_State.h)
  State& AU() { return *mAU; }

 private:
  std::unique_ptr<State> mAU;
};
