// The host-independent base of a plug-in: identity, parameters, saved state and presets,
// channels and the processing frame through which a host adapter hands audio to
// ProcessDoubleReplacing. Host adapters derive from it and implement the host operations.
#pragma once
#include <vector>

#include "framework/ByteChunk.h"
#include "framework/FW_Mutex.h"
#include "framework/FW_PtrList.h"
#include "framework/FW_String.h"
#include "framework/IHost.h"
#include "framework/IMidi.h"
#include "framework/IParam.h"
#include "framework/IPreset.h"

class IGraphics;

class IPluginBase {
 public:
  enum {
    kNameSize = 128,
    kMaxChannels = 128,           // per direction; larger channel counts are not parsed
    kMaxBlockSize = 1 << 20,      // frames; a larger block size is refused
  };
  static constexpr double kMinSampleRate = 1.0;  // Hz; a lower rate is refused

  IPluginBase(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
              const char* productName, const char* mfrName, int vendorVersion, int uniqueID,
              int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst,
              int plugAPI);
  IPluginBase(const IPluginBase&) = delete;
  IPluginBase& operator=(const IPluginBase&) = delete;

  // ---- virtual operations, in slot order ----
  virtual ~IPluginBase();
  virtual void Reset();
  virtual void OnParamChange(int paramIdx);
  virtual void OnActivate(bool active);
  // Copies each input to the output of the same index while both exist; zeroes other outputs.
  virtual void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames);
  virtual void ProcessSingleReplacing(float** inputs, float** outputs, int nFrames);
  virtual void OnGUIOpen() {}
  virtual void OnGUIClose() {}
  virtual void OnIdle() {}
  virtual void ProcessMidiMsg(IMidiMsg* pMsg);
  virtual void ProcessSysEx(ISysEx* /*pSysEx*/) {}
  virtual bool MidiNoteName(int noteNumber, char* name);
  virtual bool SerializeState(ByteChunk* pChunk);
  virtual int UnserializeState(ByteChunk* pChunk, int startPos);
  virtual bool CompareState(const unsigned char* data, int startPos);
  virtual void OnWindowResize() {}
  virtual bool HostRequestingAboutBox() { return false; }
  virtual void OnHostIdentified() {}
  virtual void PopupHostContextMenuForParam(int /*paramIdx*/, int /*x*/, int /*y*/) {}
  // A knob moved: under the lock, set the parameter, tell the host, then OnParamChange.
  virtual void SetParameterFromGUI(int paramIdx, double normalizedValue);
  // Host operations: every host adapter implements them.
  virtual void BeginInformHostOfParamChange(int paramIdx) = 0;
  virtual void InformHostOfParamChange(int paramIdx, double normalizedValue) = 0;
  virtual void EndInformHostOfParamChange(int paramIdx) = 0;
  virtual void InformHostOfProgramChange() = 0;
  virtual bool IsRenderingOffline() = 0;
  virtual double GetSamplePos() = 0;
  virtual double GetTempo() = 0;
  virtual void GetTimeSig(int* pNumerator, int* pDenominator) = 0;
  virtual void GetTime(ITimeInfo* pTimeInfo) = 0;
  virtual EHost GetHost() = 0;
  virtual EAPI GetAPI() = 0;
  virtual void ResizeGraphics(int width, int height) = 0;
  virtual void HostSpecificInit() = 0;
  // Shows every parameter on the editor, prepares its draw bitmap, and keeps (owns) it.
  virtual void AttachGraphics(IGraphics* pGraphics);
  virtual void SetLatency(int samples);
  virtual bool SendMidiMsg(IMidiMsg* pMsg) = 0;
  virtual bool SendSysEx(ISysEx* pSysEx) = 0;
  virtual void RedrawParamControls();
  virtual void DirtyPTCompareState() {}
  virtual void PresetsChangedByHost() {}
  // Resizes and zeroes the scratch buffers when the size changes; ignores a negative size or
  // one above kMaxBlockSize (and keeps the old buffers if memory runs out).
  virtual void SetBlockSize(int blockSize);

  // ---- lock ----
  void Lock() { mMutex.Lock(); }
  void Unlock() { mMutex.Unlock(); }
  FW_Mutex& GetMutex() { return mMutex; }

  // ---- identity ----
  const char* GetEffectName() const { return mEffectName; }
  const char* GetProductName() const { return mProductName; }
  const char* GetMfrName() const { return mMfrName; }
  int GetUniqueID() const { return mUniqueID; }
  int GetMfrID() const { return mMfrID; }
  EAPI GetAPIKind() const { return mAPI; }
  bool DoesStateChunks() const { return mStateChunks; }
  bool DoesMIDI() const { return mDoesMIDI; }
  bool IsInst() const { return mIsInst; }
  bool IsBypassed() const { return mIsBypassed; }
  void SetBypassed(bool bypassed) { mIsBypassed = bypassed; }

  // ---- versions (packed 0xMMMMmmpp) ----
  static void GetVersionParts(int version, int* pMajor, int* pMinor, int* pPatch);
  static int GetDecimalVersion(int version);
  // "v%d.%d.%d" into out (outSize bytes including the terminator).
  static void GetVersionStr(int version, char* out, int outSize);
  int GetEffectVersion(bool decimal) const;

  // ---- host ----
  void SetHost(const char* name, int version);
  EHost GetIdentifiedHost() const { return mHost; }
  int GetHostVersion(bool decimal) const;

  // ---- parameters ----
  int NParams() const { return mParams.GetSize(); }
  IParam* GetParam(int idx) const { return mParams.Get(idx); }
  // OnParamChange for every parameter in index order, under the lock.
  void OnParamReset();
  // Group names as the host adapter numbers them: the index of a name, added when new.
  int AddParamGroup(const char* name);
  int NParamGroups() const { return mParamGroups.GetSize(); }
  const char* GetParamGroupName(int idx) const;
  IGraphics* GetGUI() const { return mGraphics; }

  // ---- state and presets ----
  bool SerializeParams(ByteChunk* pChunk);
  int UnserializeParams(ByteChunk* pChunk, int startPos);
  int NPresets() const { return mPresets.GetSize(); }
  int GetCurrentPresetIdx() const { return mCurrentPresetIdx; }
  const char* GetPresetName(int idx) const;
  bool RestorePreset(int idx);
  bool RestorePreset(const char* name);
  void PruneUninitializedPresets();

  // ---- channels ----
  int NChannelIO() const { return static_cast<int>(mChannelIO.size()); }
  bool GetChannelIO(int idx, int* pNIn, int* pNOut) const;
  int NInChannels() const { return static_cast<int>(mInChannels.size()); }
  int NOutChannels() const { return static_cast<int>(mOutChannels.size()); }
  // True when some configuration has both counts; a negative count matches any.
  bool LegalIO(int nIn, int nOut) const;
  bool IsInChannelConnected(int chIdx) const;
  bool IsOutChannelConnected(int chIdx) const;
  void SetInputChannelConnections(int idx, int n, bool connected);
  void SetOutputChannelConnections(int idx, int n, bool connected);
  void SetInputLabel(int chIdx, const char* label);
  void SetOutputLabel(int chIdx, const char* label);
  const char* GetInputLabel(int chIdx) const;
  const char* GetOutputLabel(int chIdx) const;
  void AddInputBusLabel(const char* label) { AddLabel(mInputBusLabels, label); }
  void AddOutputBusLabel(const char* label) { AddLabel(mOutputBusLabels, label); }
  const char* GetInputBusLabel(int idx) const { return LabelAt(mInputBusLabels, idx); }
  const char* GetOutputBusLabel(int idx) const { return LabelAt(mOutputBusLabels, idx); }
  int NInputBusLabels() const { return mInputBusLabels.GetSize(); }
  int NOutputBusLabels() const { return mOutputBusLabels.GetSize(); }

  // ---- processing frame (audio thread: nothing here allocates or locks) ----
  // Each connected channel from idx on takes the next pointer of the list; pointers must stay
  // valid until the following ProcessBuffers or PassThroughBuffers. A null pointer leaves the
  // channel on its scratch buffer (silence in, output discarded).
  void AttachInputBuffers(int idx, int n, double** ppData, int nFrames);
  // The float form is read, converted, during ProcessBuffers or PassThroughBuffers.
  void AttachInputBuffers(int idx, int n, float** ppData, int nFrames);
  void AttachOutputBuffers(int idx, int n, double** ppData);
  // The float form: the plug-in writes the scratch buffers (silence where it writes nothing),
  // converted into ppData afterwards.
  void AttachOutputBuffers(int idx, int n, float** ppData);
  // Calls ProcessDoubleReplacing with one pointer per channel; disconnected channels point at
  // their scratch buffers (inputs zeroed). A call longer than the block size is processed in
  // consecutive pieces of at most the block size; before a block size is set, connected
  // outputs are silenced and the plug-in is not called.
  void ProcessBuffers(double sampleType, int nFrames);
  void ProcessBuffers(float sampleType, int nFrames);
  // Input i to output i while both exist, other outputs zeroed; pieces as above.
  void PassThroughBuffers(double sampleType, int nFrames);
  void PassThroughBuffers(float sampleType, int nFrames);

  // ---- rate, block size, latency ----
  // A rate that is not finite or below kMinSampleRate is ignored (below it a sample lasts
  // longer than any time the plug-in counts in).
  void SetSampleRate(double sampleRate);
  double GetSampleRate() const { return mSampleRate; }
  int GetBlockSize() const { return mBlockSize; }
  int GetLatency() const { return mLatency; }

 private:
  struct ChannelIO {
    int mIn, mOut;
  };
  // One input or output channel. The host's buffer is either double (used in place) or float
  // (converted through the scratch buffer); with neither, the channel runs on its scratch.
  struct Channel {
    bool mConnected = false;
    double* mHost = nullptr;
    float* mFloatHost = nullptr;
    std::vector<double> mScratch;
    FW_String mLabel;
  };

  static void AddLabel(FW_PtrList<FW_String>& list, const char* label);
  static const char* LabelAt(const FW_PtrList<FW_String>& list, int idx);
  void ParseChannelIO(const char* channelIOStr);
  void RunFrame(int nFrames, bool passThrough);
  void SilenceConnectedOutputs(int nFrames);

  std::vector<ChannelIO> mChannelIO;
  FW_Mutex mMutex;
  char mEffectName[kNameSize];
  char mProductName[kNameSize];
  char mMfrName[kNameSize];
  int mUniqueID;
  int mMfrID;
  int mVersion;
  EAPI mAPI;
  EHost mHost = kHostUninit;
  int mHostVersion = 0;
  bool mStateChunks;
  bool mIsInst;
  bool mDoesMIDI;
  bool mIsBypassed = false;
  double mSampleRate = 44100.0;
  int mBlockSize = 0;
  int mLatency;
  FW_PtrList<FW_String> mParamGroups;
  IGraphics* mGraphics = nullptr;
  FW_PtrList<IParam> mParams;
  FW_PtrList<IPreset> mPresets;
  int mCurrentPresetIdx = 0;
  std::vector<double*> mInData;
  std::vector<double*> mOutData;
  std::vector<Channel> mInChannels;
  std::vector<Channel> mOutChannels;
  FW_PtrList<FW_String> mInputBusLabels;
  FW_PtrList<FW_String> mOutputBusLabels;
};
