// The records the Audio Unit adapter adds to the plug-in, and the operations its source files
// share. Only the adapter's own sources include this header (it brings in Apple's API).
#pragma once
#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>
#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "hosts/au/IPluginAU.h"

enum { kAUMaxChannels = IPluginBase::kMaxChannels, kAUDefaultBlockSize = 4096 };

// A property of this unit's own (Apple leaves IDs from 64000 to units): the plug-in behind the
// unit, read in global scope, so that its view finds it through the unit whichever way the
// unit was opened.
enum : AudioUnitPropertyID { kAUPlugInProperty = 64000 };

// Input types of an input bus, as AssessInputConnections finds them.
enum EAUInputType {
  eNotConnected = 0,
  eDirectFastProc = 1,
  eDirectNoFastProc = 2,
  eRenderCallback = 3,
};

struct BusChannels {
  bool mConnected = false;
  int mPlugChannelStartIdx = 0;
  int mNHostChannels = -1;  // -1 until the host sets a stream format
  int mNPlugChannels = 0;
  // Channels currently marked connected for the host (output buses; -1 until the first render).
  int mNConnected = -1;
  int Channels() const { return mNHostChannels >= 0 ? mNHostChannels : mNPlugChannels; }
};

struct InputBusConnection {
  AudioUnit mUpstreamUnit = nullptr;
  int mUpstreamBusIdx = 0;
  void* mUpstreamStorage = nullptr;
  AudioUnitRenderProc mUpstreamRenderProc = nullptr;
  AURenderCallbackStruct mCallback = {nullptr, nullptr};
  EAUInputType mInputType = eNotConnected;
};

// A fixed table of callbacks read by the render thread while the main thread may add or remove
// entries: a slot is published by storing its procedure last, and never moves.
template <class Proc>
struct CallbackSlots {
  enum { kCapacity = 64 };
  struct Slot {
    std::atomic<Proc> mProc{nullptr};
    UInt32 mID = 0;
    void* mRefCon = nullptr;
  };

  // False when the table is full. Adding an entry that is already there changes nothing.
  bool Add(UInt32 id, Proc proc, void* refCon) {
    for (Slot& s : mSlots)
      if (s.mProc.load() == proc && s.mID == id && s.mRefCon == refCon) return true;
    for (Slot& s : mSlots) {
      if (s.mProc.load()) continue;
      s.mID = id;
      s.mRefCon = refCon;
      s.mProc.store(proc, std::memory_order_release);
      return true;
    }
    return false;
  }
  void Remove(UInt32 id, Proc proc, void* refCon, bool anyRefCon) {
    for (Slot& s : mSlots)
      if (s.mProc.load() == proc && s.mID == id && (anyRefCon || s.mRefCon == refCon))
        s.mProc.store(nullptr, std::memory_order_release);
  }
  template <class F>
  void ForEach(UInt32 id, F call) {
    for (Slot& s : mSlots) {
      Proc p = s.mProc.load(std::memory_order_acquire);
      if (p && s.mID == id) call(p, s.mRefCon);
    }
  }

  Slot mSlots[kCapacity];
};

// An AudioBufferList with room for every channel of one direction.
struct ScratchBufferList {
  AudioBufferList* List() { return reinterpret_cast<AudioBufferList*>(mBytes.data()); }
  void Make(int nBuffers) {
    mBytes.assign(sizeof(AudioBufferList) + sizeof(AudioBuffer) * (nBuffers > 0 ? nBuffers : 0),
                  0);
  }
  std::vector<unsigned char> mBytes;
};

struct IPluginAU::State {
  // The instance the unit was opened as: a Component Manager instance (through the entry
  // point), or an AudioComponent instance (through the factory), which the Component Manager's
  // calls do not take.
  AudioUnit mCI = nullptr;
  bool mComponentManager = false;
  std::vector<BusChannels> mInBuses, mOutBuses;
  std::vector<InputBusConnection> mInBusConnections;
  CallbackSlots<AudioUnitPropertyListenerProc> mPropertyListeners;
  CallbackSlots<AURenderCallback> mRenderNotify;
  HostCallbackInfo mHostCallbacks = {};
  std::atomic<bool> mActive{false};  // initialised; read by the render thread
  bool mOffline = false;
  // Sample time of the last pull of the inputs; NaN when the next render must pull.
  double mLastRenderSampleTime = NAN;

  // Pulled input lands in mInScratch and unit-supplied output in mOutScratch, one block per
  // channel; mInPtrs and mOutPtrs hand the pointers to the framework.
  ScratchBufferList mInBufList;
  std::vector<float> mInScratch, mOutScratch;
  float* mInPtrs[kAUMaxChannels] = {};
  float* mOutPtrs[kAUMaxChannels] = {};

  // The editor's controls belong to the host's main thread (the one that opened the unit): a
  // parameter the host sets on another thread reaches them at the next main-thread call.
  std::thread::id mMainThread;
  std::unique_ptr<std::atomic<bool>[]> mEditorPending;  // one flag per parameter
  std::atomic<bool> mEditorPendingAny{false};

  // The factory presets as the FactoryPresets array points at them (names owned here), and the
  // name the deprecated CurrentPreset property lends without a retain.
  std::vector<AUPreset> mFactoryPresets;
  CFStringRef mCurrentPresetName = nullptr;
};

// ---- shared by the adapter's sources ----

// Argument i of a selector: on 64-bit systems params[0] is the instance (i = -1) and argument i
// is in slot i + 1, whatever its type (read from the start of the slot).
template <class T>
T Arg(const ComponentParameters* p, int i) {
  static_assert(sizeof(T) <= sizeof(long), "one slot per argument");
  T value;
  std::memcpy(&value, reinterpret_cast<const char*>(p->params) + sizeof(long) * (i + 1),
              sizeof(T));
  return value;
}

// Selector arguments packed as the Component Manager hands them over: the instance in slot 0,
// argument i in slot i + 1 (the reverse of Arg).
class AUComponentCall {
 public:
  template <class... A>
  AUComponentCall(AudioUnit instance, SInt16 what, A... args) {
    std::memset(mBytes, 0, sizeof mBytes);
    int slot = 0;
    Put(slot, instance);
    (Put(slot, args), ...);
    Params()->what = what;
    Params()->paramSize = static_cast<UInt8>(sizeof(long) * (slot - 1));
  }
  ComponentParameters* Params() { return reinterpret_cast<ComponentParameters*>(mBytes); }

 private:
  enum { kSlots = 8 };
  template <class T>
  void Put(int& slot, T value) {
    static_assert(sizeof(T) <= sizeof(long), "one slot per argument");
    std::memcpy(mBytes + offsetof(ComponentParameters, params) + sizeof(long) * slot++, &value,
                sizeof(T));
  }
  alignas(ComponentParameters) unsigned char mBytes[offsetof(ComponentParameters, params) +
                                                    sizeof(long) * kSlots];
};

// The selectors the unit serves (Component Manager and Audio Unit ones): its can-do table.
bool AUCanDo(int select);

// Builds the plug-in for a unit instance opened either way and registers it; null when it
// cannot be built. AUClose unregisters and destroys it.
IPluginAU* AUOpen(AudioUnit instance, bool componentManager, IPluginAU* (*makePlug)());
void AUClose(IPluginAU* plug);

// The component's description (its type, subtype and manufacturer) from the Component Manager
// or the AudioComponent the unit was opened as; the plug-in's own IDs with type aufx when the
// instance is unknown.
ComponentDescription AUComponentDescription(IPluginAU* plug);

// Property info, get and set. For info, pData is null and pDataSize/pWriteable receive what they
// can; for get, *pDataSize is the room at pData.
ComponentResult AUGetProperty(IPluginAU* plug, AudioUnitPropertyID propID, AudioUnitScope scope,
                              AudioUnitElement element, UInt32* pDataSize, Boolean* pWriteable,
                              void* pData);
ComponentResult AUSetProperty(IPluginAU* plug, AudioUnitPropertyID propID, AudioUnitScope scope,
                              AudioUnitElement element, UInt32 dataSize, const void* pData);

// Parameters: a value from a parameter ID, and the properties that describe parameters.
OSStatus AUGetParamProc(void* storage, AudioUnitParameterID paramID, AudioUnitScope scope,
                        AudioUnitElement element, AudioUnitParameterValue* pValue);
OSStatus AUSetParamProc(void* storage, AudioUnitParameterID paramID, AudioUnitScope scope,
                        AudioUnitElement element, AudioUnitParameterValue value,
                        UInt32 offsetFrames);
ComponentResult AUGetParamProperty(IPluginAU* plug, AudioUnitPropertyID propID,
                                   AudioUnitScope scope, AudioUnitElement element,
                                   UInt32* pDataSize, void* pData);

// The saved-state dictionary: a new dictionary (the caller releases it), and a restore.
CFPropertyListRef AUSaveClassInfo(IPluginAU* plug);
ComponentResult AURestoreClassInfo(IPluginAU* plug, CFPropertyListRef info);

// Rendering and inputs.
OSStatus AURenderProc(void* storage, AudioUnitRenderActionFlags* ioActionFlags,
                      const AudioTimeStamp* timeStamp, UInt32 outputBusIdx, UInt32 nFrames,
                      AudioBufferList* pBufferList);
void AUAssessInputConnections(IPluginAU* plug);

// The plug-ins of open components: instance storage is trusted only when it holds one of them.
void AURegisterPlugin(IPluginAU* plug, bool open);
IPluginAU* AUOpenPlugin(const void* p);

// Shows a parameter's value on the editor's controls: at once on the main thread, otherwise
// handed over to the next ShowPendingParams there.
void AUShowParam(IPluginAU* plug, int paramIdx);
void AUShowPendingParams(IPluginAU* plug);

// Calls the property listeners registered for propID with global scope, element 0.
void AUInformListeners(IPluginAU* plug, AudioUnitPropertyID propID);

// A CFString of a C string (the caller releases it).
CFStringRef AUMakeCFString(const char* text);
